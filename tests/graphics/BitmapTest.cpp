#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Picture.h"

#include <QDir>
#include <QPainter>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::LoadGraphic;

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

TEST(Bitmap, EachPixelFormatReadsBackWhatItSaved)
{
    struct Case {
        TPixelFormat format;
        QList<QRgb> colours;  // all exact in the format
    };
    for (const Case& c : {Case{pf1bit, {qRgb(10, 20, 30), qRgb(250, 240, 230)}},
                          Case{pf4bit, {kRed, kGreen, kBlue, qRgb(9, 9, 9), qRgb(200, 100, 50)}},
                          Case{pf8bit, {qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9), qRgb(100, 110, 120)}},
                          Case{pf15bit, {kRed, qRgb(0, 255, 255), kBlack, kWhite}},
                          Case{pf16bit, {kRed, kGreen, kBlue, kWhite}},
                          Case{pf24bit, {qRgb(1, 2, 3), qRgb(254, 128, 7), kBlack}},
                          Case{pf32bit, {qRgb(1, 2, 3), qRgb(254, 128, 7), qRgb(99, 0, 200)}}}) {
        SCOPED_TRACE(int(c.format));
        auto colourAt = [&](int x, int y) { return (x + 2 * y) % int(c.colours.size()); };
        TBitmap bitmap;
        bitmap.SetPixelFormat(c.format);
        bitmap.SetSize(5, 3);
        const bool indexed = c.format <= pf8bit;
        if (indexed)
            bitmap.SetPalette(c.colours);
        QImage want(5, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                bitmap.Image().setPixel(x, y, indexed ? uint(colourAt(x, y)) : c.colours[colourAt(x, y)]);
                want.setPixel(x, y, c.colours[colourAt(x, y)]);
            }
        const auto back = LoadGraphic<TBitmap>(test::SaveGraphic(bitmap));
        EXPECT_EQ(back->PixelFormat(), c.format);
        EXPECT_TRUE(!indexed || back->Palette().mid(0, c.colours.size()) == c.colours);
        EXPECT_EQ(test::Difference(back->Image(), want), QString());
    }
}

// Rows as stored: bottom row first, each padded to four bytes.
QByteArray Rows(std::initializer_list<QByteArray> topDown)
{
    QByteArray out;
    for (auto row = std::rbegin(topDown); row != std::rend(topDown); ++row)
        out += *row + QByteArray((4 - row->size() % 4) % 4, '\0');
    return out;
}

QList<QRgb> Ramp(int count)
{
    QList<QRgb> colours;
    for (int i = 0; i < count; ++i)
        colours.append(qRgb(i % 256, 7, 7));
    return colours;
}

