#include "tests/graphics/GraphicsTestSupport.h"

#include "local/Thumbnail.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Picture.h"
#include "platform/graphics/Sampling.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::JpegKind;

// Each kind loads by file name, reports its size and decodes to the colours it was made from; a
// stretched draw shows exactly the full decode's pixel under each target pixel's centre (also where
// the decoder skipped rows or scaled down), and a natural-size draw is the full decode.
TEST(JpegImage, EachKindDecodesAndStretchesAsTheFullDecode)
{
    struct Case {
        JpegKind kind;
        bool grey;
        bool progressive;
    };
    QTemporaryDir dir;
    for (const Case& c : {Case{JpegKind::Baseline, false, false}, Case{JpegKind::Progressive, false, true},
                          Case{JpegKind::Grey, true, false}, Case{JpegKind::Cmyk, false, false},
                          Case{JpegKind::Ycck, false, false}}) {
        SCOPED_TRACE(int(c.kind));
        TPicture picture;
        picture.LoadFromFile(test::WriteFile(dir.filePath("photo.JPG"), test::EncodeJpeg(test::Quadrants(64, 48), c.kind)));
        auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic());
        ASSERT_NE(jpeg, nullptr);
        EXPECT_EQ(QSize(jpeg->Width(), jpeg->Height()), QSize(64, 48));
        EXPECT_EQ(jpeg->Grayscale(), c.grey);
        EXPECT_EQ(jpeg->ProgressiveEncoding(), c.progressive);
        const QImage quadrants = jpeg->ToImage();
        ASSERT_EQ(quadrants.size(), QSize(64, 48));
        const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
        const QPoint where[4] = {{10, 10}, {54, 10}, {10, 38}, {54, 38}};
        for (int i = 0; i < 4; ++i) {
            const int grey = qGray(colours[i]);
            const QRgb want = c.grey ? qRgb(grey, grey, grey) : colours[i];
            EXPECT_TRUE(test::Near(quadrants.pixel(where[i]), want)) << test::Describe(quadrants.pixel(where[i])).toStdString();
        }

        TJPEGImage busy;
        busy.LoadFromData(test::EncodeJpeg(test::Busy(333, 217), c.kind));
        const QImage full = busy.ToImage();
        for (const QRect target : {QRect(3, 5, 100, 65), QRect(0, 0, 37, 217), QRect(1, 2, 400, 250)}) {
            QImage want(410, 260, QImage::Format_RGB32);
            want.fill(Qt::white);
            for (int y = 0; y < target.height(); ++y)
                for (int x = 0; x < target.width(); ++x)
                    want.setPixel(target.left() + x, target.top() + y,
                                  full.pixel(SampleIndex(x, 333, target.width()), SampleIndex(y, 217, target.height())));
            EXPECT_EQ(test::Difference(test::DrawOnWhite(busy, QSize(410, 260), target), want), QString())
                << "target " << target.width() << "x" << target.height();
        }
        EXPECT_EQ(test::DrawOnWhite(busy, QSize(333, 217), QRect(0, 0, 333, 217)), full.convertToFormat(QImage::Format_RGB32));
    }
}

TEST(JpegImage, ProgressRunsFromStartToEndAndSaveKeepsTheBytes)
{
    const QByteArray bytes = test::EncodeJpeg(test::Busy(64, 256), JpegKind::Progressive);
    const auto jpeg = test::LoadGraphic<TJPEGImage>(bytes);
    std::vector<std::pair<TProgressStage, int>> seen;
    jpeg->OnProgress = [&](const TGraphic& sender, TProgressStage stage, int percent, bool, const QRect&, const QString&) {
        EXPECT_EQ(&sender, jpeg.get());
        seen.emplace_back(stage, percent);
    };
    jpeg->ToImage();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::make_pair(psStarting, 0));
    EXPECT_EQ(seen.back(), std::make_pair(psEnding, 100));
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, psRunning);
        EXPECT_GT(seen[i].second, seen[i - 1].second);
    }
    EXPECT_EQ(test::SaveGraphic(*jpeg), bytes);
}

// A file cut in the middle loads; a draw puts what was decoded before the cut on the canvas and then
// fails. A single scan leaves the rows after the cut as they were; a progressive file has drawn its
// coarse picture everywhere.
TEST(JpegImage, TruncatedFileDrawsWhatCameBeforeTheCutThenFails)
{
    for (const JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive}) {
        SCOPED_TRACE(int(kind));
        const QByteArray whole = test::EncodeJpeg(test::Quadrants(200, 400), kind);
        TJPEGImage jpeg;
        jpeg.LoadFromData(whole.left(whole.size() * (kind == JpegKind::Baseline ? 4 : 8) / 10));
        QImage canvas(200, 400, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        EXPECT_THROW(jpeg.Draw(painter, canvas.rect()), EInvalidGraphic);
        painter.end();
        EXPECT_TRUE(test::Near(canvas.pixel(50, 10), qRgb(255, 0, 0))) << test::Describe(canvas.pixel(50, 10)).toStdString();
        EXPECT_EQ(canvas.pixel(150, 390) == qRgb(255, 255, 255), kind == JpegKind::Baseline);
        EXPECT_THROW(jpeg.ToImage(), EInvalidGraphic);
    }
}

