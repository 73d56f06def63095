// The profile-file reader and writer on arbitrary file contents.
#include "platform/profile/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every write syncs the file and its folder; on a memory file system that costs nothing, so the
    // fuzzer spends its time in the parser.
    static QTemporaryDir dir(QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm/tovari-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + QStringLiteral("/tovari-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("fuzz.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    tovari::TIniFile ini(path);
    (void)ini.ReadString(QStringLiteral("Window"), QStringLiteral("State"), QString());
    (void)ini.ReadInteger(QStringLiteral("Window"), QStringLiteral("Left"), 0);
    (void)ini.ReadBool(QStringLiteral("Guide"), QStringLiteral("Show"), true);
    try {
        ini.WriteString(QStringLiteral("Window"), QStringLiteral("State"), QStringLiteral(" \"quoted\" "));
        ini.WriteInteger(QStringLiteral("New Section"), QStringLiteral("Key"), -42);
    } catch (const tovari::EIniFileException&) {
    }
    if (ini.ReadInteger(QStringLiteral("New Section"), QStringLiteral("Key"), 0) != -42)
        __builtin_trap();  // a value just written must read back
    return 0;
}
