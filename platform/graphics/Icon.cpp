#include "platform/graphics/Icon.h"

#include "platform/graphics/BmpFormat.h"
#include "platform/graphics/Sampling.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

namespace tovari {

namespace {

[[noreturn]] void Refuse(const QString& why)
{
    throw EInvalidGraphic(QStringLiteral("Invalid icon: %1").arg(why));
}

QImage ReadPng(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // The header's size is checked before any pixel memory is taken.
    const QSize size = reader.size();
    if (!size.isValid())
        Refuse(QStringLiteral("unreadable PNG image"));
    CheckPictureSize(size.width(), size.height());
    QImage image = reader.read();
    if (image.isNull())
        Refuse(QStringLiteral("PNG image: %1").arg(reader.errorString()));
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        Refuse(QStringLiteral("out of memory"));
    return image;
}

}  // namespace

void TIcon::LoadFromStream(QIODevice& stream)
{
    const QByteArray data = ReadPictureData(stream);
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    if (size < 6 + 16)
        Refuse(QStringLiteral("the file is too short"));
    const quint16 reserved = qFromLittleEndian<quint16>(p);
    const quint16 type = qFromLittleEndian<quint16>(p + 2);
    const quint16 count = qFromLittleEndian<quint16>(p + 4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0)
        Refuse(QStringLiteral("no icon directory"));
    const quint32 bytes = qFromLittleEndian<quint32>(p + 6 + 8);
    const quint32 offset = qFromLittleEndian<quint32>(p + 6 + 12);
    if (offset > quint64(size) || bytes > quint64(size) - offset || bytes < 8)
        Refuse(QStringLiteral("the first image lies outside the file"));
    const QByteArray entry = data.mid(offset, bytes);
    static const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);
    QImage image = entry.startsWith(pngSignature) ? ReadPng(entry) : ReadIconDib(entry);
    data_ = data;
    image_ = std::move(image);
    Changed();
}

void TIcon::SaveToStream(QIODevice& stream) const
{
    if (stream.write(data_) != data_.size())
        throw EFOpenError(QStringLiteral("Cannot write the icon: %1").arg(stream.errorString()));
}

void TIcon::Assign(const TGraphic& source)
{
    const auto* icon = dynamic_cast<const TIcon*>(&source);
    if (!icon) {
        TGraphic::Assign(source);
        return;
    }
    data_ = icon->data_;
    image_ = icon->image_;
    Changed();
}

void TIcon::Draw(QPainter& canvas, const QRect& rect) const
{
    if (image_.isNull())
        return;
    if (rect.size() == image_.size()) {
        canvas.drawImage(rect.topLeft(), image_);
        return;
    }
    TStretch stretch(canvas, rect, image_.size(), true);
    for (int y : stretch.SourceRows())
        stretch.PutSourceRow(y, reinterpret_cast<const quint32*>(image_.constScanLine(y)));
    stretch.Flush();
}

}  // namespace tovari
