#include "platform/graphics/Metafile.h"

#include "platform/graphics/Sampling.h"

#include <QFileInfo>
#include <QIODevice>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cmath>
#include <algorithm>
#include <cstdlib>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace tovari {

namespace {

constexpr double kScreenDpi = 96.0;
constexpr quint32 kEmfSignature = 0x464D4520;  // " EMF"
constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qint64 kMaxRecords = 10'000'000;
// The system's own drawing keeps coordinates within 27 bits; the converter adds and subtracts them
// in 32-bit integers.
constexpr qint32 kMaxEmfCoordinate = (1 << 27) - 1;

// libwmf opens its standard fonts from this compiled-in folder while it scans; without them every
// metafile fails alike, so the error names the missing files rather than blaming the picture.
constexpr const char* kWmfFontFolder = "/usr/share/fonts/type1/urw-base35/";
constexpr const char* kWmfFonts[] = {
    "NimbusRoman-Regular.t1",  "NimbusRoman-Italic.t1", "NimbusRoman-Bold.t1",  "NimbusRoman-BoldItalic.t1",
    "NimbusSans-Regular.t1",   "NimbusSans-Italic.t1",  "NimbusSans-Bold.t1",   "NimbusSans-BoldItalic.t1",
    "NimbusMonoPS-Regular.t1", "NimbusMonoPS-Italic.t1", "NimbusMonoPS-Bold.t1", "NimbusMonoPS-BoldItalic.t1",
    "StandardSymbolsPS.t1",
};

[[noreturn]] void Refuse(const QString& why)
{
    throw EInvalidGraphic(QStringLiteral("Invalid metafile: %1").arg(why));
}

void CheckWmfFonts()
{
    QStringList missing;
    for (const char* font : kWmfFonts) {
        if (!QFileInfo(QLatin1String(kWmfFontFolder) + QLatin1String(font)).isReadable())
            missing << QLatin1String(font);
    }
    if (missing.size() == int(std::size(kWmfFonts)))
        missing = {QStringLiteral("all of them")};
    if (!missing.isEmpty())
        throw EInvalidGraphic(QStringLiteral("Cannot read metafiles: the metafile library's standard fonts are missing "
                                             "from %1 (%2; the package fonts-urw-base35 has them)")
                                  .arg(QLatin1String(kWmfFontFolder), missing.join(QLatin1String(", "))));
}

quint16 Le16(const QByteArray& d, qint64 at) { return qFromLittleEndian<quint16>(d.constData() + at); }
quint32 Le32(const QByteArray& d, qint64 at) { return qFromLittleEndian<quint32>(d.constData() + at); }
qint16 LeS16(const QByteArray& d, qint64 at) { return qFromLittleEndian<qint16>(d.constData() + at); }
qint32 LeS32(const QByteArray& d, qint64 at) { return qFromLittleEndian<qint32>(d.constData() + at); }

bool IsEmf(const QByteArray& d)
{
    return d.size() >= 88 && Le32(d, 0) == 1 && Le32(d, 40) == kEmfSignature;
}

// The converters trust what a bitmap header says: its size, its colour count, its compression. A
// header they would misread, a colour table or pixels outside the bytes given, or a picture its data
// cannot fill is refused here. header: bytes of header and colour table; bits: bytes of the pixels
// (for old-style metafiles both are the rest of the record, the pixels following the table).
void CheckDib(const QByteArray& d, qint64 at, qint64 header, qint64 bits, bool pixelsFollowTable)
{
    if (header < 12)
        Refuse(QStringLiteral("a bitmap header is cut short"));
    const quint32 size = Le32(d, at);
    qint64 width = 0;
    qint64 height = 0;
    int depth = 0;
    int planes = 0;
    quint32 compression = 0;
    qint64 entries = 0;
    qint64 entryBytes = 4;
    qint64 declaredImage = 0;
    if (size == 12) {
        width = Le16(d, at + 4);
        height = Le16(d, at + 6);
        planes = Le16(d, at + 8);
        depth = Le16(d, at + 10);
        entryBytes = 3;
        entries = depth <= 8 ? qint64(1) << depth : 0;
    } else if (size >= 40 && size <= 124) {
        if (header < size)
            Refuse(QStringLiteral("a bitmap header is cut short"));
        width = LeS32(d, at + 4);
        const qint32 h = LeS32(d, at + 8);
        height = h == INT32_MIN ? 0 : std::abs(qint64(h));
        planes = Le16(d, at + 12);
        depth = Le16(d, at + 14);
        compression = Le32(d, at + 16);
        declaredImage = Le32(d, at + 20);
        const quint32 used = Le32(d, at + 32);
        if (depth <= 8 && used > (quint32(1) << depth))
            Refuse(QStringLiteral("a bitmap has %1 colours for %2 bits").arg(used).arg(depth));
        entries = used != 0 ? used : depth <= 8 ? qint64(1) << depth : 0;
        if (compression == 3 && size == 40)
            entries += 3;
        if ((compression == 1 && depth != 8) || (compression == 2 && depth != 4) ||
            (compression == 3 && depth != 16 && depth != 32) || compression > 3 || (compression != 0 && h < 0))
            Refuse(QStringLiteral("a bitmap's compression %1 does not fit %2 bits").arg(compression).arg(depth));
    } else {
        Refuse(QStringLiteral("a bitmap header of %1 bytes").arg(size));
    }
    if (planes != 1 || (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32))
        Refuse(QStringLiteral("a bitmap of %1 bits in %2 planes").arg(depth).arg(planes));
    CheckPictureSize(width, height);
    const qint64 table = size + entries * entryBytes;
    if (table > header)
        Refuse(QStringLiteral("a bitmap's colour table lies outside its record"));
    const qint64 data = pixelsFollowTable ? header - table : bits;
    if (declaredImage > data)
        Refuse(QStringLiteral("a bitmap's pixels lie outside its record"));
    if (compression == 1 || compression == 2)
        CheckRunLengthFill(width, height, data);
    else if (((width * depth + 31) / 32) * 4 * height > data)
        Refuse(QStringLiteral("a bitmap's pixels lie outside its record"));
}

// Header fields that tell the converter where to read or how much to set aside.
void CheckEmfHeader(const QByteArray& d)
{
    const qint64 headerSize = Le32(d, 4);
    if (headerSize < 88 || headerSize % 4 != 0 || headerSize > d.size())
        Refuse(QStringLiteral("the header of %1 bytes does not fit the file").arg(headerSize));
    auto inHeader = [&](qint64 offset, qint64 bytes) {
        if (offset == 0 && bytes == 0)
            return;
        if (offset < 88 || bytes < 0 || offset > headerSize || bytes > headerSize - offset)
            Refuse(QStringLiteral("the header's description lies outside it"));
    };
    inHeader(Le32(d, 64), qint64(Le32(d, 60)) * 2);
    // The converter scales by the reference device's pixels per millimetre; a size of 0 or an absurd
    // one makes coordinates infinite or huge, and drawing them takes seconds for nothing.
    for (const qint64 at : {72, 76, 80, 84}) {
        const qint32 size = LeS32(d, at);
        if (size <= 0 || size > 1'000'000)
            Refuse(QStringLiteral("the reference device's size %1 is no size").arg(size));
    }
    if (headerSize >= 100)
        inHeader(Le32(d, 92), Le32(d, 88));
    for (qint64 at = 8; at < 40; at += 4) {  // bounds, then frame
        const qint32 value = LeS32(d, at);
        if (value < -kMaxEmfCoordinate || value > kMaxEmfCoordinate)
            Refuse(QStringLiteral("the header's coordinate %1 lies outside the drawing space").arg(value));
    }
}

// Offsets of the (offBmi, cbBmi, offBits, cbBits) fields of the records that carry bitmaps.
struct EmfBitmapFields {
    quint32 type;
    int fields[2];  // 0 when the record has only one bitmap
};
constexpr EmfBitmapFields kEmfBitmapRecords[] = {
    {76, {84, 0}},     // BITBLT
    {77, {84, 0}},     // STRETCHBLT
    {78, {84, 112}},   // MASKBLT
    {79, {96, 124}},   // PLGBLT
    {80, {48, 0}},     // SETDIBITSTODEVICE
    {81, {48, 0}},     // STRETCHDIBITS
    {93, {16, 0}},     // CREATEMONOBRUSH
    {94, {16, 0}},     // CREATEDIBPATTERNBRUSHPT
    {114, {84, 0}},    // ALPHABLEND
    {116, {84, 0}},    // TRANSPARENTBLT
};

void CheckEmfBitmaps(const QByteArray& d, qint64 at, quint32 type, qint64 size)
{
    for (const EmfBitmapFields& record : kEmfBitmapRecords) {
        if (record.type != type)
            continue;
        for (int fields : record.fields) {
            if (fields == 0)
                continue;
            if (fields + 16 > size)
                Refuse(QStringLiteral("a bitmap record is cut short"));
            const qint64 offBmi = Le32(d, at + fields);
            const qint64 cbBmi = Le32(d, at + fields + 4);
            const qint64 offBits = Le32(d, at + fields + 8);
            const qint64 cbBits = Le32(d, at + fields + 12);
            // The converter reads the header in place as a structure, even when its size says 0: it must start
            // on a 4-byte boundary, as every record and every header a writer makes does.
            if (offBmi % 4 != 0)
                Refuse(QStringLiteral("a bitmap header at offset %1 is not aligned").arg(offBmi));
            // The DIB-drawing records read their header wherever it is said to be, even of size 0.
            if (cbBmi == 0 && (type == 80 || type == 81))
                Refuse(QStringLiteral("a bitmap record has no bitmap header"));
            if (cbBmi == 0)
                continue;
            if (offBmi < 8 || offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits)
                Refuse(QStringLiteral("a bitmap lies outside its record"));
            CheckDib(d, at + offBmi, cbBmi, cbBits, false);
        }
    }
}

// Records drawn from a bounding box: the converter reads their fixed size whatever the record says,
// and works out radii and centres from the box's corners.
struct EmfBoxRecord {
    quint32 type;
    qint64 size;    // bytes, with the 8 of type and size
    int integers;   // box, then its points or corner size
};
constexpr EmfBoxRecord kEmfBoxRecords[] = {
    {42, 24, 4},  // ELLIPSE
    {43, 24, 4},  // RECTANGLE
    {44, 32, 6},  // ROUNDRECT
    {45, 40, 8},  // ARC
    {46, 40, 8},  // CHORD
    {47, 40, 8},  // PIE
    {55, 40, 8},  // ARCTO
};

void CheckEmfBox(const QByteArray& d, qint64 at, quint32 type, qint64 size)
{
    for (const EmfBoxRecord& record : kEmfBoxRecords) {
        if (record.type != type)
            continue;
        if (size < record.size)
            Refuse(QStringLiteral("a drawing record of %1 bytes is cut short").arg(size));
        for (int i = 0; i < record.integers; ++i) {
            const qint32 value = LeS32(d, at + 8 + 4 * i);
            if (value < -kMaxEmfCoordinate || value > kMaxEmfCoordinate)
                Refuse(QStringLiteral("a drawing's coordinate %1 lies outside the drawing space").arg(value));
        }
    }
}

// Records of points after a bounding rectangle: the converter reads as many points (and, for several
// polygons, counts) as the record says, whatever its size.
void CheckEmfPoints(const QByteArray& d, qint64 at, quint32 type, qint64 size)
{
    const bool small = type >= 85 && type <= 92;  // 16-bit points
    const quint32 base = small ? type - 83 : type;
    if (base < 2 || base > 8)
        return;
    const bool several = base == 7 || base == 8;
    const qint64 fixed = several ? 32 : 28;
    if (size < fixed)
        Refuse(QStringLiteral("a record of points of %1 bytes is cut short").arg(size));
    const qint64 polygons = several ? Le32(d, at + 24) : 0;
    const qint64 points = Le32(d, at + (several ? 28 : 24));
    if (polygons * 4 + points * (small ? 4 : 8) > size - fixed)
        Refuse(QStringLiteral("a record's %1 points lie outside it").arg(points));
    qint64 counted = 0;
    for (qint64 i = 0; i < polygons; ++i)
        counted += Le32(d, at + fixed + 4 * i);
    if (counted > points)
        Refuse(QStringLiteral("a record's polygons count %1 of its %2 points").arg(counted).arg(points));
}

// Text records: the converter reads the fixed part, the characters and their advances where the record
// says, whatever its size.
void CheckEmfText(const QByteArray& d, qint64 at, quint32 type, qint64 size)
{
    if (type != 83 && type != 84)  // EXTTEXTOUTA, EXTTEXTOUTW
        return;
    constexpr qint64 kFixed = 76;
    if (size < kFixed)
        Refuse(QStringLiteral("a text record of %1 bytes is cut short").arg(size));
    const bool wide = type == 84;
    const qint64 chars = Le32(d, at + 44);
    const qint64 offString = Le32(d, at + 48);
    const qint64 offDx = Le32(d, at + 72);
    if (offString < kFixed || offString > size || chars * (wide ? 2 : 1) > size - offString ||
        (wide && offString % 2 != 0))
        Refuse(QStringLiteral("a text record's %1 characters lie outside it").arg(chars));
    if (offDx != 0 && (offDx < kFixed || offDx > size || chars * 4 > size - offDx || offDx % 4 != 0))
        Refuse(QStringLiteral("a text record's advances lie outside it"));
}

// A font is copied from its record as a whole logical font (92 bytes after the object index), whatever
// the record's size.
void CheckEmfFont(quint32 type, qint64 size)
{
    constexpr qint64 kLogFontRecord = 8 + 4 + 92;
    if (type == 82 && size < kLogFontRecord)  // EXTCREATEFONTINDIRECTW
        Refuse(QStringLiteral("a font record of %1 bytes is cut short").arg(size));
}

// The converters trust record sizes; every record must lie within the file and the last be EOF.
void CheckEmfRecords(const QByteArray& d)
{
    CheckEmfHeader(d);
    qint64 at = 0;
    for (qint64 n = 0; n < kMaxRecords; ++n) {
        if (d.size() - at < 8)
            Refuse(QStringLiteral("the records end without an end record"));
        const quint32 type = Le32(d, at);
        const quint32 size = Le32(d, at + 4);
        if (size < 8 || size % 4 != 0 || size > d.size() - at)
            Refuse(QStringLiteral("a record of size %1 does not fit the file").arg(size));
        if (type == 14)  // EMR_EOF
            return;
        CheckEmfBitmaps(d, at, type, size);
        CheckEmfBox(d, at, type, size);
        CheckEmfPoints(d, at, type, size);
        CheckEmfText(d, at, type, size);
        CheckEmfFont(type, size);
        at += size;
    }
    Refuse(QStringLiteral("too many records"));
}

// Where the bitmap starts in the old-style records that carry one, from the record's start.
int WmfDibOffset(quint16 function)
{
    switch (function) {
    case 0x0940: return 22;  // DIBBITBLT
    case 0x0B41: return 26;  // DIBSTRETCHBLT
    case 0x0F43: return 28;  // STRETCHDIB
    case 0x0D33: return 24;  // SETDIBTODEV
    case 0x0142: return 10;  // DIBCREATEPATTERNBRUSH
    default: return 0;
    }
}

// Walks the records and returns the largest one in words. The header's own maximum-record-size field
// sizes the library's buffer, so the caller puts the walked value there.
quint32 CheckWmfRecords(const QByteArray& d, qint64 start)
{
    if (d.size() - start < 18)
        Refuse(QStringLiteral("the header is cut short"));
    const quint16 headerWords = Le16(d, start + 2);
    if ((Le16(d, start) != 1 && Le16(d, start) != 2) || headerWords != 9)
        Refuse(QStringLiteral("no metafile header"));
    qint64 at = start + 18;
    quint32 largest = 9;
    for (qint64 n = 0; n < kMaxRecords; ++n) {
        if (d.size() - at < 6)
            Refuse(QStringLiteral("the records end without an end record"));
        const qint64 size = qint64(Le32(d, at)) * 2;
        const quint16 function = Le16(d, at + 4);
        if (size < 6 || size > d.size() - at)
            Refuse(QStringLiteral("a record of %1 bytes does not fit the file").arg(size));
        largest = std::max(largest, quint32(size / 2));
        if (function == 0)
            return largest;
        // Without a bitmap these records are a few words shorter, so nothing lies at the offset.
        // A pattern brush of style BS_PATTERN holds an old device-dependent bitmap, not a DIB.
        const bool oldBitmap = function == 0x0142 && size >= 8 && Le16(d, at + 6) == 3;
        if (const int dib = WmfDibOffset(function); dib != 0 && size - dib >= 4 && !oldBitmap)
            CheckDib(d, at + dib, size - dib, 0, true);
        at += size;
    }
    Refuse(QStringLiteral("too many records"));
}

QByteArray EmfToSvg(const QByteArray& d, int width, int height)
{
    char ns[] = "svg";
    generatorOptions options{};
    options.nameSpace = ns;
    options.verbose = false;
    options.emfplus = false;
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char* out = nullptr;
    size_t length = 0;
    QByteArray copy = d;  // the converter takes a non-const buffer
    const int ok = emf2svg(copy.data(), std::size_t(copy.size()), &out, &length, &options);
    QByteArray svg = ok && out ? QByteArray(out, qsizetype(length)) : QByteArray();
    std::free(out);
    if (svg.isEmpty())
        Refuse(QStringLiteral("the enhanced metafile cannot be converted"));
    return svg;
}

// libwmf keeps its state in one API object; this frees it on every way out.
class WmfApi {
public:
    WmfApi()
    {
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            if (api_)
                wmf_api_destroy(api_);
            api_ = nullptr;
            Refuse(QStringLiteral("the metafile library cannot start"));
        }
    }
    ~WmfApi()
    {
        if (open_)
            wmf_mem_close(api_);
        wmf_api_destroy(api_);
    }
    WmfApi(const WmfApi&) = delete;
    WmfApi& operator=(const WmfApi&) = delete;

