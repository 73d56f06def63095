#include "platform/graphics/Picture.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"

#include <algorithm>

namespace tovari {

TPictureFormats::TPictureFormats(bool withBuiltIns)
{
    if (!withBuiltIns)
        return;
    Register(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), TGraphicClass::Of<TBitmap>());
    Register(QStringLiteral("ico"), QStringLiteral("Icons"), TGraphicClass::Of<TIcon>());
    Register(QStringLiteral("emf"), QStringLiteral("Enhanced Metafiles"), TGraphicClass::Of<TMetafile>());
    Register(QStringLiteral("wmf"), QStringLiteral("Metafiles"), TGraphicClass::Of<TMetafile>());
    Register(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"), TGraphicClass::Of<TJPEGImage>());
    Register(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"), TGraphicClass::Of<TJPEGImage>());
}

TPictureFormats& TPictureFormats::Global()
{
    static TPictureFormats formats(true);
    return formats;
}

void TPictureFormats::Register(const QString& extension, const QString& description,
                               const TGraphicClass& graphicClass)
{
    if (extension.isEmpty() || extension.startsWith(QLatin1Char('.')))
        throw EInvalidGraphic(QStringLiteral("Invalid picture file extension \"%1\"").arg(extension));
    formats_.push_back(TFileFormat{extension, description, graphicClass});
}

void TPictureFormats::Unregister(const TGraphicClass& graphicClass)
{
    std::erase_if(formats_, [&](const TFileFormat& f) { return f.GraphicClass == graphicClass; });
}

std::optional<TGraphicClass> TPictureFormats::Find(const QString& extension) const
{
    const QString wanted = extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension;
    if (wanted.isEmpty())
        return std::nullopt;
    for (auto it = formats_.rbegin(); it != formats_.rend(); ++it)
        if (it->Extension.compare(wanted, Qt::CaseInsensitive) == 0)
            return it->GraphicClass;
    return std::nullopt;
}

std::vector<TFileFormat> TPictureFormats::Formats() const
{
    return formats_;
}

QString FileExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return QString();
    return path.mid(dot + 1);
}

std::unique_ptr<TGraphic> TPicture::CreateFor(const QString& name) const
{
    const QString extension = FileExtension(name);
    const std::optional<TGraphicClass> graphicClass = formats_.Find(extension);
    if (!graphicClass)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    std::unique_ptr<TGraphic> graphic = graphicClass->Create();
    graphic->OnProgress = OnProgress;
    return graphic;
}

void TPicture::LoadFromFile(const QString& path)
{
    std::unique_ptr<TGraphic> graphic = CreateFor(path);
    graphic->LoadFromFile(path);
    graphic_ = std::move(graphic);
}

void TPicture::LoadFromStream(QIODevice& stream, const QString& name)
{
    std::unique_ptr<TGraphic> graphic = CreateFor(name);
    graphic->LoadFromStream(stream);
    graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const QString& path) const
{
    if (graphic_)
        graphic_->SaveToFile(path);
}

}  // namespace tovari
