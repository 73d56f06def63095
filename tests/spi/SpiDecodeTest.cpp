#include "platform/graphics/Picture.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "tests/common/TestSupport.h"
#include "tests/spi/FakePlugins.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::DibSpec;
using test::FakeLibrary;
using test::FakePlugin;

// Every progress report as "stage percent message".
struct ProgressLog {
    TProgressEvent Handler(const TGraphic* expectedSender)
    {
        return [this, expectedSender](const TGraphic& sender, TProgressStage stage, int percent, bool redrawNow,
                                      const QRect&, const QString& message) {
            if (expectedSender) {
                EXPECT_EQ(&sender, expectedSender);
            }
            EXPECT_EQ(redrawNow, stage == psEnding);
            reports.append(QStringLiteral("%1 %2 %3").arg(int(stage)).arg(percent).arg(message));
        };
    }
    QStringList reports;
};

class SpiDecode : public ::testing::Test {
protected:
    void SetUp() override { spis = std::make_unique<TSPIs>(library, nullptr, formats); }
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
    std::unique_ptr<TSPIs> spis;
};

TEST_F(SpiDecode, ReportsEveryTrialAndEndsOnceWhateverHappens)
{
    FakePlugin first = test::ImportPlugin(), second = test::ImportPlugin();
    Load("first.spi", first);
    Load("second.spi", second);
    const QString path = Photo();
    const QStringList trials = {"0 0 Loading Graphic by Susie Plugin", "1 1 Seeking enabled Susie Plugins",
                                "1 1 Loading by [second.spi]", "1 1 Loading by [second.spi]",
                                "1 1 Loading by [first.spi]", "1 1 Loading by [first.spi]"};
    {
        TSPIGraphic graphic;
        ProgressLog log;
        graphic.OnProgress = log.Handler(&graphic);
        try {
            graphic.LoadFromFile(path);
            ADD_FAILURE();
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Susie Plugins could not decode"));
        }
        EXPECT_EQ(log.reports, trials + QStringList({"2 100 Loaded Graphic by Susie Plugin"}));
        EXPECT_TRUE(graphic.Empty());
    }
    {
        // The bitmap relays all but the graphic's end, tries the built-in reader, and ends with its own report.
        TSPIBitmap bitmap;
        ProgressLog log;
        bitmap.OnProgress = log.Handler(&bitmap);
        EXPECT_THROW(bitmap.LoadFromFile(path), EInvalidGraphic);
        EXPECT_EQ(log.reports, trials + QStringList({"0 0 ", "2 100 Loaded Graphic"}));
    }
    {
        // Without MacBinary one offset; the first plug-in that decodes ends the trial.
        spis->MacBinary = false;
        second.picture = test::AnswerDib(second, DibSpec{});
        TSPIGraphic graphic;
        ProgressLog log;
        graphic.OnProgress = log.Handler(&graphic);
        graphic.LoadFromFile(path);
        const QStringList expected = {"0 0 Loading Graphic by Susie Plugin", "1 1 Seeking enabled Susie Plugins",
                                      "1 1 Loading by [second.spi]", "2 100 Loaded Graphic by Susie Plugin"};
        EXPECT_EQ(log.reports, expected);
        EXPECT_EQ(graphic.Width(), 2);
        EXPECT_EQ(first.pictureCalls, 4);
    }
}

