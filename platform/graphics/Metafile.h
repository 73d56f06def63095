#pragma once

#include "platform/graphics/Graphic.h"

#include <QByteArray>

namespace tovari {

// A Windows metafile, enhanced (.emf) or old-style (.wmf, plain or placeable). The records are
// checked to lie within the file, then converted to SVG (EMF with libemf2svg, WMF with libwmf) and
// drawn with Qt SVG, scaled into the rectangle. The size is the metafile's frame at 96 dpi.
// What shows is what those converters render: lines, curves, polygons, rectangles, ellipses, pens,
// brushes, text and embedded bitmaps; EMF+ records are ignored.
class TMetafile : public TGraphic {
public:
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Empty() const override { return data_.isEmpty(); }
    bool Enhanced() const { return enhanced_; }

    void Draw(QPainter& canvas, const QRect& rect) const override;

    // Reads either kind, whatever the file's extension; the picture is unchanged when this throws.
    void LoadFromStream(QIODevice& stream) override;
    // Writes the metafile's bytes unchanged.
    void SaveToStream(QIODevice& stream) const override;
    void Assign(const TGraphic& source) override;

private:
    QByteArray data_;
    QByteArray svg_;
    int width_ = 0;
    int height_ = 0;
    bool enhanced_ = false;
};

}  // namespace tovari
