#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tovari {

// The service speaks code page 932; these convert at the HTTP boundary only.
// Characters that CP932 cannot hold become "?". Lone surrogates U+DC80..U+DCFF (raw bytes of a
// file name that was not UTF-8, see platform/FileName.h) go out as the bytes they stand for.
QByteArray ToCp932(const QString& text);

// Bytes that are not valid CP932 become U+FFFD, one per byte.
QString FromCp932(const QByteArray& bytes);

// Nothing when the bytes are not valid CP932 throughout.
std::optional<QString> FromCp932Strict(const QByteArray& bytes);

}  // namespace tovari
