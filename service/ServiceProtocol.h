#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tovari {

// Control words of the service's text replies, compared exactly.
inline const QString kReplyOK = QStringLiteral("OK");
inline const QString kReplyNG = QStringLiteral("NG");
inline const QString kReplyOVER = QStringLiteral("OVER");

// The service's requests and the shop's pages, appended to the service base URL. The session
// identifier and the credentials are percent-encoded as CP932 bytes (only A-Z a-z 0-9 - . _ ~ stay as
// they are), so "&", "#", "+", "%", spaces or Japanese text arrive as typed.
class TServiceUrls {
public:
    // A trailing "/" of the base URL is dropped.
    explicit TServiceUrls(QString baseUrl);

    const QString& BaseUrl() const { return baseUrl_; }

    QString Login(const QString& sessionId, const QString& email, const QString& password) const;
    QString CookieGet() const;
    QString UserName(const QString& sessionId) const;
    QString Logout(const QString& sessionId) const;
    QString FolderList(const QString& sessionId) const;
    QString FolderImages(const QString& sessionId, int folderId) const;
    QString SmallImage(const QString& sessionId, int photoId) const;
    QString BigImage(const QString& sessionId, int photoId) const;
    QString Upload(const QString& sessionId) const;

    QString OrderPage(const QString& sessionId) const;
    QString HelpPage() const;
    QString DownloadPage() const;

private:
    QString baseUrl_;
};

// Percent-encodes the CP932 bytes of text; only A-Z a-z 0-9 - . _ ~ are left as they are.
QString PercentEncodeCp932(const QString& text);

// A reply's lines, split at CR LF, CR or LF; a break at the very end adds no empty line, so an empty
// reply has no lines at all.
QStringList SplitReplyLines(const QString& text);

// A line's fields: every "<!--SEP-->" ends a field, and one at the very end adds no empty field.
QStringList SplitReplyFields(const QString& line);

// The text up to the first line break.
QString FirstReplyLine(const QString& text);

// A decimal integer with an optional sign, within 32 bits; nothing else.
std::optional<int> ParseReplyInteger(const QString& text);

// An id: plain decimal digits without sign, blanks or leading zeros, within 32 bits. Written back in
// decimal it is the very text it came from, so a file named after either is the same file.
std::optional<int> ParseReplyId(const QString& text);

// A session identifier may go into a URL path and a header: it is not empty and holds no control
// character.
bool IsUsableSessionId(const QString& sessionId);

// Request 2's reply without its trailing line breaks.
QString StripTrailingLineBreaks(const QString& text);

// One folder of the album folder list. ParentIndex counts the tree's nodes depth-first from the
// root, which is node 0.
struct TFolderListEntry {
    int Id = 0;
    int ParentIndex = 0;
    QString Name;
};

// Reads folder line k (k >= 1), given that the tree holds nodesSoFar nodes (root included) before it.
// Nothing when the line is bad: fewer than three fields, an id that is no plain id, an index that is no
// integer, or a parent that is not among the nodes so far.
std::optional<TFolderListEntry> ReadFolderLine(const QString& line, int nodesSoFar);

// The folders of a folder-list reply (line 0 is a header and is skipped), up to the first bad line.
std::vector<TFolderListEntry> ReadFolderList(const QString& reply);

// One photo of a folder's photo list. IdText is the id as the reply wrote it (it names the cached
// thumbnail), LineIndex the reply line it came from.
struct TPhotoListEntry {
    int LineIndex = 0;
    int Id = 0;
    QString IdText;
    QString Name;
};

enum class TPhotoLineKind { Photo, Skipped, Bad };

// Reads one photo line. Skipped: a well-formed line of a kind other than 1. Bad: a line without a
// kind, or a kind-1 line with fewer than three fields or an id that is no plain id.
TPhotoLineKind ReadPhotoLine(const QString& line, int lineIndex, TPhotoListEntry& entry);

// The listed photos of a photo-list reply, up to the first bad line.
std::vector<TPhotoListEntry> ReadPhotoList(const QString& reply);

}  // namespace tovari
