#pragma once

#include "platform/graphics/Graphic.h"

#include <QByteArray>

namespace tovari {

// A JPEG picture. It keeps the compressed bytes and decodes them when drawn: a stretch into a small
// rectangle reads only the scan lines it samples, so a thumbnail never holds the full picture;
// ToImage() decodes the whole picture once.
//
// A photo whose EXIF block says it was taken turned shows upright: its size is the upright size, and
// both the stretch and the full decode place the stored pixels where they belong. The bytes stay as
// they came.
//
// Data that ends early: the load fails only when the headers themselves are cut. Drawing such a
// picture puts on the canvas what the data held (the rows before the cut for a single-scan file,
// the coarser whole picture for a progressive one) and then throws EInvalidGraphic.
class TJPEGImage : public TGraphic {
public:
    // The upright size.
    int Width() const override;
    int Height() const override;
    // The EXIF orientation, 1 to 8.
    int Orientation() const { return orientation_; }
    bool Empty() const override { return data_.isEmpty(); }
    bool Grayscale() const { return components_ == 1; }
    bool ProgressiveEncoding() const { return progressive_; }
    const QByteArray& Data() const { return data_; }

    void Draw(QPainter& canvas, const QRect& rect) const override;
    QImage ToImage() const override;

    void LoadFromStream(QIODevice& stream) override;
    // Checks the header and keeps the bytes; the picture is unchanged when this throws.
    void LoadFromData(const QByteArray& data);
    // Writes the compressed bytes unchanged.
    void SaveToStream(QIODevice& stream) const override;
    void Assign(const TGraphic& source) override;

private:
    QByteArray data_;
    int width_ = 0;
    int height_ = 0;
    int components_ = 0;
    bool progressive_ = false;
    int orientation_ = 1;
};

}  // namespace tovari
