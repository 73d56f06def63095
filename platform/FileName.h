#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tovari {

// File names are bytes on this platform and need not be valid UTF-8. These two conversions round-trip
// any byte string: valid UTF-8 decodes as usual, every other byte b becomes the lone surrogate U+DC00+b.
QString FromNativePath(const QByteArray& bytes);
QByteArray NativePath(const QString& path);

// Opens a file by a name that came from FromNativePath; QFile's own name encoding would lose such names.
bool OpenNativeFile(QFile& file, const QString& path, QIODevice::OpenMode mode);

}  // namespace tovari
