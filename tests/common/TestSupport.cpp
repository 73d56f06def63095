#include "tests/common/TestSupport.h"

#include "platform/FileName.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTest>

namespace tovari::test {

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit)
{
    return QTest::qWaitFor(pred, int(limit.count()));
}

QStringList& RecordedTraces()
{
    static QStringList traces;
    return traces;
}

namespace {
QtMessageHandler previousHandler = nullptr;

void RecordingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && QByteArray(context.category) == "tovari.trace") {
        RecordedTraces().append(message);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}
}  // namespace

void InstallTraceRecorder()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tovari.trace.debug=true"));
    previousHandler = qInstallMessageHandler(RecordingHandler);
}

NativeFileRemover::~NativeFileRemover()
{
    ::unlink(NativePath(path_).constData());
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QString MakeFolderWithFiles(const QString& root, const QString& name, const QStringList& files)
{
    const QString path = root + '/' + name;
    QDir().mkpath(path);
    for (const QString& f : files)
        WriteFile(path + '/' + f, f.toUtf8());
    return path;
}

}  // namespace tovari::test
