#include "platform/graphics/Bitmap.h"

#include "platform/graphics/BmpFormat.h"
#include "platform/graphics/Sampling.h"

#include <QIODevice>
#include <QPainter>
#include <cstring>
#include <vector>

namespace tovari {

namespace {

int ColourCount(TPixelFormat format)
{
    switch (format) {
    case pf1bit: return 2;
    case pf4bit: return 16;
    case pf8bit: return 256;
    default: return 0;
    }
}

QImage::Format StorageFormat(TPixelFormat format, bool alpha)
{
    switch (format) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf32bit: return alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    default: return QImage::Format_RGB32;
    }
}

// The colours a new indexed bitmap starts with: black and white, the 16 standard colours, or a grey ramp.
QList<QRgb> DefaultPalette(TPixelFormat format)
{
    QList<QRgb> table;
    if (format == pf1bit) {
        table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else if (format == pf4bit) {
        table = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
                 qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
                 qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
                 qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    } else if (format == pf8bit) {
        for (int i = 0; i < 256; ++i)
            table.append(qRgb(i, i, i));
    }
    return table;
}

int NearestIndex(const QList<QRgb>& table, QRgb colour)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < table.size(); ++i) {
        const int dr = qRed(table[i]) - qRed(colour);
        const int dg = qGreen(table[i]) - qGreen(colour);
        const int db = qBlue(table[i]) - qBlue(colour);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

QList<QRgb> FitPalette(QList<QRgb> colours, TPixelFormat format)
{
    const int count = ColourCount(format);
    colours.resize(std::min<qsizetype>(colours.size(), count));
    while (colours.size() < count)
        colours.append(qRgb(0, 0, 0));
    return colours;
}

}  // namespace

void TBitmap::SetSize(int width, int height)
{
    if (width == Width() && height == Height())
        return;
    if (width == 0 && height == 0) {
        image_ = QImage();
        Changed();
        return;
    }
    CheckPictureSize(width, height);
    const bool alpha = image_.hasAlphaChannel();
    QImage resized(width, height, StorageFormat(format_, alpha));
    if (resized.isNull())
        throw EInvalidGraphic(QStringLiteral("Out of memory for a %1 x %2 bitmap").arg(width).arg(height));
    if (resized.format() == QImage::Format_Mono || resized.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = image_.isNull() ? DefaultPalette(format_) : image_.colorTable();
        resized.setColorTable(table);
        resized.fill(uint(NearestIndex(table, qRgb(255, 255, 255))));
    } else {
        resized.fill(0xFFFFFFFFu);
    }
    if (!image_.isNull()) {
        const int rows = std::min(height, image_.height());
        const int columns = std::min(width, image_.width());
        for (int y = 0; y < rows; ++y) {
            if (resized.format() == QImage::Format_Mono) {
                for (int x = 0; x < columns; ++x)
                    resized.setPixel(x, y, uint(image_.pixelIndex(x, y)));
            } else {
                std::memcpy(resized.scanLine(y), image_.constScanLine(y),
                            std::size_t(columns) * std::size_t(resized.depth() / 8));
            }
        }
    }
    image_ = resized;
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == format_)
        return;
    if (!image_.isNull()) {
        const Qt::ImageConversionFlags flags = Qt::ThresholdDither | Qt::AvoidDither;
        QImage converted;
        if (format == pf1bit) {
            converted = image_.convertToFormat(QImage::Format_Mono, DefaultPalette(pf1bit), flags);
        } else if (format == pf4bit) {
            const bool fits = image_.format() == QImage::Format_Indexed8 && image_.colorCount() <= 16;
            converted = fits ? image_ : image_.convertToFormat(QImage::Format_Indexed8, DefaultPalette(pf4bit), flags);
        } else if (format == pf8bit) {
            converted = image_.format() == QImage::Format_Indexed8
                            ? image_
                            : image_.convertToFormat(QImage::Format_Indexed8, flags);
        } else {
            converted = image_.convertToFormat(StorageFormat(format, image_.hasAlphaChannel()));
        }
        if (converted.isNull())
            throw EInvalidGraphic(QStringLiteral("Out of memory converting a bitmap"));
        if (ColourCount(format) > 0)
            converted.setColorTable(FitPalette(converted.colorTable(), format));
        image_ = converted;
    }
    format_ = format;
    Changed();
}

