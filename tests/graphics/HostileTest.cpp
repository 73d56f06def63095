#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Picture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tovari {
namespace {

QString Hostile(const char* name)
{
    return QStringLiteral(TOVARI_TEST_DATA "/hostile/") + QLatin1String(name);
}

// Small files that once hung the window, asked for gigabytes or read out of bounds inside the
// decoders. Each is refused at load, or loads and then draws as a thumbnail and at full size.
// Their cost is measured by the fuzz targets run on them (docs/fuzzing.md).
TEST(HostileFiles, AreRefusedOrDrawnWithoutHarm)
{
    struct Case {
        const char* file;
        const char* refusal;  // a part of the refusal's message; null when the file draws
    };
    const Case cases[] = {
        {"emf-description-overread.emf", "description lies outside"},
        {"emf-rle4-runaway.emf", "bitmap header of 0 bytes"},
        {"emf-slow-stroking.emf", "description lies outside"},
        {"emf-slow-stroking-no-description.emf", "reference device's size"},  // found again by fuzzing
        {"wmf-bitmap-header-hang.wmf", "bitmap header of 0 bytes"},
        {"wmf-max-record-12gb.wmf", "colour table lies outside"},
        {"metafile-alloc-2gb.wmf", "cannot be read"},     // the library itself gives up
        {"bmp-rle8-16384x16384.bmp", "cannot fill 16384 x 16384"},
        {"ico-rle8-16384x16384.ico", "cannot fill 16384 x 16384"},
        {"ico-rle8-32772x5124.ico", "cannot fill 32772 x 5124"},
        {"jpeg-progressive-header-16384x16384.jpg", "cannot fill 16384 x 16384"},
        {"wmf-frame-195mpx.wmf", "cannot make a 11055 x 17712 picture"},  // found by fuzzing
        {"emf-pie-cut-short.emf", "drawing record of 12 bytes is cut short"},
        {"emf-rectangle-far-corner.emf", "coordinate 973078528 lies outside"},
        {"emf-header-bounds-overflow.emf", "header's coordinate 1916862464 lies outside"},
        {"emf-polypolygon-cut-short.emf", "record of points of 24 bytes is cut short"},
        {"emf-stretchdibits-misaligned-header.emf", "is not aligned"},
        {"emf-exttextout-cut-short.emf", "text record of 24 bytes is cut short"},
        {"emf-font-cut-short.emf", "font record of 24 bytes is cut short"},
        {"emf-stretchdibits-no-header.emf", "has no bitmap header"},
        {"../metafile/stretchdib.wmf", nullptr},  // a sound bitmap record passes the checks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TPicture picture;
        const QString refusal = test::Thrown<EInvalidGraphic>([&] { picture.LoadFromFile(Hostile(c.file)); });
        EXPECT_THAT(refusal.toStdString(), testing::HasSubstr(c.refusal ? c.refusal : "<none>"));
        EXPECT_EQ(picture.Empty(), c.refusal != nullptr);
        if (c.refusal)
            continue;
        EXPECT_NO_THROW(test::DrawOnWhite(*picture.Graphic(), QSize(120, 120), QRect(0, 0, 120, 120)));
        const QImage full = picture.Graphic()->ToImage();
        EXPECT_EQ(full.size(), QSize(picture.Width(), picture.Height()));
    }
}

// Run-length data may leave pixels unset, but only so many: a small floor of free pixels, then
// two and a half hundred per byte of data. The same rule holds for bitmaps and icons.
TEST(HostileFiles, RunLengthPicturesMustBePlausiblyFilledByTheirData)
{
    const QByteArray endOfBitmap("\x00\x01", 2);
    struct Case {
        int width;
        int height;
        QByteArray data;
        bool loads;
    };
    const QByteArray runs = QByteArray("\x01\x00", 2).repeated(200);  // two hundred one-pixel runs
    const Case cases[] = {
        {1024, 1024, endOfBitmap, true},                    // the free floor exactly
        {1025, 1024, endOfBitmap, false},
        {1024, 1024 + 100, runs + endOfBitmap, true},       // 102,400 more pixels for 402 bytes
        {1024, 1024 + 101, runs + endOfBitmap, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 x %2, %3 bytes").arg(c.width).arg(c.height).arg(c.data.size()).toStdString());
        test::BmpLayout layout{.width = c.width, .height = c.height, .bits = 8, .compression = 1};
        layout.palette = {qRgb(1, 2, 3), qRgb(200, 100, 50)};
        layout.pixels = c.data;
        const QByteArray bmp = test::BuildBmp(layout);
        ASSERT_EQ(test::Loads<TBitmap>(bmp), c.loads);
        // The same bitmap inside an icon: the height counts the mask rows too.
        layout.height *= 2;
        test::Bytes icon;
        const QByteArray dib = test::BuildBmp(layout, false);
        icon.U16(0).U16(1).U16(1).U8(0).U8(0).U8(2).U8(0).U16(1).U16(8).U32(quint32(dib.size())).U32(22).Raw(dib);
        ASSERT_EQ(test::Loads<TIcon>(icon.data), c.loads);
        if (c.loads) {
            EXPECT_EQ(test::LoadGraphic<TBitmap>(bmp)->Image().pixel(0, c.height - 1), qRgb(1, 2, 3));
            const auto image = test::LoadGraphic<TIcon>(icon.data)->ToImage();
            EXPECT_EQ(std::pair(image.pixel(0, c.height - 1), image.format()),
                      std::pair(qRgb(1, 2, 3), QImage::Format_ARGB32));
        }
    }
}

// A JPEG header declaring far more pixels than its data could describe is refused at load; the same
// picture with its data loads and decodes.
TEST(HostileFiles, JpegHeaderWithoutDataForItsSizeIsRefused)
{
    QImage flat(5000, 4000, QImage::Format_RGB32);
    flat.fill(qRgb(40, 80, 120));
    const QByteArray whole = test::EncodeJpeg(flat, test::JpegKind::Baseline, 50);
    TJPEGImage jpeg;
    ASSERT_NO_THROW(jpeg.LoadFromData(whole));
    EXPECT_TRUE(test::Near(jpeg.ToImage().pixel(4999, 3999), qRgb(40, 80, 120)));
    // The headers end where the first scan's data starts.
    const qsizetype scan = whole.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(scan, 0);
    EXPECT_THROW(TJPEGImage().LoadFromData(whole.left(scan + 2 + 12)), EInvalidGraphic);
}

}  // namespace
}  // namespace tovari
