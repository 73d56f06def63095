#include "platform/profile/IniFile.h"
#include "tests/app/ProgramFixture.h"
#include "platform/graphics/Picture.h"
#include "platform/graphics/Sampling.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QBuffer>
#include <QLabel>
#include <QDir>
#include <QTemporaryDir>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace tovari {
namespace {

// A picture with edges and odd sizes, so row padding and channel order show. No pixel is wholly
// transparent: encoders may change the colour under those.
QImage Pattern(int width, int height, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor((x * 37 + y * 5) % 256, (y * 11) % 256, (x ^ y) * 3 % 256,
                                             alpha ? 1 + (x * 7 + y) % 255 : 255));
    return image;
}

// A smooth picture for the lossy encoders.
QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 128));
    return image;
}

// An indexed PNG of four colours, through Qt's writer.
void WriteIndexedPng(const QString& path, QImage& expected)
{
    QImage indexed(13, 7, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(250, 250, 250)});
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            indexed.setPixel(x, y, uint((x + y) % 4));
    ASSERT_TRUE(indexed.save(path, "PNG"));
    expected = indexed.convertToFormat(QImage::Format_RGB888);
}

void WriteGif(const QImage& image, const QString& path, QImage& expected)
{
    // 256 colours: 6 x 6 x 6 levels; the expected picture is the source mapped onto them.
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i)
        map->Colors[i] = i < 216 ? GifColorType{GifByteType(i / 36 * 51), GifByteType(i / 6 % 6 * 51), GifByteType(i % 6 * 51)}
                                 : GifColorType{0, 0, 0};
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    ASSERT_EQ(EGifPutScreenDesc(gif, image.width(), image.height(), 8, 0, map), GIF_OK);
    ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr), GIF_OK);
    expected = QImage(image.size(), QImage::Format_RGB888);
    std::vector<GifPixelType> line(std::size_t(image.width()));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int i = (c.red() * 5 / 255) * 36 + (c.green() * 5 / 255) * 6 + c.blue() * 5 / 255;
            line[std::size_t(x)] = GifPixelType(i);
            expected.setPixelColor(x, y, QColor(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
        }
        ASSERT_EQ(EGifPutLine(gif, line.data(), image.width()), GIF_OK);
    }
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
}

enum class TiffKind { Plain, Grey, Associated };

// The upright picture stored turned as orientation says (the stored rows are what libtiff is given).
// Grey keeps the red channel; Associated stores colour premultiplied by alpha. expected gets what the
// file can give back.
void WriteTiff(const QImage& upright, const QString& path, int orientation = 1, TiffKind kind = TiffKind::Plain,
               QImage* expected = nullptr)
{
    const bool alpha = upright.format() == QImage::Format_RGBA8888;
    const int samples = kind == TiffKind::Grey ? 1 : alpha ? 4 : 3;
    const QSize stored = UprightSize(upright.size(), orientation);
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(stored.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(stored.height()));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    if (alpha) {
        const uint16_t extra[] = {uint16_t(kind == TiffKind::Associated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA)};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<uchar> row(std::size_t(stored.width() * samples));
    for (int y = 0; y < stored.height(); ++y) {
        for (int x = 0; x < stored.width(); ++x) {
            const QPoint at = UprightPoint(orientation, x, y, stored);
            const QColor c = upright.pixelColor(at);
            const int a = kind == TiffKind::Associated ? c.alpha() : 255;
            const int v[] = {c.red() * a / 255, c.green() * a / 255, c.blue() * a / 255, c.alpha()};
            std::copy(v, v + samples, row.begin() + x * samples);
            const auto back = [a](int s) { return a ? std::min(255, (s * 255 + a / 2) / a) : 0; };
            if (expected)
                expected->setPixelColor(at, samples == 1 ? QColor(v[0], v[0], v[0]) : QColor(back(v[0]), back(v[1]), back(v[2]), c.alpha()));
        }
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), uint32_t(y), 0), 1);
    }
    TIFFClose(tif);
}

