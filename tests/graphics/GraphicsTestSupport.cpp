#include "tests/graphics/GraphicsTestSupport.h"

#include <QPainter>
#include <QtEndian>
#include <cstdio>
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
    if (kind == JpegKind::Grey) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
    } else {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
    }
    jpeg_set_defaults(&cinfo);
    if (kind == JpegKind::Ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(image.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(cinfo.next_scanline)));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = in[x];
            if (kind == JpegKind::Grey) {
                row[std::size_t(x)] = JSAMPLE(qGray(c));
            } else if (cmyk) {
                // Inverted CMYK with no black: the stored values are the RGB values and full K.
                JSAMPLE* p = &row[std::size_t(x) * 4];
                p[0] = JSAMPLE(qRed(c));
                p[1] = JSAMPLE(qGreen(c));
                p[2] = JSAMPLE(qBlue(c));
                p[3] = 255;
            } else {
                JSAMPLE* p = &row[std::size_t(x) * 3];
                p[0] = JSAMPLE(qRed(c));
                p[1] = JSAMPLE(qGreen(c));
                p[2] = JSAMPLE(qBlue(c));
            }
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
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y, !bottom ? (!right ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                         : (!right ? qRgb(0, 0, 255) : qRgb(0, 0, 0)));
        }
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

Bytes& Bytes::U8(int v)
{
    data_.append(char(v));
    return *this;
}

Bytes& Bytes::U16(int v)
{
    char b[2];
    qToLittleEndian<quint16>(quint16(v), b);
    data_.append(b, 2);
    return *this;
}

Bytes& Bytes::U32(quint32 v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    data_.append(b, 4);
    return *this;
}

Bytes& Bytes::Raw(const QByteArray& b)
{
    data_.append(b);
    return *this;
}

Bytes& Bytes::Zeros(int n)
{
    data_.append(QByteArray(n, '\0'));
    return *this;
}

QByteArray BuildBmp(const BmpLayout& layout, bool fileHeader)
{
    Bytes dib;
    const bool core = layout.headerSize == 12;
    dib.U32(quint32(layout.headerSize));
    if (core) {
        dib.U16(layout.width).U16(layout.height).U16(1).U16(layout.bits);
    } else {
        dib.I32(layout.width).I32(layout.height).U16(1).U16(layout.bits).U32(quint32(layout.compression));
        // A table shorter than the depth allows must say how long it is.
        quint32 used = layout.coloursUsed;
        if (used == 0 && layout.bits <= 8 && layout.palette.size() != (qsizetype(1) << layout.bits))
            used = quint32(layout.palette.size());
        dib.U32(quint32(layout.pixels.size())).I32(2835).I32(2835).U32(used).U32(0);
        if (layout.headerSize > 40) {
            for (int i = 0; i < 4 && dib.Size() < layout.headerSize; ++i)
                dib.U32(i < layout.masks.size() ? layout.masks[i] : 0);
            dib.Zeros(layout.headerSize - dib.Size());
        }
    }
    if (layout.headerSize == 40)
        for (quint32 m : layout.masks)
            dib.U32(m);
    for (QRgb c : layout.palette) {
        dib.U8(qBlue(c)).U8(qGreen(c)).U8(qRed(c));
        if (!core)
            dib.U8(0);
    }
    if (!fileHeader)
        return dib.Raw(layout.pixels).Data();
    Bytes file;
    file.U8('B').U8('M').U32(quint32(14 + dib.Size() + layout.pixels.size())).U32(0).U32(quint32(14 + dib.Size()));
    return file.Raw(dib.Data()).Raw(layout.pixels).Data();
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
