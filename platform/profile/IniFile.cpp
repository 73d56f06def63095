#include "platform/profile/IniFile.h"

#include "platform/FileName.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tovari {

namespace {

const QByteArray kByteOrderMark("\xEF\xBB\xBF");
const QByteArray kNewFileLineEnd("\r\n");

struct ProfileLine {
    QByteArray text;
    QByteArray end;  // "\r\n", "\n" or "\r"; empty on a last line without one
};

// The file as lines of raw bytes, so that lines nobody changes are written back exactly, even when they
// are not valid UTF-8.
struct ProfileText {
    bool byteOrderMark = false;
    std::vector<ProfileLine> lines;

    QByteArray LineEnd() const
    {
        for (const ProfileLine& line : lines) {
            if (!line.end.isEmpty())
                return line.end;
        }
        return kNewFileLineEnd;
    }

    void InsertAt(std::size_t index, const QByteArray& text)
    {
        const QByteArray end = LineEnd();
        if (index > 0 && lines[index - 1].end.isEmpty())
            lines[index - 1].end = end;
        lines.insert(lines.begin() + std::ptrdiff_t(index), ProfileLine{text, end});
    }

    QByteArray Join() const
    {
        QByteArray out = byteOrderMark ? kByteOrderMark : QByteArray();
        for (const ProfileLine& line : lines)
            out += line.text + line.end;
        return out;
    }
};

ProfileText SplitProfileText(QByteArray bytes)
{
    ProfileText out;
    if (bytes.startsWith(kByteOrderMark)) {
        out.byteOrderMark = true;
        bytes.remove(0, kByteOrderMark.size());
    }
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype i = start;
        while (i < n && bytes[i] != '\r' && bytes[i] != '\n')
            ++i;
        ProfileLine line{bytes.mid(start, i - start), QByteArray()};
        if (i < n) {
            const qsizetype endLength = (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
            line.end = bytes.mid(i, endLength);
            i += endLength;
        }
        out.lines.push_back(std::move(line));
        start = i;
    }
    return out;
}

// Only ASCII blanks, as the profile functions trim; an ideographic space belongs to the value.
QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool IsQuoted(const QString& text)
{
    return text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front();
}

enum class LineKind { Other, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QString name;  // section name or key
    QString value;
};

ParsedLine ParseLine(const QByteArray& raw)
{
    const QString text = TrimBlanks(QString::fromUtf8(raw));
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']', 1);
        return {LineKind::Section, TrimBlanks(text.mid(1, close < 0 ? -1 : close - 1)), QString()};
    }
    if (text.startsWith(u';'))
        return {};
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0)
        return {};
    return {LineKind::Entry, TrimBlanks(text.left(equals)), TrimBlanks(text.mid(equals + 1))};
}

struct ProfileLookup {
    std::vector<ParsedLine> parsed;
    std::ptrdiff_t header = -1;  // the first section of the name; -1 when there is none
    std::ptrdiff_t sectionEnd = 0;
    std::ptrdiff_t lastEntry = -1;
    std::ptrdiff_t entry = -1;  // the first line of the key in that section
};

ProfileLookup LookUp(const ProfileText& text, const QString& section, const QString& key)
{
    ProfileLookup found;
    for (const ProfileLine& line : text.lines)
        found.parsed.push_back(ParseLine(line.text));
    const auto count = std::ptrdiff_t(found.parsed.size());
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        const ParsedLine& line = found.parsed[std::size_t(i)];
        if (line.kind == LineKind::Section && line.name.compare(section, Qt::CaseInsensitive) == 0) {
            found.header = i;
            break;
        }
    }
    if (found.header < 0)
        return found;
    found.sectionEnd = found.header + 1;
    for (; found.sectionEnd < count; ++found.sectionEnd) {
        const ParsedLine& line = found.parsed[std::size_t(found.sectionEnd)];
        if (line.kind == LineKind::Section)
            break;
        if (line.kind != LineKind::Entry)
            continue;
        found.lastEntry = found.sectionEnd;
        if (found.entry < 0 && line.name.compare(key, Qt::CaseInsensitive) == 0)
            found.entry = found.sectionEnd;
    }
    return found;
}