// Two frames on a 20 x 20 screen: the first, in a 20 x 15 rectangle at (5, 4) that reaches past the
// screen, shows colour 0 as transparent; the second covers everything in red. The expected picture is
// the first frame composed on the canvas. With a screen of 65,535 x 65,535 the canvas is more than such
// a file can fill: the picture is the first frame's own rectangle.
void WriteAnimatedGif(const QString& path, QImage& expected, bool hugeScreen)
{
    const GifColorType colours[] = {{0, 0, 0}, {200, 10, 10}, {10, 200, 10}, {10, 10, 200}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, hugeScreen ? 65535 : 20, hugeScreen ? 65535 : 20, 2, 0, map);
    const GifByteType control[] = {1, 0, 0, 0};  // transparent colour 0
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    EGifPutImageDesc(gif, 5, 4, 20, 15, false, nullptr);
    expected = QImage(hugeScreen ? QSize(20, 15) : QSize(25, 20), QImage::Format_RGBA8888);
    expected.fill(Qt::transparent);
    std::vector<GifPixelType> line(20);
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 20; ++x) {
            const GifColorType c = colours[line[std::size_t(x)] = GifPixelType((x / 3 + y) % 4)];
            if (line[std::size_t(x)])
                expected.setPixelColor(QPoint(x, y) + (hugeScreen ? QPoint() : QPoint(5, 4)), QColor(c.Red, c.Green, c.Blue));
        }
        EGifPutLine(gif, line.data(), 20);
    }
    EGifPutImageDesc(gif, 0, 0, 20, 20, false, nullptr);
    std::fill(line.begin(), line.end(), GifPixelType(1));
    for (int y = 0; y < 20; ++y)
        EGifPutLine(gif, line.data(), 20);
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
}

// Two lossless frames: the (partly transparent) picture, then all red.
void WriteAnimatedWebp(const QImage& first, const QString& path)
{
    QImage second(first.size(), QImage::Format_RGBA8888);
    second.fill(Qt::red);
    WebPAnimEncoderOptions options;
    WebPConfig config;
    ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options) && WebPConfigInit(&config));
    config.lossless = 1;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(first.width(), first.height(), &options);
    for (int i = 0; i < 2; ++i) {
        const QImage& frame = i ? second : first;
        WebPPicture picture;
        ASSERT_TRUE(WebPPictureInit(&picture));
        picture.use_argb = 1;
        picture.width = frame.width();
        picture.height = frame.height();
        ASSERT_TRUE(WebPPictureImportRGBA(&picture, frame.constBits(), int(frame.bytesPerLine())));
        ASSERT_TRUE(WebPAnimEncoderAdd(encoder, &picture, i * 100, &config));
        WebPPictureFree(&picture);
    }
    WebPData data;
    WebPDataInit(&data);
    ASSERT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr) && WebPAnimEncoderAssemble(encoder, &data));
    test::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size)));
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
}

void WriteWebp(const QImage& image, const QString& path, bool lossless)
{
    uint8_t* out = nullptr;
    const bool alpha = image.format() == QImage::Format_RGBA8888;
    std::size_t size = 0;
    if (lossless)
        size = alpha ? WebPEncodeLosslessRGBA(image.constBits(), image.width(), image.height(), int(image.bytesPerLine()), &out)
                     : WebPEncodeLosslessRGB(image.constBits(), image.width(), image.height(), int(image.bytesPerLine()), &out);
    else
        size = WebPEncodeRGB(image.constBits(), image.width(), image.height(), int(image.bytesPerLine()), 95, &out);
    ASSERT_GT(size, 0u);
    test::WriteFile(path, QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)));
    WebPFree(out);
}

