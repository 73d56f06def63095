#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Icon.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace tovari {
namespace {

using test::LoadGraphic;

// An icon file of entries, each (width, height, DIB or PNG bytes).
QByteArray BuildIco(const std::vector<std::tuple<int, int, QByteArray>>& entries)
{
    test::Bytes ico;
    ico.U16(0).U16(1).U16(int(entries.size()));
    quint32 offset = quint32(6 + 16 * entries.size());
    for (const auto& [width, height, data] : entries) {
        ico.U8(width & 0xFF).U8(height & 0xFF).U8(0).U8(0).U16(1).U16(32).U32(quint32(data.size())).U32(offset);
        offset += quint32(data.size());
    }
    for (const auto& entry : entries)
        ico.Raw(std::get<2>(entry));
    return ico.data;
}

// 2 x 2, 32 bits: opaque red, half-transparent green / transparent blue, opaque white; then the AND
// mask rows, which alpha makes irrelevant.
const QByteArray kAlphaDib = test::BuildBmp({.width = 2, .height = 4, .bits = 32,
                                             .pixels = QByteArray("\xFF\x00\x00\x00\xFF\xFF\xFF\xFF"
                                                                  "\x00\x00\xFF\xFF\x00\xFF\x00\x80"
                                                                  "\x00\x00\x00\x00\x00\x00\x00\x00", 24)},
                                            false);

QByteArray Png(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

TEST(Icon, ReadsAlphaAndPngEntriesAndTheFirstEntryWins)
{
    const QImage alpha = LoadGraphic<TIcon>(BuildIco({{2, 2, kAlphaDib}}))->ToImage();
    ASSERT_EQ(alpha.size(), QSize(2, 2));
    EXPECT_EQ(alpha.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(alpha.pixel(1, 0), qRgba(0, 255, 0, 128));
    EXPECT_EQ(qAlpha(alpha.pixel(0, 1)), 0);
    EXPECT_EQ(alpha.pixel(1, 1), qRgba(255, 255, 255, 255));

    QImage png(3, 2, QImage::Format_ARGB32);
    png.fill(qRgba(10, 200, 30, 255));
    png.setPixel(2, 1, qRgba(0, 0, 0, 0));
    const QImage first = LoadGraphic<TIcon>(BuildIco({{3, 2, Png(png)}, {2, 2, kAlphaDib}}))->ToImage();
    ASSERT_EQ(first.size(), QSize(3, 2));
    EXPECT_EQ(first.pixel(0, 0), qRgba(10, 200, 30, 255));
    EXPECT_EQ(qAlpha(first.pixel(2, 1)), 0);
    EXPECT_EQ(LoadGraphic<TIcon>(BuildIco({{2, 2, kAlphaDib}, {3, 2, Png(png)}}))->Width(), 2);
}

// 4 x 2, 4 bits, no alpha: blue bottom row, red top row whose right half the AND mask makes transparent.
const QByteArray kMaskedIco = BuildIco({{4, 2, test::BuildBmp({.width = 4, .height = 4, .bits = 4,
                                                               .palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)},
                                                               .pixels = QByteArray("\x22\x22\x00\x00\x11\x11\x00\x00"
                                                                                    "\x00\x00\x00\x00\x30\x00\x00\x00", 16)},
                                                              false)}});

// Drawn stretched over the canvas, transparent pixels show the white below.
TEST(Icon, MaskedPixelsStayTransparentWhenStretched)
{
    const auto icon = LoadGraphic<TIcon>(kMaskedIco);
    ASSERT_EQ(QSize(icon->Width(), icon->Height()), QSize(4, 2));
    const QImage cell = test::DrawOnWhite(*icon, QSize(100, 100), QRect(0, 25, 100, 50));
    EXPECT_EQ(cell.pixel(10, 30), qRgb(255, 0, 0));
    EXPECT_EQ(cell.pixel(90, 30), qRgb(255, 255, 255));
    EXPECT_EQ(cell.pixel(90, 70), qRgb(0, 0, 255));
    EXPECT_EQ(cell.pixel(10, 20), qRgb(255, 255, 255));
}

TEST(Icon, SavesTheBytesItLoaded)
{
    EXPECT_EQ(test::SaveGraphic(*LoadGraphic<TIcon>(kMaskedIco)), kMaskedIco);
}

// A PNG whose header claims 100000 x 100000, with a correct checksum so that only the size is wrong.
QByteArray HugePng()
{
    QImage small(1, 1, QImage::Format_ARGB32);
    small.fill(Qt::red);
    QByteArray png = Png(small);
    const int ihdr = int(png.indexOf("IHDR"));
    png.replace(ihdr + 4, 8, QByteArray("\x00\x01\x86\xA0\x00\x01\x86\xA0", 8));
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(png.constData() + ihdr), 17);
    const char bigEndian[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    return png.replace(ihdr + 17, 4, QByteArray(bigEndian, 4));
}

TEST(Icon, RefusesBrokenFiles)
{
    const QByteArray ico = BuildIco({{2, 2, kAlphaDib}});
    QByteArray farOffset = ico;
    farOffset[18] = char(0x7F);
    QByteArray oddHeight = ico;
    oddHeight[22 + 8] = 3;  // the DIB's height, which must be twice the icon's
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"no entries", test::Bytes().U16(0).U16(1).U16(0).Raw(QByteArray(16, '\0')).data},
        {"not an icon", "GIF89a and more bytes than a header"},
        {"entry outside the file", farOffset},
        {"entry cut short", ico.left(ico.size() - 8)},
        {"odd DIB height", oddHeight},
        {"huge PNG", BuildIco({{1, 1, HugePng()}})},
    };
    for (const auto& [name, file] : cases)
        EXPECT_THROW(LoadGraphic<TIcon>(file), EInvalidGraphic) << name;
}

}  // namespace
}  // namespace tovari
