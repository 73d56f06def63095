#include "platform/graphics/Graphic.h"

#include "platform/FileName.h"
#include "platform/graphics/Sampling.h"

#include <QFile>
#include <QPainter>
#include <typeinfo>

namespace tovari {

namespace {
constexpr qint64 kMaxPictureFileBytes = qint64(1) << 30;
}

QByteArray ReadPictureData(QIODevice& stream)
{
    if (!stream.isReadable())
        throw EFOpenError(QStringLiteral("The picture stream is not open for reading"));
    if (!stream.isSequential()) {
        const qint64 left = stream.size() - stream.pos();
        if (left > kMaxPictureFileBytes)
            throw EInvalidGraphic(QStringLiteral("The picture file is too large"));
        QByteArray data = stream.read(left);
        if (data.size() != left)
            throw EFOpenError(QStringLiteral("Cannot read the picture: %1").arg(stream.errorString()));
        return data;
    }
    QByteArray data;
    for (;;) {
        const QByteArray chunk = stream.read(1 << 16);
        if (chunk.isEmpty()) {
            if (stream.bytesAvailable() > 0 || !stream.waitForReadyRead(0))
                break;
            continue;
        }
        if (data.size() + chunk.size() > kMaxPictureFileBytes)
            throw EInvalidGraphic(QStringLiteral("The picture file is too large"));
        data += chunk;
    }
    return data;
}

QImage TGraphic::ToImage() const
{
    if (Empty())
        return QImage();
    CheckPictureSize(Width(), Height());
    QImage image(Width(), Height(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("Out of memory for a %1 x %2 picture").arg(Width()).arg(Height()));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Draw(painter, image.rect());
    return image;
}

void OpenPictureFile(QFile& file, const QString& path)
{
    QString error;
    switch (OpenRegularFileForReading(file, path, error)) {
    case TReadOpen::Opened:
        return;
    case TReadOpen::NotRegular:
        throw EInvalidGraphic(QStringLiteral("\"%1\" is not a regular file").arg(path));
    case TReadOpen::Failed:
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\": %2").arg(path, error));
    }
}

void TGraphic::LoadFromFile(const QString& path)
{
    QFile file;
    OpenPictureFile(file, path);
    LoadFromStream(file);
}

void TGraphic::SaveToFile(const QString& path) const
{
    QFile file;
    if (!OpenNativeFile(file, path, QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFOpenError(QStringLiteral("Cannot create file \"%1\": %2").arg(path, file.errorString()));
    SaveToStream(file);
    if (!file.flush())
        throw EFOpenError(QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString()));
}

void TGraphic::Assign(const TGraphic& source)
{
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2")
                            .arg(QString::fromLatin1(typeid(source).name()), QString::fromLatin1(typeid(*this).name())));
}

void TGraphic::Progress(TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                        const QString& message) const
{
    if (OnProgress)
        OnProgress(*this, stage, percent, redrawNow, rect, message);
}

void TGraphic::Changed()
{
    if (OnChange)
        OnChange(*this);
}

}  // namespace tovari
