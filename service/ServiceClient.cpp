#include "service/ServiceClient.h"

#include "platform/Dialogs.h"
#include "platform/FileName.h"
#include "platform/Trace.h"
#include "platform/Cp932.h"
#include "service/HttpClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"

#include <QFile>
#include <unistd.h>

namespace tovari {

TServiceClient::TServiceClient(THttpClient& http, TSession& session, Dialogs& dialogs)
    : http_(http), session_(session), dialogs_(dialogs)
{
}

const QString& TServiceClient::SessionId() const
{
    return session_.SessionId();
}

void TServiceClient::GetHTTPUnreported(const QString& url, QString& reply)
{
    reply.clear();
    SetCookie();
    const QString body = FromCp932(http_.Get(url));
    if (FirstReplyLine(body) != kReplyNG)
        GetCookie();
    reply = body;
}

void TServiceClient::GetHTTP(const QString& url, QString& reply)
{
    try {
        GetHTTPUnreported(url, reply);
    } catch (const EIdSocketError&) {
        dialogs_.ShowMessage(kConnectionErrorMessage);
    }
}

bool TServiceClient::GetHTTPBin(const QString& url, const QString& filePath)
{
    QFile file;
    if (!OpenNativeFile(file, filePath, QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(filePath));
    const bool result = GetHTTPBin(url, file);
    // A part of a body (cut off, or stopped at the size cap) is removed rather than left as a broken picture.
    const bool partial = !result && file.size() > 0;
    file.close();
    if (partial)
        ::unlink(NativePath(filePath).constData());
    return result;
}

bool TServiceClient::GetHTTPBin(const QString& url, QByteArray& body, qint64 maxBytes)
{
    try {
        SetCookie();
        body = http_.Get(url, maxBytes);
        GetCookie();
        return true;
    } catch (const std::exception&) {
        // As for a file: a failed download only means "no picture".
        body.clear();
        return false;
    }
}

bool TServiceClient::GetHTTPBin(const QString& url, QFile& file)
{
    bool result = true;
    try {
        SetCookie();
        http_.Get(url, file);
        GetCookie();
    } catch (const std::exception&) {
        // A failed download only means "no picture"; the callers show nothing either.
        result = false;
    }
    // A body that did not reach the disk whole is no success.
    if (!file.flush())
        result = false;
    return result;
}

void TServiceClient::SetCookie()
{
    const QString& id = session_.SessionId();
    if (id.isEmpty())
        return;
    if (!IsUsableSessionId(id) || !http_.SetExtraHeaders({"Cookie: sid=" + ToCp932(id)}))
        Trace("Unusable session identifier not sent");
}

void TServiceClient::GetCookie()
{
    const QList<THttpCookie> cookies = http_.Cookies();
    for (const THttpCookie& cookie : cookies) {
        if (cookie.Name.compare("sid", Qt::CaseInsensitive) == 0) {
            if (!AdoptSessionId(FromCp932(cookie.Value)))
                Trace("Unusable session cookie ignored");
            return;
        }
    }
}

bool TServiceClient::AdoptSessionId(const QString& candidate)
{
    if (!IsUsableSessionId(candidate))
        return false;
    session_.SetSessionId(candidate);
    return true;
}

}  // namespace tovari