// False when this libheif has no encoder for the format. The file says to show the picture turned as
// orientation (numbered as EXIF numbers it) says.
bool WriteHeif(const QImage& image, const QString& path, heif_compression_format format, int orientation = 1)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, format, &encoder).code != heif_error_Ok) {
        heif_context_free(context);
        return false;
    }
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_image* picture = nullptr;
    heif_image_create(image.width(), image.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &picture);
    heif_image_add_plane(picture, heif_channel_interleaved, image.width(), image.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(plane + y * stride, image.constScanLine(y), std::size_t(image.width() * 3));
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(orientation);
    const bool ok = heif_context_encode_image(context, picture, encoder, options, nullptr).code == heif_error_Ok &&
                    heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_encoding_options_free(options);
    heif_image_release(picture);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

// The picture as STEM.png, .gif, .tiff, .webp (lossless), .heic and .avif (these two of heif when given).
void WriteEveryFormat(const QImage& image, const QString& stem, const QImage& heif = QImage())
{
    QImage unused;
    test::WritePng(image, stem + ".png");
    WriteGif(image, stem + ".gif", unused);
    WriteTiff(image, stem + ".tiff");
    WriteWebp(image, stem + ".webp", true);
    const QImage opaque = (heif.isNull() ? image : heif).convertToFormat(QImage::Format_RGB888);
    ASSERT_TRUE(WriteHeif(opaque, stem + ".heic", heif_compression_HEVC));
    ASSERT_TRUE(WriteHeif(opaque, stem + ".avif", heif_compression_AV1));
}

// The largest and the mean difference of any channel; with alpha, colour under wholly transparent pixels
// does not count.
std::pair<int, double> Difference(const QImage& a, const QImage& b, bool withAlpha)
{
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (withAlpha && p.alpha() == 0 && q.alpha() == 0)
                continue;  // no colour shows
            for (int d : {p.red() - q.red(), p.green() - q.green(), p.blue() - q.blue(),
                          withAlpha ? p.alpha() - q.alpha() : 0}) {
                worst = std::max(worst, std::abs(d));
                sum += std::abs(d);
            }
        }
    return {worst, sum / (a.width() * a.height() * 4.0)};
}

class RealPlugins : public test::WithRealPlugins {
protected:
    // Decoded through the picture-format registry, by file name.
    QImage LoadFile(const QString& path)
    {
        TPicture picture(formats);
        picture.LoadFromFile(path);
        EXPECT_NE(dynamic_cast<TSPIBitmap*>(picture.Graphic()), nullptr);
        return picture.Graphic()->ToImage();
    }
    QImage LoadMemory(const QString& path)
    {
        QByteArray bytes = test::ReadFileBytes(path);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TSPIBitmap bitmap;
        bitmap.LoadFromStreamWithName(buffer, path);
        return bitmap.ToImage();
    }
};

TEST_F(RealPlugins, EachAnswersItsInformation)
{
    EXPECT_EQ(test::Names(spis), QStringList({"avif.spi", "gif.spi", "heic.spi", "png.spi", "tiff.spi", "webp.spi"}));
    // Only import plug-ins register formats, and each pattern entry has its description: the patterns and
    // the registered formats below show both.
    QStringList patterns;
    for (int i = 0; i < spis.Count(); ++i) {
        const TSPI& spi = *spis.Items(i);
        SCOPED_TRACE(spi.PluginName().toStdString());
        EXPECT_TRUE(spi.PluginName().startsWith(QStringLiteral("tovari ")));
        patterns += spi.Extensions();
    }
    EXPECT_EQ(patterns, QStringList({"*.avif", "*.gif", "*.heic;*.heif", "*.png", "*.tif;*.tiff", "*.webp"}));
    for (const char* extension : {"png", "gif", "tif", "tiff", "webp", "heic", "heif", "avif"})
        EXPECT_TRUE(formats.Find(QLatin1String(extension)) == TGraphicClass::Of<TSPIBitmap>()) << extension;
}

