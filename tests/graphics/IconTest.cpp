#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Icon.h"
#include "platform/graphics/Picture.h"
#include "tests/common/TestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace tovari {
namespace {

struct Entry {
    int width;
    int height;
    int bits;
    QByteArray data;
};

QByteArray BuildIco(const std::vector<Entry>& entries)
{
    test::Bytes ico;
    ico.U16(0).U16(1).U16(int(entries.size()));
    quint32 offset = quint32(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        ico.U8(e.width & 0xFF).U8(e.height & 0xFF).U8(0).U8(0).U16(1).U16(e.bits);
        ico.U32(quint32(e.data.size())).U32(offset);
        offset += quint32(e.data.size());
    }
    for (const Entry& e : entries)
        ico.Raw(e.data);
    return ico.Data();
}

std::unique_ptr<TIcon> Load(const QByteArray& file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromStream(buffer);
    return icon;
}

// 2 x 2, 32 bits with alpha: opaque red, half-transparent green / transparent blue, opaque white.
Entry AlphaEntry()
{
    test::BmpLayout s;
    s.width = 2;
    s.height = 4;
    s.bits = 32;
    // bottom colour row first (BGRA), then the AND mask rows, which alpha makes irrelevant
    s.pixels = QByteArray("\xFF\x00\x00\x00\xFF\xFF\xFF\xFF"
                          "\x00\x00\xFF\xFF\x00\xFF\x00\x80"
                          "\x00\x00\x00\x00\x00\x00\x00\x00",
                          24);
    return {2, 2, 32, test::BuildBmp(s, false)};
}

// 4 x 2, 4 bits, no alpha: the AND mask makes the top row's right half transparent.
Entry MaskedEntry()
{
    test::BmpLayout s;
    s.width = 4;
    s.height = 4;
    s.bits = 4;
    s.palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)};
    s.coloursUsed = 3;
    s.pixels = QByteArray("\x22\x22\x00\x00"   // bottom row: blue
                          "\x11\x11\x00\x00"   // top row: red
                          "\x00\x00\x00\x00"   // mask, bottom row: all opaque
                          "\x30\x00\x00\x00",  // mask, top row: pixels 2 and 3 transparent
                          16);
    return {4, 2, 4, test::BuildBmp(s, false)};
}

Entry PngEntry(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {image.width(), image.height(), 32, buffer.data()};
}

TEST(Icon, ReadsThirtyTwoBitAlpha)
{
    const auto iconLoaded = Load(BuildIco({AlphaEntry()}));
    const TIcon& icon = *iconLoaded;
    const QImage image = icon.ToImage();
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(image.pixel(1, 0), qRgba(0, 255, 0, 128));
    EXPECT_EQ(qAlpha(image.pixel(0, 1)), 0);
    EXPECT_EQ(image.pixel(1, 1), qRgba(255, 255, 255, 255));
}

// A stretched icon is drawn over the canvas: transparent pixels show the white below.
TEST(Icon, MaskedPixelsStayTransparentWhenStretched)
{
    const auto iconLoaded = Load(BuildIco({MaskedEntry()}));
    const TIcon& icon = *iconLoaded;
    ASSERT_EQ(icon.Width(), 4);
    ASSERT_EQ(icon.Height(), 2);
    const QImage cell = test::DrawOnWhite(icon, QSize(100, 100), QRect(0, 25, 100, 50));
    EXPECT_EQ(cell.pixel(10, 30), qRgb(255, 0, 0));
    EXPECT_EQ(cell.pixel(90, 30), qRgb(255, 255, 255));
    EXPECT_EQ(cell.pixel(90, 70), qRgb(0, 0, 255));
    EXPECT_EQ(cell.pixel(10, 20), qRgb(255, 255, 255));
}

TEST(Icon, FirstEntryWinsAndMayBePng)
{
    QImage png(3, 2, QImage::Format_ARGB32);
    png.fill(qRgba(10, 200, 30, 255));
    png.setPixel(2, 1, qRgba(0, 0, 0, 0));
    const auto iconLoaded = Load(BuildIco({PngEntry(png), AlphaEntry()}));
    const TIcon& icon = *iconLoaded;
    const QImage image = icon.ToImage();
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgba(10, 200, 30, 255));
    EXPECT_EQ(qAlpha(image.pixel(2, 1)), 0);

    const auto secondLoaded = Load(BuildIco({AlphaEntry(), PngEntry(png)}));
    const TIcon& second = *secondLoaded;
    EXPECT_EQ(second.Width(), 2);
}

// The registry's ico class reads by file name and saves the file back unchanged.
TEST(Icon, LoadsByExtensionAndSavesTheSameBytes)
{
    QTemporaryDir dir;
    const QByteArray bytes = BuildIco({MaskedEntry()});
    TPicture picture;
    picture.LoadFromFile(test::WriteFile(dir.filePath("app.Ico"), bytes));
    ASSERT_NE(dynamic_cast<TIcon*>(picture.Graphic()), nullptr);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    picture.Graphic()->SaveToStream(out);
    EXPECT_EQ(out.data(), bytes);
}

// A PNG whose header claims an absurd size, with a correct checksum so that only the size is wrong.
QByteArray HugePng()
{
    QImage small(1, 1, QImage::Format_ARGB32);
    small.fill(Qt::red);
    QByteArray png = PngEntry(small).data;
    const int ihdr = int(png.indexOf("IHDR"));
    const char size[8] = {0, 1, char(0x86), char(0xA0), 0, 1, char(0x86), char(0xA0)};  // 100000 x 100000
    png.replace(ihdr + 4, 8, QByteArray(size, 8));
    const quint32 crc = quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(png.constData() + ihdr), 17));
    const char crcBytes[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    png.replace(ihdr + 17, 4, QByteArray(crcBytes, 4));
    return png;
}

class IconRefused : public testing::TestWithParam<std::pair<const char*, QByteArray (*)()>> {};

TEST_P(IconRefused, LoadThrows)
{
    EXPECT_THROW(Load(GetParam().second()), EInvalidGraphic);
}

INSTANTIATE_TEST_SUITE_P(
    Bad, IconRefused,
    testing::Values(
        std::make_pair("Empty", +[] { return QByteArray(); }),
        std::make_pair("NoEntries", +[] { return test::Bytes().U16(0).U16(1).U16(0).Zeros(16).Data(); }),
        std::make_pair("NotAnIcon", +[] { return QByteArray("GIF89a and more bytes than a header"); }),
        std::make_pair("EntryOutsideFile", +[] {
            QByteArray ico = BuildIco({AlphaEntry()});
            ico[18] = char(0x7F);  // offset far past the end
            return ico;
        }),
        std::make_pair("EntryCutShort", +[] {
            const QByteArray ico = BuildIco({AlphaEntry()});
            return ico.left(ico.size() - 8);
        }),
        std::make_pair("OddDibHeight", +[] {
            Entry e = AlphaEntry();
            e.data[8] = 3;
            return BuildIco({e});
        }),
        std::make_pair("HugePng", +[] { return BuildIco({{1, 1, 32, HugePng()}}); })),
    [](const auto& info) { return std::string(info.param.first); });

}  // namespace
}  // namespace tovari
