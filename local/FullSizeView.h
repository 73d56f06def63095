#pragma once

#include <QString>

class QLabel;

namespace tovari {

// Decodes a picture file (decoder chosen by its extension) into the full-size view's picture control,
// which takes the picture's natural size. Throws when the file cannot be decoded; the control then
// keeps its previous picture.
void LoadFullSizeImage(QLabel& bigImage, const QString& path);

}  // namespace tovari
