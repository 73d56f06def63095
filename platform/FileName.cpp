#include "platform/FileName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovari {

namespace {

// Length of the valid UTF-8 sequence starting at p, or 0 when it is not one.
int Utf8SequenceLength(const unsigned char* p, qsizetype left)
{
    const unsigned char c = p[0];
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF)
        return 0;
    return len;
}

}  // namespace

QString FromNativePath(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = Utf8SequenceLength(p + i, n - i);
        if (len == 0) {
            out.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
        } else {
            out.append(QString::fromUtf8(reinterpret_cast<const char*>(p + i), len));
            i += len;
        }
    }
    return out;
}

QByteArray NativePath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            out.append(path.mid(i, 2).toUtf8());
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.append(char(u - 0xDC00));
        } else {
            out.append(QString(QChar(u)).toUtf8());
        }
    }
    return out;
}

bool OpenNativeFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    if (!(mode & QIODevice::WriteOnly)) {
        QString error;
        return OpenRegularFileForReading(file, path, error) == TReadOpen::Opened;
    }
    int flags = O_CLOEXEC;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags |= O_RDWR | O_CREAT;
    else if (mode & QIODevice::WriteOnly)
        flags |= O_WRONLY | O_CREAT;
    else
        flags |= O_RDONLY;
    if ((mode & QIODevice::WriteOnly) && !(mode & (QIODevice::Append | QIODevice::ExistingOnly)))
        flags |= O_TRUNC;
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    // Written files are regular files too: a pipe already there would block the open or the writes.
    const int fd = ::open(NativePath(path).constData(), flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

TReadOpen OpenRegularFileForReading(QFile& file, const QString& path, QString& error)
{
    const QByteArray native = NativePath(path);
    struct stat before {};
    if (::stat(native.constData(), &before) == 0 && !S_ISREG(before.st_mode))
        return TReadOpen::NotRegular;
    // Non-blocking, so that a pipe put in the file's place after the check cannot block the open;
    // the descriptor's type is checked again before anything is read.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = qt_error_string(errno);
        return TReadOpen::Failed;
    }
    struct stat after {};
    if (::fstat(fd, &after) != 0 || !S_ISREG(after.st_mode)) {
        ::close(fd);
        return TReadOpen::NotRegular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = file.errorString();
        ::close(fd);
        return TReadOpen::Failed;
    }
    return TReadOpen::Opened;
}

}  // namespace tovari