// Data that is not a whole JPEG header is refused at load, and the picture keeps what it held.
TEST(JpegImage, RefusesBrokenHeadersAndKeepsThePicture)
{
    const QByteArray good = test::EncodeJpeg(test::Quadrants(16, 16), JpegKind::Baseline);
    auto withSize = [&](int width, int height) {
        QByteArray data = good;
        const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
        return data.replace(sof + 5, 4, test::Bytes().U8(height >> 8).U8(height).U8(width >> 8).U8(width).data);
    };
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"text", "This is a note, not a photo.\n"},
        {"header cut", good.left(100)},
        {"only the start marker", QByteArray("\xFF\xD8", 2)},
        {"above the memory cap", withSize(65500, 65500)},
        {"zero width", withSize(0, 16)},
    };
    TJPEGImage jpeg;
    jpeg.LoadFromData(good);
    for (const auto& [name, data] : cases) {
        EXPECT_THROW(jpeg.LoadFromData(data), EInvalidGraphic) << name;
        EXPECT_EQ(jpeg.Width(), 16) << name;
        EXPECT_FALSE(jpeg.ToImage().isNull()) << name;
    }
}

// Garbage inside the compressed data never gets past the decoder as anything but EInvalidGraphic.
TEST(JpegImage, ScrambledDataDrawsOrFailsCleanly)
{
    const QByteArray whole = test::EncodeJpeg(test::Busy(120, 90), JpegKind::Baseline);
    const qsizetype sos = whole.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(sos, 0);
    for (int seed = 1; seed <= 20; ++seed) {
        QByteArray data = whole;
        for (qsizetype i = sos + 20 + seed; i < data.size() - 2; i += 7 + seed)
            data[i] = char(data[i] ^ (0x5A + seed));
        TJPEGImage jpeg;
        try {
            jpeg.LoadFromData(data);
            const QImage cell = test::DrawOnWhite(jpeg, QSize(100, 100), QRect(0, 12, 100, 75));
            // Whatever the decoder made of it was drawn into the target rectangle.
            int white = 0;
            for (int y = 12; y < 87; ++y)
                for (int x = 0; x < 100; ++x)
                    white += cell.pixel(x, y) == qRgb(255, 255, 255);
            EXPECT_LT(white, 100 * 75) << "seed " << seed;
        } catch (const EInvalidGraphic&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "seed " << seed << ": unexpected " << e.what();
        }
    }
}

// Photos as cameras store them: each of the eight EXIF orientations (and the invalid 0) shows as the
// upright _1 file of its set, at full size and as a thumbnail centred by its upright size; only the
// digit each file prints in its centre differs. A damaged EXIF block leaves the photo as stored.
TEST(JpegImage, ExifOrientationShowsEveryPhotoUpright)
{
    const QString folder = QStringLiteral(TOVARI_SHARED_TESTDATA "/exif-orientation/");
    if (!QFileInfo::exists(folder + "Landscape_1.jpg"))
        GTEST_SKIP() << "no EXIF orientation set at " << folder.toStdString() << " (shared test data not checked out)";
    // Pixels outside the central box (a third of each side) that differ beyond the JPEG tolerance, in
    // percent: the files were encoded apart, and _0 draws its labels a pixel aside; a wrong turn
    // differs almost everywhere.
    auto wrongOutsideCentre = [](const QImage& a, const QImage& b) {
        double wrong = 0;
        const QRect centre(a.width() / 3, a.height() / 3, a.width() / 3, a.height() / 3);
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                wrong += !centre.contains(x, y) && !test::Near(a.pixel(x, y), b.pixel(x, y));
        return wrong * 100 / (a.width() * a.height());
    };
    for (const char* set : {"Landscape", "Portrait"}) {
        const QString first = folder + set + "_1.jpg";
        const QImage want = test::LoadGraphic<TJPEGImage>(test::ReadFileBytes(first))->ToImage(), wantCell = MakeThumbnail(first).cell;
        for (int n = 0; n <= 8; ++n) {
            SCOPED_TRACE(std::string(set) + "_" + std::to_string(n));
            const QString path = folder + QStringLiteral("%1_%2.jpg").arg(QLatin1String(set)).arg(n);
            const auto jpeg = test::LoadGraphic<TJPEGImage>(test::ReadFileBytes(path));
            EXPECT_EQ(jpeg->Orientation(), n == 0 ? 1 : n);
            const QImage full = jpeg->ToImage();
            ASSERT_EQ(full.size(), want.size());
            EXPECT_LT(wrongOutsideCentre(full, want), 2);
            const ThumbnailResult thumbnail = MakeThumbnail(path);
            ASSERT_TRUE(thumbnail.ready && thumbnail.loadable);
            EXPECT_LT(wrongOutsideCentre(thumbnail.cell, wantCell), 2);
        }
    }
    // The Orientation tag's value bytes, found in the block and overwritten: first with a value out of
    // range, then with the block's byte order broken.
    const QByteArray turned = test::ReadFileBytes(folder + "Portrait_6.jpg");
    const qsizetype tiff = turned.indexOf("Exif") + 6;
    const qsizetype tag = turned.indexOf(QByteArray("\x01\x12\x00\x03", 4), tiff);
    ASSERT_GT(tag, tiff);
    for (const auto& [at, bytes] : {std::pair(tag + 8, QByteArray("\x00\x09", 2)), std::pair(tiff, QByteArray("XX"))}) {
        const auto jpeg = test::LoadGraphic<TJPEGImage>(QByteArray(turned).replace(at, bytes.size(), bytes));
        EXPECT_EQ(jpeg->Orientation(), 1);
        EXPECT_EQ(jpeg->ToImage().size(), QSize(jpeg->Width(), jpeg->Height()));
        EXPECT_GT(jpeg->Width(), jpeg->Height());
    }
}

}  // namespace
}  // namespace tovari
