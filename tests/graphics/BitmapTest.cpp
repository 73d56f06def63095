#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Picture.h"
#include "tests/common/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>

namespace tovari {
namespace {

// Pixel rows as stored: bottom row first, each padded to four bytes.
QByteArray BottomUp(std::vector<QByteArray> topDown)
{
    QByteArray out;
    for (auto it = topDown.rbegin(); it != topDown.rend(); ++it) {
        QByteArray row = *it;
        while (row.size() % 4 != 0)
            row.append('\0');
        out.append(row);
    }
    return out;
}

std::unique_ptr<TBitmap> Load(const QByteArray& file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromStream(buffer);
    return bitmap;
}

QByteArray Save(const TBitmap& bitmap)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bitmap.SaveToStream(buffer);
    return buffer.data();
}

// ---- writing and reading back each pixel format ----

struct FormatCase {
    const char* name;
    TPixelFormat format;
    QList<QRgb> colours;  // what the pixels are set to, in a 5 x 3 picture; they survive the format exactly
};

class BitmapRoundTrip : public testing::TestWithParam<FormatCase> {};

TEST_P(BitmapRoundTrip, SavedFileReadsBackTheSamePixels)
{
    const FormatCase c = GetParam();
    TBitmap bitmap;
    bitmap.SetPixelFormat(c.format);
    bitmap.SetSize(5, 3);
    const bool indexed = c.format == pf1bit || c.format == pf4bit || c.format == pf8bit;
    if (indexed)
        bitmap.SetPalette(c.colours);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int i = (x + 2 * y) % int(c.colours.size());
            bitmap.Image().setPixel(x, y, indexed ? uint(i) : c.colours[i]);
        }

