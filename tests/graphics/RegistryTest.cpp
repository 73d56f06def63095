#include "tests/graphics/GraphicsTestSupport.h"

#include "local/Thumbnail.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"
#include "platform/graphics/Picture.h"
#include "tests/common/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

// A graphic that reads any file as a 10 x 10 green square, as a plug-in class would take over formats.
class TGreenSquare : public TBitmap {
public:
    void LoadFromStream(QIODevice&) override
    {
        QImage image(10, 10, QImage::Format_RGB32);
        image.fill(qRgb(0, 255, 0));
        SetImage(image, pf24bit);
    }
};

class TOtherSquare : public TGreenSquare {};

template <class T>
bool Is(const std::optional<TGraphicClass>& c)
{
    return c && *c == TGraphicClass::Of<T>();
}

TEST(PictureFormats, BuiltInsMatchWithoutRegardToCase)
{
    const TPictureFormats formats;
    const auto bmp = TGraphicClass::Of<TBitmap>(), jpeg = TGraphicClass::Of<TJPEGImage>();
    const auto wmf = TGraphicClass::Of<TMetafile>();
    const std::pair<const char*, std::optional<TGraphicClass>> cases[] = {
        {"BMP", bmp},  {".Bmp", bmp},  {"ICO", TGraphicClass::Of<TIcon>()}, {"emf", wmf},     {"Wmf", wmf},
        {"jpg", jpeg}, {"JPEG", jpeg}, {"jpe", std::nullopt},               {"txt", std::nullopt}, {"", std::nullopt}};
    for (const auto& [extension, graphicClass] : cases)
        EXPECT_TRUE(formats.Find(extension) == graphicClass) << extension;
    EXPECT_EQ(formats.Formats().size(), 6u);
    TPictureFormats empty(false);
    EXPECT_THROW(empty.Register("", "None", TGraphicClass::Of<TBitmap>()), EInvalidGraphic);
    EXPECT_THROW(empty.Register(".bmp", "Dot", TGraphicClass::Of<TBitmap>()), EInvalidGraphic);
    EXPECT_TRUE(empty.Formats().empty());
}

TEST(PictureFormats, NewestRegistrationWinsAndUnregisterRemovesEveryOneOfAClass)
{
    TPictureFormats formats;
    formats.Register("JPG", "Green", TGraphicClass::Of<TGreenSquare>());
    formats.Register("pic", "Green", TGraphicClass::Of<TGreenSquare>());
    formats.Register("pic", "Other", TGraphicClass::Of<TOtherSquare>());
    EXPECT_TRUE(Is<TGreenSquare>(formats.Find("jpg")));
    EXPECT_TRUE(Is<TOtherSquare>(formats.Find("PIC")));

    formats.Unregister(TGraphicClass::Of<TOtherSquare>());
    EXPECT_TRUE(Is<TGreenSquare>(formats.Find("pic")));  // the older registration shows again

    formats.Unregister(TGraphicClass::Of<TGreenSquare>());
    EXPECT_TRUE(Is<TJPEGImage>(formats.Find("jpg")));
    EXPECT_FALSE(formats.Find("pic"));
    EXPECT_EQ(formats.Formats().size(), 6u);
}

TEST(Picture, ExtensionIsTheTextAfterTheLastDotOfTheName)
{
    for (const auto& [path, extension] : {std::pair("/a/photo.JPG", "JPG"), std::pair("/a/archive.tar.gz", "gz"),
                                          std::pair("/a.b/noextension", ""), std::pair("/a/trailing.", ""),
                                          std::pair("写真.jpeg", "jpeg")})
        EXPECT_EQ(FileExtension(QString::fromUtf8(path)), QString::fromUtf8(extension)) << path;
}

TEST(Picture, UnregisteredExtensionIsInvalidAndKeepsThePicture)
{
    QTemporaryDir dir;
    const QByteArray bmp = test::BuildBmp({.width = 1, .height = 1, .pixels = QByteArray(4, '\0')});
    TPicture picture;
    picture.LoadFromFile(test::WriteFile(dir.filePath("one.bmp"), bmp));
    EXPECT_THROW(picture.LoadFromFile(test::WriteFile(dir.filePath("one.txt"), bmp)), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(test::WriteFile(dir.filePath("noextension"), bmp)), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(dir.filePath("missing.bmp")), EFOpenError);
    EXPECT_EQ(picture.Width(), 1);
}

// A picture loads through whichever class its own registry names for the extension.
TEST(Picture, LoadsThroughTheClassRegisteredForTheExtension)
{
    QTemporaryDir dir;
    const QString path = test::WriteFile(dir.filePath("shot.jpg"), QByteArray("not really a JPEG"));
    TPictureFormats formats;
    EXPECT_THROW(TPicture(formats).LoadFromFile(path), EInvalidGraphic);
    formats.Register("jpg", "Green", TGraphicClass::Of<TGreenSquare>());
    TPicture picture(formats);
    picture.LoadFromFile(path);
    EXPECT_NE(dynamic_cast<TGreenSquare*>(picture.Graphic()), nullptr);
}

// The process-wide table is the one thumbnails use: a class registered there takes over.
TEST(Picture, GlobalRegistrationReachesThumbnails)
{
    QTemporaryDir dir;
    const QString path = test::WriteFile(dir.filePath("plugin.PIX"), QByteArray("anything"));
    EXPECT_FALSE(MakeThumbnail(path).ready);
    TPictureFormats::Global().Register("pix", "Green", TGraphicClass::Of<TGreenSquare>());
    const ThumbnailResult result = MakeThumbnail(path);
    TPictureFormats::Global().Unregister(TGraphicClass::Of<TGreenSquare>());
    ASSERT_TRUE(result.ready);
    EXPECT_EQ(result.cell.pixel(50, 50), qRgb(0, 255, 0));
    EXPECT_EQ(result.cell.pixel(44, 44), qRgb(255, 255, 255));
    EXPECT_FALSE(MakeThumbnail(path).ready);
}

}  // namespace
}  // namespace tovari