// Cuts after maxLength characters without splitting a surrogate pair.
QString CutToLength(const QString& text, int maxLength)
{
    qsizetype i = 0;
    for (int count = 0; i < text.size() && count < maxLength; ++count)
        i += (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
    return text.left(i);
}

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<int> ParseProfileInteger(QString text)
{
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text = u'$' + text.mid(2);
    if (text.startsWith(u'$')) {
        if (text.size() == 1)
            return std::nullopt;
        quint64 value = 0;
        for (qsizetype i = 1; i < text.size(); ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + quint64(digit);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        // Eight hexadecimal digits are a 32-bit pattern: "$FFFFFFFF" is -1.
        return int(quint32(value));
    }
    qsizetype i = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        ++i;
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        value = value * 10 + (u - u'0');
        if (value > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return std::nullopt;
    return int(value);
}

QString ValueForWriting(QString value)
{
    // A line break would end the line and turn the rest of the value into a line of its own.
    value.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    if (TrimBlanks(value) != value || IsQuoted(value))
        return u'"' + value + u'"';
    return value;
}

enum class FileReadResult { Read, Missing, Unreadable };

FileReadResult ReadWholeFile(const QString& path, QByteArray& bytes)
{
    QFile file;
    if (!OpenNativeFile(file, path, QIODevice::ReadOnly)) {
        const int openError = errno;
        return (openError == ENOENT || openError == ENOTDIR) ? FileReadResult::Missing : FileReadResult::Unreadable;
    }
    struct stat status {};
    if (::fstat(file.handle(), &status) != 0 || !S_ISREG(status.st_mode))
        return FileReadResult::Unreadable;
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FileReadResult::Unreadable;
    return FileReadResult::Read;
}

// The file that a symbolic link points at is replaced, not the link.
QByteArray ReplacementTarget(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return path;
    QByteArray out(resolved);
    std::free(resolved);
    return out;
}

QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// The replacement keeps the old file's permissions; a new file gets what the umask allows.
mode_t ModeForReplacement(const QByteArray& target)
{
    struct stat status {};
    if (::stat(target.constData(), &status) == 0)
        return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, std::size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

bool ReplaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = ReplacementTarget(NativePath(path));
    const QByteArray folder = FolderOf(target);
    const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    QByteArray temporary = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, ModeForReplacement(target)) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temporary.constData());
        return false;
    }
    // The rename itself is durable only once the folder is synced; the data is safe either way.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

}  // namespace

EIniFileException::EIniFileException(const QString& fileName)
    : Exception(QStringLiteral("%1 に書き込めません").arg(fileName)), fileName_(fileName)
{
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QByteArray bytes;
    if (ReadWholeFile(fileName_, bytes) != FileReadResult::Read)
        return defaultValue;
    const ProfileText text = SplitProfileText(bytes);
    const ProfileLookup found = LookUp(text, section, key);
    if (found.entry < 0)
        return defaultValue;
    QString value = found.parsed[std::size_t(found.entry)].value;
    if (IsQuoted(value))
        value = value.mid(1, value.size() - 2);
    return CutToLength(value, MaxTextLength);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return ParseProfileInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    QByteArray bytes;
    // Writing over a file that exists but could not be read would throw its other lines away.
    if (ReadWholeFile(fileName_, bytes) == FileReadResult::Unreadable)
        throw EIniFileException(fileName_);
    ProfileText text = SplitProfileText(bytes);
    const ProfileLookup found = LookUp(text, section, key);
    const QString written = ValueForWriting(value);
    if (found.header < 0) {
        text.InsertAt(text.lines.size(), (u'[' + section + u']').toUtf8());
        text.InsertAt(text.lines.size(), (key + u'=' + written).toUtf8());
    } else if (found.entry >= 0) {
        text.lines[std::size_t(found.entry)].text =
            (found.parsed[std::size_t(found.entry)].name + u'=' + written).toUtf8();
    } else {
        const std::ptrdiff_t after = found.lastEntry >= 0 ? found.lastEntry : found.header;
        text.InsertAt(std::size_t(after + 1), (key + u'=' + written).toUtf8());
    }
    if (!ReplaceFileAtomically(fileName_, text.Join()))
        throw EIniFileException(fileName_);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace tovari
