#include "service/HttpClient.h"

#include "platform/FileName.h"
#include "platform/Cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <curl/curl.h>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>

namespace tovari {

namespace {

constexpr char kAccept[] = "Accept: text/html, */*";
constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";
// The body of an error reply is kept only for diagnosis; a cap keeps a hostile reply from filling memory.
constexpr qsizetype kMaxErrorBody = 64 * 1024;

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsConnectionFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSL_CONNECT_ERROR:
        return true;
    default:
        return false;
    }
}

bool HasControlCharacter(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

// Quotes in part names would end the quoted value early, line breaks would end the part header.
QByteArray EscapeDispositionValue(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '"')
            out += "%22";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

// Failures that may reach the user say what happened in Japanese first; libcurl's and our technical
// detail follows for whoever looks into it.
QString Explained(const QString& what, const QString& detail)
{
    return what + QStringLiteral("\n(") + detail + QLatin1Char(')');
}

// Every option is checked: an option this libcurl does not take (an old build, a protocol left out)
// must not leave the client running with defaults it was meant to override.
template <class T>
void SetOption(CURL* handle, CURLoption option, T value)
{
    const CURLcode rc = curl_easy_setopt(handle, option, value);
    if (rc != CURLE_OK)
        throw ECurlOptionError(Explained(QStringLiteral("通信の準備ができませんでした。"),
                                         QStringLiteral("HTTP client option %1 cannot be set: %2")
                                             .arg(int(option))
                                             .arg(QString::fromUtf8(curl_easy_strerror(rc)))));
}

}  // namespace

// ---- TCurlEasyHandle

TCurlEasyHandle::TCurlEasyHandle()
{
    InitCurlOnce();
    handle_ = curl_easy_init();
    if (!handle_)
        throw EHttpRequestError(Explained(QStringLiteral("通信の準備ができませんでした。"),
                                          QStringLiteral("The HTTP client could not be created.")));
}

TCurlEasyHandle::~TCurlEasyHandle()
{
    if (handle_)
        curl_easy_cleanup(handle_);
}