// Variants that the public suite below does not hold, each read at known places.
TEST(Bitmap, ReadsVariantsPixelsAtTheirPlaces)
{
    struct Case {
        const char* name;
        test::BmpLayout layout;
        TPixelFormat format;
        std::vector<std::pair<QPoint, QRgb>> pixels;
    };
    const Case cases[] = {
        {"two bits", {.width = 4, .height = 1, .bits = 2, .palette = {kBlack, kRed, kGreen, kBlue}, .pixels = Rows({"\x1B"})},
         pf4bit, {{{0, 0}, kBlack}, {{1, 0}, kRed}, {{2, 0}, kGreen}, {{3, 0}, kBlue}}},
        {"index beyond the table is black",
         {.width = 3, .height = 1, .bits = 4, .palette = {kRed, kGreen}, .pixels = Rows({QByteArray("\x01\xF0", 2)})},
         pf4bit, {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{2, 0}, kBlack}}},
        {"table larger than the depth",
         {.width = 2, .height = 1, .bits = 8, .palette = Ramp(300), .coloursUsed = 300, .pixels = Rows({"\x05\xFF"})},
         pf8bit, {{{0, 0}, qRgb(5, 7, 7)}, {{1, 0}, qRgb(255, 7, 7)}}},
        // bottom row: run of 3 red, literal green blue green; delta (2,1) to the top row, run of 2 blue.
        {"rle8 runs, literal, delta, line ends",
         {.width = 6, .height = 3, .bits = 8, .compression = 1, .palette = {kWhite, kRed, kGreen, kBlue},
          .pixels = QByteArray("\x03\x01\x00\x03\x02\x03\x02\x00\x00\x00\x00\x02\x02\x01\x02\x03\x00\x01", 18)},
         pf8bit, {{{0, 2}, kRed}, {{2, 2}, kRed}, {{3, 2}, kGreen}, {{4, 2}, kBlue}, {{5, 2}, kGreen}, {{0, 1}, kWhite},
                  {{5, 1}, kWhite}, {{1, 0}, kWhite}, {{2, 0}, kBlue}, {{3, 0}, kBlue}, {{4, 0}, kWhite}}},
        // a run of 10 in a row of 4 is cut; the data ends without its end mark; the rest is colour 0
        {"rle8 overlong run, cut short",
         {.width = 4, .height = 2, .bits = 8, .compression = 1, .palette = {kWhite, kRed, kGreen},
          .pixels = QByteArray("\x0A\x01\x00\x00\x02\x02", 6)},
         pf8bit, {{{0, 1}, kRed}, {{3, 1}, kRed}, {{0, 0}, kGreen}, {{1, 0}, kGreen}, {{2, 0}, kWhite}}},
        {"32 bits with alpha mask",
         {.width = 2, .height = 1, .bits = 32, .compression = 3, .headerSize = 124,
          .masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF},
          .pixels = QByteArray("\x80\x00\x00\xFF\xFF\xFF\x00\x00", 8)},
         pf32bit, {{{0, 0}, qRgba(0, 0, 255, 128)}, {{1, 0}, qRgba(255, 0, 0, 255)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bitmap = LoadGraphic<TBitmap>(test::BuildBmp(c.layout));
        EXPECT_EQ(QSize(bitmap->Width(), bitmap->Height()), QSize(c.layout.width, std::abs(c.layout.height)));
        EXPECT_EQ(bitmap->PixelFormat(), c.format);
        for (const auto& [at, colour] : c.pixels)
            EXPECT_EQ(test::Describe(bitmap->Image().pixel(at)), test::Describe(colour)) << at.x() << "," << at.y();
    }
}

// Files the public suite has no counterpart of are refused, and the bitmap keeps what it held.
TEST(Bitmap, RefusesWhatCannotBeAPicture)
{
    auto header24 = [](int width, int height) {
        return test::BuildBmp({.width = width, .height = height, .pixels = QByteArray(16, '\0')});
    };
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"text", "BM is how this note starts"},
        {"zero height", header24(4, 0)},
        {"most negative height", header24(4, INT32_MIN)},
        {"wider than the cap", header24(70000, 1)},
        {"above the memory cap", header24(40000, 40000)},
        {"table runs off the file", test::BuildBmp({.width = 2, .height = 2, .bits = 8, .palette = {kRed}, .coloursUsed = 200})},
        {"scattered mask", test::BuildBmp({.width = 1, .height = 1, .bits = 16, .compression = 3, .headerSize = 52,
                                           .masks = {0x5000, 0x07E0, 0x001F}, .pixels = QByteArray(4, '\0')})},
    };
    for (const auto& [name, file] : cases) {
        TBitmap bitmap;
        bitmap.SetSize(3, 2);
        EXPECT_THROW(test::LoadBytes(bitmap, file), EInvalidGraphic) << name;
        EXPECT_EQ(bitmap.Width(), 3) << name;
    }
}

TEST(Bitmap, SetSizeKeepsPixelsAndFillsNewAreaWhite)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(2, 2);
    bitmap.Image().setPixel(1, 1, kRed);
    bitmap.SetSize(4, 3);
    EXPECT_EQ(bitmap.Image().pixel(1, 1), kRed);
    EXPECT_EQ(bitmap.Image().pixel(3, 2), kWhite);

    TBitmap indexed;
    indexed.SetPixelFormat(pf4bit);
    indexed.SetSize(3, 3);
    EXPECT_EQ(indexed.Image().pixel(2, 2), kWhite);
    EXPECT_EQ(indexed.Palette().size(), 16);
}