TEST_F(SpiDecode, HeaderAndSourcesAtBothOffsets)
{
    FakePlugin plugin = test::ImportPlugin();
    Load("p.spi", plugin);
    QByteArray bytes(3000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    {
        // A file: by name, at offsets 0 and 128; the header buffer seen from each offset.
        TSPIGraphic graphic;
        EXPECT_THROW(graphic.LoadFromFile(Photo(bytes)), EInvalidGraphic);
        ASSERT_EQ(plugin.headers.size(), 2u);
        EXPECT_EQ(plugin.headers[0], bytes.left(16));
        EXPECT_EQ(plugin.headers[1], bytes.mid(128, 16));
        ASSERT_EQ(plugin.pictureSources.size(), 2u);
        EXPECT_EQ(plugin.pictureSources[0].second, 0);
        EXPECT_EQ(plugin.pictureSources[1].second, 128);
        EXPECT_EQ(plugin.pictureInfoCalls, 2);
    }
    plugin.pictureSources.clear();
    plugin.headers.clear();
    {
        // A memory stream positioned in its middle is handed over from its first byte, whole.
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(1500);
        TSPIGraphic graphic;
        EXPECT_THROW(graphic.LoadFromStreamWithName(buffer, "x.pic"), EInvalidGraphic);
        ASSERT_EQ(plugin.pictureSources.size(), 2u);
        EXPECT_EQ(plugin.pictureSources[0].first, bytes);
        EXPECT_EQ(plugin.pictureSources[0].second, 3000);
        EXPECT_EQ(plugin.pictureSources[1].first, bytes.mid(128));
        EXPECT_EQ(plugin.pictureSources[1].second, 3000 - 128);
    }
    plugin.pictureSources.clear();
    plugin.headers.clear();
    {
        // Another stream is copied from its beginning; a short one gets no call past its end.
        QFile file(Photo(QByteArray("tiny"), "tiny.pic"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        file.seek(2);
        TSPIGraphic graphic;
        EXPECT_THROW(graphic.LoadFromStream(file), EInvalidGraphic);
        ASSERT_EQ(plugin.pictureSources.size(), 1u);
        EXPECT_EQ(plugin.pictureSources[0].first, QByteArray("tiny"));
        ASSERT_EQ(plugin.headers.size(), 2u);
        EXPECT_EQ(plugin.headers[0], QByteArray("tiny") + QByteArray(12, '\0'));
        EXPECT_EQ(plugin.headers[1], QByteArray(16, '\0'));
    }
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
    stopping.picture = [&](const char*, intptr_t, unsigned, HLOCAL* info, HLOCAL* bits, SpiProgressCallback cb,
                           intptr_t user) {
        answers.push_back(cb(0, 100, user));
        answers.push_back(cb(100, 100, user));
        // It hands memory back although it fails: the host frees it.
        test::MakeDib(DibSpec{}, info, bits);
        stopping.handedOut.push_back(*info);
        stopping.handedOut.push_back(*bits);
        return answers.back() ? SPI_ABORT : SPI_ALL_RIGHT;
    };
    good.picture = test::AnswerDib(good, DibSpec{});
    Load("good.spi", good);
    Load("stopping.spi", stopping);
    spis->MacBinary = false;
    const QString path = Photo();

    struct Handler {
        const char* name;
        std::function<void(int percent)> react;
        QString expectedFailure;  // empty: the load succeeds through good.spi
        std::vector<int> answers;
    };
    const Handler handlers[] = {
        {"records", [](int) {}, QString(), {0, 0}},
        {"aborts", [](int) { throw EAbort(); }, QString(), {1, 1}},
        {"fails", [](int) { throw EInvalidGraphic(QStringLiteral("handler failed")); }, "handler failed", {1, 1}},
    };
    for (const Handler& h : handlers) {
        answers.clear();
        stopping.handedOut.clear();
        good.pictureCalls = 0;
        TSPIGraphic graphic;
        QList<int> percents;
        graphic.OnProgress = [&](const TGraphic&, TProgressStage stage, int percent, bool, const QRect&,
                                 const QString& message) {
            if (stage == psRunning && message.isEmpty()) {
                percents.append(percent);
                h.react(percent);
            }
        };
        if (h.expectedFailure.isEmpty()) {
            graphic.LoadFromFile(path);
            EXPECT_EQ(good.pictureCalls, h.answers[1] ? 1 : 0) << h.name;
        } else {
            try {
                graphic.LoadFromFile(path);
                ADD_FAILURE() << h.name;
            } catch (const EInvalidGraphic& e) {
                EXPECT_EQ(e.Message(), h.expectedFailure);
            }
            EXPECT_TRUE(graphic.Empty());
        }
        EXPECT_EQ(answers, h.answers) << h.name;
        EXPECT_EQ(percents.first(), 2) << h.name;
        if (!h.answers[0]) {
            EXPECT_EQ(percents, QList<int>({2, 99})) << h.name;
        }
        // Memory of a failed call is freed at once; of a kept one, when the graphic goes.
        if (h.answers[1]) {
            for (HLOCAL handle : stopping.handedOut)
                EXPECT_EQ(LocalSize(handle), 0u) << h.name;
        }
    }
}

TEST_F(SpiDecode, UntrustedResultsAreRefusedAndTheNextPluginTried)
{
    struct Case {
        const char* what;
        DibSpec spec;
    };
    auto spec = [](auto change) {
        DibSpec s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"header size 12", spec([](DibSpec& s) { s.headerSize = 12; })},
        {"header size 108", spec([](DibSpec& s) { s.headerSize = 108; })},
        {"two planes", spec([](DibSpec& s) { s.planes = 2; })},
        {"depth 7", spec([](DibSpec& s) { s.bits = 7; })},
        {"depth 0", spec([](DibSpec& s) { s.bits = 0; })},
        {"width 0", spec([](DibSpec& s) { s.width = 0; })},
        {"width negative", spec([](DibSpec& s) { s.width = -3; })},
        {"height 0", spec([](DibSpec& s) { s.height = 0; })},
        {"width 65536", spec([](DibSpec& s) { s.width = 65536; s.height = 1; })},
        {"height 65536", spec([](DibSpec& s) { s.height = 65536; s.width = 1; })},
        {"17 colours at 4 bits", spec([](DibSpec& s) { s.bits = 4; s.coloursUsed = 17; })},
        {"257 colours at 24 bits", spec([](DibSpec& s) { s.coloursUsed = 257; })},
        {"header cut", spec([](DibSpec& s) { s.trimInfo = 41; })},
        {"colour table cut", spec([](DibSpec& s) { s.bits = 8; s.trimInfo = 4; })},
        {"pixels cut", spec([](DibSpec& s) { s.trimBits = 1; })},
        {"top-down pixels cut", spec([](DibSpec& s) { s.heightSign = -1; s.height = 5; s.trimBits = 8; })},
    };
    FakePlugin good = test::ImportPlugin(), liar = test::ImportPlugin();
    good.picture = test::AnswerDib(good, DibSpec{.width = 3, .height = 1});
    Load("good.spi", good);
    Load("liar.spi", liar);
    spis->MacBinary = false;
    const QString path = Photo();
    for (const Case& c : cases) {
        liar.handedOut.clear();
        liar.picture = test::AnswerDib(liar, c.spec);
        TSPIBitmap bitmap;
        EXPECT_NO_THROW(bitmap.LoadFromFile(path)) << c.what;
        EXPECT_EQ(bitmap.Width(), 3) << c.what;
        for (HLOCAL handle : liar.handedOut)
            EXPECT_EQ(LocalSize(handle), 0u) << c.what;
    }
    // Handles that are garbage, or one block in two places, are refused without harm, and every block the liar
    // took is freed (the count of live blocks is back); a sound top-down result with a text block is taken.
    const char* const lies[] = {"none", "one block for both", "the text block is the pixels", "garbage"};
    for (int lie = 0; lie < 4; ++lie) {
        HLOCAL text = nullptr;
        liar.pictureInfo = [&](SpiPictureInfo* info) { return text = info->hInfo = LocalAlloc(LMEM_ZEROINIT, 64), 0; };
        liar.picture = [&](const char*, intptr_t, unsigned, HLOCAL* info, HLOCAL* bits, SpiProgressCallback,
                           intptr_t) {
            test::MakeDib(DibSpec{.width = 2, .height = 3, .bits = 32, .heightSign = -1}, info, bits);
            if (lie == 1)
                LocalFree(*bits), *bits = *info;
            if (lie == 2)
                LocalFree(*bits), *bits = text;
            if (lie == 3)
                LocalFree(*info), LocalFree(*bits), *info = *bits = reinterpret_cast<HLOCAL>(0x12345678);
            return 0;
        };
        std::size_t blocksBefore = 0, blocksAfter = 0;
        LocalStatistics(&blocksBefore, nullptr, nullptr);
        {
            TSPIGraphic graphic;
            graphic.LoadFromFile(path);
            EXPECT_EQ(graphic.Height(), lie == 0 ? -3 : 1) << lies[lie];
        }
        LocalStatistics(&blocksAfter, nullptr, nullptr);
        EXPECT_EQ(blocksAfter, blocksBefore) << lies[lie];
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
        for (HLOCAL handle : plugin.handedOut)
            EXPECT_EQ(LocalSize(handle), 0u);
        plugin.handedOut.clear();
        DibSpec spec{.width = 5, .height = 3, .bits = c.bits, .coloursUsed = c.coloursUsed, .table = table};
        spec.pixel = c.bits <= 8 ? std::function<quint32(int, int)>([&](int x, int y) { return pattern(x, y) % (1u << c.bits); })
                                 : std::function<quint32(int, int)>([&](int x, int y) { return table[pattern(x, y)]; });
        plugin.picture = test::AnswerDib(plugin, spec);
        TSPIGraphic graphic;
        graphic.LoadFromFile(path);
        EXPECT_EQ(graphic.InfoSize(), c.infoSize) << c.bits;
        EXPECT_EQ(graphic.Palette().size(), c.paletteSize) << c.bits;
        EXPECT_EQ(graphic.Is4Bit(), c.bits == 4);
        EXPECT_EQ(graphic.ImageSize(), 3 * (((5 * c.bits + 31) / 32) * 4));
        const QByteArray file = graphic.SaveToBytes();
        EXPECT_EQ(file.left(2), QByteArray("BM"));
        EXPECT_EQ(file.size(), 14 + graphic.InfoSize() + graphic.ImageSize());

        // The drawn picture, the plain bitmap made from it, and the colour each pixel should have.
        auto expected = [&](int x, int y) -> QRgb {
            const quint32 raw = spec.pixel(x, y);
            const quint32 rgb = c.bits <= 8 ? table[int(raw)] : raw;
            return qRgb(int(rgb >> 16) & 255, int(rgb >> 8) & 255, int(rgb) & 255);
        };
        const QImage drawn = graphic.ToImage();
        TSPIBitmap bitmap;
        bitmap.Assign(graphic);
        EXPECT_EQ(bitmap.PixelFormat(), c.format) << c.bits;
        const QImage plain = bitmap.ToImage();
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(drawn.pixel(x, y) | 0xFF000000u, expected(x, y) | 0xFF000000u) << c.bits << " " << x << "," << y;
                EXPECT_EQ(plain.pixel(x, y) | 0xFF000000u, expected(x, y) | 0xFF000000u) << c.bits << " " << x << "," << y;
            }
        // Stretched drawing samples the nearest pixel.
        QImage big(10, 6, QImage::Format_RGB32);
        {
            QPainter painter(&big);
            graphic.Draw(painter, big.rect());
        }
        EXPECT_EQ(big.pixel(9, 5) | 0xFF000000u, expected(4, 2) | 0xFF000000u) << c.bits;
        EXPECT_FALSE(graphic.Empty());
        {
            TSPIBitmap loaded;
            loaded.LoadFromFile(path);
            const QImage image = loaded.ToImage();
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(image.pixel(x, y) | 0xFF000000u, expected(x, y) | 0xFF000000u) << c.bits << " " << x << "," << y;
            if (c.bits == 4) {
                EXPECT_EQ(loaded.Palette().mid(0, 4), QList<QRgb>({0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
            }
            // The load moved the plug-in's memory out at once; 32-bit rows became the bitmap's own pixels.
            EXPECT_EQ(LocalSize(plugin.handedOut.end()[-2]), 0u) << c.bits;
            EXPECT_EQ(LocalSize(plugin.handedOut.back()) != 0, c.bits == 32) << c.bits;
        }
        EXPECT_EQ(LocalSize(plugin.handedOut.back()), 0u) << c.bits;
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
        EXPECT_EQ(image.hasAlphaChannel(), c.alpha >= 0 && c.alpha < 255) << c.height;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(image.pixel(x, y), pixel(x, y) | (c.alpha < 0 ? 0xFF000000u : 0)) << c.height * c.heightSign << " " << x << "," << y;
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
    for (const char* name : {"valid.bmp", "valid.BmP"}) {
        const QString path = dir.filePath(name);
        source.SaveToFile(path);
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(path);
        EXPECT_EQ(bitmap.Width(), 4) << name;
        EXPECT_EQ(plugin.isSupportedCalls, 0) << name;
    }
    // Under another name the same file goes to the plug-ins first.
    const QString renamed = dir.filePath("valid.pic");
    source.SaveToFile(renamed);
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(renamed);
    EXPECT_EQ(bitmap.Width(), 7);
    // A BMP file the bitmap reader refuses still gets the plug-ins.
    TSPIBitmap fallback;
    fallback.LoadFromFile(Photo(QByteArray("not a bitmap"), "broken.bmp"));
    EXPECT_EQ(fallback.Width(), 7);

    // A failed load keeps what the bitmap held and still ends with its report.
    plugin.supported = 0;
    ProgressLog log;
    bitmap.OnProgress = log.Handler(&bitmap);
    EXPECT_THROW(bitmap.LoadFromFile(Photo(QByteArray("junk"), "junk.pic")), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 7);
    EXPECT_EQ(log.reports.last(), "2 100 Loaded Graphic");
    // A missing file: neither reader opens it.
    EXPECT_THROW(bitmap.LoadFromFile(dir.filePath("missing.pic")), EInvalidGraphic);

    // A stream: rewound for the second reader.
    QByteArray bmp;
    {
        QBuffer out(&bmp);
        out.open(QIODevice::WriteOnly);
        source.SaveToStream(out);
    }
    QBuffer in(&bmp);
    in.open(QIODevice::ReadOnly);
    TSPIBitmap streamed;
    streamed.LoadFromStreamWithName(in, "x.pic");
    EXPECT_EQ(streamed.Width(), 4);
    // No registry at all: the bitmap reader alone.
    spis.reset();
    TSPIBitmap alone;
    alone.LoadFromFile(dir.filePath("valid.pic"));
    EXPECT_EQ(alone.Width(), 4);
    TSPIGraphic graphic;
    EXPECT_THROW(graphic.LoadFromFile(renamed), EInvalidGraphic);
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
    TSPIGraphic graphic;
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 8);
    EXPECT_EQ(without.previewCalls, 0);
    Load("with.spi", withPreview);
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 1);
    EXPECT_EQ(withPreview.pictureCalls, 0);
    // A preview that fails falls back to the picture.
    withPreview.preview = [](const char*, intptr_t, unsigned, HLOCAL*, HLOCAL*, SpiProgressCallback, intptr_t) { return 2; };
    graphic.LoadFromFile(path);
    EXPECT_EQ(graphic.Width(), 9);
}

TEST_F(SpiDecode, RegisteredExtensionsLoadThroughThePlugins)
{
    FakePlugin plugin = test::ImportPlugin({"*.jpg", "JPEG by plug-in"});
    plugin.picture = test::AnswerDib(plugin, DibSpec{.width = 6, .height = 4});
    TPictureFormats global;  // with the built-in JPEG decoder
    TSPIs::SetGraphicClass(TGraphicClass::Of<TSPIBitmap>());
    spis.reset();
    TSPIs registry(library, nullptr, global);
    const QString spiPath = dir.filePath("jpeg.spi");
    library.Add(spiPath, plugin);
    registry.Add(CreateSPI(library, spiPath));
    TPicture picture(global);
    picture.LoadFromFile(Photo(QByteArray(100, 'j'), "photo.JPG"));
    EXPECT_NE(dynamic_cast<TSPIBitmap*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 6);
    // At the end every TSPIBitmap format leaves the registry again.
    {
        TSPIBitmapRegistration scoped(global);
    }
    EXPECT_FALSE(global.Find("jpg") == TGraphicClass::Of<TSPIBitmap>());
    EXPECT_TRUE(global.Find("jpg").has_value());
}

}  // namespace
}  // namespace tovari
