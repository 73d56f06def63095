#pragma once

#include "platform/Exception.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <memory>
#include <variant>
#include <vector>

class QFile;
class QIODevice;
typedef void CURL;
struct curl_slist;

namespace tovari {

// The service could not be reached or the exchange broke off: refused, unreachable, unresolved,
// dropped, nothing received, or no progress within the time limits.
class EIdSocketError : public Exception {
public:
    using Exception::Exception;
};

// The connection broke after the whole request body was sent and before any reply came: the service
// may have acted on the request. Such a request is never sent again by the client itself.
class EIdReplyLost : public EIdSocketError {
public:
    using EIdSocketError::EIdSocketError;
};

// The service answered with an HTTP error status (400 and above).
class EIdHTTPProtocolException : public Exception {
public:
    EIdHTTPProtocolException(int errorCode, const QString& message) : Exception(message), errorCode_(errorCode) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// Any other failure of a request: a malformed URL, a reply that is not HTTP, a body that could not be
// stored or read.
class EHttpRequestError : public Exception {
public:
    using Exception::Exception;
};

// One libcurl easy handle; move-only.
class TCurlEasyHandle {
public:
    TCurlEasyHandle();
    ~TCurlEasyHandle();
    TCurlEasyHandle(TCurlEasyHandle&& other) noexcept;
    TCurlEasyHandle& operator=(TCurlEasyHandle&& other) noexcept;
    TCurlEasyHandle(const TCurlEasyHandle&) = delete;
    TCurlEasyHandle& operator=(const TCurlEasyHandle&) = delete;

    CURL* get() const { return handle_; }

private:
    CURL* handle_;
};

struct CurlSlistDeleter {
    void operator()(curl_slist* list) const;
};
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// A multipart/form-data body: text fields and files, in the order added. File contents are streamed
// from files opened when they are added, so a photo is never held in memory whole.
class TMultipartFormData {
public:
    TMultipartFormData();
    ~TMultipartFormData();
    TMultipartFormData(TMultipartFormData&&) noexcept;
    TMultipartFormData& operator=(TMultipartFormData&&) noexcept;

    void AddFormField(const QString& name, const QString& value);
    // The part announces filePath as its "filename" (sent as CP932), with the content type of its
    // extension and binary transfer encoding. Throws EFOpenError when the file cannot be opened.
    void AddFile(const QString& fieldName, const QString& filePath);
    void AddFile(const QString& fieldName, const QString& filePath, const QString& fileNameOnWire);

    QByteArray Boundary() const { return boundary_; }
    QByteArray ContentType() const;
    qint64 Size() const;

    // Body access for the transfer; Read returns how many bytes it gave, or -1 on a file read failure
    // (also when a file has become shorter than it was when added).
    bool Seek(qint64 offset);
    qint64 Read(char* buffer, qint64 maxSize);

private:
    struct FileContent {
        std::unique_ptr<QFile> file;
        qint64 size = 0;
    };
    using Segment = std::variant<QByteArray, FileContent>;

    void AppendText(const QByteArray& bytes);
    static qint64 SegmentSize(const Segment& segment);

    QByteArray boundary_;
    std::vector<Segment> segments_;  // without the closing delimiter, which Size/Read add
    QByteArray closing_;
    qint64 position_ = 0;
};

// The MIME type announced for an upload, from the file's extension; "application/octet-stream" when
// the extension is not known.
QString MimeTypeForFileName(const QString& fileName);

// Reply caps: a reply body above its cap ends the request as EHttpRequestError, so a service that
// answers without end cannot fill memory or the disk.
inline constexpr qint64 kMaxTextReplyBytes = qint64(16) << 20;
inline constexpr qint64 kMaxThumbnailReplyBytes = qint64(4) << 20;
inline constexpr qint64 kMaxDownloadBytes = qint64(512) << 20;

// A libcurl option that could not be set; every option the client sets is checked.
class ECurlOptionError : public EHttpRequestError {
public:
    using EHttpRequestError::EHttpRequestError;
};

struct THttpCookie {
    QByteArray Name;
    QByteArray Value;
};

// The program's HTTP/1.1 client: one connection kept alive across requests, an in-memory cookie store
// that starts empty, a persistent list of extra request headers. Requests block until done.
// URLs are text; on the wire they are CP932 bytes, and bytes that may not stand in a URL as they are
// (controls, space, non-ASCII, and "<>\^`{|}) are percent-encoded.
class THttpClient {
public:
    THttpClient();
    ~THttpClient();
    THttpClient(THttpClient&&) noexcept;
    THttpClient& operator=(THttpClient&&) noexcept;

    // GET; the body of a reply with a status below 400, of at most maxBytes. Throws EIdSocketError,
    // EIdHTTPProtocolException or EHttpRequestError.
    QByteArray Get(const QString& url, qint64 maxBytes = kMaxTextReplyBytes);
    // GET with the body written to target as it arrives. A reply with an error status writes nothing;
    // one above maxBytes stops at the cap, and the caller discards what was written.
    void Get(const QString& url, QIODevice& target, qint64 maxBytes = kMaxDownloadBytes);
    // POST of a multipart body; the reply body. A POST goes out at most once: when its connection breaks
    // after the body was sent and before any reply, it fails with EIdReplyLost rather than being sent
    // again, and the next request opens a new connection.
    QByteArray Post(const QString& url, TMultipartFormData& form, qint64 maxBytes = kMaxTextReplyBytes);

    // Sent with every request until replaced. Refused (false, list unchanged) when a line holds a
    // control character or is no "Name: value" line, so nothing can be smuggled into the header.
    bool SetExtraHeaders(const QList<QByteArray>& lines);
    const QList<QByteArray>& ExtraHeaders() const { return extraHeaders_; }

    // Every cookie in the store, in the store's order.
    QList<THttpCookie> Cookies() const;

    // Status of the last reply that had one; 0 before.
    int LastStatus() const { return lastStatus_; }

    // A connection attempt that takes longer than connect, or a transfer that moves no byte for stall,
    // ends as EIdSocketError.
    void SetTimeouts(std::chrono::seconds connect, std::chrono::seconds stall);
    static constexpr std::chrono::seconds kConnectTimeout{30};
    static constexpr std::chrono::seconds kStallTimeout{60};

private:
    struct Transfer;
    void Perform(const QString& url, Transfer& transfer, TMultipartFormData* form, qint64 maxBytes);
    CurlSlist BuildRequestHeaders(const TMultipartFormData* form) const;

    TCurlEasyHandle handle_;
    std::unique_ptr<char[]> errorBuffer_;
    QList<QByteArray> extraHeaders_;
    int lastStatus_ = 0;
};

// The URL as it goes on the wire (see THttpClient).
QByteArray EncodeUrlForWire(const QString& url);

}  // namespace tovari
