#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Picture.h"
#include "platform/graphics/Sampling.h"
#include "tests/common/TestSupport.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::JpegKind;

struct KindCase {
    const char* name;
    JpegKind kind;
    bool grey;
    bool progressive;
};

class JpegKinds : public testing::TestWithParam<KindCase> {};

// Each kind loads by file name, reports its size and decodes to the colours it was made from.
TEST_P(JpegKinds, DecodesColoursAtTheirPlaces)
{
    const KindCase c = GetParam();
    QTemporaryDir dir;
    const QString path =
        test::WriteFile(dir.filePath("photo.JPG"), test::EncodeJpeg(test::Quadrants(64, 48), c.kind));
    TPicture picture;
    picture.LoadFromFile(path);
    auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->Width(), 64);
    EXPECT_EQ(jpeg->Height(), 48);
    EXPECT_EQ(jpeg->Grayscale(), c.grey);
    EXPECT_EQ(jpeg->ProgressiveEncoding(), c.progressive);

    const QImage image = jpeg->ToImage();
    ASSERT_EQ(image.size(), QSize(64, 48));
    const QRgb expected[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    const QPoint where[4] = {{10, 10}, {54, 10}, {10, 38}, {54, 38}};
    for (int i = 0; i < 4; ++i) {
        const QRgb want = c.grey ? qRgb(qGray(expected[i]), qGray(expected[i]), qGray(expected[i])) : expected[i];
        EXPECT_TRUE(test::Near(image.pixel(where[i]), want))
            << "quadrant " << i << ": " << test::Describe(image.pixel(where[i])).toStdString();
    }
}

// A stretched draw shows exactly the full decode's pixels under each target pixel's centre, also
// where the decoder skipped the rows in between, and a natural-size draw is the full decode.
TEST_P(JpegKinds, StretchSamplesTheFullDecode)
{
    const KindCase c = GetParam();
    TJPEGImage jpeg;
    jpeg.LoadFromData(test::EncodeJpeg(test::Busy(333, 217), c.kind));
    const QImage full = jpeg.ToImage();

    for (const QRect target : {QRect(3, 5, 100, 65), QRect(0, 0, 37, 217), QRect(1, 2, 400, 250)}) {
        const QImage drawn = test::DrawOnWhite(jpeg, QSize(410, 260), target);
        int wrong = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                const QRgb want = full.pixel(SampleIndex(x, 333, target.width()), SampleIndex(y, 217, target.height()));
                wrong += drawn.pixel(target.left() + x, target.top() + y) != want;
            }
        EXPECT_EQ(wrong, 0) << "target " << target.width() << "x" << target.height();
        EXPECT_EQ(drawn.pixel(target.right() + 1, target.bottom() + 1), qRgb(255, 255, 255));
    }
    EXPECT_EQ(test::DrawOnWhite(jpeg, QSize(333, 217), QRect(0, 0, 333, 217)), full.convertToFormat(QImage::Format_RGB32));
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegKinds,
                         testing::Values(KindCase{"Baseline", JpegKind::Baseline, false, false},
                                         KindCase{"Progressive", JpegKind::Progressive, false, true},
                                         KindCase{"Grey", JpegKind::Grey, true, false},
                                         KindCase{"Cmyk", JpegKind::Cmyk, false, false},
                                         KindCase{"Ycck", JpegKind::Ycck, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegImage, ProgressRunsFromStartToEnd)
{
    TJPEGImage jpeg;
    jpeg.LoadFromData(test::EncodeJpeg(test::Busy(64, 256), JpegKind::Baseline));
    std::vector<std::pair<TProgressStage, int>> seen;
    jpeg.OnProgress = [&](const TGraphic& sender, TProgressStage stage, int percent, bool, const QRect&,
                          const QString&) {
        EXPECT_EQ(&sender, &jpeg);
        seen.emplace_back(stage, percent);
    };
    jpeg.ToImage();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::make_pair(psStarting, 0));
    EXPECT_EQ(seen.back(), std::make_pair(psEnding, 100));
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, psRunning);
        EXPECT_GT(seen[i].second, seen[i - 1].second);
    }
}

