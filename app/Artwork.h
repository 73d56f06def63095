#pragma once

#include <QImage>

namespace tovari {

// The pictures the main window carries, drawn here so that they need no resource files.
QImage DrawWindowIcon();             // 32 x 32
QImage DrawUnknownFileImage();       // 100 x 100, a sheet with a question mark
QImage DrawFolderImage();            // 100 x 100, a closed folder
QImage DrawFolderUpImage();          // 100 x 100, a folder with an upward arrow
// The four 16 x 16 icons: 0 folder up, 1 folder, 2 open folder, 3 add to print.
QImage DrawIcon(int index);

}  // namespace tovari
