#pragma once

#include "platform/graphics/Graphic.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>

namespace tovari::test {

enum class JpegKind { Baseline, Progressive, Grey, Cmyk, Ycck };

// Encodes an RGB32 image with libjpeg at the given quality. CMYK kinds are written the way Adobe
// writes them (inverted, with its marker), so they decode back to the image's colours.
QByteArray EncodeJpeg(const QImage& image, JpegKind kind, int quality = 92);

// Four flat quadrants: red top left, green top right, blue bottom left, black bottom right.
QImage Quadrants(int width, int height);
// Smooth gradients plus fine detail, so that a wrongly sampled pixel shows.
QImage Busy(int width, int height);

bool Near(QRgb a, QRgb b, int tolerance = 24);
QString Describe(QRgb c);

// Little-endian byte writer for building picture files by hand.
class Bytes {
public:
    Bytes& U8(int v);
    Bytes& U16(int v);
    Bytes& U32(quint32 v);
    Bytes& I32(qint32 v) { return U32(quint32(v)); }
    Bytes& Raw(const QByteArray& b);
    Bytes& Zeros(int n);
    int Size() const { return int(data_.size()); }
    const QByteArray& Data() const { return data_; }

private:
    QByteArray data_;
};

struct BmpLayout {
    int headerSize = 40;
    int width = 0;
    int height = 0;  // negative for top-down
    int bits = 24;
    int compression = 0;
    QList<QRgb> palette;        // written as stored entries
    quint32 coloursUsed = 0;    // header field
    QList<quint32> masks;       // written after a 40-byte header, or inside a larger one
    QByteArray pixels;          // exactly as stored
};
// A .bmp file (or, with fileHeader false, a bare DIB as icons hold it).
QByteArray BuildBmp(const BmpLayout& layout, bool fileHeader = true);

// Draws g into rect of a white canvas of the given size.
QImage DrawOnWhite(const TGraphic& g, QSize canvas, const QRect& rect);

}  // namespace tovari::test