// Saving writes the compressed bytes back unchanged, so nothing is lost by a load.
TEST(JpegImage, SavesTheBytesItLoaded)
{
    const QByteArray bytes = test::EncodeJpeg(test::Busy(40, 30), JpegKind::Progressive);
    TJPEGImage jpeg;
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    jpeg.LoadFromStream(in);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    jpeg.SaveToStream(out);
    EXPECT_EQ(out.data(), bytes);
}

// A single-scan file cut in the middle: it loads, a draw puts the rows before the cut on the canvas
// and then fails; rows after the cut stay as they were.
TEST(JpegTruncated, SequentialDrawsRowsBeforeTheCut)
{
    const QByteArray whole = test::EncodeJpeg(test::Quadrants(200, 400), JpegKind::Baseline);
    TJPEGImage jpeg;
    jpeg.LoadFromData(whole.left(whole.size() * 4 / 10));
    QImage canvas(200, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    EXPECT_THROW(jpeg.Draw(painter, canvas.rect()), EInvalidGraphic);
    painter.end();
    EXPECT_TRUE(test::Near(canvas.pixel(50, 10), qRgb(255, 0, 0))) << test::Describe(canvas.pixel(50, 10)).toStdString();
    EXPECT_EQ(canvas.pixel(50, 390), qRgb(255, 255, 255));
    EXPECT_THROW(jpeg.ToImage(), EInvalidGraphic);
}

TEST(JpegTruncated, ProgressiveDrawsTheCoarsePictureThenFails)
{
    const QByteArray whole = test::EncodeJpeg(test::Quadrants(64, 64), JpegKind::Progressive);
    TJPEGImage jpeg;
    jpeg.LoadFromData(whole.left(whole.size() * 8 / 10));
    QImage canvas(64, 64, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    EXPECT_THROW(jpeg.Draw(painter, canvas.rect()), EInvalidGraphic);
    painter.end();
    EXPECT_NE(canvas.pixel(50, 60), qRgb(255, 255, 255));
}

struct BadJpeg {
    const char* name;
    QByteArray (*make)();
};

class JpegRefused : public testing::TestWithParam<BadJpeg> {};

// Data that is not a whole JPEG header is refused at load, and the picture keeps what it held.
TEST_P(JpegRefused, LoadThrowsAndKeepsThePicture)
{
    TJPEGImage jpeg;
    jpeg.LoadFromData(test::EncodeJpeg(test::Quadrants(8, 8), JpegKind::Baseline));
    EXPECT_THROW(jpeg.LoadFromData(GetParam().make()), EInvalidGraphic);
    EXPECT_EQ(jpeg.Width(), 8);
    EXPECT_FALSE(jpeg.ToImage().isNull());
}

QByteArray WithSize(int width, int height)
{
    QByteArray data = test::EncodeJpeg(test::Quadrants(16, 16), JpegKind::Baseline);
    const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
    data[sof + 5] = char(height >> 8);
    data[sof + 6] = char(height & 0xFF);
    data[sof + 7] = char(width >> 8);
    data[sof + 8] = char(width & 0xFF);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Bad, JpegRefused,
    testing::Values(BadJpeg{"Empty", [] { return QByteArray(); }},
                    BadJpeg{"Text", [] { return QByteArray("This is a note, not a photo.\n"); }},
                    BadJpeg{"HeaderCut", [] { return test::EncodeJpeg(test::Quadrants(16, 16), JpegKind::Baseline).left(100); }},
                    BadJpeg{"OnlyStartMarker", [] { return QByteArray("\xFF\xD8", 2); }},
                    BadJpeg{"AboveMemoryCap", [] { return WithSize(65500, 65500); }},
                    BadJpeg{"ZeroWidth", [] { return WithSize(0, 16); }}),
    [](const auto& info) { return std::string(info.param.name); });

// Garbage inside the compressed data never gets past the decoder as anything but EInvalidGraphic.
TEST(JpegCorrupt, ScrambledDataDrawsOrFailsCleanly)
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
            // refused cleanly
        } catch (const std::exception& e) {
            ADD_FAILURE() << "seed " << seed << ": unexpected " << e.what();
        }
    }
}

}  // namespace
}  // namespace tovari
