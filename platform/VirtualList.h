#pragma once

#include <QAbstractListModel>
#include <QMouseEvent>
#include <QListView>
#include <QPixmap>
#include <QPointer>

#include "platform/ImageList.h"

namespace tovari {

// A double click opens things only with the primary button, as everywhere on the desktop.
inline bool IsPrimaryDoubleClick(const QEvent* event)
{
    return event->type() == QEvent::MouseButtonDblClick &&
           static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

class TImageList;

// What an owner-data list shows for one item.
struct ListItemData {
    QString Caption;
    int ImageIndex = -1;  // -1: no picture
};

// The owner of an owner-data list answers for each item when the list paints it.
class VirtualListItemSource {
public:
    virtual ~VirtualListItemSource() = default;
    virtual void ItemData(int index, ListItemData& item) = 0;
};

// A list model that stores nothing but its item count; captions and pictures come from the source.
class TVirtualListModel : public QAbstractListModel {
    Q_OBJECT
public:
    TVirtualListModel(VirtualListItemSource& source, QObject* parent = nullptr);

    void SetImageList(TImageList* images);
    TImageList* ImageList() const { return images_; }
    int Count() const { return count_; }
    void Clear();
    void AppendItems(int count);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void ImagesChanged();

    VirtualListItemSource& source_;
    QPointer<TImageList> images_;
    QMetaObject::Connection imagesConnection_;
    QPixmap blank_;
    int count_ = 0;
};

// A thumbnail list that announces the range of items it is about to show whenever that range changes
// (scrolling, resizing, a new item count).
class TVirtualListView : public QListView {
    Q_OBJECT
public:
    explicit TVirtualListView(QWidget* parent = nullptr);

    // The first and last item index that the viewport shows; (0, -1) when it shows none.
    std::pair<int, int> VisibleRange() const;

signals:
    void DataHint(int startIndex, int endIndex);

protected:
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void AnnounceVisibleRange();

    std::pair<int, int> announced_{0, -1};
};

}  // namespace tovari
