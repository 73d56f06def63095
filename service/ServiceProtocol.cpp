#include "service/ServiceProtocol.h"

#include "platform/Cp932.h"

#include <limits>

namespace tovari {

namespace {
const QString kFieldSeparator = QStringLiteral("<!--SEP-->");
}

TServiceUrls::TServiceUrls(QString baseUrl) : baseUrl_(std::move(baseUrl))
{
    while (baseUrl_.endsWith(QLatin1Char('/')))
        baseUrl_.chop(1);
}

QString TServiceUrls::Login(const QString& sessionId, const QString& email, const QString& password) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_login.php/") + PercentEncodeCp932(sessionId) + QStringLiteral("?email=") +
           PercentEncodeCp932(email) + QStringLiteral("&passwd=") + PercentEncodeCp932(password);
}

QString TServiceUrls::CookieGet() const { return baseUrl_ + QStringLiteral("/wis/wi_login.php?mode=cookie_get"); }

QString TServiceUrls::UserName(const QString& sessionId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_login.php/") + PercentEncodeCp932(sessionId) + QStringLiteral("?mode=get_name");
}

QString TServiceUrls::Logout(const QString& sessionId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_logout.php/") + PercentEncodeCp932(sessionId);
}

QString TServiceUrls::FolderList(const QString& sessionId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_folder.php/") + PercentEncodeCp932(sessionId) + QStringLiteral("?mode=list");
}

QString TServiceUrls::FolderImages(const QString& sessionId, int folderId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_folder.php/") + PercentEncodeCp932(sessionId) +
           QStringLiteral("?mode=img&id=") + QString::number(folderId);
}

QString TServiceUrls::SmallImage(const QString& sessionId, int photoId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_image.php/") + PercentEncodeCp932(sessionId) +
           QStringLiteral("?mode=small&id=") + QString::number(photoId);
}

QString TServiceUrls::BigImage(const QString& sessionId, int photoId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_image.php/") + PercentEncodeCp932(sessionId) +
           QStringLiteral("?mode=big&id=") + QString::number(photoId);
}

QString TServiceUrls::Upload(const QString& sessionId) const
{
    return baseUrl_ + QStringLiteral("/wis/wi_upload.php/") + PercentEncodeCp932(sessionId);
}

QString TServiceUrls::OrderPage(const QString& sessionId) const
{
    return baseUrl_ + QStringLiteral("/wis/order.php?mode=select&sid=") + PercentEncodeCp932(sessionId);
}

QString TServiceUrls::HelpPage() const { return baseUrl_ + QStringLiteral("/order_help.php#0003"); }

QString TServiceUrls::DownloadPage() const { return baseUrl_ + QStringLiteral("/download.php"); }

QString PercentEncodeCp932(const QString& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    for (const char c : ToCp932(text)) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                b == '-' || b == '.' || b == '_' || b == '~';
        if (unreserved) {
            out += QLatin1Char(c);
        } else {
            out += QLatin1Char('%');
            out += QLatin1Char(kHex[b >> 4]);
            out += QLatin1Char(kHex[b & 0xF]);
        }
    }
    return out;
}

QStringList SplitReplyLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QStringList SplitReplyFields(const QString& line)
{
    QString joined = line;
    joined.replace(kFieldSeparator, QStringLiteral("\n"));
    return SplitReplyLines(joined);
}

QString FirstReplyLine(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == QLatin1Char('\r') || text.at(i) == QLatin1Char('\n'))
            return text.left(i);
    return text;
}

std::optional<int> ParseReplyInteger(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < '0' || u > '9')
            return std::nullopt;
        value = value * 10 + (u - '0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

std::optional<int> ParseReplyId(const QString& text)
{
    if (text.isEmpty() || (text.size() > 1 && text.at(0) == QLatin1Char('0')))
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return ParseReplyInteger(text);
}

bool IsUsableSessionId(const QString& sessionId)
{
    if (sessionId.isEmpty())
        return false;
    for (const QChar c : sessionId)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

QString StripTrailingLineBreaks(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && (text.at(end - 1) == QLatin1Char('\r') || text.at(end - 1) == QLatin1Char('\n')))
        --end;
    return text.left(end);
}

std::optional<TFolderListEntry> ReadFolderLine(const QString& line, int nodesSoFar)
{
    const QStringList fields = SplitReplyFields(line);
    if (fields.size() < 3)
        return std::nullopt;
    // Unlike a photo's, a folder's id names no cache file: a sign or leading zeros do no harm.
    const std::optional<int> id = ParseReplyInteger(fields[0]);
    const std::optional<int> parent = ParseReplyInteger(fields[1]);
    if (!id || !parent || *parent < 0 || *parent >= nodesSoFar)
        return std::nullopt;
    return TFolderListEntry{*id, *parent, fields[2]};
}

std::vector<TFolderListEntry> ReadFolderList(const QString& reply)
{
    std::vector<TFolderListEntry> folders;
    const QStringList lines = SplitReplyLines(reply);
    for (qsizetype k = 1; k < lines.size(); ++k) {
        std::optional<TFolderListEntry> folder = ReadFolderLine(lines[k], int(k));
        if (!folder)
            break;
        folders.push_back(std::move(*folder));
    }
    return folders;
}

TPhotoLineKind ReadPhotoLine(const QString& line, int lineIndex, TPhotoListEntry& entry)
{
    const QStringList fields = SplitReplyFields(line);
    const std::optional<int> kind = fields.isEmpty() ? std::nullopt : ParseReplyInteger(fields[0]);
    if (!kind)
        return TPhotoLineKind::Bad;
    if (*kind != 1)
        return TPhotoLineKind::Skipped;
    const std::optional<int> id = fields.size() < 3 ? std::nullopt : ParseReplyId(fields[1]);
    if (!id)
        return TPhotoLineKind::Bad;
    entry = TPhotoListEntry{lineIndex, *id, fields[1], fields[2]};
    return TPhotoLineKind::Photo;
}

std::vector<TPhotoListEntry> ReadPhotoList(const QString& reply)
{
    std::vector<TPhotoListEntry> photos;
    const QStringList lines = SplitReplyLines(reply);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TPhotoListEntry entry;
        const TPhotoLineKind kind = ReadPhotoLine(lines[i], int(i), entry);
        if (kind == TPhotoLineKind::Bad)
            break;
        if (kind == TPhotoLineKind::Photo)
            photos.push_back(std::move(entry));
    }
    return photos;
}

}  // namespace tovari
