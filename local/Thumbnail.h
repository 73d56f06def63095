#pragma once

#include <QImage>
#include <QRect>
#include <QString>

namespace tovari {

// Side of the square cell that a thumbnail is drawn into.
inline constexpr int kThumbnailSide = 100;

// Where a w x h picture goes in the cell: shrunk to fit and centred when a side exceeds the cell
// (truncated, so the long side may come out one pixel short), else centred at its own size.
QRect FitThumbnail(int w, int h);

struct ThumbnailResult {
    bool ready = false;     // cell holds a thumbnail (maybe only partly drawn)
    bool loadable = false;  // the file loaded and drew without error
    QImage cell;            // white 100 x 100, Format_RGB32
};

// Loads the file through the picture-format registry and draws it into a white cell.
// A file that does not load gives {false, false}; one that loads but fails while drawing keeps what
// was drawn with loadable false.
ThumbnailResult MakeThumbnail(const QString& path);

}  // namespace tovari
