#include "local/FullSizeView.h"

#include "platform/graphics/Picture.h"

#include <QLabel>
#include <QPixmap>

namespace tovari {

void LoadFullSizeImage(QLabel& bigImage, const QString& path)
{
    TPicture picture;
    picture.LoadFromFile(path);
    // One full decode; the label keeps the pixels, so scrolling never decodes again.
    const QImage image = picture.Graphic()->ToImage();
    bigImage.setPixmap(QPixmap::fromImage(image));
    bigImage.resize(image.size());
}

}  // namespace tovari
