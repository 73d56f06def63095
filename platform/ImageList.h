#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <vector>

namespace tovari {

// A list of equally sized images addressed by index, as the list views draw their items from.
class TImageList : public QObject {
    Q_OBJECT
public:
    TImageList(int width, int height, int allocBy, QObject* parent = nullptr);

    QSize ImageSize() const { return size_; }
    int Count() const { return int(images_.size()); }
    // Appends an image (scaled to the list's size if it differs) and returns its index.
    int Add(const QImage& image);
    void Replace(int index, const QImage& image);
    void Clear();
    // Empty pixmap for an index that is out of range.
    QPixmap Pixmap(int index) const;
    QImage Image(int index) const;

signals:
    void Changed();

private:
    QImage Fit(const QImage& image) const;

    QSize size_;
    int allocBy_;
    std::vector<QPixmap> images_;
};

}  // namespace tovari
