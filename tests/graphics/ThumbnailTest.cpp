#include "tests/graphics/GraphicsTestSupport.h"

#include "local/Thumbnail.h"
#include "platform/FileName.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

TEST(Thumbnail, FitsThePictureIntoTheCell)
{
    for (const auto& [w, h, rect] :
         {std::tuple(40, 20, QRect(30, 40, 40, 20)), std::tuple(100, 100, QRect(0, 0, 100, 100)),
          std::tuple(1, 1, QRect(49, 49, 1, 1)), std::tuple(99, 100, QRect(0, 0, 99, 100)),
          std::tuple(400, 200, QRect(0, 25, 100, 50)), std::tuple(200, 400, QRect(25, 0, 50, 100)),
          std::tuple(6000, 4000, QRect(0, 17, 100, 66)), std::tuple(101, 100, QRect(0, 0, 100, 99)),
          // truncation in floating point makes the long side one short
          std::tuple(109, 50, QRect(0, 27, 99, 45)), std::tuple(50, 110, QRect(27, 0, 45, 99)),
          std::tuple(109, 1, QRect(0, 50, 99, 0))})
        EXPECT_EQ(FitThumbnail(w, h), rect) << w << "x" << h;
}

class Thumbnails : public testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) { return test::WriteFile(dir_.filePath(name), bytes); }
    QTemporaryDir dir_;
};

// A 400 x 200 photo fills a 100 x 50 band in the middle of the white cell (turned photos are checked with
// the EXIF orientation set); a photo cut short keeps the rows drawn before the cut and is marked as not
// loadable.
TEST_F(Thumbnails, PhotosAreShrunkIntoTheirBand)
{
    const QByteArray wide = test::EncodeJpeg(test::Quadrants(400, 200), test::JpegKind::Baseline);
    const QByteArray cut = test::EncodeJpeg(test::Quadrants(400, 400), test::JpegKind::Baseline);
    const QRgb white = qRgb(255, 255, 255), red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    struct Case {
        const char* name;
        QByteArray bytes;
        bool loadable;
        std::vector<std::pair<QPoint, QRgb>> pixels;
    };
    const Case cases[] = {
        {"wide.jpg", wide, true, {{{20, 30}, red}, {{80, 30}, green}, {{20, 70}, blue}, {{80, 70}, 0}, {{50, 24}, white}, {{50, 75}, white}}},
        {"cut.jpg", cut.left(cut.size() / 3), false, {{{20, 5}, red}, {{20, 95}, white}}},
    };
    for (const Case& c : cases) {
        const ThumbnailResult r = MakeThumbnail(Write(c.name, c.bytes));
        ASSERT_TRUE(r.ready) << c.name;
        EXPECT_EQ(r.loadable, c.loadable) << c.name;
        ASSERT_EQ(r.cell.size(), QSize(100, 100));
        EXPECT_EQ(r.cell.format(), QImage::Format_RGB32);
        for (const auto& [at, colour] : c.pixels)
            EXPECT_TRUE(colour == white ? r.cell.pixel(at) == white : test::Near(r.cell.pixel(at), colour | 0xFF000000u))
                << c.name << " " << at.x() << "," << at.y() << " " << test::Describe(r.cell.pixel(at)).toStdString();
    }
}

TEST_F(Thumbnails, UnloadableFilesGiveNothing)
{
    QDir(dir_.path()).mkdir("folder.jpg");
    for (const QString& path : {Write("empty.jpg", QByteArray()), Write("note.jpg", "just some words\n"),
                                Write("note.txt", "just some words\n"), dir_.filePath("missing.jpg"),
                                dir_.filePath("folder.jpg"), Write("zero.bmp", QByteArray())}) {
        const ThumbnailResult r = MakeThumbnail(path);
        EXPECT_FALSE(r.ready || r.loadable || !r.cell.isNull()) << path.toStdString();
    }
}

TEST_F(Thumbnails, OpensFilesWhoseNamesAreNotUtf8)
{
    const QString path = dir_.path() + QLatin1Char('/') + FromNativePath(QByteArray("\x8E\xCA\x90\x5E.jpg"));  // Shift_JIS
    const test::NativeFileRemover remover(path);
    QFile file;
    ASSERT_TRUE(OpenNativeFile(file, path, QIODevice::WriteOnly));
    file.write(test::EncodeJpeg(test::Quadrants(20, 20), test::JpegKind::Grey));
    file.close();
    const ThumbnailResult r = MakeThumbnail(path);
    EXPECT_TRUE(r.ready && r.loadable);
}

}  // namespace
}  // namespace tovari
