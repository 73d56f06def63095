#pragma once

#include "platform/graphics/Graphic.h"

#include <QList>
#include <QRgb>

namespace tovari {

// How a bitmap stores and saves its pixels. Indexed formats keep their colour table; 4-bit pixels are
// held one per byte (QImage::Format_Indexed8 with at most 16 colours), 1-bit ones as Format_Mono,
// 15/16/24-bit ones as Format_RGB32, 32-bit ones as RGB32 or ARGB32 when they carry alpha.
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// A bitmap in memory that reads and writes Windows .bmp files. Its canvas is Image(): paint on it
// with a QPainter (Qt paints on the 32-bit storage formats only; indexed pixels are set directly).
class TBitmap : public TGraphic {
public:
    TBitmap() = default;

    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    bool Empty() const override { return image_.isNull(); }
    void SetWidth(int width) override { SetSize(width, Height()); }
    void SetHeight(int height) override { SetSize(Width(), height); }
    // Keeps the pixels that still fit; new pixels are white. 0 x 0 empties the bitmap.
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);
    // The colour table of an indexed bitmap; empty for the others.
    QList<QRgb> Palette() const { return image_.colorTable(); }
    // Replaces the colour table of an indexed bitmap (cut to what the depth allows, padded with black).
    void SetPalette(const QList<QRgb>& colours);

    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }
    // Takes an image as it is; the image must be in the storage format of the pixel format.
    void SetImage(const QImage& image, TPixelFormat format);

    void Draw(QPainter& canvas, const QRect& rect) const override;
    QImage ToImage() const override;

    // Reads a .bmp file from the stream's position; the bitmap is unchanged when this throws.
    void LoadFromStream(QIODevice& stream) override;
    // Writes a .bmp file in the bitmap's pixel format (pfDevice as 32 bits).
    void SaveToStream(QIODevice& stream) const override;
    // Copies a bitmap; any other picture is drawn onto a white bitmap of its size.
    void Assign(const TGraphic& source) override;

private:
    QImage image_;
    TPixelFormat format_ = pfDevice;
};

}  // namespace tovari
