#pragma once

#include "platform/graphics/Bitmap.h"

#include <QByteArray>
#include <QImage>

namespace tovari {

struct TDecodedBitmap {
    QImage image;
    TPixelFormat format = pfDevice;
};

// Reads a Windows .bmp file: Windows 3 to 5 and OS/2 1 and 2 headers; 1, 2, 4, 8, 16, 24 and 32 bits;
// RGB, RLE4, RLE8, bit-field and alpha-bit-field pixels; bottom-up and top-down rows.
// RLE data that stops early leaves the remaining pixels at colour 0; runs past a row's end are cut
// there. Uncompressed pixel data shorter than the picture is refused. Throws EInvalidGraphic.
TDecodedBitmap ReadBmpFile(const QByteArray& file);

// Reads the bitmap of an icon directory entry: a DIB whose height counts the colour rows and the
// mask rows. The result is ARGB32: 32-bit alpha when present, else the AND mask.
QImage ReadIconDib(const QByteArray& dib);

// Writes image (in the storage format of format) as a .bmp file.
QByteArray WriteBmpFile(const QImage& image, TPixelFormat format);

}  // namespace tovari
