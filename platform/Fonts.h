#pragma once

#include <QFont>
#include <QString>

namespace tovari {

// A font of the designed family at a pixel size. The Windows fonts the windows were designed with are
// rarely installed here, so Japanese glyphs fall back to a CJK font that the set-up installs.
QFont PixelFont(const QString& family, int pixelSize, bool bold = false);

// The fallback that carries the Japanese glyphs.
inline const QString kJapaneseFont = QStringLiteral("Noto Sans CJK JP");

}  // namespace tovari
