#pragma once

#include "platform/graphics/Graphic.h"

#include <QByteArray>

namespace tovari {

// A Windows icon (.ico): the first image of the file, stored as a DIB or as PNG. It keeps the file's
// bytes, so saving writes the icon back unchanged.
class TIcon : public TGraphic {
public:
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    bool Empty() const override { return image_.isNull(); }

    void Draw(QPainter& canvas, const QRect& rect) const override;
    QImage ToImage() const override { return image_; }

    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) const override;
    void Assign(const TGraphic& source) override;

private:
    QByteArray data_;
    QImage image_;  // ARGB32
};

}  // namespace tovari