// Each format pixel for pixel, alpha included: transparent parts stay transparent, animations show their
// first frame on its canvas, and TIFFs show upright whatever their orientation, and whatever their height
// where libtiff reads them in bands of 64 rows (all but plain RGB).
TEST_F(RealPlugins, LosslessFormatsDecodePixelForPixel)
{
    using Write = std::function<void(const QImage&, const QString&, QImage&)>;
    auto tiff = [](int orientation, TiffKind kind) -> Write {
        return [=](const QImage& i, const QString& p, QImage& e) { WriteTiff(i, p, orientation, kind, &e); };
    };
    struct Case {
        const char* name;
        bool alpha;
        Write write;
        QSize size{37, 23};
    };
    const Case cases[] = {
        {"rgb.png", false, [](const QImage& i, const QString& p, QImage&) { test::WritePng(i, p); }},
        {"rgba.png", true, [](const QImage& i, const QString& p, QImage&) { test::WritePng(i, p); }},
        {"indexed.png", false, [](const QImage&, const QString& p, QImage& e) { WriteIndexedPng(p, e); }},
        {"photo.gif", false, [](const QImage& i, const QString& p, QImage& e) { WriteGif(i, p, e); }},
        {"animated.gif", false, [](const QImage&, const QString& p, QImage& e) { WriteAnimatedGif(p, e, false); }},
        {"huge-screen.gif", false, [](const QImage&, const QString& p, QImage& e) { WriteAnimatedGif(p, e, true); }},
        {"rgb.tif", false, tiff(1, TiffKind::Plain)},
        {"rgba.tiff", true, tiff(1, TiffKind::Plain)},
        {"associated.tiff", true, tiff(1, TiffKind::Associated)},
        {"mirrored.tif", false, tiff(2, TiffKind::Plain)},
        {"half-turn.tif", true, tiff(3, TiffKind::Plain), {70, 130}},
        {"bottom-up.tif", false, tiff(4, TiffKind::Plain), {37, 65}},
        {"grey-bottom-up-65.tif", false, tiff(4, TiffKind::Grey), {37, 65}},
        {"grey-bottom-up-128.tif", false, tiff(4, TiffKind::Grey), {37, 128}},
        {"grey-bottom-up-200.tif", false, tiff(4, TiffKind::Grey), {37, 200}},
        {"transposed.tif", false, tiff(5, TiffKind::Plain), {70, 130}},
        {"quarter-clockwise.tif", false, tiff(6, TiffKind::Plain), {130, 70}},
        {"transverse.tif", false, tiff(7, TiffKind::Grey), {70, 130}},
        {"quarter-anticlockwise.tif", true, tiff(8, TiffKind::Associated), {130, 70}},
        {"rgb.webp", false, [](const QImage& i, const QString& p, QImage&) { WriteWebp(i, p, true); }},
        {"rgba.webp", true, [](const QImage& i, const QString& p, QImage&) { WriteWebp(i, p, true); }},
        {"animated.webp", true, [](const QImage& i, const QString& p, QImage&) { WriteAnimatedWebp(i, p); }},
    };
    for (const Case& c : cases) {
        const QImage source = Pattern(c.size.width(), c.size.height(), c.alpha);
        QImage expected = source;
        const QString path = dir.filePath(c.name);
        c.write(source, path, expected);
        for (const QImage& decoded : {LoadFile(path), LoadMemory(path)}) {
            ASSERT_EQ(decoded.size(), expected.size()) << c.name;
            EXPECT_EQ(Difference(decoded, expected, true).first, 0) << c.name;
        }
    }
    // The indexed PNG and the opaque GIF keep their colour tables.
    TSPIBitmap indexed;
    indexed.LoadFromFile(dir.filePath("indexed.png"));
    EXPECT_EQ(indexed.PixelFormat(), pf8bit);
    EXPECT_EQ(indexed.Palette().mid(0, 4), QList<QRgb>({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(250, 250, 250)}));
    TSPIBitmap gif;
    gif.LoadFromFile(dir.filePath("photo.gif"));
    EXPECT_EQ(gif.PixelFormat(), pf8bit);
}