void TBitmap::SetPalette(const QList<QRgb>& colours)
{
    if (ColourCount(format_) == 0 || image_.isNull())
        return;
    image_.setColorTable(FitPalette(colours, format_));
    Changed();
}

void TBitmap::SetImage(const QImage& image, TPixelFormat format)
{
    if (!image.isNull()) {
        CheckPictureSize(image.width(), image.height());
        if (image.format() != StorageFormat(format, image.hasAlphaChannel()))
            throw EInvalidGraphic(QStringLiteral("The image does not match the pixel format"));
    }
    image_ = image;
    if (ColourCount(format) > 0 && !image_.isNull())
        image_.setColorTable(FitPalette(image_.colorTable(), format));
    format_ = format;
    Changed();
}

void TBitmap::Draw(QPainter& canvas, const QRect& rect) const
{
    if (image_.isNull())
        return;
    if (rect.size() == image_.size()) {
        canvas.drawImage(rect.topLeft(), image_);
        return;
    }
    const bool alpha = image_.hasAlphaChannel();
    TStretch stretch(canvas, rect, image_.size(), alpha);
    if (stretch.Empty())
        return;
    const bool direct = image_.format() == QImage::Format_RGB32 || image_.format() == QImage::Format_ARGB32;
    std::vector<quint32> row(direct ? 0 : std::size_t(image_.width()));
    const QList<QRgb> table = image_.colorTable();
    for (int y : stretch.SourceRows()) {
        if (direct) {
            stretch.PutSourceRow(y, reinterpret_cast<const quint32*>(image_.constScanLine(y)));
            continue;
        }
        const uchar* in = image_.constScanLine(y);
        for (int x = 0; x < image_.width(); ++x) {
            const int index = image_.format() == QImage::Format_Mono ? (in[x / 8] >> (7 - x % 8)) & 1 : in[x];
            row[std::size_t(x)] = index < table.size() ? table[index] : qRgb(0, 0, 0);
        }
        stretch.PutSourceRow(y, row.data());
    }
    stretch.Flush();
}

QImage TBitmap::ToImage() const
{
    return image_;
}

void TBitmap::LoadFromStream(QIODevice& stream)
{
    Progress(psStarting, 0, false, QRect(), QString());
    TDecodedBitmap decoded = ReadBmpFile(ReadPictureData(stream));
    image_ = std::move(decoded.image);
    format_ = decoded.format;
    Progress(psEnding, 100, true, image_.rect(), QString());
    Changed();
}

void TBitmap::SaveToStream(QIODevice& stream) const
{
    const QByteArray data = WriteBmpFile(image_, format_);
    if (stream.write(data) != data.size())
        throw EFOpenError(QStringLiteral("Cannot write the bitmap: %1").arg(stream.errorString()));
}

void TBitmap::Assign(const TGraphic& source)
{
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        image_ = bitmap->image_;
        format_ = bitmap->format_;
        Changed();
        return;
    }
    if (source.Empty()) {
        image_ = QImage();
        Changed();
        return;
    }
    CheckPictureSize(source.Width(), source.Height());
    QImage image(source.Width(), source.Height(), QImage::Format_RGB32);
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("Out of memory for a %1 x %2 bitmap").arg(source.Width()).arg(source.Height()));
    image.fill(0xFFFFFFFFu);
    {
        QPainter painter(&image);
        source.Draw(painter, image.rect());
    }
    image_ = image;
    format_ = pfDevice;
    Changed();
}

}  // namespace tovari
