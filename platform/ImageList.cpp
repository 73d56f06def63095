#include "platform/ImageList.h"

namespace tovari {

TImageList::TImageList(int width, int height, int allocBy, QObject* parent)
    : QObject(parent), size_(width, height), allocBy_(allocBy > 0 ? allocBy : 1)
{
}

QImage TImageList::Fit(const QImage& image) const
{
    if (image.size() == size_)
        return image;
    return image.scaled(size_, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

int TImageList::Add(const QImage& image)
{
    if (images_.size() == images_.capacity())
        images_.reserve(images_.size() + std::size_t(allocBy_));
    images_.push_back(QPixmap::fromImage(Fit(image)));
    emit Changed();
    return int(images_.size()) - 1;
}

void TImageList::Replace(int index, const QImage& image)
{
    if (index < 0 || index >= Count())
        return;
    images_[std::size_t(index)] = QPixmap::fromImage(Fit(image));
    emit Changed();
}

void TImageList::Clear()
{
    images_.clear();
    emit Changed();
}

QPixmap TImageList::Pixmap(int index) const
{
    if (index < 0 || index >= Count())
        return QPixmap();
    return images_[std::size_t(index)];
}

QImage TImageList::Image(int index) const
{
    return Pixmap(index).toImage();
}

}  // namespace tovari