// Black and white stripes one pixel wide shrink to one of the two colours, never grey.
TEST(Bitmap, StretchDrawIsNearestNeighbour)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf8bit);
    bitmap.SetSize(200, 100);
    bitmap.SetPalette({kWhite, kBlack});
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            bitmap.Image().setPixel(x, y, uint(x % 2));
    // Each target pixel's centre falls on an odd, black source column.
    QImage want(100, 100, QImage::Format_RGB32);
    want.fill(kWhite);
    QPainter(&want).fillRect(0, 25, 100, 50, QColor(kBlack));
    EXPECT_EQ(test::Difference(test::DrawOnWhite(bitmap, QSize(100, 100), QRect(0, 25, 100, 50)), want), QString());
}

TEST(Bitmap, AssignDrawsOtherPicturesOntoABitmap)
{
    TJPEGImage jpeg;
    jpeg.LoadFromData(test::EncodeJpeg(test::Quadrants(32, 16), test::JpegKind::Baseline));
    TBitmap bitmap;
    bitmap.Assign(jpeg);
    ASSERT_EQ(bitmap.Image().size(), QSize(32, 16));
    EXPECT_TRUE(test::Near(bitmap.Image().pixel(4, 4), kRed));
    EXPECT_TRUE(test::Near(bitmap.Image().pixel(28, 12), kBlack));
    TBitmap copy;
    copy.Assign(bitmap);
    EXPECT_EQ(copy.Image(), bitmap.Image());
    EXPECT_THROW(jpeg.Assign(bitmap), EConvertError);
}

// The public BMP suite.

QString Suite(const QString& path)
{
    return QStringLiteral(TOVARI_SHARED_TESTDATA "/bmpsuite/") + path;
}

QStringList SuiteFiles(const QString& part)
{
    QStringList files = QDir(Suite(part)).entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
    for (QString& name : files)
        name.prepend(part + QLatin1Char('/'));
    return files;
}

// Every good file reads as Qt's own reader sees it; 16-bit ones within the rounding of 5 or 6 bits to 8.
TEST(BmpSuite, GoodFilesReadAsAnIndependentReaderSeesThem)
{
    const QStringList files = SuiteFiles(QStringLiteral("g"));
    if (files.isEmpty())
        GTEST_SKIP() << "no BMP suite at " << Suite("g").toStdString() << " (shared test data not checked out)";
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        TPicture picture;
        ASSERT_NO_THROW(picture.LoadFromFile(Suite(name)));
        const QImage image = picture.Graphic()->ToImage().convertToFormat(QImage::Format_RGB32);
        const QImage want = QImage(Suite(name)).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(test::Difference(image, want, name.contains(QLatin1String("rgb16")) ? 7 : 0), QString());
    }
}

// Questionable and bad files read and draw, or are refused cleanly; exactly these are refused.
TEST(BmpSuite, QuestionableAndBadFilesReadOrAreRefused)
{
    const QStringList files = SuiteFiles(QStringLiteral("q")) + SuiteFiles(QStringLiteral("b"));
    if (files.isEmpty())
        GTEST_SKIP() << "no BMP suite at " << Suite("q").toStdString() << " (shared test data not checked out)";
    QStringList refused;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        TPicture picture;
        try {
            picture.LoadFromFile(Suite(name));
            test::DrawOnWhite(*picture.Graphic(), QSize(100, 100), QRect(0, 0, 100, 100));
        } catch (const EInvalidGraphic&) {
            refused.append(name);
        }
    }
    EXPECT_EQ(refused.join(' ').toStdString(),
              "q/pal1huffmsb.bmp q/rgb24jpeg.bmp q/rgb24png.bmp q/rgb24rle24.bmp q/rgba64.bmp b/badbitcount.bmp "
              "b/badheadersize.bmp b/badpalettesize.bmp b/badwidth.bmp b/reallybig.bmp b/rletopdown.bmp b/shortfile.bmp");
}

}  // namespace
}  // namespace tovari
