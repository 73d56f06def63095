#include "app/PluginSwitch.h"
#include "local/Thumbnail.h"
#include "platform/profile/IniFile.h"
#include "tests/app/ProgramFixture.h"
#include "platform/graphics/Picture.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "tests/common/TestSupport.h"

#include <QBuffer>
#include <QLabel>
#include <QDir>
#include <QTemporaryDir>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

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

void WritePng(const QImage& image, const QString& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width());
    png.height = png_uint_32(image.height());
    png.format = image.format() == QImage::Format_RGBA8888 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&png, QFile::encodeName(path).constData(), 0, image.constBits(),
                                        png_int_32(image.bytesPerLine()), nullptr));
}

// An indexed PNG of four colours, through libpng's colour-map writer.
void WriteIndexedPng(const QString& path, QImage& expected)
{
    const png_byte map[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    const int width = 13, height = 7;
    std::vector<png_byte> pixels(std::size_t(width * height));
    expected = QImage(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int i = (x + y) % 4;
            pixels[std::size_t(y * width + x)] = png_byte(i);
            expected.setPixelColor(x, y, QColor(map[3 * i], map[3 * i + 1], map[3 * i + 2]));
        }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = width;
    png.height = height;
    png.format = PNG_FORMAT_RGB_COLORMAP;
    png.colormap_entries = 4;
    ASSERT_TRUE(png_image_write_to_file(&png, QFile::encodeName(path).constData(), 0, pixels.data(), 0, map));
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

void WriteTiff(const QImage& image, const QString& path)
{
    const bool alpha = image.format() == QImage::Format_RGBA8888;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, alpha ? 4 : 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    if (alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    for (int y = 0; y < image.height(); ++y)
        ASSERT_EQ(TIFFWriteScanline(tif, const_cast<uchar*>(image.constScanLine(y)), uint32_t(y), 0), 1);
    TIFFClose(tif);
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

// False when this libheif has no encoder for the format.
bool WriteHeif(const QImage& image, const QString& path, heif_compression_format format)
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
    const bool ok = heif_context_encode_image(context, picture, encoder, nullptr, nullptr).code == heif_error_Ok &&
                    heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_image_release(picture);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

// The largest and the mean difference of any channel.
std::pair<int, double> Difference(const QImage& a, const QImage& b, bool withAlpha)
{
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            for (int d : {p.red() - q.red(), p.green() - q.green(), p.blue() - q.blue(),
                          withAlpha ? p.alpha() - q.alpha() : 0}) {
                worst = std::max(worst, std::abs(d));
                sum += std::abs(d);
            }
        }
    return {worst, sum / (a.width() * a.height() * 4.0)};
}

class RealPlugins : public ::testing::Test {
protected:
    void SetUp() override
    {
        spis = std::make_unique<TSPIs>(library, nullptr, formats);
        spis->Search(QStringLiteral(TOVARI_PLUGIN_DIR "/*.spi"));
    }
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

    QTemporaryDir dir;
    TNativeSPILibrary library;
    TPictureFormats formats{false};
    TSPIBitmapRegistration registration{formats};
    std::unique_ptr<TSPIs> spis;
};

TEST_F(RealPlugins, EachAnswersItsInformation)
{
    struct Case {
        const char* file;
        const char* patterns;
    };
    const Case cases[] = {{"avif.spi", "*.avif"}, {"gif.spi", "*.gif"},   {"heic.spi", "*.heic;*.heif"},
                          {"png.spi", "*.png"},   {"tiff.spi", "*.tif;*.tiff"}, {"webp.spi", "*.webp"}};
    ASSERT_EQ(spis->Count(), 6);
    for (int i = 0; i < 6; ++i) {
        const TSPI& spi = *spis->Items(i);
        EXPECT_EQ(QDir(spi.FileName()).dirName(), QLatin1String(cases[i].file));
        EXPECT_NE(dynamic_cast<const TInSPI*>(&spi), nullptr);
        EXPECT_EQ(spi.APIVersion(), QStringLiteral("00IN"));
        EXPECT_TRUE(spi.PluginName().startsWith(QStringLiteral("tovari "))) << spi.PluginName().toStdString();
        EXPECT_EQ(spi.Extensions(), QStringList{QLatin1String(cases[i].patterns)});
        EXPECT_EQ(spi.Descriptions().size(), 1);
    }
    for (const char* extension : {"png", "gif", "tif", "tiff", "webp", "heic", "heif", "avif"})
        EXPECT_TRUE(formats.Find(QLatin1String(extension)) == TGraphicClass::Of<TSPIBitmap>()) << extension;
}

TEST_F(RealPlugins, LosslessFormatsDecodePixelForPixel)
{
    struct Case {
        const char* name;
        bool alpha;
        std::function<void(const QImage&, const QString&, QImage&)> write;
    };
    const Case cases[] = {
        {"rgb.png", false, [](const QImage& i, const QString& p, QImage&) { WritePng(i, p); }},
        {"rgba.png", true, [](const QImage& i, const QString& p, QImage&) { WritePng(i, p); }},
        {"indexed.png", false, [](const QImage&, const QString& p, QImage& e) { WriteIndexedPng(p, e); }},
        {"photo.gif", false, [](const QImage& i, const QString& p, QImage& e) { WriteGif(i, p, e); }},
        {"rgb.tif", false, [](const QImage& i, const QString& p, QImage&) { WriteTiff(i, p); }},
        {"rgba.tiff", true, [](const QImage& i, const QString& p, QImage&) { WriteTiff(i, p); }},
        {"rgb.webp", false, [](const QImage& i, const QString& p, QImage&) { WriteWebp(i, p, true); }},
        {"rgba.webp", true, [](const QImage& i, const QString& p, QImage&) { WriteWebp(i, p, true); }},
    };
    for (const Case& c : cases) {
        const QImage source = Pattern(37, 23, c.alpha);
        QImage expected = source;
        const QString path = dir.filePath(c.name);
        c.write(source, path, expected);
        // The host reads 32-bit pixels as colour only, so alpha is compared in the plug-in's own block below.
        for (const QImage& decoded : {LoadFile(path), LoadMemory(path)}) {
            ASSERT_EQ(decoded.size(), expected.size()) << c.name;
            const auto [worst, mean] = Difference(decoded, expected, false);
            EXPECT_EQ(worst, 0) << c.name;
        }
    }
    // The indexed PNG and the GIF keep their colour tables.
    TSPIBitmap indexed;
    indexed.LoadFromFile(dir.filePath("indexed.png"));
    EXPECT_EQ(indexed.PixelFormat(), pf8bit);
    EXPECT_EQ(indexed.Palette().mid(0, 4), QList<QRgb>({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(250, 250, 250)}));
    TSPIBitmap gif;
    gif.LoadFromFile(dir.filePath("photo.gif"));
    EXPECT_EQ(gif.PixelFormat(), pf8bit);
    // Alpha travels in the fourth byte of the plug-in's 32-bit rows.
    TSPIGraphic graphic;
    graphic.LoadFromFile(dir.filePath("rgba.png"));
    const QByteArray file = graphic.SaveToBytes();
    const QImage source = Pattern(37, 23, true);
    const int rowBytes = 37 * 4;
    for (int y : {0, 11, 22})
        for (int x : {0, 17, 36})
            EXPECT_EQ(uchar(file[14 + 40 + (22 - y) * rowBytes + 4 * x + 3]), source.pixelColor(x, y).alpha()) << x << "," << y;
}

TEST_F(RealPlugins, LossyFormatsDecodeWithinASmallError)
{
    const QImage source = Gradient(64, 48);
    struct Case {
        const char* name;
        std::function<bool(const QString&)> write;
    };
    const Case cases[] = {
        {"photo.webp", [&](const QString& p) { WriteWebp(source, p, false); return true; }},
        {"photo.heic", [&](const QString& p) { return WriteHeif(source, p, heif_compression_HEVC); }},
        {"photo.avif", [&](const QString& p) { return WriteHeif(source, p, heif_compression_AV1); }},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(c.write(path)) << c.name << ": no encoder in this libheif";
        for (const QImage& decoded : {LoadFile(path), LoadMemory(path)}) {
            ASSERT_EQ(decoded.size(), source.size()) << c.name;
            const auto [worst, mean] = Difference(decoded, source, false);
            EXPECT_LE(worst, 24) << c.name;
            EXPECT_LE(mean, 3.0) << c.name;
        }
    }
}

TEST_F(RealPlugins, CutFilesAreRefusedAndAStopIsHonoured)
{
    const QImage source = Pattern(300, 200, false);
    WritePng(source, dir.filePath("p.png"));
    QImage unused;
    WriteGif(source, dir.filePath("p.gif"), unused);
    WriteTiff(source, dir.filePath("p.tif"));
    WriteWebp(source, dir.filePath("p.webp"), true);
    ASSERT_TRUE(WriteHeif(Gradient(64, 48), dir.filePath("p.heic"), heif_compression_HEVC));
    ASSERT_TRUE(WriteHeif(Gradient(64, 48), dir.filePath("p.avif"), heif_compression_AV1));
    for (const char* name : {"p.png", "p.gif", "p.tif", "p.webp", "p.heic", "p.avif"}) {
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

TEST_F(RealPlugins, CraftedPluginsThatLieAreRefused)
{
    const QImage source = Pattern(37, 23, false);
    const QString path = dir.filePath("real.png");
    WritePng(source, path);
    // The crafted ones come later and claim PNG too, so they are tried first.
    spis->Search(QStringLiteral(TOVARI_CRAFTED_DIR "/*.spi"));
    ASSERT_EQ(spis->Count(), 8);
    std::vector<TSPI*> order;
    spis->FindSPIs({&SPIClass<TInSPI>}, path, order);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(QDir(order[0]->FileName()).dirName(), QStringLiteral("short_block.spi"));
    EXPECT_EQ(QDir(order[1]->FileName()).dirName(), QStringLiteral("lying_header.spi"));
    const QImage decoded = LoadFile(path);
    ASSERT_EQ(decoded.size(), source.size());
    EXPECT_EQ(Difference(decoded, source, false).first, 0);
    // Alone, they decode nothing.
    while (spis->Count() > 2)
        spis->Delete(0);
    TSPIGraphic graphic;
    EXPECT_THROW(graphic.LoadFromFile(path), EInvalidGraphic);
}

TEST_F(RealPlugins, PhotosOfEveryFormatGetThumbnails)
{
    // The program's own registry: thumbnails load by file name through it.
    spis.reset();
    TSPIBitmapRegistration global;
    spis = std::make_unique<TSPIs>(library);
    spis->Search(QStringLiteral(TOVARI_PLUGIN_DIR "/*.spi"));
    QImage red(120, 80, QImage::Format_RGB888);
    red.fill(QColor(220, 30, 30));
    QImage unused;
    WritePng(red, dir.filePath("a.png"));
    WriteGif(red, dir.filePath("b.gif"), unused);
    WriteTiff(red, dir.filePath("c.tiff"));
    WriteWebp(red, dir.filePath("d.webp"), false);
    ASSERT_TRUE(WriteHeif(red, dir.filePath("e.heic"), heif_compression_HEVC));
    ASSERT_TRUE(WriteHeif(red, dir.filePath("f.avif"), heif_compression_AV1));
    for (const char* name : {"a.png", "b.gif", "c.tiff", "d.webp", "e.heic", "f.avif"}) {
        const ThumbnailResult thumbnail = MakeThumbnail(dir.filePath(name));
        EXPECT_TRUE(thumbnail.ready && thumbnail.loadable) << name;
        const QColor centre = thumbnail.cell.pixelColor(50, 50);
        EXPECT_NEAR(centre.red(), 220, 30) << name;
        EXPECT_NEAR(centre.green(), 30, 30) << name;
        // The margin above the 100 x 67 picture stays white.
        EXPECT_EQ(thumbnail.cell.pixel(50, 5), qRgb(255, 255, 255)) << name;
        TPicture full;
        full.LoadFromFile(dir.filePath(name));
        EXPECT_EQ(full.Width(), 120) << name;
        EXPECT_EQ(full.Height(), 80) << name;
    }
    spis.reset();
}

// The whole program with the switch on from its settings: a folder of every format lists with thumbnails
// and opens at full size, and the choice is written back at close.
class PluginProgram : public test::ProgramTest {};

TEST_F(PluginProgram, SwitchedOnAtStartEveryFormatGetsAThumbnailAndOpensAtFullSize)
{
    const QString folder = MakeFolder(QStringLiteral("mixed"));
    QImage red(120, 80, QImage::Format_RGB888);
    red.fill(QColor(220, 30, 30));
    QImage unused;
    WritePng(red, folder + "/a.png");
    WriteGif(red, folder + "/b.gif", unused);
    WriteTiff(red, folder + "/c.tiff");
    WriteWebp(red, folder + "/d.webp", false);
    ASSERT_TRUE(WriteHeif(red, folder + "/e.heic", heif_compression_HEVC));
    ASSERT_TRUE(WriteHeif(red, folder + "/f.avif", heif_compression_AV1));
    const QString ini = sandbox.filePath(QStringLiteral("data/tovari/tovari.ini"));
    {
        QDir().mkpath(QFileInfo(ini).path());
        TIniFile settings(ini);
        settings.WriteBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), true);
        settings.WriteString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QStringLiteral(TOVARI_PLUGIN_DIR));
    }

    Start();
    TForm1& f = Form();
    EXPECT_TRUE(f.Actions().ActSusiePlugin->isChecked());
    f.resize(900, 600);
    f.show();
    SelectPcFolder(folder);
    ASSERT_TRUE(WaitForListing());
    TPcBrowser& pc = f.Local().Pc();
    ASSERT_EQ(pc.PcImages.size(), 6u);
    ASSERT_TRUE(test::WaitFor([&] {
        return std::all_of(pc.PcImages.begin(), pc.PcImages.end(), [](const TPcImages& e) { return e.ThumbTried; });
    }));
    for (const TPcImages& entry : pc.PcImages) {
        EXPECT_TRUE(entry.Loadable) << entry.FileName.toStdString();
        ASSERT_GE(entry.ImageIndex, 0) << entry.FileName.toStdString();
        EXPECT_NEAR(pc.PcImageList()->Image(entry.ImageIndex).pixelColor(50, 50).red(), 220, 30)
            << entry.FileName.toStdString();
    }
    pc.PcShowBigImage(5);
    EXPECT_EQ(f.Tabs().currentIndex(), 2);
    EXPECT_EQ(f.BigImages().BigImage->size(), QSize(120, 80));

    f.close();
    const TIniFile written(ini);
    EXPECT_TRUE(written.ReadBool(QStringLiteral("PLUGIN"), QStringLiteral("Spi"), false));
    EXPECT_EQ(written.ReadString(QStringLiteral("PLUGIN"), QStringLiteral("SpiFolder"), QString()),
              QStringLiteral(TOVARI_PLUGIN_DIR));
}

}  // namespace
}  // namespace tovari
