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

QPoint UprightPoint(int orientation, int x, int y, QSize stored)
{
    const int right = stored.width() - 1 - x, bottom = stored.height() - 1 - y;
    switch (orientation) {
    case 2: return {right, y};
    case 3: return {right, bottom};
    case 4: return {x, bottom};
    case 5: return {y, x};
    case 6: return {bottom, x};
    case 7: return {bottom, right};
    case 8: return {y, right};
    default: return {x, y};
    }
}

TStretch::TStretch(QPainter& canvas, const QRect& rect, QSize source, bool alpha, int orientation) : canvas_(canvas)
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

    if (orientation >= 2 && orientation <= 8) {
        // Upright sample (ux, uy) is stored pixel (sx, sy); each axis of the turn maps on its own.
        turned_ = true;
        transposed_ = OrientationTransposes(orientation);
        const QSize upright = UprightSize(source, orientation);
        const bool mirrorX = orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
        const bool mirrorY = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
        // stored x from an upright coordinate, stored y from the other
        auto storedX = [&](int u) { return mirrorX ? source.width() - 1 - u : u; };
        auto storedY = [&](int u) { return mirrorY ? source.height() - 1 - u : u; };
        for (int x = visible_.left(); x <= visible_.right(); ++x) {
            const int ux = SampleIndex(x - rect.left(), upright.width(), rect.width());
            columns_.push_back(transposed_ ? storedY(ux) : storedX(ux));
        }
        for (int y = visible_.top(); y <= visible_.bottom(); ++y) {
            const int uy = SampleIndex(y - rect.top(), upright.height(), rect.height());
            rows_.push_back(transposed_ ? storedX(uy) : storedY(uy));
        }
        const std::vector<int>& storedRows = transposed_ ? columns_ : rows_;
        for (std::size_t line = 0; line < storedRows.size(); ++line)
            lines_.emplace_back(storedRows[line], int(line));
        std::sort(lines_.begin(), lines_.end());
        for (const auto& [row, line] : lines_)
            if (sourceRows_.empty() || sourceRows_.back() != row)
                sourceRows_.push_back(row);
        // Parts a failed decode never reached stay as the canvas had them.
        strip_ = QImage(visible_.size(), QImage::Format_ARGB32);
        if (strip_.isNull())
            throw EInvalidGraphic(QStringLiteral("Out of memory while drawing a picture"));
        strip_.fill(Qt::transparent);
        return;
    }
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
    if (turned_) {
        PutTurnedRow(y, pixels);
        return;
    }
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

void TStretch::PutTurnedRow(int y, const quint32* pixels)
{
    while (nextRow_ < lines_.size() && lines_[nextRow_].first < y)
        ++nextRow_;
    for (; nextRow_ < lines_.size() && lines_[nextRow_].first == y; ++nextRow_) {
        const int line = lines_[nextRow_].second;
        if (transposed_) {
            // rows_ holds the stored column of every visible row
            for (std::size_t i = 0; i < rows_.size(); ++i)
                reinterpret_cast<quint32*>(strip_.scanLine(int(i)))[line] = pixels[rows_[i]];
        } else {
            auto* out = reinterpret_cast<quint32*>(strip_.scanLine(line));
            for (std::size_t i = 0; i < columns_.size(); ++i)
                out[i] = pixels[columns_[i]];
        }
    }
    stripFill_ = 1;
}

void TStretch::Flush()
{
    if (stripFill_ == 0)
        return;
    if (turned_) {
        canvas_.drawImage(visible_.topLeft(), strip_);
        stripFill_ = 0;
        return;
    }
    canvas_.drawImage(QPoint(visible_.left(), visible_.top() + stripTop_), strip_,
                      QRect(0, 0, strip_.width(), stripFill_));
    stripTop_ += stripFill_;
    stripFill_ = 0;
}

}  // namespace tovari
