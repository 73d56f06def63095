#include "platform/graphics/Sampling.h"

#include "platform/graphics/Graphic.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace tovari {

void CheckPictureSize(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        throw EInvalidGraphic(QStringLiteral("The picture has no pixels (%1 x %2)").arg(width).arg(height));
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height * 4 > kMaxDecodedBytes)
        throw EInvalidGraphic(QStringLiteral("The picture is too large (%1 x %2)").arg(width).arg(height));
}

void CheckRunLengthFill(qint64 width, qint64 height, qint64 dataBytes)
{
    if (width * height > kFreeRunLengthPixels + std::max<qint64>(dataBytes, 0) * kRunLengthPixelsPerByte)
        throw EInvalidGraphic(QStringLiteral("%1 bytes of run-length data cannot fill %2 x %3 pixels")
                                  .arg(dataBytes).arg(width).arg(height));
}

namespace {
// Enough lines per strip that a full-size draw costs few painter calls, few enough to stay small.
constexpr int kStripLines = 64;
}  // namespace

TStretch::TStretch(QPainter& canvas, const QRect& rect, QSize source, bool alpha) : canvas_(canvas)
{
    if (!rect.isValid() || source.isEmpty() || !canvas.device())
        return;
    const QPaintDevice* device = canvas.device();
    QRect reachable = canvas.deviceTransform()
                          .inverted()
                          .mapRect(QRectF(0, 0, device->width(), device->height()))
                          .toAlignedRect();
    if (canvas.hasClipping())
        reachable &= canvas.clipBoundingRect().toAlignedRect();
    visible_ = rect & reachable;
    if (visible_.isEmpty())
        return;

    columns_.reserve(std::size_t(visible_.width()));
    for (int x = visible_.left(); x <= visible_.right(); ++x)
        columns_.push_back(SampleIndex(x - rect.left(), source.width(), rect.width()));
    rows_.reserve(std::size_t(visible_.height()));
    for (int y = visible_.top(); y <= visible_.bottom(); ++y) {
        const int sy = SampleIndex(y - rect.top(), source.height(), rect.height());
        rows_.push_back(sy);
        if (sourceRows_.empty() || sourceRows_.back() != sy)
            sourceRows_.push_back(sy);
    }
    strip_ = QImage(visible_.width(), std::min(kStripLines, visible_.height()),
                    alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (strip_.isNull())
        throw EInvalidGraphic(QStringLiteral("Out of memory while drawing a picture"));
}

void TStretch::PutSourceRow(int y, const quint32* pixels)
{
    while (nextRow_ < rows_.size() && rows_[nextRow_] == y) {
        auto* out = reinterpret_cast<quint32*>(strip_.scanLine(stripFill_));
        const std::size_t n = columns_.size();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = pixels[columns_[i]];
        ++nextRow_;
        if (++stripFill_ == strip_.height())
            Flush();
    }
}

void TStretch::Flush()
{
    if (stripFill_ == 0)
        return;
    canvas_.drawImage(QPoint(visible_.left(), visible_.top() + stripTop_), strip_,
                      QRect(0, 0, strip_.width(), stripFill_));
    stripTop_ += stripFill_;
    stripFill_ = 0;
}

}  // namespace tovari