TCurlEasyHandle::TCurlEasyHandle(TCurlEasyHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

TCurlEasyHandle& TCurlEasyHandle::operator=(TCurlEasyHandle&& other) noexcept
{
    if (this != &other) {
        if (handle_)
            curl_easy_cleanup(handle_);
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

void CurlSlistDeleter::operator()(curl_slist* list) const { curl_slist_free_all(list); }

// ---- TMultipartFormData

TMultipartFormData::TMultipartFormData()
{
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    boundary_ = "--------tovari";
    for (const quint32 r : random)
        boundary_ += QByteArray::number(r, 16).rightJustified(8, '0');
    closing_ = "--" + boundary_ + "--\r\n";
}

TMultipartFormData::~TMultipartFormData() = default;
TMultipartFormData::TMultipartFormData(TMultipartFormData&&) noexcept = default;
TMultipartFormData& TMultipartFormData::operator=(TMultipartFormData&&) noexcept = default;

void TMultipartFormData::AppendText(const QByteArray& bytes)
{
    if (!segments_.empty())
        if (auto* text = std::get_if<QByteArray>(&segments_.back())) {
            text->append(bytes);
            return;
        }
    segments_.emplace_back(bytes);
}

void TMultipartFormData::AddFormField(const QString& name, const QString& value)
{
    AppendText("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" +
               EscapeDispositionValue(ToCp932(name)) + "\"\r\n\r\n" + ToCp932(value) + "\r\n");
}

void TMultipartFormData::AddFile(const QString& fieldName, const QString& filePath)
{
    AddFile(fieldName, filePath, filePath);
}

void TMultipartFormData::AddFile(const QString& fieldName, const QString& filePath, const QString& fileNameOnWire)
{
    auto file = std::make_unique<QFile>();
    if (!OpenNativeFile(*file, filePath, QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\".").arg(filePath));
    const qint64 size = file->size();
    AppendText("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" +
               EscapeDispositionValue(ToCp932(fieldName)) + "\"; filename=\"" +
               EscapeDispositionValue(ToCp932(fileNameOnWire)) + "\"\r\nContent-Type: " +
               MimeTypeForFileName(filePath).toLatin1() + "\r\nContent-Transfer-Encoding: binary\r\n\r\n");
    segments_.emplace_back(FileContent{std::move(file), size});
    AppendText("\r\n");
}

QByteArray TMultipartFormData::ContentType() const { return "multipart/form-data; boundary=" + boundary_; }

qint64 TMultipartFormData::SegmentSize(const Segment& segment)
{
    if (const auto* text = std::get_if<QByteArray>(&segment))
        return text->size();
    return std::get<FileContent>(segment).size;
}

qint64 TMultipartFormData::Size() const
{
    qint64 total = closing_.size();
    for (const Segment& segment : segments_)
        total += SegmentSize(segment);
    return total;
}

bool TMultipartFormData::Seek(qint64 offset)
{
    if (offset < 0 || offset > Size())
        return false;
    position_ = offset;
    return true;
}

qint64 TMultipartFormData::Read(char* buffer, qint64 maxSize)
{
    qint64 written = 0;
    qint64 segmentStart = 0;
    auto copyFromText = [&](const QByteArray& text, qint64 start) {
        const qint64 offset = position_ - start;
        const qint64 n = std::min(maxSize - written, qint64(text.size()) - offset);
        memcpy(buffer + written, text.constData() + offset, size_t(n));
        written += n;
        position_ += n;
    };
    for (Segment& segment : segments_) {
        const qint64 size = SegmentSize(segment);
        if (written == maxSize)
            return written;
        if (position_ < segmentStart + size) {
            if (const auto* text = std::get_if<QByteArray>(&segment)) {
                copyFromText(*text, segmentStart);
            } else {
                FileContent& content = std::get<FileContent>(segment);
                const qint64 offset = position_ - segmentStart;
                const qint64 wanted = std::min(maxSize - written, size - offset);
                if (content.file->pos() != offset && !content.file->seek(offset))
                    return -1;
                const qint64 got = content.file->read(buffer + written, wanted);
                if (got <= 0)
                    return -1;  // unreadable, or shorter now than announced in Content-Length
                written += got;
                position_ += got;
                if (got < wanted)
                    return written;
            }
        }
        segmentStart += size;
    }
    if (written < maxSize && position_ >= segmentStart && position_ < segmentStart + closing_.size())
        copyFromText(closing_, segmentStart);
    return written;
}

QString MimeTypeForFileName(const QString& fileName)
{
    struct Entry {
        const char* extension;
        const char* type;
    };
    static constexpr Entry kTable[] = {
        {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"},  {"jpe", "image/jpeg"},   {"png", "image/png"},
        {"gif", "image/gif"},   {"bmp", "image/bmp"},    {"dib", "image/bmp"},    {"tif", "image/tiff"},
        {"tiff", "image/tiff"}, {"ico", "image/x-icon"}, {"wmf", "image/x-wmf"}, {"emf", "image/x-emf"},
        {"pcx", "image/x-pcx"}, {"txt", "text/plain"},   {"htm", "text/html"},   {"html", "text/html"},
        {"pdf", "application/pdf"}, {"zip", "application/zip"},
    };
    const QString extension = QFileInfo(fileName).suffix().toLower();
    for (const Entry& entry : kTable)
        if (extension == QLatin1String(entry.extension))
            return QString::fromLatin1(entry.type);
    return QStringLiteral("application/octet-stream");
}

// ---- THttpClient

struct THttpClient::Transfer {
    std::function<bool(const char*, size_t)> sink;
    TMultipartFormData* form = nullptr;
    int status = 0;
    QByteArray statusLine;
    QByteArray errorBody;
    bool sinkFailed = false;
    bool readFailed = false;
    qint64 bodyRead = 0;  // bytes of the request body handed to libcurl
    qint64 maxBytes = 0;
    qint64 received = 0;
    bool tooLarge = false;

    static size_t OnHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
        if (line.startsWith("HTTP/")) {
            // A 100 Continue comes before the final status line; the last one counts.
            const QList<QByteArray> parts = line.split(' ');
            self->status = parts.size() > 1 ? parts[1].toInt() : 0;
            self->statusLine = line;
        }
        return size * count;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const size_t n = size * count;
        if (self->status >= 400) {
            if (self->errorBody.size() < kMaxErrorBody)
                self->errorBody.append(data, qsizetype(std::min(n, size_t(kMaxErrorBody - self->errorBody.size()))));
            return n;
        }
        if (qint64(n) > self->maxBytes - self->received) {
            self->tooLarge = true;
            return 0;
        }
        self->received += qint64(n);
        if (!self->sink(data, n)) {
            self->sinkFailed = true;
            return 0;
        }
        return n;
    }

    static size_t OnRead(char* buffer, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const qint64 got = self->form->Read(buffer, qint64(size * count));
        if (got < 0) {
            self->readFailed = true;
            return CURL_READFUNC_ABORT;
        }
        self->bodyRead += got;
        return size_t(got);
    }

    // libcurl rewinds a body only to send it again: on a kept-alive connection that closes without a
    // reply it silently repeats the request on a new one, and the service would then hold a photo
    // twice. Once any of the body has gone out, the request is not repeated.
    static int OnSeek(void* user, curl_off_t offset, int origin)
    {
        auto* self = static_cast<Transfer*>(user);
        if (self->bodyRead > 0)
            return CURL_SEEKFUNC_CANTSEEK;
        return origin == SEEK_SET && self->form->Seek(offset) ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
    }

    bool WholeBodySentWithoutReply() const { return form && bodyRead == form->Size() && status == 0; }
};

THttpClient::THttpClient() : errorBuffer_(new char[CURL_ERROR_SIZE]())
{
    CURL* h = handle_.get();
    SetOption(h, CURLOPT_ERRORBUFFER, errorBuffer_.get());
    SetOption(h, CURLOPT_NOSIGNAL, 1L);
    // An empty file name switches the cookie engine on with nothing loaded: the store starts empty.
    SetOption(h, CURLOPT_COOKIEFILE, "");
    SetOption(h, CURLOPT_USERAGENT, kUserAgent);
    // No proxy, not even one named by the environment.
    SetOption(h, CURLOPT_PROXY, "");
    SetOption(h, CURLOPT_NOPROXY, "*");
    SetOption(h, CURLOPT_FOLLOWLOCATION, 0L);
    SetOption(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    SetOption(h, CURLOPT_PROTOCOLS_STR, "http,https");
    SetTimeouts(kConnectTimeout, kStallTimeout);
}

THttpClient::~THttpClient() = default;
THttpClient::THttpClient(THttpClient&&) noexcept = default;
THttpClient& THttpClient::operator=(THttpClient&&) noexcept = default;

void THttpClient::SetTimeouts(std::chrono::seconds connect, std::chrono::seconds stall)
{
    CURL* h = handle_.get();
    SetOption(h, CURLOPT_CONNECTTIMEOUT, long(connect.count()));
    SetOption(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetOption(h, CURLOPT_LOW_SPEED_TIME, long(stall.count()));
}

bool THttpClient::SetExtraHeaders(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || HasControlCharacter(line))
            return false;
    }
    extraHeaders_ = lines;
    return true;
}

CurlSlist THttpClient::BuildRequestHeaders(const TMultipartFormData* form) const
{
    CurlSlist list;
    auto append = [&](const QByteArray& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.constData());
        if (!grown)
            throw std::bad_alloc();
        list.release();
        list.reset(grown);
    };
    append(kAccept);
    // libcurl would otherwise hold back large uploads waiting for a 100 Continue.
    append("Expect:");
    if (form)
        append("Content-Type: " + form->ContentType());
    for (const QByteArray& line : extraHeaders_)
        append(line);
    return list;
}

void THttpClient::Perform(const QString& url, Transfer& transfer, TMultipartFormData* form, qint64 maxBytes)
{
    transfer.maxBytes = maxBytes;
    CURL* h = handle_.get();
    const QByteArray wireUrl = EncodeUrlForWire(url);
    const CurlSlist headers = BuildRequestHeaders(form);
    // A declared length above the cap is refused before any body arrives.
    SetOption(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes));
    SetOption(h, CURLOPT_URL, wireUrl.constData());
    SetOption(h, CURLOPT_HTTPHEADER, headers.get());
    SetOption(h, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    SetOption(h, CURLOPT_HEADERDATA, &transfer);
    SetOption(h, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    SetOption(h, CURLOPT_WRITEDATA, &transfer);
    if (form) {
        transfer.form = form;
        form->Seek(0);
        SetOption(h, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
        SetOption(h, CURLOPT_POST, 1L);
        SetOption(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(form->Size()));
        SetOption(h, CURLOPT_READFUNCTION, &Transfer::OnRead);
        SetOption(h, CURLOPT_READDATA, &transfer);
        SetOption(h, CURLOPT_SEEKFUNCTION, &Transfer::OnSeek);
        SetOption(h, CURLOPT_SEEKDATA, &transfer);
    } else {
        SetOption(h, CURLOPT_HTTPGET, 1L);
    }
    errorBuffer_[0] = '\0';
    const CURLcode rc = curl_easy_perform(h);
    // Nothing may point at this call's locals once it returns. Clearing a pointer cannot fail, and
    // a throw here would lose the reply.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_SEEKDATA, nullptr);
    if (transfer.status > 0)
        lastStatus_ = transfer.status;

    if (rc != CURLE_OK) {
        const QString detail =
            QString::fromUtf8(errorBuffer_[0] ? errorBuffer_.get() : curl_easy_strerror(rc)).trimmed();
        if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
            throw EHttpRequestError(Explained(QStringLiteral("サービスからの応答が大きすぎるため、受け取れませんでした。"),
                                              QStringLiteral("The reply is larger than %1 bytes.").arg(maxBytes)));
        if (transfer.sinkFailed)
            throw EHttpRequestError(Explained(QStringLiteral("サービスからの応答を保存できませんでした。"),
                                              QStringLiteral("The reply could not be stored.")));
        if (transfer.readFailed)
            throw EHttpRequestError(Explained(QStringLiteral("送信するファイルを読み込めませんでした。"),
                                              QStringLiteral("The file to send could not be read.")));
        if (transfer.WholeBodySentWithoutReply() && (IsConnectionFailure(rc) || rc == CURLE_SEND_FAIL_REWIND))
            throw EIdReplyLost(detail);
        if (IsConnectionFailure(rc) || rc == CURLE_SEND_FAIL_REWIND)
            throw EIdSocketError(detail);
        throw EHttpRequestError(Explained(QStringLiteral("サービスとの通信に失敗しました。"), detail));
    }
    if (transfer.status >= 400)
        throw EIdHTTPProtocolException(transfer.status, Explained(QStringLiteral("サービスがエラーを返しました。"),
                                                                  QString::fromLatin1(transfer.statusLine)));
}

QByteArray THttpClient::Get(const QString& url, qint64 maxBytes)
{
    QByteArray body;
    Transfer transfer;
    transfer.sink = [&](const char* data, size_t n) {
        body.append(data, qsizetype(n));
        return true;
    };
    Perform(url, transfer, nullptr, maxBytes);
    return body;
}

void THttpClient::Get(const QString& url, QIODevice& target, qint64 maxBytes)
{
    Transfer transfer;
    transfer.sink = [&](const char* data, size_t n) { return target.write(data, qint64(n)) == qint64(n); };
    Perform(url, transfer, nullptr, maxBytes);
}

QByteArray THttpClient::Post(const QString& url, TMultipartFormData& form, qint64 maxBytes)
{
    QByteArray body;
    Transfer transfer;
    transfer.sink = [&](const char* data, size_t n) {
        body.append(data, qsizetype(n));
        return true;
    };
    Perform(url, transfer, &form, maxBytes);
    return body;
}

QList<THttpCookie> THttpClient::Cookies() const
{
    QList<THttpCookie> cookies;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(handle_.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return cookies;
    const CurlSlist owned(list);
    // Each entry: domain, subdomains flag, path, secure flag, expiry, name, value; tab-separated.
    for (curl_slist* entry = list; entry; entry = entry->next) {
        const QByteArray line(entry->data);
        qsizetype pos = 0;
        int tabs = 0;
        while (tabs < 5 && (pos = line.indexOf('\t', pos)) >= 0) {
            ++pos;
            ++tabs;
        }
        if (tabs < 5)
            continue;
        const qsizetype nameEnd = line.indexOf('\t', pos);
        if (nameEnd < 0)
            continue;
        cookies.append({line.mid(pos, nameEnd - pos), line.mid(nameEnd + 1)});
    }
    return cookies;
}

QByteArray EncodeUrlForWire(const QString& url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray bytes = ToCp932(url);
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool keep = b > 0x20 && b < 0x7F && !QByteArray("\"<>\\^`{|}").contains(c);
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

}  // namespace tovari
