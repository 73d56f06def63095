#include "platform/FileName.h"
#include "platform/graphics/JpegImage.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/SpiTestSupport.h"

#include <QBuffer>
#include <QPainter>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::DibSpec;
using test::FakeLibrary;
using test::FakePlugin;

// Every progress report of one load, as "stage percent message", then the error the load ended with.
QStringList LoadReports(TGraphic& graphic, const QString& path)
{
    QStringList reports;
    graphic.OnProgress = [&](const TGraphic& sender, TProgressStage stage, int percent, bool redrawNow, const QRect&,
                             const QString& message) {
        EXPECT_EQ(&sender, &graphic);
        EXPECT_EQ(redrawNow, stage == psEnding);
        reports.append(QStringLiteral("%1 %2 %3").arg(int(stage)).arg(percent).arg(message));
    };
    try {
        graphic.LoadFromFile(path);
    } catch (const EInvalidGraphic& e) {
        reports.append(QStringLiteral("error: ") + e.Message());
    }
    graphic.OnProgress = nullptr;
    return reports;
}

// The first pixel whose colour is not what want gives, as "x,y: colour"; empty when there is none.
QString WrongPixel(const QImage& image, const std::function<QRgb(int x, int y)>& want)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != want(x, y))
                return QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(image.pixel(x, y), 8, 16);
    return QString();
}

class SpiDecode : public ::testing::Test {
protected:
    TSPI* Load(const QString& name, FakePlugin& plugin)
    {
        const QString path = dir.filePath(name);
        library.Add(path, plugin);
        spis->Add(CreateSPI(library, path));
        return spis->Items(spis->Count() - 1);
    }
    QString Photo(const QByteArray& bytes = QByteArray(3000, 'p'), const QString& name = QStringLiteral("photo.pic"))
    {
        return test::WriteFile(dir.filePath(name), bytes);
    }

    QTemporaryDir dir;
    FakeLibrary library;
    TPictureFormats formats{false};
    TSPIBitmapRegistration registration{formats};
    std::unique_ptr<TSPIs> spis = std::make_unique<TSPIs>(library, nullptr, formats);
};

TEST_F(SpiDecode, ReportsEveryTrialAndEndsOnceWhateverHappens)
{
    FakePlugin first = test::ImportPlugin(), second = test::ImportPlugin();
    Load("first.spi", first);
    Load("second.spi", second);
    const QString path = Photo();
    const QStringList start = {"0 0 Loading Graphic by Susie Plugin", "1 1 Seeking enabled Susie Plugins"};
    const QStringList trials = start + QStringList({"1 1 Loading by [second.spi]", "1 1 Loading by [second.spi]",
                                                    "1 1 Loading by [first.spi]", "1 1 Loading by [first.spi]"});
    const QString failed = QStringLiteral("error: Susie Plugins could not decode");
    TSPIGraphic graphic;
    EXPECT_EQ(LoadReports(graphic, path), trials + QStringList({"2 100 Loaded Graphic by Susie Plugin", failed}));
    EXPECT_TRUE(graphic.Empty());
    // The bitmap relays all but the graphic's end, tries the built-in reader, and ends with its own report.
    TSPIBitmap bitmap;
    EXPECT_EQ(LoadReports(bitmap, path), trials + QStringList({"0 0 ", "2 100 Loaded Graphic", failed}));
    // Without MacBinary one offset; the first plug-in that decodes ends the trial.
    spis->MacBinary = false;
    second.picture = test::AnswerDib(second, DibSpec{});
    EXPECT_EQ(LoadReports(graphic, path),
              start + QStringList({"1 1 Loading by [second.spi]", "2 100 Loaded Graphic by Susie Plugin"}));
    EXPECT_EQ(graphic.Width(), 2);
}

