#include "platform/graphics/Metafile.h"

#include "platform/graphics/Sampling.h"

#include <QFileInfo>
#include <QIODevice>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cmath>
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

// The converters trust record sizes; every record must lie within the file and the last be EOF.
void CheckEmfRecords(const QByteArray& d)
{
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
        at += size;
    }
    Refuse(QStringLiteral("too many records"));
}

void CheckWmfRecords(const QByteArray& d, qint64 start)
{
    if (d.size() - start < 18)
        Refuse(QStringLiteral("the header is cut short"));
    const quint16 headerWords = Le16(d, start + 2);
    if ((Le16(d, start) != 1 && Le16(d, start) != 2) || headerWords != 9)
        Refuse(QStringLiteral("no metafile header"));
    qint64 at = start + 18;
    for (qint64 n = 0; n < kMaxRecords; ++n) {
        if (d.size() - at < 6)
            Refuse(QStringLiteral("the records end without an end record"));
        const qint64 size = qint64(Le32(d, at)) * 2;
        const quint16 function = Le16(d, at + 4);
        if (size < 6 || size > d.size() - at)
            Refuse(QStringLiteral("a record of %1 bytes does not fit the file").arg(size));
        if (function == 0)
            return;
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
        svg = EmfToSvg(data, width, height);
    } else {
        const bool placeable = data.size() >= 22 && Le32(data, 0) == kPlaceableKey;
        CheckWmfRecords(data, placeable ? 22 : 0);
        QByteArray copy = data;
        QSize size;
        QSizeF frame;
        if (placeable && Le16(data, 14) != 0) {
            const double inch = Le16(data, 14);
            const double units[2] = {std::abs(double(LeS16(data, 10)) - LeS16(data, 6)),
                                     std::abs(double(LeS16(data, 12)) - LeS16(data, 8))};
            width = Pixels(units[0], inch);
            height = Pixels(units[1], inch);
            frame = QSizeF(units[0] * 72.0 / inch, units[1] * 72.0 / inch);
        }
        svg = WmfApi().ToSvg(copy, frame, size);
        if (frame.isEmpty()) {
            width = size.width();
            height = size.height();
        }
        CheckPictureSize(width, height);
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
