#include "platform/profile/IniFile.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tovari {
namespace {

// Runs one settings write in a child process that stops at every system call, entry and exit, and
// kills it at stop number `killAt`. Returns false when the write finished before that stop.
bool KillWriteAtStop(const QString& path, const QString& value, int killAt)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::raise(SIGSTOP);
        try {
            TIniFile(path).WriteString(QStringLiteral("Window"), QStringLiteral("State"), value);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);  // the child's own stop
    for (int stop = 0;; ++stop) {
        if (stop == killAt) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return true;
        }
        ::ptrace(PTRACE_SYSCALL, child, nullptr, nullptr);
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write itself failed";
            return false;
        }
    }
}

// A write killed at any point of its work (reading the old file, making and filling the temporary
// file, syncing, before and after the rename) leaves on disk either the whole old file or the whole
// new one, never a mixture, an empty file or none.
TEST(SettingsWrite, KilledAtEveryStepLeavesTheWholeOldOrTheWholeNewFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tovari.ini"));
    // Large enough that the file cannot be written in one piece by accident of buffering.
    const QString oldValue = QString(300000, QLatin1Char('o'));
    const QString newValue = QString(300000, QLatin1Char('n'));
    TIniFile(path).WriteString(QStringLiteral("Window"), QStringLiteral("State"), oldValue);
    const QByteArray oldBytes = test::ReadFileBytes(path);
    TIniFile(path + QStringLiteral(".new")).WriteString(QStringLiteral("Window"), QStringLiteral("State"), newValue);
    const QByteArray newBytes = test::ReadFileBytes(path + QStringLiteral(".new"));
    ASSERT_NE(oldBytes, newBytes);

    int left[2] = {};  // kills that left the old file, and the new one
    for (int stop = 0; stop < 5000; ++stop) {
        // Each round starts from the old file.
        TIniFile(path).WriteString(QStringLiteral("Window"), QStringLiteral("State"), oldValue);
        if (!KillWriteAtStop(path, newValue, stop))
            break;
        const QByteArray onDisk = test::ReadFileBytes(path);
        ASSERT_TRUE(onDisk == oldBytes || onDisk == newBytes) << "killed at stop " << stop << ": " << onDisk.size() << " bytes";
        ++left[onDisk == newBytes];
    }
    // The write goes through many steps, and the kill landed both before and after the switch.
    EXPECT_GT(left[0] + left[1], 10);
    EXPECT_TRUE(left[0] > 0 && left[1] > 0) << left[0] << " old, " << left[1] << " new";
    // The round that ran to its end wrote the new file.
    EXPECT_TRUE(test::ReadFileBytes(path) == newBytes);
}

}  // namespace
}  // namespace tovari
