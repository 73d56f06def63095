#pragma once

#include <QString>

class QFile;

namespace tovari {

class Dialogs;
class THttpClient;
class TSession;

// The service requests with the session cookie: GetHTTP and GetHTTPBin attach the identifier before a
// request and read the cookie "sid" back after it, so SessionId always holds what the service last
// issued. The session, the HTTP client and the dialogs are shared with the rest of the window.
class TServiceClient {
public:
    TServiceClient(THttpClient& http, TSession& session, Dialogs& dialogs);

    // The reply body as text. A connection failure is reported here with a message and leaves reply
    // empty; any other failure (an HTTP error status in particular) throws with reply empty. When the
    // first line is "NG" the cookie is not read back.
    void GetHTTP(const QString& url, QString& reply);
    // As GetHTTP, but a connection failure throws EIdSocketError instead of being reported.
    void GetHTTPUnreported(const QString& url, QString& reply);

    // Stores the body in filePath (created or replaced; EFCreateError when that fails). False, without
    // a message, when the request fails in any way; the file then keeps what had arrived.
    bool GetHTTPBin(const QString& url, const QString& filePath);
    // As above, into a file that the caller opened (and closes, or removes on failure).
    bool GetHTTPBin(const QString& url, QFile& file);
    // As above, into memory: a body above maxBytes is a failure. body is empty after any failure.
    bool GetHTTPBin(const QString& url, QByteArray& body, qint64 maxBytes);

    // Puts "Cookie: sid=" + SessionId into the client's extra headers; an empty or unusable identifier
    // leaves the header set earlier in place.
    void SetCookie();
    // Copies the first cookie named "sid" (any case) from the store into SessionId, unless its value
    // would be unusable in a header.
    void GetCookie();

    // Takes candidate as the session identifier when it is usable; false (SessionId unchanged) otherwise.
    bool AdoptSessionId(const QString& candidate);

    const QString& SessionId() const;
    TSession& Session() { return session_; }
    THttpClient& IdHTTP1() { return http_; }
    Dialogs& MessageDialogs() { return dialogs_; }

private:
    THttpClient& http_;
    TSession& session_;
    Dialogs& dialogs_;
};

// Shown when the service cannot be reached.
inline const QString kConnectionErrorMessage =
    QStringLiteral("通信エラーが発生しました。\n\rネットワークの設定を確認してください。");

}  // namespace tovari