    // frame: the placeable header's extent in points, or empty to take the drawing's own bounds.
    QByteArray ToSvg(QByteArray& data, const QSizeF& frame, QSize& size)
    {
        if (wmf_mem_open(api_, reinterpret_cast<unsigned char*>(data.data()), long(data.size())) != wmf_E_None)
            Refuse(QStringLiteral("the metafile cannot be opened"));
        open_ = true;
        wmfD_Rect bbox{};
        if (wmf_scan(api_, 0, &bbox) != wmf_E_None) {
            CheckWmfFonts();
            Refuse(QStringLiteral("the metafile cannot be read"));
        }
        unsigned int width = 0;
        unsigned int height = 0;
        if (wmf_display_size(api_, &width, &height, kScreenDpi, kScreenDpi) != wmf_E_None)
            Refuse(QStringLiteral("the metafile has no size"));
        wmf_svg_t* svg = WMF_SVG_GetData(api_);
        svg->out = wmf_stream_create(api_, nullptr);
        svg->Description = nullptr;
        // libwmf's device space is in points from the window origin; a placeable file's frame there
        // keeps its margins, where the drawing's bounds would crop them.
        if (!frame.isEmpty()) {
            bbox.TL.x = 0;
            bbox.TL.y = 0;
            bbox.BR.x = float(frame.width());
            bbox.BR.y = float(frame.height());
        }
        svg->bbox = bbox;
        svg->width = width;
        svg->height = height;
        const bool played = wmf_play(api_, 0, &bbox) == wmf_E_None;
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api_, svg->out, &buffer, &length);
        QByteArray out = played && buffer ? QByteArray(buffer, qsizetype(length)) : QByteArray();
        if (out.isEmpty())
            Refuse(QStringLiteral("the metafile cannot be drawn"));
        size = QSize(int(width), int(height));
        return out;
    }

