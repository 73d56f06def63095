#include "platform/graphics/BmpFormat.h"

#include "platform/graphics/Sampling.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstring>

namespace tovari {

namespace {

enum Compression : quint32 { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

[[noreturn]] void Refuse(const QString& why)
{
    throw EInvalidGraphic(QStringLiteral("Invalid bitmap: %1").arg(why));
}

// Bounds-checked little-endian reads from one buffer.
class Bytes {
public:
    Bytes(const QByteArray& data) : p_(reinterpret_cast<const uchar*>(data.constData())), size_(data.size()) {}
    qint64 Size() const { return size_; }
    const uchar* At(qint64 offset, qint64 count) const
    {
        if (offset < 0 || count < 0 || offset > size_ || count > size_ - offset)
            Refuse(QStringLiteral("the data is cut short"));
        return p_ + offset;
    }
    quint16 U16(qint64 offset) const { return qFromLittleEndian<quint16>(At(offset, 2)); }
    quint32 U32(qint64 offset) const { return qFromLittleEndian<quint32>(At(offset, 4)); }
    qint32 I32(qint64 offset) const { return qFromLittleEndian<qint32>(At(offset, 4)); }

private:
    const uchar* p_;
    qint64 size_;
};

struct ChannelMask {
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    static ChannelMask From(quint32 mask)
    {
        ChannelMask c;
        if (mask == 0)
            return c;
        c.shift = std::countr_zero(mask);
        const quint32 bits = mask >> c.shift;
        if ((bits & (bits + 1)) != 0)
            Refuse(QStringLiteral("a colour mask is not one run of bits"));
        c.mask = mask;
        c.max = bits;
        return c;
    }
    // The channel scaled to 0..255; an absent channel reads as 0.
    quint32 Value(quint32 pixel) const
    {
        if (max == 0)
            return 0;
        return quint32((quint64((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

struct DibHeader {
    qint64 width = 0;
    qint64 height = 0;  // rows of the picture (for icons: colour rows only)
    bool topDown = false;
    int bits = 0;
    quint32 compression = kRgb;
    ChannelMask red, green, blue, alpha;
    bool hasMasks = false;
    qint64 tableOffset = 0;  // from the start of the DIB
    qint64 tableEntries = 0; // entries stored in the file
    int entrySize = 4;
};

DibHeader ParseDibHeader(const Bytes& dib, bool icon)
{
    DibHeader h;
    const quint32 headerSize = dib.U32(0);
    quint32 masks[4] = {0, 0, 0, 0};
    qint64 coloursUsed = 0;
    bool os2 = false;
    if (headerSize == 12) {
        h.width = dib.U16(4);
        h.height = dib.U16(6);
        h.bits = dib.U16(10);
        h.entrySize = 3;
        os2 = true;
    } else if (headerSize >= 16 && headerSize <= 124) {
        // OS/2 2 headers may stop after any field from the 16th byte on; Windows ones have fixed sizes.
        const bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
                             headerSize == 124;
        if (!windows && (headerSize > 64 || headerSize % 4 != 0))
            Refuse(QStringLiteral("unknown header size %1").arg(headerSize));
        os2 = !windows;
        const Bytes& b = dib;
        b.At(0, headerSize);
        auto field = [&](qint64 offset) -> quint32 { return offset + 4 <= headerSize ? b.U32(offset) : 0; };
        h.width = b.I32(4);
        const qint32 height = b.I32(8);
        if (height == INT32_MIN)
            Refuse(QStringLiteral("absurd height"));
        h.topDown = height < 0;
        h.height = height < 0 ? -qint64(height) : height;
        h.bits = b.U16(14);
        h.compression = field(16);
        coloursUsed = field(32);
        if (headerSize >= 52)
            for (int i = 0; i < 3; ++i)
                masks[i] = b.U32(40 + 4 * i);
        if (headerSize >= 56)
            masks[3] = b.U32(52);
    } else {
        Refuse(QStringLiteral("unknown header size %1").arg(headerSize));
    }
    if (os2 && h.compression != kRgb && !(h.compression == kRle8 && h.bits == 8) &&
        !(h.compression == kRle4 && h.bits == 4))
        Refuse(QStringLiteral("OS/2 compression %1 is not supported").arg(h.compression));

    if (icon) {
        if (h.topDown || h.height % 2 != 0)
            Refuse(QStringLiteral("icon bitmap height must count colour and mask rows"));
        h.height /= 2;
    }
    if (h.width <= 0 || h.height <= 0)
        Refuse(QStringLiteral("the size %1 x %2 is not a picture").arg(h.width).arg(h.height));
    CheckPictureSize(h.width, h.height);

    switch (h.bits) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32:
        break;
    default:
        Refuse(QStringLiteral("%1 bits per pixel are not supported").arg(h.bits));
    }

    qint64 tableOffset = headerSize;
    switch (h.compression) {
    case kRgb:
        break;
    case kRle8:
    case kRle4:
        if (h.bits != (h.compression == kRle8 ? 8 : 4))
            Refuse(QStringLiteral("run-length coding does not match %1 bits per pixel").arg(h.bits));
        if (h.topDown)
            Refuse(QStringLiteral("run-length coded rows cannot be top-down"));
        break;
    case kBitFields:
    case kAlphaBitFields: {
        if (h.bits != 16 && h.bits != 32)
            Refuse(QStringLiteral("bit fields need 16 or 32 bits per pixel"));
        const int count = h.compression == kAlphaBitFields ? 4 : 3;
        if (headerSize == 40) {
            for (int i = 0; i < count; ++i)
                masks[i] = dib.U32(40 + 4 * i);
            tableOffset += 4 * count;
        }
        if (count == 3 && headerSize < 56)
            masks[3] = 0;
        h.red = ChannelMask::From(masks[0]);
        h.green = ChannelMask::From(masks[1]);
        h.blue = ChannelMask::From(masks[2]);
        h.alpha = ChannelMask::From(masks[3]);
        h.hasMasks = true;
        break;
    }
    default:
        Refuse(QStringLiteral("compression %1 is not supported").arg(h.compression));
    }

    h.tableOffset = tableOffset;
    if (h.bits <= 8) {
        if (coloursUsed < 0 || coloursUsed > 65536)
            Refuse(QStringLiteral("absurd colour count %1").arg(coloursUsed));
        h.tableEntries = coloursUsed != 0 ? coloursUsed : (qint64(1) << h.bits);
    } else {
        // A colour table beside direct colours is only a display hint; it still takes its place.
        h.tableEntries = coloursUsed <= 65536 ? coloursUsed : 0;
    }
    return h;
}

// The colour table padded to the depth's full count (so every pixel value has a colour) or cut to it.
QList<QRgb> ReadColourTable(const Bytes& dib, const DibHeader& h)
{
    const qint64 full = qint64(1) << h.bits;
    const qint64 stored = std::min(h.tableEntries, full);
    const uchar* p = dib.At(h.tableOffset, stored * h.entrySize);
    QList<QRgb> table;
    table.reserve(full);
    for (qint64 i = 0; i < stored; ++i, p += h.entrySize)
        table.append(qRgb(p[2], p[1], p[0]));
    while (table.size() < full)
        table.append(qRgb(0, 0, 0));
    return table;
}

qint64 RowBytes(qint64 width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

// table: when given, the image is ARGB32 and each index is written as its colour.
void DecodeRle(const Bytes& dib, qint64 offset, const DibHeader& h, QImage& image, const QList<QRgb>* table)
{
    const qint64 end = dib.Size();
    const int width = int(h.width);
    const int height = int(h.height);
    const bool four = h.compression == kRle4;
    const uchar* p = dib.At(0, end);
    qint64 pos = offset;
    int x = 0;
    int row = 0;  // counted from the bottom
    auto put = [&](int value) {
        if (x < width && row < height) {
            uchar* line = image.scanLine(height - 1 - row);
            if (table)
                reinterpret_cast<QRgb*>(line)[x] = (*table)[value];
            else
                line[x] = uchar(value);
        }
        ++x;
    };
    while (pos + 2 <= end && row < height) {
        const int count = p[pos];
        const int code = p[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < width; ++i)
                put(four ? (i % 2 == 0 ? code >> 4 : code & 0x0F) : code);
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++row;
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // move right and up
            if (pos + 2 > end)
                break;
            x += p[pos];
            row += p[pos + 1];
            pos += 2;
            x = std::min(x, width);
        } else {  // literal pixels, padded to a 16-bit boundary
            const qint64 bytes = four ? (code + 1) / 2 : code;
            const qint64 padded = (bytes + 1) & ~qint64(1);
            const qint64 available = std::min(bytes, end - pos);
            for (int i = 0; i < code && x < width; ++i) {
                const qint64 at = four ? i / 2 : i;
                if (at >= available)
                    break;
                const int byte = p[pos + at];
                put(four ? (i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte);
            }
            pos += padded;
        }
    }
}

// Decodes the pixels of a DIB into the storage format of its pixel format, or, for icons, straight
// into ARGB32 so that only one copy of the pixels is ever held. An icon reads the fourth byte of
// plain 32-bit pixels as alpha; its indexed pixels come out opaque.
TDecodedBitmap DecodePixels(const Bytes& dib, const DibHeader& h, qint64 pixelOffset, bool icon)
{
    const int width = int(h.width);
    const int height = int(h.height);
    TDecodedBitmap out;
    const qint64 rowBytes = RowBytes(h.width, h.bits);
    const bool rle = h.compression == kRle4 || h.compression == kRle8;
    const uchar* pixels = rle ? nullptr : dib.At(pixelOffset, rowBytes * h.height);
    if (rle)
        CheckRunLengthFill(h.width, h.height, dib.Size() - pixelOffset);
    auto sourceRow = [&](int y) { return pixels + (h.topDown ? y : height - 1 - y) * rowBytes; };

    if (h.bits <= 8 && icon) {
        QList<QRgb> table = ReadColourTable(dib, h);
        for (QRgb& c : table)
            c |= 0xFF000000u;
        out.format = pf32bit;
        out.image = QImage(width, height, QImage::Format_ARGB32);
        if (out.image.isNull())
            Refuse(QStringLiteral("out of memory"));
        if (rle) {
            out.image.fill(table[0]);
            DecodeRle(dib, pixelOffset, h, out.image, &table);
            return out;
        }
        const int perByte = 8 / h.bits;
        const int mask = (1 << h.bits) - 1;
        for (int y = 0; y < height; ++y) {
            const uchar* in = sourceRow(y);
            auto* line = reinterpret_cast<QRgb*>(out.image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = table[(in[x / perByte] >> (8 - h.bits * (x % perByte + 1))) & mask];
        }
        return out;
    }

    if (h.bits <= 8) {
        const QList<QRgb> table = ReadColourTable(dib, h);
        out.format = h.bits == 1 ? pf1bit : h.bits <= 4 ? pf4bit : pf8bit;
        out.image = QImage(width, height, h.bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
        if (out.image.isNull())
            Refuse(QStringLiteral("out of memory"));
        out.image.setColorTable(table);
        if (rle) {
            out.image.fill(0);
            DecodeRle(dib, pixelOffset, h, out.image, nullptr);
            return out;
        }
        for (int y = 0; y < height; ++y) {
            const uchar* in = sourceRow(y);
            uchar* line = out.image.scanLine(y);
            if (h.bits == 1) {
                std::memcpy(line, in, std::size_t((width + 7) / 8));
                continue;
            }
            const int perByte = 8 / h.bits;
            const int mask = (1 << h.bits) - 1;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - h.bits * (x % perByte + 1);
                line[x] = uchar((in[x / perByte] >> shift) & mask);
            }
        }
        return out;
    }

    const bool alpha = (h.hasMasks && h.alpha.max != 0) || (icon && h.bits == 32 && !h.hasMasks);
    out.format = h.bits == 16 ? (h.hasMasks && h.green.max == 63 ? pf16bit : pf15bit) : h.bits == 24 ? pf24bit : pf32bit;
    out.image = QImage(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.image.isNull())
        Refuse(QStringLiteral("out of memory"));
    const ChannelMask red = h.hasMasks ? h.red : ChannelMask::From(h.bits == 16 ? 0x7C00 : 0xFF0000);
    const ChannelMask green = h.hasMasks ? h.green : ChannelMask::From(h.bits == 16 ? 0x03E0 : 0x00FF00);
    const ChannelMask blue = h.hasMasks ? h.blue : ChannelMask::From(h.bits == 16 ? 0x001F : 0x0000FF);
    const ChannelMask alphaMask = h.hasMasks ? h.alpha : ChannelMask::From(0xFF000000);
    for (int y = 0; y < height; ++y) {
        const uchar* in = sourceRow(y);
        auto* line = reinterpret_cast<QRgb*>(out.image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (h.bits == 24) {
                const uchar* p = in + 3 * x;
                line[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            const quint32 v = h.bits == 16 ? qFromLittleEndian<quint16>(in + 2 * x) : qFromLittleEndian<quint32>(in + 4 * x);
            const quint32 a = alpha ? alphaMask.Value(v) : 255;
            line[x] = qRgba(int(red.Value(v)), int(green.Value(v)), int(blue.Value(v)), int(a));
        }
    }
    return out;
}

}  // namespace

TDecodedBitmap ReadBmpFile(const QByteArray& file)
{
    const Bytes bytes(file);
    if (bytes.Size() < 18 || file.at(0) != 'B' || file.at(1) != 'M')
        Refuse(QStringLiteral("not a bitmap file"));
    const QByteArray dibData = QByteArray::fromRawData(file.constData() + 14, file.size() - 14);
    const Bytes dib(dibData);
    const DibHeader h = ParseDibHeader(dib, false);
    // The pixel offset of the file header wins where it points into the file; else the pixels
    // follow the colour table.
    const qint64 declared = qint64(bytes.U32(10)) - 14;
    qint64 pixelOffset = h.tableOffset + h.tableEntries * h.entrySize;
    if (declared > 0 && declared < dib.Size())
        pixelOffset = declared;
    return DecodePixels(dib, h, pixelOffset, false);
}

QImage ReadIconDib(const QByteArray& data)
{
    const Bytes dib(data);
    const DibHeader h = ParseDibHeader(dib, true);
    const qint64 pixelOffset = h.tableOffset + h.tableEntries * h.entrySize;
    QImage image = std::move(DecodePixels(dib, h, pixelOffset, true).image);
    const bool alphaSource = image.format() == QImage::Format_ARGB32 && h.bits > 8;
    // Opaque direct colours are 0xffRRGGBB either way; the mask below sets the alpha.
    image.reinterpretAsFormat(QImage::Format_ARGB32);

    bool hasAlpha = false;
    if (alphaSource) {
        for (int y = 0; y < image.height() && !hasAlpha; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width() && !hasAlpha; ++x)
                hasAlpha = qAlpha(line[x]) != 0;
        }
    }
    if (hasAlpha)
        return image;

    // Without alpha the AND mask after the colour rows says which pixels are transparent; an icon
    // that lacks it is drawn opaque.
    const qint64 maskOffset = pixelOffset + RowBytes(h.width, h.bits) * h.height;
    const qint64 maskRow = RowBytes(h.width, 1);
    const bool haveMask = maskOffset >= 0 && maskRow * h.height <= dib.Size() - maskOffset &&
                          h.compression != kRle4 && h.compression != kRle8;
    const uchar* mask = haveMask ? dib.At(maskOffset, maskRow * h.height) : nullptr;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uchar* bits = mask ? mask + (image.height() - 1 - y) * maskRow : nullptr;
        for (int x = 0; x < image.width(); ++x) {
            const bool transparent = bits && (bits[x / 8] >> (7 - x % 8)) & 1;
            line[x] = transparent ? qRgba(0, 0, 0, 0) : (line[x] | 0xFF000000u);
        }
    }
    return image;
}

QByteArray WriteBmpFile(const QImage& image, TPixelFormat format)
{
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("Cannot save an empty bitmap"));
    const int width = image.width();
    const int height = image.height();
    int bits = 32;
    switch (format) {
    case pf1bit: bits = 1; break;
    case pf4bit: bits = 4; break;
    case pf8bit: bits = 8; break;
    case pf15bit:
    case pf16bit: bits = 16; break;
    case pf24bit: bits = 24; break;
    case pfDevice:
    case pf32bit: bits = 32; break;
    }
    const bool indexed = bits <= 8;
    const QImage source = indexed ? image : image.convertToFormat(QImage::Format_ARGB32);
    if (indexed && source.format() != (bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8))
        throw EInvalidGraphic(QStringLiteral("The bitmap's pixels do not match its pixel format"));
    const bool fields = format == pf16bit;
    const qint64 entries = indexed ? qint64(1) << bits : 0;
    const qint64 rowBytes = RowBytes(width, bits);
    const qint64 headerBytes = 14 + 40 + (fields ? 12 : 0) + entries * 4;
    const qint64 total = headerBytes + rowBytes * height;

    QByteArray out(total, '\0');
    auto* p = reinterpret_cast<uchar*>(out.data());
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(total), p + 2);
    qToLittleEndian<quint32>(quint32(headerBytes), p + 10);
    uchar* info = p + 14;
    qToLittleEndian<quint32>(40, info);
    qToLittleEndian<qint32>(width, info + 4);
    qToLittleEndian<qint32>(height, info + 8);
    qToLittleEndian<quint16>(1, info + 12);
    qToLittleEndian<quint16>(quint16(bits), info + 14);
    qToLittleEndian<quint32>(fields ? kBitFields : kRgb, info + 16);
    qToLittleEndian<quint32>(quint32(rowBytes * height), info + 20);
    qToLittleEndian<qint32>(3780, info + 24);  // 96 dpi
    qToLittleEndian<qint32>(3780, info + 28);
    qToLittleEndian<quint32>(quint32(entries), info + 32);
    uchar* table = info + 40;
    if (fields) {
        qToLittleEndian<quint32>(0xF800, table);
        qToLittleEndian<quint32>(0x07E0, table + 4);
        qToLittleEndian<quint32>(0x001F, table + 8);
        table += 12;
    }
    const QList<QRgb> colours = source.colorTable();
    for (qint64 i = 0; i < entries; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : qRgb(0, 0, 0);
        table[4 * i] = uchar(qBlue(c));
        table[4 * i + 1] = uchar(qGreen(c));
        table[4 * i + 2] = uchar(qRed(c));
    }

    uchar* pixels = p + headerBytes;
    for (int y = 0; y < height; ++y) {
        uchar* row = pixels + qint64(height - 1 - y) * rowBytes;
        const uchar* in = source.constScanLine(y);
        const auto* rgb = reinterpret_cast<const QRgb*>(in);
        for (int x = 0; x < width; ++x) {
            switch (bits) {
            case 1:
                break;
            case 4:
                row[x / 2] |= uchar((in[x] & 0x0F) << (x % 2 == 0 ? 4 : 0));
                break;
            case 8:
                row[x] = in[x];
                break;
            case 16: {
                const QRgb c = rgb[x];
                const quint16 v = fields ? quint16((qRed(c) >> 3) << 11 | (qGreen(c) >> 2) << 5 | qBlue(c) >> 3)
                                         : quint16((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3);
                qToLittleEndian<quint16>(v, row + 2 * x);
                break;
            }
            case 24:
                row[3 * x] = uchar(qBlue(rgb[x]));
                row[3 * x + 1] = uchar(qGreen(rgb[x]));
                row[3 * x + 2] = uchar(qRed(rgb[x]));
                break;
            default:
                qToLittleEndian<quint32>(rgb[x], row + 4 * x);
                break;
            }
        }
        if (bits == 1)
            std::memcpy(row, in, std::size_t((width + 7) / 8));
    }
    return out;
}

}  // namespace tovari
