#include "platform/Fonts.h"

#include <QStringList>

namespace tovari {

QFont PixelFont(const QString& family, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({family, kJapaneseFont});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace tovari