// The PNG suite (every colour type, depth, transparency and interlacing) through the PNG plug-in as Qt's
// own reader sees it: values as stored, no gamma applied, transparent pixels transparent.
TEST_F(RealPlugins, PngSuiteReadsAsAnIndependentReaderSeesIt)
{
    const QDir suite(QStringLiteral(TOVARI_SHARED_TESTDATA "/pngsuite"));
    const QStringList files = suite.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        GTEST_SKIP() << "no PNG suite at " << suite.path().toStdString() << " (shared test data not checked out)";
    for (const QString& name : files) {
        // Qt's reader garbles a 16-bit colour picture with a transparent colour (a tRNS chunk): it reads
        // the picture without the chunk, and the pixels of exactly that colour are made transparent here.
        const QByteArray bytes = test::ReadFileBytes(suite.filePath(name));
        const qsizetype trns = bytes.indexOf("tRNS") - 4;
        const bool key16 = bytes[25] == 2 && bytes[24] == 16 && trns > 0;
        const QImage stored = QImage::fromData(key16 ? QByteArray(bytes).remove(trns, 18) : bytes).convertToFormat(QImage::Format_RGBA64);
        QImage want = stored.convertToFormat(QImage::Format_ARGB32);
        const auto key = [&](int i) { return quint16(uchar(bytes[trns + 8 + 2 * i]) << 8 | uchar(bytes[trns + 9 + 2 * i])); };
        for (int y = 0; key16 && y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x) {
                const QRgba64 c = reinterpret_cast<const QRgba64*>(stored.constScanLine(y))[x];
                if (c.red() == key(0) && c.green() == key(1) && c.blue() == key(2))
                    want.setPixel(x, y, 0);
            }
        const QImage got = LoadFile(suite.filePath(name)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(got.size(), want.size()) << name.toStdString();
        EXPECT_LE(Difference(got, want, true).first, 1) << name.toStdString();
    }
}

// HEIC and AVIF files that say to show them turned show as libheif turns them.
TEST_F(RealPlugins, LossyFormatsDecodeWithinASmallError)
{
    const QImage source = Gradient(64, 48);
    struct Case {
        const char* name;
        std::function<bool(const QString&)> write;
        int orientation = 1;
    };
    const Case cases[] = {
        {"photo.webp", [&](const QString& p) { WriteWebp(source, p, false); return true; }},
        {"photo.heic", [&](const QString& p) { return WriteHeif(source, p, heif_compression_HEVC); }},
        {"photo.avif", [&](const QString& p) { return WriteHeif(source, p, heif_compression_AV1); }},
        {"turned.heic", [&](const QString& p) { return WriteHeif(source, p, heif_compression_HEVC, 6); }, 6},
        {"turned.avif", [&](const QString& p) { return WriteHeif(source, p, heif_compression_AV1, 5); }, 5},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(c.write(path)) << c.name << ": no encoder in this libheif";
        QImage upright(UprightSize(source.size(), c.orientation), QImage::Format_RGB888);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                upright.setPixelColor(UprightPoint(c.orientation, x, y, source.size()), source.pixelColor(x, y));
        for (const QImage& decoded : {LoadFile(path), LoadMemory(path)}) {
            ASSERT_EQ(decoded.size(), upright.size()) << c.name;
            const auto [worst, mean] = Difference(decoded, upright, false);
            EXPECT_LE(worst, 24) << c.name;
            EXPECT_LE(mean, 3.0) << c.name;
        }
    }
}

TEST_F(RealPlugins, CutFilesAreRefusedAndAStopIsHonoured)
{
    const QImage source = Pattern(300, 200, false);
    WriteEveryFormat(source, dir.filePath("p"), Gradient(64, 48));
    for (const char* name : {"p.png", "p.gif", "p.tiff", "p.webp", "p.heic", "p.avif"}) {
        const QByteArray whole = test::ReadFileBytes(dir.filePath(name));
        for (const qsizetype length : {qsizetype(12), qsizetype(64), whole.size() / 2, whole.size() - 40}) {
            const QString cut = test::WriteFile(dir.filePath(QStringLiteral("cut-%1-").arg(length) + name), whole.left(length));
            TSPIBitmap bitmap;
            EXPECT_THROW(bitmap.LoadFromFile(cut), EInvalidGraphic) << name << " cut at " << length;
        }
        // The first progress report asks to stop: the plug-in gives up and nothing is decoded.
        TSPIGraphic stopped;
        int reports = 0;
        stopped.OnProgress = [&](const TGraphic&, TProgressStage stage, int, bool, const QRect&, const QString& message) {
            if (stage == psRunning && message.isEmpty()) {
                ++reports;
                throw EAbort();
            }
        };
        EXPECT_THROW(stopped.LoadFromFile(dir.filePath(name)), EInvalidGraphic) << name;
        EXPECT_GE(reports, 1) << name;
        // And a picture after a MacBinary header still decodes, at offset 128.
        const QString wrapped = test::WriteFile(dir.filePath(QStringLiteral("mac-") + name), QByteArray(128, '\x01') + whole);
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(wrapped);
        EXPECT_FALSE(bitmap.Empty()) << name;
    }
}

// The whole program with the switch on from its settings: a folder of every format lists with thumbnails
// and opens at full size, and the choice is written back at close. The photos' top quarter is
// transparent: it shows the white of the thumbnail cell where the format keeps alpha.
class PluginProgram : public test::ProgramTest {};

TEST_F(PluginProgram, SwitchedOnAtStartEveryFormatGetsAThumbnailAndOpensAtFullSize)
{
    const QString folder = MakeFolder(QStringLiteral("mixed"));
    QImage red(120, 80, QImage::Format_RGBA8888);
    red.fill(QColor(220, 30, 30));
    std::fill_n(reinterpret_cast<quint32*>(red.bits()), 120 * 20, 0u);
    WriteEveryFormat(red, folder + "/red");
    const QString ini = sandbox.filePath(QStringLiteral("data/tovari/tovari.ini"));
    QDir().mkpath(QFileInfo(ini).path());
    TIniFile(ini).WriteBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), true);
    TIniFile(ini).WriteString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QStringLiteral(TOVARI_PLUGIN_DIR));

    Start();
    TForm1& f = Form();
    EXPECT_TRUE(f.Actions().ActSusiePlugin->isChecked());
    f.resize(900, 600);
    f.show();
    SelectPcFolder(folder);
    ASSERT_TRUE(WaitForListing());
    TPcBrowser& pc = Local().Pc();
    ASSERT_EQ(pc.PcImages.size(), 6u);
    ASSERT_TRUE(test::WaitFor([&] {
        return std::all_of(pc.PcImages.begin(), pc.PcImages.end(), [](const TPcImages& e) { return e.ThumbTried; });
    }));
    for (std::size_t i = 0; i < pc.PcImages.size(); ++i) {
        const TPcImages& entry = pc.PcImages[i];
        const std::string name = entry.FileName.toStdString();
        EXPECT_TRUE(entry.Loadable) << name;
        ASSERT_GE(entry.ImageIndex, 0) << name;
        const QImage cell = pc.PcImageList()->Image(entry.ImageIndex);
        EXPECT_NEAR(cell.pixelColor(50, 50).red(), 220, 30) << name;
        EXPECT_NEAR(cell.pixelColor(50, 50).green(), 30, 30) << name;
        EXPECT_EQ(cell.pixel(50, 5), qRgb(255, 255, 255)) << name;  // the margin above the 100 x 67 picture
        EXPECT_EQ(cell.pixel(50, 20) == qRgb(255, 255, 255), QString("png tiff webp").contains(entry.FileName.section('.', -1))) << name;
        pc.PcShowBigImage(std::int32_t(i));
        EXPECT_EQ(Tabs().currentIndex(), 2);
        EXPECT_EQ(BigImages().BigImage->size(), QSize(120, 80)) << name;
    }

    f.close();
    const TIniFile written(ini);
    EXPECT_TRUE(written.ReadBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), false));
    EXPECT_EQ(written.ReadString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QString()),
              QStringLiteral(TOVARI_PLUGIN_DIR));
}

}  // namespace
}  // namespace tovari
