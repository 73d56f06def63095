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
// Reading only ever opens regular files (OpenRegularFileForReading).
bool OpenNativeFile(QFile& file, const QString& path, QIODevice::OpenMode mode);

enum class TReadOpen { Opened, Failed, NotRegular };
// Opens a regular file, or a link to one, for reading. Anything else (a pipe, a device, a folder) is
// refused without being opened, since opening or reading it may block for good. Failed says why in error.
TReadOpen OpenRegularFileForReading(QFile& file, const QString& path, QString& error);

}  // namespace tovari