TEST_F(SpiDecode, HeaderAndSourcesAtBothOffsets)
{
    FakePlugin plugin = test::ImportPlugin();
    Load("p.spi", plugin);
    QByteArray bytes(3000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    using Headers = std::vector<QByteArray>;
    using Sources = std::vector<std::pair<QByteArray, intptr_t>>;
    auto take = [](auto& seen) { return std::exchange(seen, {}); };
    // A file: by name, at offsets 0 and 128; the header buffer seen from each offset.
    const QString path = Photo(bytes);
    EXPECT_THROW(TSPIGraphic().LoadFromFile(path), EInvalidGraphic);
    EXPECT_EQ(take(plugin.headers), (Headers{bytes.left(16), bytes.mid(128, 16)}));
    EXPECT_EQ(take(plugin.pictureSources), (Sources{{NativePath(path), 0}, {NativePath(path), 128}}));
    EXPECT_EQ(plugin.pictureInfoCalls, 2);
    // A memory stream positioned in its middle is handed over from its first byte, whole.
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(1500);
    EXPECT_THROW(TSPIGraphic().LoadFromStreamWithName(buffer, "x.pic"), EInvalidGraphic);
    EXPECT_EQ(take(plugin.headers), (Headers{bytes.left(16), bytes.mid(128, 16)}));
    EXPECT_EQ(take(plugin.pictureSources), (Sources{{bytes, 3000}, {bytes.mid(128), 3000 - 128}}));
    // Another stream is copied from its beginning; a short one gets no call past its end.
    QFile file(Photo(QByteArray("tiny"), "tiny.pic"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(2);
    EXPECT_THROW(TSPIGraphic().LoadFromStream(file), EInvalidGraphic);
    EXPECT_EQ(plugin.headers, (Headers{QByteArray("tiny") + QByteArray(12, '\0'), QByteArray(16, '\0')}));
    EXPECT_EQ(plugin.pictureSources, (Sources{{"tiny", 4}}));
}

TEST_F(SpiDecode, ProgressPercentsAndStopRequests)
{
    struct Case {
        int done, total, percent;
    };
    for (const Case& c : {Case{0, 100, 2}, Case{100, 100, 99}, Case{50, 100, 51}, Case{1, 0, 1}, Case{3, 7, 44}})
        EXPECT_EQ(SpiProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;

    FakePlugin stopping = test::ImportPlugin(), good = test::ImportPlugin();
    std::vector<int> answers;
    // It hands memory back although it fails: the host frees it.
    const auto dib = test::AnswerDib(stopping, DibSpec{});
    stopping.picture = [&](const char* buf, intptr_t len, unsigned flag, HLOCAL* info, HLOCAL* bits,
                           SpiProgressCallback cb, intptr_t user) {
        answers.push_back(cb(0, 100, user));
        answers.push_back(cb(100, 100, user));
        dib(buf, len, flag, info, bits, cb, user);
        return answers.back() ? SPI_ABORT : SPI_ALL_RIGHT;
    };
    good.picture = test::AnswerDib(good, DibSpec{.width = 3});
    Load("good.spi", good);
    Load("stopping.spi", stopping);
    spis->MacBinary = false;
    const QString path = Photo();

    struct Handler {
        const char* name;
        std::function<void(int percent)> react;
        QString failure;
        std::vector<int> answers;
        QList<int> percents;
        int width;  // 2 from stopping.spi, 3 from good.spi
    };
    const Handler handlers[] = {
        {"records", [](int) {}, "<none>", {0, 0}, {2, 99}, 2},
        {"aborts", [](int) { throw EAbort(); }, "<none>", {1, 1}, {2, 99}, 3},
        {"fails", [](int) { throw EInvalidGraphic(QStringLiteral("handler failed")); }, "handler failed", {1, 1}, {2}, 0},
    };
    for (const Handler& h : handlers) {
        SCOPED_TRACE(h.name);
        answers.clear();
        stopping.handedOut.clear();
        TSPIGraphic graphic;
        QList<int> percents;
        graphic.OnProgress = [&](const TGraphic&, TProgressStage stage, int percent, bool, const QRect&,
                                 const QString& message) {
            if (stage == psRunning && message.isEmpty()) {
                percents.append(percent);
                h.react(percent);
            }
        };
        EXPECT_EQ(test::Thrown<EInvalidGraphic>([&] { graphic.LoadFromFile(path); }), h.failure);
        EXPECT_EQ(graphic.Width(), h.width);
        EXPECT_EQ(answers, h.answers);
        EXPECT_EQ(percents, h.percents);
        // Memory of a failed call is freed at once; of a kept one, when the graphic goes.
        EXPECT_TRUE(!h.answers[1] || test::AllFreed(stopping.handedOut));
    }
}

// Results that lie about their blocks, and handles that are garbage or one block in two places, are refused
// without harm and the next plug-in is tried; every block the liar took is freed, its text block too (the
// count of live blocks is back). A sound top-down result with a text block is taken.
TEST_F(SpiDecode, UntrustedResultsAreRefusedAndTheNextPluginTried)
{
    struct Case {
        const char* what;
        DibSpec spec;
        int handles = 0;  // 1: one block for both, 2: the text block as the pixels, 3: garbage
        int width = 3;    // good.spi's when refused
    };
    const DibSpec sound{.width = 2, .height = 3, .bits = 32, .heightSign = -1};
    const Case cases[] = {
        {"header size 12", {.headerSize = 12}},
        {"two planes", {.planes = 2}},
        {"depth 7", {.bits = 7}},
        {"width negative", {.width = -3}},
        {"height 0", {.height = 0}},
        {"width 65536", {.width = 65536, .height = 1}},
        {"height 65536", {.width = 1, .height = 65536}},
        {"17 colours at 4 bits", {.bits = 4, .coloursUsed = 17}},
        {"257 colours at 24 bits", {.coloursUsed = 257}},
        {"header cut", {.trimInfo = 41}},
        {"colour table cut", {.bits = 8, .trimInfo = 4}},
        {"pixels cut", {.trimBits = 1}},
        {"top-down pixels cut", {.height = 5, .heightSign = -1, .trimBits = 8}},
        {"sound", sound, 0, 2},
        {"one block for both", sound, 1},
        {"the text block is the pixels", sound, 2},
        {"garbage", sound, 3},
    };
    FakePlugin good = test::ImportPlugin(), liar = test::ImportPlugin();
    good.picture = test::AnswerDib(good, DibSpec{.width = 3, .height = 1});
    Load("good.spi", good);
    Load("liar.spi", liar);
    spis->MacBinary = false;
    const QString path = Photo();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HLOCAL text = nullptr;
        liar.pictureInfo = [&](SpiPictureInfo* info) { return text = info->hInfo = LocalAlloc(LMEM_ZEROINIT, 64), 0; };
        liar.picture = [&](const char*, intptr_t, unsigned, HLOCAL* info, HLOCAL* bits, SpiProgressCallback,
                           intptr_t) {
            test::MakeDib(c.spec, info, bits);
            if (c.handles == 1)
                LocalFree(*bits), *bits = *info;
            if (c.handles == 2)
                LocalFree(*bits), *bits = text;
            if (c.handles == 3)
                LocalFree(*info), LocalFree(*bits), *info = *bits = reinterpret_cast<HLOCAL>(0x12345678);
            return 0;
        };
        std::size_t blocksBefore = 0, blocksAfter = 0;
        LocalStatistics(&blocksBefore, nullptr, nullptr);
        {
            TSPIBitmap bitmap;
            EXPECT_NO_THROW(bitmap.LoadFromFile(path));
            EXPECT_EQ(bitmap.Width(), c.width);
        }
        LocalStatistics(&blocksAfter, nullptr, nullptr);
        EXPECT_EQ(blocksAfter, blocksBefore);
    }
}

TEST_F(SpiDecode, PixelsPalettesAndTheBitmapFile)
{
    const QList<quint32> table = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    auto pattern = [](int x, int y) { return quint32((x + 2 * y) % 4); };
    struct Case {
        int bits;
        int coloursUsed;
        int infoSize;
        int paletteSize;
        TPixelFormat format;
    };
    const Case cases[] = {
        {1, 0, 48, 2, pf1bit},  {4, 4, 56, 4, pf4bit},   {4, 0, 104, 16, pf4bit},
        {8, 0, 1064, 256, pf8bit}, {24, 0, 40, 0, pf24bit}, {32, 0, 40, 0, pf32bit},
    };
    FakePlugin plugin = test::ImportPlugin();
    Load("p.spi", plugin);
    const QString path = Photo();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        EXPECT_TRUE(test::AllFreed(plugin.handedOut));
        plugin.handedOut.clear();
        DibSpec spec{.width = 5, .height = 3, .bits = c.bits, .coloursUsed = c.coloursUsed, .table = table};
        spec.pixel = c.bits <= 8 ? std::function<quint32(int, int)>([&](int x, int y) { return pattern(x, y) % (1u << c.bits); })
                                 : std::function<quint32(int, int)>([&](int x, int y) { return table[pattern(x, y)]; });
        plugin.picture = test::AnswerDib(plugin, spec);
        TSPIGraphic graphic;
        graphic.LoadFromFile(path);
        EXPECT_EQ(std::tuple(graphic.InfoSize(), graphic.Palette().size(), graphic.Is4Bit(), graphic.ImageSize()),
                  std::tuple(c.infoSize, c.paletteSize, c.bits == 4, 3 * (((5 * c.bits + 31) / 32) * 4)));
        const QByteArray file = graphic.SaveToBytes();
        EXPECT_EQ(std::pair(file.left(2), file.size()),
                  std::pair(QByteArray("BM"), 14 + qsizetype(c.infoSize) + graphic.ImageSize()));

        // The drawn picture, the plain bitmap made from it and the one loaded show each pixel's colour.
        auto expected = [&](int x, int y) -> QRgb {
            const quint32 raw = spec.pixel(x, y);
            return 0xFF000000u | (c.bits <= 8 ? table[int(raw)] : raw);
        };
        EXPECT_EQ(WrongPixel(graphic.ToImage(), expected), QString());
        TSPIBitmap bitmap;
        bitmap.Assign(graphic);
        EXPECT_EQ(bitmap.PixelFormat(), c.format);
        EXPECT_EQ(WrongPixel(bitmap.ToImage(), expected), QString());
        // Stretched drawing samples the nearest pixel.
        QImage big(10, 6, QImage::Format_RGB32);
        {
            QPainter painter(&big);
            graphic.Draw(painter, big.rect());
        }
        EXPECT_EQ(big.pixel(9, 5), expected(4, 2));
        EXPECT_FALSE(graphic.Empty());
        {
            TSPIBitmap loaded;
            loaded.LoadFromFile(path);
            EXPECT_EQ(WrongPixel(loaded.ToImage(), expected), QString());
            EXPECT_TRUE(c.bits != 4 ||
                        loaded.Palette().mid(0, 4) == QList<QRgb>({0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
            // The load moved the plug-in's memory out at once; 32-bit rows became the bitmap's own pixels.
            EXPECT_EQ(LocalSize(plugin.handedOut.end()[-2]), 0u);
            EXPECT_EQ(LocalSize(plugin.handedOut.back()) != 0, c.bits == 32);
        }
        EXPECT_EQ(LocalSize(plugin.handedOut.back()), 0u);
    }
}

// 32-bit rows are turned top row first where they lie: every row lands once, whatever the height's parity
// or direction. The fourth byte is straight alpha, unless it is 0 throughout: then the picture is opaque.
TEST_F(SpiDecode, ThirtyTwoBitRowsAreTakenInPlace)
{
    struct Case {
        int height;
        int heightSign;
        int alpha;  // -1: every fourth byte 0; otherwise the first row's alpha, rising by 40 a row
    };
    const Case cases[] = {{1, 1, -1}, {2, 1, -1}, {5, 1, 0}, {6, 1, 255}, {4, -1, 7}, {3, -1, -1}};
    FakePlugin plugin = test::ImportPlugin();
    Load("p.spi", plugin);
    const QString path = Photo();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height * c.heightSign);
        auto pixel = [&c](int x, int y) {
            const quint32 alpha = c.alpha < 0 ? 0 : quint32(std::min(255, c.alpha + 40 * y));
            return quint32(0x00102030 + (y << 16) + x) | alpha << 24;
        };
        plugin.picture = test::AnswerDib(
            plugin, DibSpec{.width = 3, .height = c.height, .bits = 32, .pixel = pixel, .heightSign = c.heightSign});
        TSPIBitmap loaded;
        loaded.LoadFromFile(path);
        ASSERT_EQ(loaded.Height(), c.height);
        const QImage image = loaded.ToImage();
        EXPECT_EQ(image.hasAlphaChannel(), c.alpha >= 0 && c.alpha < 255);
        const quint32 opaque = c.alpha < 0 ? 0xFF000000u : 0;
        EXPECT_EQ(WrongPixel(image, [&](int x, int y) { return pixel(x, y) | opaque; }), QString());
    }
}

TEST_F(SpiDecode, BitmapReaderOrderAndFailures)
{
    FakePlugin plugin = test::ImportPlugin({"*.pic;*.bmp", "Anything"});
    plugin.picture = test::AnswerDib(plugin, DibSpec{.width = 7, .height = 1});
    Load("p.spi", plugin);
    QImage red(4, 2, QImage::Format_RGB32);
    red.fill(Qt::red);
    TBitmap source;
    source.SetImage(red, pf24bit);
    source.SaveToFile(dir.filePath("source.bmp"));
    const QByteArray bmp = test::ReadFileBytes(dir.filePath("source.bmp"));
    // By its name a BMP file goes to the bitmap reader first, under another name to the plug-ins first; a BMP
    // file the bitmap reader refuses still gets the plug-ins.
    TSPIBitmap bitmap;
    for (const auto& [name, bytes, width] : {std::tuple("valid.bmp", bmp, 4), std::tuple("valid.BmP", bmp, 4),
                                             std::tuple("valid.pic", bmp, 7),
                                             std::tuple("broken.bmp", QByteArray("no"), 7)}) {
        bitmap.LoadFromFile(Photo(bytes, name));
        EXPECT_EQ(bitmap.Width(), width) << name;
    }
    // A failed load keeps what the bitmap held.
    plugin.supported = 0;
    EXPECT_THROW(bitmap.LoadFromFile(Photo("junk", "junk.pic")), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 7);
    // A missing file: neither reader opens it.
    EXPECT_THROW(bitmap.LoadFromFile(dir.filePath("missing.pic")), EInvalidGraphic);
    // A stream the plug-ins read through: rewound for the second reader.
    QFile in(dir.filePath("source.bmp"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    TSPIBitmap streamed;
    streamed.LoadFromStreamWithName(in, "x.pic");
    EXPECT_EQ(streamed.Width(), 4);
    // No registry at all: the bitmap reader alone.
    spis.reset();
    TSPIBitmap alone;
    alone.LoadFromFile(dir.filePath("valid.pic"));
    EXPECT_EQ(alone.Width(), 4);
    EXPECT_THROW(TSPIGraphic().LoadFromFile(dir.filePath("valid.pic")), EInvalidGraphic);
}

TEST_F(SpiDecode, PreviewFirstWhenAskedAndFallsBackToThePicture)
{
    FakePlugin withPreview = test::ImportPlugin(), without = test::ImportPlugin();
    withPreview.exports.insert("GetPreview");
    withPreview.preview = test::AnswerDib(withPreview, DibSpec{.width = 1, .height = 1});
    withPreview.picture = test::AnswerDib(withPreview, DibSpec{.width = 9, .height = 9});
    without.picture = test::AnswerDib(without, DibSpec{.width = 8, .height = 8});
    Load("without.spi", without);
    spis->GraphicPreview = true;
    spis->MacBinary = false;
    const QString path = Photo();
    // A plug-in without a preview has its picture asked for: the host refuses to call the missing function.
    TSPIGraphic graphic;
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 8);
    Load("with.spi", withPreview);
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 1);
    EXPECT_EQ(withPreview.pictureCalls, 0);
    // A preview that fails falls back to the picture.
    withPreview.preview = [](const char*, intptr_t, unsigned, HLOCAL*, HLOCAL*, SpiProgressCallback, intptr_t) { return 2; };
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 9);
}

// While the registration lives, a plug-in's pattern takes over a built-in format; with it, it goes again.
TEST_F(SpiDecode, PluginFormatsLeaveTheRegistryWithTheRegistration)
{
    FakePlugin plugin = test::ImportPlugin({"*.jpg", "JPEG by plug-in"});
    TPictureFormats global;  // with the built-in JPEG decoder
    spis.reset();
    {
        TSPIBitmapRegistration scoped(global);
        TSPIs registry(library, nullptr, global);
        registry.Add(CreateSPI(library, library.AddFile(dir.filePath("jpeg.spi"), plugin)));
        EXPECT_TRUE(global.Find("JPG") == TGraphicClass::Of<TSPIBitmap>());
    }
    EXPECT_TRUE(global.Find("jpg") == TGraphicClass::Of<TJPEGImage>());
}

}  // namespace
}  // namespace tovari
