#include "platform/graphics/JpegImage.h"

#include "platform/graphics/JpegDecode.h"
#include "platform/graphics/Sampling.h"

#include <QIODevice>
#include <QPainter>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

namespace tovari {

namespace {

// Even the flattest picture costs a few bits per 8 x 8 block; a header declaring more pixels than
// its data could ever describe is refused, so that no decode of it takes memory or time for nothing.
constexpr qint64 kFreeJpegPixels = qint64(16) << 20;
constexpr qint64 kJpegPixelsPerByte = 1024;

// What one run of the decoder feeds; the callbacks are the only way back from the C side and
// must not let an exception through it.
struct DecodeRun {
    const TJPEGImage* picture = nullptr;
    std::function<bool(const TovariJpegInfo&)> begin;  // false stops the run
    std::function<void(int y, const quint32* pixels)> row;
    const std::vector<int>* rows = nullptr;  // wanted rows; every row when null
    std::size_t next = 0;
    int height = 0;
    std::exception_ptr error;

    static int Begin(void* context, const TovariJpegInfo* info) noexcept
    {
        auto* run = static_cast<DecodeRun*>(context);
        try {
            run->height = info->height;
            return run->begin && !run->begin(*info) ? 1 : 0;
        } catch (...) {
            run->error = std::current_exception();
            return 1;
        }
    }
    static int NextRow(void* context) noexcept
    {
        auto* run = static_cast<DecodeRun*>(context);
        if (!run->rows)
            return int(run->next);
        return run->next < run->rows->size() ? (*run->rows)[run->next] : INT_MAX;
    }
    static int Row(void* context, int y, const unsigned int* pixels) noexcept
    {
        auto* run = static_cast<DecodeRun*>(context);
        try {
            run->row(y, reinterpret_cast<const quint32*>(pixels));
            ++run->next;
            return 0;
        } catch (...) {
            run->error = std::current_exception();
            return 1;
        }
    }

    // Runs the decoder; rethrows what a callback threw, or EInvalidGraphic for broken data.
    void Run(const QByteArray& data)
    {
        const TovariJpegSink sink{this, &Begin, &NextRow, &Row};
        char message[200];
        const int result = tovari_jpeg_decode(reinterpret_cast<const unsigned char*>(data.constData()),
                                              std::size_t(data.size()), &sink, message, sizeof message);
        if (error)
            std::rethrow_exception(error);
        if (result == TOVARI_JPEG_ERROR)
            throw EInvalidGraphic(QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(message)));
        if (result == TOVARI_JPEG_TRUNCATED)
            throw EInvalidGraphic(QStringLiteral("JPEG data ends early"));
    }
};

// Progress reports every sixteenth of the rows keep handlers cheap on tall pictures.
class RowProgress {
public:
    explicit RowProgress(std::size_t total) : step_(std::max<std::size_t>(1, total / 16)), total_(total) {}
    bool Due(std::size_t done) const { return done % step_ == 0 && done < total_; }
    int Percent(std::size_t done) const { return int(done * 100 / std::max<std::size_t>(1, total_)); }

private:
    std::size_t step_;
    std::size_t total_;
};

}  // namespace

void TJPEGImage::LoadFromStream(QIODevice& stream)
{
    LoadFromData(ReadPictureData(stream));
}

void TJPEGImage::LoadFromData(const QByteArray& data)
{
    TovariJpegInfo header{};
    DecodeRun run;
    run.begin = [&](const TovariJpegInfo& info) {
        CheckPictureSize(info.width, info.height);
        if (qint64(info.width) * info.height > kFreeJpegPixels + data.size() * kJpegPixelsPerByte)
            throw EInvalidGraphic(QStringLiteral("JPEG data of %1 bytes cannot fill %2 x %3 pixels")
                                      .arg(data.size()).arg(info.width).arg(info.height));
        header = info;
        return false;  // the header is all a load needs
    };
    run.Run(data);
    if (header.width == 0)
        throw EInvalidGraphic(QStringLiteral("Not a JPEG picture"));
    data_ = data;
    width_ = header.width;
    height_ = header.height;
    components_ = header.components;
    progressive_ = header.progressive != 0;
    orientation_ = header.orientation;
    Changed();
}

int TJPEGImage::Width() const
{
    return OrientationTransposes(orientation_) ? height_ : width_;
}

int TJPEGImage::Height() const
{
    return OrientationTransposes(orientation_) ? width_ : height_;
}

void TJPEGImage::SaveToStream(QIODevice& stream) const
{
    if (stream.write(data_) != data_.size())
        throw EInvalidGraphic(QStringLiteral("Cannot write the JPEG data"));
}

void TJPEGImage::Assign(const TGraphic& source)
{
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source);
    if (!jpeg) {
        TGraphic::Assign(source);
        return;
    }
    data_ = jpeg->data_;
    width_ = jpeg->width_;
    height_ = jpeg->height_;
    components_ = jpeg->components_;
    progressive_ = jpeg->progressive_;
    orientation_ = jpeg->orientation_;
    Changed();
}

void TJPEGImage::Draw(QPainter& canvas, const QRect& rect) const
{
    if (Empty())
        return;
    TStretch stretch(canvas, rect, QSize(width_, height_), false, orientation_);
    if (stretch.Empty())
        return;
    const RowProgress progress(stretch.SourceRows().size());
    Progress(psStarting, 0, false, QRect(), QString());
    DecodeRun run;
    run.rows = &stretch.SourceRows();
    run.row = [&](int y, const quint32* pixels) {
        stretch.PutSourceRow(y, pixels);
        if (progress.Due(run.next + 1))
            Progress(psRunning, progress.Percent(run.next + 1), false, QRect(), QString());
    };
    try {
        run.Run(data_);
    } catch (...) {
        stretch.Flush();
        throw;
    }
    stretch.Flush();
    Progress(psEnding, 100, true, rect, QString());
}

QImage TJPEGImage::ToImage() const
{
    if (Empty())
        return QImage();
    QImage image(Width(), Height(), QImage::Format_RGB32);
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("Out of memory for a %1 x %2 picture").arg(Width()).arg(Height()));
    const RowProgress progress{std::size_t(height_)};
    Progress(psStarting, 0, false, QRect(), QString());
    DecodeRun run;
    const QSize stored(width_, height_);
    run.row = [&](int y, const quint32* pixels) {
        if (orientation_ == 1) {
            std::memcpy(image.scanLine(y), pixels, std::size_t(width_) * 4);
        } else {
            // Each stored row lands upright where it belongs: a row, or a column when turned a quarter.
            const QPoint first = UprightPoint(orientation_, 0, y, stored);
            const QPoint next = UprightPoint(orientation_, 1, y, stored) - first;
            auto* out = reinterpret_cast<quint32*>(image.bits());
            const qsizetype stride = image.bytesPerLine() / 4;
            const qsizetype step = next.x() + next.y() * stride;
            qsizetype at = first.x() + first.y() * stride;
            for (int x = 0; x < width_; ++x, at += step)
                out[at] = pixels[x];
        }
        const QRect done = orientation_ == 1 ? QRect(0, 0, width_, y + 1) : image.rect();
        if (progress.Due(std::size_t(y) + 1))
            Progress(psRunning, progress.Percent(std::size_t(y) + 1), false, done, QString());
    };
    run.Run(data_);
    Progress(psEnding, 100, true, image.rect(), QString());
    return image;
}

}  // namespace tovari
