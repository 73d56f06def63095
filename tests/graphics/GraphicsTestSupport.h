#pragma once

#include "platform/Exception.h"
#include "platform/graphics/Graphic.h"
#include "tests/common/TestSupport.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <memory>

namespace tovari::test {

enum class JpegKind { Baseline, Progressive, Grey, Cmyk, Ycck };

// Encodes an image with libjpeg. CMYK kinds are written the way Adobe writes them (inverted, with its
// marker), so they decode back to the image's colours.
QByteArray EncodeJpeg(const QImage& image, JpegKind kind, int quality = 92);

// Four flat quadrants: red top left, green top right, blue bottom left, black bottom right.
QImage Quadrants(int width, int height);
// Smooth gradients plus fine detail, so that a wrongly sampled pixel shows.
QImage Busy(int width, int height);

bool Near(QRgb a, QRgb b, int tolerance = 24);
QString Describe(QRgb c);
// Where two pictures differ (their sizes, or the first pixel with a colour channel further off than the
// tolerance, or another alpha); empty when they do not.
QString Difference(const QImage& got, const QImage& want, int tolerance = 0);

// Little-endian byte writer for building picture files by hand.
struct Bytes {
    QByteArray data;
    Bytes& U8(int v) { return data.append(char(v)), *this; }
    Bytes& U16(int v) { return U8(v).U8(v >> 8); }
    Bytes& U32(quint32 v) { return U16(int(v & 0xFFFF)).U16(int(v >> 16)); }
    Bytes& Raw(const QByteArray& b) { return data.append(b), *this; }
    int Size() const { return int(data.size()); }
};

struct BmpLayout {
    int width = 0;
    int height = 0;  // negative for top-down
    int bits = 24;
    int compression = 0;
    int headerSize = 40;
    QList<QRgb> palette;      // written as stored entries
    quint32 coloursUsed = 0;  // header field
    QList<quint32> masks;     // inside the header when it is larger than 40 bytes
    QByteArray pixels;        // exactly as stored
};
// A .bmp file (or, with fileHeader false, a bare DIB as icons hold it).
QByteArray BuildBmp(const BmpLayout& layout, bool fileHeader = true);

// Reads the graphic from bytes, as from a file.
void LoadBytes(TGraphic& graphic, const QByteArray& bytes);
template <class T>
std::unique_ptr<T> LoadGraphic(const QByteArray& bytes)
{
    auto graphic = std::make_unique<T>();
    LoadBytes(*graphic, bytes);
    return graphic;
}
// Whether a graphic of class T reads the bytes; false when it refuses them as no picture.
template <class T>
bool Loads(const QByteArray& bytes)
{
    return Thrown<EInvalidGraphic>([&] { LoadGraphic<T>(bytes); }) == QStringLiteral("<none>");
}
QByteArray SaveGraphic(const TGraphic& g);

// Draws g into rect of a white canvas of the given size.
QImage DrawOnWhite(const TGraphic& g, QSize canvas, const QRect& rect);

}  // namespace tovari::test
