#include "platform/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace tovari {

QFont PixelFont(const QString& family, int pixelSize, bool bold)
{
    QFont font;
    // A family that is not installed is left out rather than passed on: asking for it would have the
    // desktop's font configuration resolve it for every size and weight before the Japanese one is taken.
    if (family == kJapaneseFont || !QFontDatabase::families().contains(family))
        font.setFamilies({kJapaneseFont});
    else
        font.setFamilies({family, kJapaneseFont});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace tovari
