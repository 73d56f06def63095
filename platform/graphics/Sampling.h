#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QtGlobal>
#include <vector>

class QPainter;

namespace tovari {

// Pictures larger than this are refused: the whole picture must be decodable into 32-bit pixels.
inline constexpr int kMaxPictureSide = 65535;
inline constexpr qint64 kMaxDecodedBytes = qint64(1) << 30;

// Throws EInvalidGraphic when width x height is empty, negative or above the caps.
void CheckPictureSize(qint64 width, qint64 height);

// Run-length data fills at most 255 pixels per two bytes; a picture declaring far more pixels than
// its data can cover would cost memory and time for nothing. Beyond a small floor that sparse
// drawings may use freely, width x height must stay within twice what the data can fill.
inline constexpr qint64 kFreeRunLengthPixels = qint64(1) << 20;
inline constexpr qint64 kRunLengthPixelsPerByte = 256;
// Throws EInvalidGraphic when dataBytes of run-length data cannot plausibly fill width x height.
void CheckRunLengthFill(qint64 width, qint64 height, qint64 dataBytes);

// The source pixel that destination pixel d samples when srcLen pixels are stretched to dstLen:
// the source pixel under the destination pixel's centre.
inline int SampleIndex(int d, int srcLen, int dstLen)
{
    return int((2 * qint64(d) + 1) * srcLen / (2 * qint64(dstLen)));
}

// How a picture's stored rows are turned to show it upright, as the EXIF and TIFF Orientation tags
// number it: 1 as stored, 2 mirrored, 3 turned half way, 4 upside down, 5 to 8 with rows and columns
// exchanged (6 turned a quarter clockwise, 8 a quarter anticlockwise). Other values count as 1.
inline bool OrientationTransposes(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}
// The upright size of a stored picture.
inline QSize UprightSize(QSize stored, int orientation)
{
    return OrientationTransposes(orientation) ? stored.transposed() : stored;
}
// Where stored pixel (x, y) of a stored picture shows upright.
QPoint UprightPoint(int orientation, int x, int y, QSize stored);

// A nearest-neighbour stretch of a picture into a rectangle of a painter, worked out for the part
// of the rectangle that can show; pixels the painter can never reach are not computed. A turned
// picture (orientation other than 1) is sampled upright straight from its stored rows.
class TStretch {
public:
    TStretch(QPainter& canvas, const QRect& rect, QSize source, bool alpha, int orientation = 1);

    bool Empty() const { return sourceRows_.empty() || columns_.empty(); }
    // Distinct source rows needed, top to bottom.
    const std::vector<int>& SourceRows() const { return sourceRows_; }

    // Hands over stored source row y as 32-bit pixels (QImage::Format_RGB32/ARGB32 layout) of the
    // full stored width; the rows must come in the order of SourceRows().
    void PutSourceRow(int y, const quint32* pixels);
    // Draws whatever rows are pending. Called after the last row, and before an error ends the draw.
    void Flush();

private:
    void PutTurnedRow(int y, const quint32* pixels);

    QPainter& canvas_;
    QRect visible_;
    // Upright: stored column of each visible column, stored row of each visible row. Transposed
    // (orientations 5 to 8): stored row of each visible column, stored column of each visible row.
    std::vector<int> columns_;
    std::vector<int> rows_;
    std::vector<int> sourceRows_;  // the stored rows needed, in order, without repeats
    // A turned picture fills the whole visible part at once: (stored row, visible line) pairs in
    // stored row order, a line being a visible row, or a visible column when transposed.
    std::vector<std::pair<int, int>> lines_;
    bool turned_ = false;
    bool transposed_ = false;
    std::size_t nextRow_ = 0;      // next destination row (index into rows_, or lines_ when turned) to fill
    int stripTop_ = 0;             // destination row index of strip_'s first line
    int stripFill_ = 0;
    QImage strip_;
};

}  // namespace tovari
