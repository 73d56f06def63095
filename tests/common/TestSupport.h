#pragma once

#include "platform/Exception.h"
#include "tests/common/Parts.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace tovari::test {

// The message of the error of type E that f raises; "<none>" when it raises none.
template <class E = Exception, class F>
QString Thrown(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<none>");
}

// Pumps events until pred() holds or the limit passes; returns pred() at the end.
bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Every message written to the trace category is kept here (and the category is enabled).
void InstallTraceRecorder();
QStringList& RecordedTraces();

// Removes a file by a name that may not be UTF-8 when the scope ends; QTemporaryDir cannot remove those.
class NativeFileRemover {
public:
    explicit NativeFileRemover(QString path) : path_(std::move(path)) {}
    ~NativeFileRemover();
    NativeFileRemover(const NativeFileRemover&) = delete;
    NativeFileRemover& operator=(const NativeFileRemover&) = delete;

private:
    QString path_;
};

// The whole file, or "<unreadable>" when it cannot be opened.
QByteArray ReadFileBytes(const QString& path);

// Writes a file of the given bytes, making its folder; returns the full path.
QString WriteFile(const QString& path, const QByteArray& bytes = QByteArray());

// Makes the folder root/name holding the given files, each file's bytes its own name; returns its path.
QString MakeFolderWithFiles(const QString& root, const QString& name, const QStringList& files);

}  // namespace tovari::test