private:
    wmfAPI* api_ = nullptr;
    bool open_ = false;
};

// A drawing's full-size picture costs memory and drawing time by its frame, which the file states
// freely: beyond 16 Mi pixels (an A0 poster at 96 dpi) a frame needs data in proportion.
constexpr qint64 kFreeMetafilePixels = qint64(16) << 20;
constexpr qint64 kMetafilePixelsPerByte = 1024;

void CheckFrameFill(int width, int height, qint64 bytes)
{
    if (qint64(width) * height > kFreeMetafilePixels + bytes * kMetafilePixelsPerByte)
        Refuse(QStringLiteral("%1 bytes cannot make a %2 x %3 picture").arg(bytes).arg(width).arg(height));
}

int Pixels(double units, double unitsPerInch)
{
    return int(std::lround(units * kScreenDpi / unitsPerInch));
}

}  // namespace

void TMetafile::LoadFromStream(QIODevice& stream)
{
    const QByteArray data = ReadPictureData(stream);
    QByteArray svg;
    int width = 0;
    int height = 0;
    bool enhanced = false;
    if (IsEmf(data)) {
        enhanced = true;
        CheckEmfRecords(data);
        // The frame is in hundredths of a millimetre, inclusive.
        const qint64 frameWidth = qint64(LeS32(data, 32)) - LeS32(data, 24);
        const qint64 frameHeight = qint64(LeS32(data, 36)) - LeS32(data, 28);
        width = Pixels(double(frameWidth), 2540.0);
        height = Pixels(double(frameHeight), 2540.0);
        CheckPictureSize(width, height);
        CheckFrameFill(width, height, data.size());
        svg = EmfToSvg(data, width, height);
    } else {
        const bool placeable = data.size() >= 22 && Le32(data, 0) == kPlaceableKey;
        const qint64 start = placeable ? 22 : 0;
        const quint32 largest = CheckWmfRecords(data, start);
        QByteArray copy = data;
        qToLittleEndian<quint32>(largest, copy.data() + start + 12);
        QSize size;
        QSizeF frame;
        if (placeable && Le16(data, 14) != 0) {
            const double inch = Le16(data, 14);
            const double units[2] = {std::abs(double(LeS16(data, 10)) - LeS16(data, 6)),
                                     std::abs(double(LeS16(data, 12)) - LeS16(data, 8))};
            width = Pixels(units[0], inch);
            height = Pixels(units[1], inch);
            frame = QSizeF(units[0] * 72.0 / inch, units[1] * 72.0 / inch);
            CheckPictureSize(width, height);
            CheckFrameFill(width, height, data.size());
        }
        svg = WmfApi().ToSvg(copy, frame, size);
        if (frame.isEmpty()) {
            width = size.width();
            height = size.height();
        }
        CheckPictureSize(width, height);
        CheckFrameFill(width, height, data.size());
    }
    if (!QSvgRenderer(svg).isValid())
        Refuse(QStringLiteral("the converted drawing is not valid"));
    data_ = data;
    svg_ = svg;
    width_ = width;
    height_ = height;
    enhanced_ = enhanced;
    Changed();
}

void TMetafile::SaveToStream(QIODevice& stream) const
{
    if (stream.write(data_) != data_.size())
        throw EFOpenError(QStringLiteral("Cannot write the metafile: %1").arg(stream.errorString()));
}

void TMetafile::Assign(const TGraphic& source)
{
    const auto* metafile = dynamic_cast<const TMetafile*>(&source);
    if (!metafile) {
        TGraphic::Assign(source);
        return;
    }
    data_ = metafile->data_;
    svg_ = metafile->svg_;
    width_ = metafile->width_;
    height_ = metafile->height_;
    enhanced_ = metafile->enhanced_;
    Changed();
}

void TMetafile::Draw(QPainter& canvas, const QRect& rect) const
{
    if (svg_.isEmpty() || !rect.isValid())
        return;
    QSvgRenderer renderer(svg_);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    renderer.render(&canvas, QRectF(rect));
}

}  // namespace tovari
