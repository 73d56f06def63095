#include "local/Thumbnail.h"

#include "platform/graphics/Picture.h"

#include <QPainter>
#include <cmath>
#include <exception>

namespace tovari {

QRect FitThumbnail(int w, int h)
{
    if (w > kThumbnailSide || h > kThumbnailSide) {
        const double rw = w / double(kThumbnailSide);
        const double rh = h / double(kThumbnailSide);
        const double r = rw >= rh ? rw : rh;
        const int tw = int(std::trunc(w / r));
        const int th = int(std::trunc(h / r));
        return QRect((kThumbnailSide - tw) / 2, (kThumbnailSide - th) / 2, tw, th);
    }
    return QRect((kThumbnailSide - w) / 2, (kThumbnailSide - h) / 2, w, h);
}

ThumbnailResult MakeThumbnail(const QString& path)
{
    ThumbnailResult result;
    TPicture picture;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception&) {
        // An undecodable file simply has no thumbnail.
        return result;
    }
    if (picture.Empty())
        return result;
    result.cell = QImage(kThumbnailSide, kThumbnailSide, QImage::Format_RGB32);
    result.cell.fill(Qt::white);
    result.ready = true;
    result.loadable = true;
    QPainter painter(&result.cell);
    try {
        picture.Graphic()->Draw(painter, FitThumbnail(picture.Width(), picture.Height()));
    } catch (const std::exception&) {
        // What was drawn before the failure stays as the thumbnail; the file is not offered further.
        result.loadable = false;
    }
    return result;
}

}  // namespace tovari