    const auto loaded = Load(Save(bitmap));
    const TBitmap& back = *loaded;
    EXPECT_EQ(back.PixelFormat(), c.format);
    ASSERT_EQ(back.Image().size(), QSize(5, 3));
    if (indexed) {
        EXPECT_EQ(back.Palette().mid(0, c.colours.size()), c.colours);
    }
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.Image().pixel(x, y), c.colours[(x + 2 * y) % int(c.colours.size())]) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BitmapRoundTrip,
    testing::Values(FormatCase{"OneBit", pf1bit, {qRgb(10, 20, 30), qRgb(250, 240, 230)}},
                    FormatCase{"FourBit", pf4bit, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(9, 9, 9), qRgb(200, 100, 50)}},
                    FormatCase{"EightBit", pf8bit, {qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9), qRgb(100, 110, 120)}},
                    FormatCase{"FifteenBit", pf15bit, {qRgb(255, 0, 0), qRgb(0, 255, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}},
                    FormatCase{"SixteenBit", pf16bit, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)}},
                    FormatCase{"TwentyFourBit", pf24bit, {qRgb(1, 2, 3), qRgb(254, 128, 7), qRgb(0, 0, 0)}},
                    FormatCase{"ThirtyTwoBit", pf32bit, {qRgb(1, 2, 3), qRgb(254, 128, 7), qRgb(99, 0, 200)}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- reading the variants of the format ----

struct ReadCase {
    const char* name;
    std::function<QByteArray()> file;
    QSize size;
    TPixelFormat format;
    std::vector<std::pair<QPoint, QRgb>> pixels;
};

class BitmapVariants : public testing::TestWithParam<ReadCase> {};

TEST_P(BitmapVariants, ReadsPixelsAtTheirPlaces)
{
    const ReadCase c = GetParam();
    const auto loaded = Load(c.file());
    const TBitmap& bitmap = *loaded;
    EXPECT_EQ(QSize(bitmap.Width(), bitmap.Height()), c.size);
    EXPECT_EQ(bitmap.PixelFormat(), c.format);
    for (const auto& [at, colour] : c.pixels)
        EXPECT_EQ(test::Describe(bitmap.Image().pixel(at)).toStdString(), test::Describe(colour).toStdString()) << at.x() << "," << at.y();
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

test::BmpLayout Layout(int width, int height, int bits)
{
    test::BmpLayout s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BitmapVariants,
    testing::Values(
        ReadCase{"Rgb24BottomUp",
                 [] {
                     auto s = Layout(2, 2, 24);
                     s.pixels = BottomUp({QByteArray("\x00\x00\xFF\x00\xFF\x00", 6), QByteArray("\xFF\x00\x00\xFF\xFF\xFF", 6)});
                     return test::BuildBmp(s);
                 },
                 {2, 2}, pf24bit, {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{0, 1}, kBlue}, {{1, 1}, kWhite}}},
        ReadCase{"Rgb24TopDown",
                 [] {
                     auto s = Layout(2, -2, 24);
                     s.pixels = BottomUp({QByteArray("\xFF\x00\x00\xFF\xFF\xFF", 6), QByteArray("\x00\x00\xFF\x00\xFF\x00", 6)});
                     return test::BuildBmp(s);
                 },
                 {2, 2}, pf24bit, {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{0, 1}, kBlue}, {{1, 1}, kWhite}}},
        ReadCase{"Os2CoreHeader8Bit",
                 [] {
                     auto s = Layout(3, 1, 8);
                     s.headerSize = 12;
                     s.palette = {kBlack, kRed, kGreen};
                     for (int i = 3; i < 256; ++i)
                         s.palette.append(kWhite);
                     s.pixels = BottomUp({QByteArray("\x01\x02\x00", 3)});
                     return test::BuildBmp(s);
                 },
                 {3, 1}, pf8bit, {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{2, 0}, kBlack}}},
        ReadCase{"OneBitShortTable",
                 [] {
                     auto s = Layout(10, 1, 1);
                     s.palette = {kBlue, kWhite};
                     s.coloursUsed = 2;
                     s.pixels = BottomUp({QByteArray("\xA0\x40", 2)});
                     return test::BuildBmp(s);
                 },
                 {10, 1}, pf1bit, {{{0, 0}, kWhite}, {{1, 0}, kBlue}, {{2, 0}, kWhite}, {{9, 0}, kWhite}, {{8, 0}, kBlue}}},
        ReadCase{"TwoBit",
                 [] {
                     auto s = Layout(4, 1, 2);
                     s.palette = {kBlack, kRed, kGreen, kBlue};
                     s.pixels = BottomUp({QByteArray("\x1B", 1)});  // 0 1 2 3
                     return test::BuildBmp(s);
                 },
                 {4, 1}, pf4bit, {{{0, 0}, kBlack}, {{1, 0}, kRed}, {{2, 0}, kGreen}, {{3, 0}, kBlue}}},
        ReadCase{"FourBitIndexBeyondTableIsBlack",
                 [] {
                     auto s = Layout(3, 1, 4);
                     s.palette = {kRed, kGreen};
                     s.coloursUsed = 2;
                     s.pixels = BottomUp({QByteArray("\x01\xF0", 2)});  // 0 1 15
                     return test::BuildBmp(s);
                 },
                 {3, 1}, pf4bit, {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{2, 0}, kBlack}}},
        ReadCase{"EightBitTableLargerThanDepth",
                 [] {
                     auto s = Layout(2, 1, 8);
                     for (int i = 0; i < 300; ++i)
                         s.palette.append(qRgb(i % 256, 7, 7));
                     s.coloursUsed = 300;
                     s.pixels = BottomUp({QByteArray("\x05\xFF", 2)});
                     return test::BuildBmp(s);
                 },
                 {2, 1}, pf8bit, {{{0, 0}, qRgb(5, 7, 7)}, {{1, 0}, qRgb(255, 7, 7)}}},
        ReadCase{"Rle8RunsLiteralsDeltaAndLineEnds",
                 [] {
                     auto s = Layout(6, 3, 8);
                     s.compression = 1;
                     s.palette = {kWhite, kRed, kGreen, kBlue};
                     // bottom row: run of 3 red, literal green blue green; next row: delta (2,1) to the top row,
                     // then a run of 2 blue; end of bitmap.
                     s.pixels = QByteArray("\x03\x01\x00\x03\x02\x03\x02\x00\x00\x00\x00\x02\x02\x01\x02\x03\x00\x01", 18);
                     return test::BuildBmp(s);
                 },
                 {6, 3}, pf8bit,
                 {{{0, 2}, kRed}, {{2, 2}, kRed}, {{3, 2}, kGreen}, {{4, 2}, kBlue}, {{5, 2}, kGreen},
                  {{0, 1}, kWhite}, {{5, 1}, kWhite}, {{1, 0}, kWhite}, {{2, 0}, kBlue}, {{3, 0}, kBlue}, {{4, 0}, kWhite}}},
        ReadCase{"Rle8RunPastTheRowIsCut",
                 [] {
                     auto s = Layout(4, 2, 8);
                     s.compression = 1;
                     s.palette = {kWhite, kRed, kGreen};
                     s.pixels = QByteArray("\x0A\x01\x00\x00\x02\x02\x00\x01", 8);
                     return test::BuildBmp(s);
                 },
                 {4, 2}, pf8bit, {{{3, 1}, kRed}, {{0, 0}, kGreen}, {{1, 0}, kGreen}, {{2, 0}, kWhite}}},
        ReadCase{"Rle4RunsAndLiterals",
                 [] {
                     auto s = Layout(6, 1, 4);
                     s.compression = 2;
                     s.palette = {kWhite, kRed, kGreen, kBlue};
                     // a run of red green red, then the literal blue white red
                     s.pixels = QByteArray("\x03\x12\x00\x03\x30\x10\x00\x01", 8);
                     return test::BuildBmp(s);
                 },
                 {6, 1}, pf4bit,
                 {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{2, 0}, kRed}, {{3, 0}, kBlue}, {{4, 0}, kWhite}, {{5, 0}, kRed}}},
        ReadCase{"Rle8CutShortLeavesColourZero",
                 [] {
                     auto s = Layout(4, 2, 8);
                     s.compression = 1;
                     s.palette = {kBlue, kRed};
                     s.pixels = QByteArray("\x02\x01\x00", 3);
                     return test::BuildBmp(s);
                 },
                 {4, 2}, pf8bit, {{{0, 1}, kRed}, {{1, 1}, kRed}, {{2, 1}, kBlue}, {{0, 0}, kBlue}}},
        ReadCase{"Sixteen555",
                 [] {
                     auto s = Layout(2, 1, 16);
                     s.pixels = BottomUp({QByteArray("\x00\x7C\x1F\x00", 4)});
                     return test::BuildBmp(s);
                 },
                 {2, 1}, pf15bit, {{{0, 0}, kRed}, {{1, 0}, kBlue}}},
        ReadCase{"Sixteen565BitFields",
                 [] {
                     auto s = Layout(2, 1, 16);
                     s.compression = 3;
                     s.masks = {0xF800, 0x07E0, 0x001F};
                     s.pixels = BottomUp({QByteArray("\xE0\x07\x00\xF8", 4)});
                     return test::BuildBmp(s);
                 },
                 {2, 1}, pf16bit, {{{0, 0}, kGreen}, {{1, 0}, kRed}}},
        ReadCase{"ThirtyTwoAlphaBitFieldsV5",
                 [] {
                     auto s = Layout(2, 1, 32);
                     s.headerSize = 124;
                     s.compression = 3;
                     s.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};
                     s.pixels = BottomUp({QByteArray("\x80\x00\x00\xFF\xFF\xFF\x00\x00", 8)});
                     return test::BuildBmp(s);
                 },
                 {2, 1}, pf32bit, {{{0, 0}, qRgba(0, 0, 255, 128)}, {{1, 0}, qRgba(255, 0, 0, 255)}}},
        ReadCase{"ThirtyTwoPlainIgnoresFourthByte",
                 [] {
                     auto s = Layout(1, 1, 32);
                     s.pixels = QByteArray("\x10\x20\x30\x00", 4);
                     return test::BuildBmp(s);
                 },
                 {1, 1}, pf32bit, {{{0, 0}, qRgb(0x30, 0x20, 0x10)}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- refusing what cannot be a picture ----

struct BadBitmap {
    const char* name;
    QByteArray (*make)();
};

class BitmapRefused : public testing::TestWithParam<BadBitmap> {};

TEST_P(BitmapRefused, LoadThrowsAndKeepsTheBitmap)
{
    TBitmap bitmap;
    bitmap.SetSize(3, 2);
    QBuffer buffer;
    buffer.setData(GetParam().make());
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(bitmap.LoadFromStream(buffer), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 3);
}

QByteArray Header24(int width, int height)
{
    auto s = Layout(width, height, 24);
    s.pixels = QByteArray(16, '\0');
    return test::BuildBmp(s);
}

INSTANTIATE_TEST_SUITE_P(
    Bad, BitmapRefused,
    testing::Values(
        BadBitmap{"Empty", +[] { return QByteArray(); }},
        BadBitmap{"Text", +[] { return QByteArray("BM is how this note starts"); }},
        BadBitmap{"NegativeWidth", +[] { return Header24(-4, 2); }},
        BadBitmap{"ZeroHeight", +[] { return Header24(4, 0); }},
        BadBitmap{"MostNegativeHeight", +[] { return Header24(4, INT32_MIN); }},
        BadBitmap{"WiderThanCap", +[] { return Header24(70000, 1); }},
        BadBitmap{"AboveMemoryCap", +[] { return Header24(40000, 40000); }},
        BadBitmap{"PixelsCutShort", +[] { return Header24(100, 100); }},
        BadBitmap{"ThreeBits", +[] {
            auto s = Layout(2, 2, 3);
            s.pixels = QByteArray(8, '\0');
            return test::BuildBmp(s);
        }},
        BadBitmap{"AbsurdColourCount", +[] {
            auto s = Layout(2, 2, 8);
            s.coloursUsed = 0x40000000;
            s.pixels = QByteArray(8, '\0');
            return test::BuildBmp(s);
        }},
        BadBitmap{"TableRunsOffTheFile", +[] {
            auto s = Layout(2, 2, 8);
            s.coloursUsed = 200;
            s.palette = {kRed};
            return test::BuildBmp(s);
        }},
        BadBitmap{"RleTopDown", +[] {
            auto s = Layout(2, -2, 8);
            s.compression = 1;
            s.palette = {kRed};
            s.pixels = QByteArray("\x00\x01", 2);
            return test::BuildBmp(s);
        }},
        BadBitmap{"UnknownHeaderSize", +[] {
            auto s = Layout(2, 2, 24);
            s.headerSize = 41;
            s.pixels = QByteArray(16, '\0');
            return test::BuildBmp(s);
        }},
        BadBitmap{"ScatteredMask", +[] {
            auto s = Layout(1, 1, 16);
            s.compression = 3;
            s.masks = {0x5000, 0x07E0, 0x001F};
            s.pixels = QByteArray(4, '\0');
            return test::BuildBmp(s);
        }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the bitmap object ----

TEST(Bitmap, SetSizeKeepsPixelsAndFillsNewAreaWhite)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(2, 2);
    EXPECT_EQ(bitmap.Image().pixel(1, 1), kWhite);
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

// A stretch drops rows and columns without blending: black and white stripes one pixel wide
// shrink to one of the two colours, never grey.
TEST(Bitmap, StretchDrawIsNearestNeighbour)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf8bit);
    bitmap.SetSize(200, 100);
    bitmap.SetPalette({kWhite, kBlack});
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            bitmap.Image().setPixel(x, y, uint(x % 2));
    const QImage cell = test::DrawOnWhite(bitmap, QSize(100, 100), QRect(0, 25, 100, 50));
    for (int x = 0; x < 100; ++x) {
        // Each target pixel's centre falls on an odd, black source column.
        ASSERT_EQ(cell.pixel(x, 25), kBlack) << "column " << x;
        ASSERT_EQ(cell.pixel(x, 74), kBlack) << "column " << x;
        ASSERT_EQ(cell.pixel(x, 24), kWhite) << "column " << x;
        ASSERT_EQ(cell.pixel(x, 75), kWhite) << "column " << x;
    }
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

// ---- the public BMP suite ----

QString SuiteFolder(const char* part)
{
    return QStringLiteral(TOVARI_SHARED_TESTDATA "/bmpsuite/") + QLatin1String(part);
}

QStringList SuiteFiles(const char* part)
{
    return QDir(SuiteFolder(part)).entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
}

QImage SuitePicture(const char* part, const QString& name)
{
    TPicture picture;
    picture.LoadFromFile(SuiteFolder(part) + QLatin1Char('/') + name);
    return picture.Graphic()->ToImage().convertToFormat(QImage::Format_RGB32);
}

// Every good file reads; files that store the same pixels in different ways read identically.
TEST(BmpSuite, EveryGoodFileReadsAndEqualVariantsAgree)
{
    const QStringList files = SuiteFiles("g");
    if (files.isEmpty())
        GTEST_SKIP() << "no BMP suite at " << SuiteFolder("g").toStdString() << " (shared test data not checked out)";
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QImage image;
        ASSERT_NO_THROW(image = SuitePicture("g", name));
        // one picture of 127 x 64, some variants a few columns narrower or with non-square pixels
        EXPECT_GE(image.width(), 124);
        EXPECT_LE(image.width(), 127);
        EXPECT_GE(image.height(), 32);
    }
    const std::vector<QStringList> sameAs = {
        {"pal8.bmp", "pal8-0.bmp", "pal8os2.bmp", "pal8rle.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp",
         "pal8w124.bmp", "pal8w125.bmp", "pal8w126.bmp"},
        {"pal4.bmp", "pal4rle.bmp"},
        {"rgb24.bmp", "rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp"},
        {"rgb16.bmp", "rgb16bfdef.bmp"},
        {"rgb16-565.bmp", "rgb16-565pal.bmp"},
    };
    for (const QStringList& group : sameAs) {
        const QImage want = SuitePicture("g", group.front());
        for (const QString& name : group.mid(1)) {
            const QImage image = SuitePicture("g", name);
            if (name.startsWith(QLatin1String("pal8w")))
                EXPECT_EQ(image, want.copy(0, 0, image.width(), image.height())) << name.toStdString();
            else
                EXPECT_EQ(image, want) << name.toStdString() << " differs from " << group.front().toStdString();
        }
    }
}

TEST(BmpSuite, QuestionableAndBadFilesReadOrAreRefused)
{
    const QStringList questionable = SuiteFiles("q");
    const QStringList bad = SuiteFiles("b");
    if (questionable.isEmpty() && bad.isEmpty())
        GTEST_SKIP() << "no BMP suite at " << SuiteFolder("q").toStdString() << " (shared test data not checked out)";
    int read = 0;
    int refused = 0;
    for (const auto& [part, files] : {std::make_pair("q", questionable), std::make_pair("b", bad)})
        for (const QString& name : files) {
            SCOPED_TRACE(name.toStdString());
            TPicture picture;
            try {
                picture.LoadFromFile(SuiteFolder(part) + QLatin1Char('/') + name);
                const QImage cell = test::DrawOnWhite(*picture.Graphic(), QSize(100, 100), QRect(0, 0, 100, 100));
                EXPECT_FALSE(cell.isNull());
                ++read;
            } catch (const EInvalidGraphic&) {
                ++refused;
            }
        }
    EXPECT_EQ(read + refused, questionable.size() + bad.size());
    EXPECT_GT(refused, 0);  // b/ holds files that no reader can take as they are
}

}  // namespace
}  // namespace tovari
