#include "tests/graphics/GraphicsTestSupport.h"

#include <QPainter>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace tovari::test {

QByteArray EncodeJpeg(const QImage& source, JpegKind kind, int quality)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    const bool cmyk = kind == JpegKind::Cmyk || kind == JpegKind::Ycck;
    cinfo.input_components = kind == JpegKind::Grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (kind == JpegKind::Ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row;
    while (cinfo.next_scanline < cinfo.image_height) {
        row.clear();
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(cinfo.next_scanline)));
        for (int x = 0; x < image.width(); ++x) {
            if (kind == JpegKind::Grey) {
                row.push_back(JSAMPLE(qGray(in[x])));
                continue;
            }
            row.insert(row.end(), {JSAMPLE(qRed(in[x])), JSAMPLE(qGreen(in[x])), JSAMPLE(qBlue(in[x]))});
            if (cmyk)
                row.push_back(255);  // inverted CMYK without black: the stored values are the RGB values
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

QImage Quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[(x >= width / 2) + 2 * (y >= height / 2)]);
    return image;
}

QImage Busy(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255) / width, (y * 255) / height, ((x * 7 + y * 13) % 32) * 8));
    return image;
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString Describe(QRgb c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c)).arg(qAlpha(c));
}

QString Difference(const QImage& got, const QImage& want, int tolerance)
{
    if (got.size() != want.size())
        return QStringLiteral("%1 x %2 instead of %3 x %4")
            .arg(got.width()).arg(got.height()).arg(want.width()).arg(want.height());
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if (const QRgb a = got.pixel(x, y), b = want.pixel(x, y); !Near(a, b, tolerance) || qAlpha(a) != qAlpha(b))
                return QStringLiteral("%1,%2: %3 instead of %4").arg(x).arg(y).arg(Describe(a), Describe(b));
    return QString();
}

QByteArray BuildBmp(const BmpLayout& layout, bool fileHeader)
{
    Bytes dib;
    const bool core = layout.headerSize == 12;
    dib.U32(quint32(layout.headerSize));
    if (core) {
        dib.U16(layout.width).U16(layout.height).U16(1).U16(layout.bits);
    } else {
        dib.U32(quint32(layout.width)).U32(quint32(layout.height)).U16(1).U16(layout.bits);
        // A table shorter than the depth allows must say how long it is.
        quint32 used = layout.coloursUsed;
        if (used == 0 && layout.bits <= 8 && layout.palette.size() != (qsizetype(1) << layout.bits))
            used = quint32(layout.palette.size());
        dib.U32(quint32(layout.compression)).U32(quint32(layout.pixels.size())).U32(2835).U32(2835).U32(used).U32(0);
        for (int i = 0; dib.Size() < layout.headerSize; ++i)
            dib.U32(i < layout.masks.size() ? layout.masks[i] : 0);
    }
    for (QRgb c : layout.palette) {
        dib.U8(qBlue(c)).U8(qGreen(c)).U8(qRed(c));
        if (!core)
            dib.U8(0);
    }
    if (!fileHeader)
        return dib.Raw(layout.pixels).data;
    Bytes file;
    file.U8('B').U8('M').U32(quint32(14 + dib.Size() + layout.pixels.size())).U32(0).U32(quint32(14 + dib.Size()));
    return file.Raw(dib.data).Raw(layout.pixels).data;
}

void LoadBytes(TGraphic& graphic, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    graphic.LoadFromStream(buffer);
}

QByteArray SaveGraphic(const TGraphic& g)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return buffer.data();
}

QImage DrawOnWhite(const TGraphic& g, QSize canvas, const QRect& rect)
{
    QImage image(canvas, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    g.Draw(painter, rect);
    return image;
}

}  // namespace tovari::test
