#include "platform/VirtualList.h"

#include "platform/ImageList.h"

namespace tovari {

TVirtualListModel::TVirtualListModel(VirtualListItemSource& source, QObject* parent)
    : QAbstractListModel(parent), source_(source)
{
}

void TVirtualListModel::SetImageList(TImageList* images)
{
    QObject::disconnect(imagesConnection_);
    images_ = images;
    if (images) {
        imagesConnection_ = connect(images, &TImageList::Changed, this, &TVirtualListModel::ImagesChanged);
        blank_ = QPixmap(images->ImageSize());
        blank_.fill(Qt::transparent);
    }
    ImagesChanged();
}

void TVirtualListModel::ImagesChanged()
{
    if (count_ > 0)
        emit dataChanged(index(0), index(count_ - 1), {Qt::DecorationRole});
}

void TVirtualListModel::Clear()
{
    beginResetModel();
    count_ = 0;
    endResetModel();
}

void TVirtualListModel::AppendItems(int count)
{
    if (count <= 0)
        return;
    beginInsertRows(QModelIndex(), count_, count_ + count - 1);
    count_ += count;
    endInsertRows();
}

int TVirtualListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count_;
}

QVariant TVirtualListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count_ || (role != Qt::DisplayRole && role != Qt::DecorationRole))
        return QVariant();
    ListItemData item;
    source_.ItemData(index.row(), item);
    if (role == Qt::DisplayRole)
        return item.Caption;
    // A blank of the list's image size keeps every item the same shape, with or without its picture.
    if (images_ && item.ImageIndex >= 0 && item.ImageIndex < images_->Count())
        return images_->Pixmap(item.ImageIndex);
    return blank_.isNull() ? QVariant() : QVariant(blank_);
}

TVirtualListView::TVirtualListView(QWidget* parent) : QListView(parent) {}

std::pair<int, int> TVirtualListView::VisibleRange() const
{
    const int n = model() ? model()->rowCount(rootIndex()) : 0;
    if (n == 0)
        return {0, -1};
    const QRect view = viewport()->rect();
    // Items are laid out in rows from top to bottom, so their rectangles are ordered by index and the
    // visible ones form one run that two binary searches find.
    auto rectOf = [&](int i) { return visualRect(model()->index(i, 0, rootIndex())); };
    int lo = 0, hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (rectOf(mid).bottom() < view.top())
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    lo = first;
    hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (rectOf(mid).top() <= view.bottom())
            lo = mid + 1;
        else
            hi = mid;
    }
    const int last = lo - 1;
    if (first >= n || last < first)
        return {0, -1};
    return {first, last};
}

void TVirtualListView::AnnounceVisibleRange()
{
    const auto range = VisibleRange();
    if (range == announced_ || range.second < range.first)
        return;
    announced_ = range;
    emit DataHint(range.first, range.second);
}

void TVirtualListView::updateGeometries()
{
    QListView::updateGeometries();
    AnnounceVisibleRange();
}

void TVirtualListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    AnnounceVisibleRange();
}

void TVirtualListView::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    AnnounceVisibleRange();
}

}  // namespace tovari
