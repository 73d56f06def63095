#include "service/LoginService.h"

#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "service/HttpClient.h"
#include "service/LoginForm.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"

#include <QLineEdit>

namespace tovari {

TLoginService::TLoginService(TServiceClient& client, const TServiceUrls& urls, TLoginDialog& dialog,
                             TLoginHost& host, ShowLoginDialog showDialog)
    : client_(client), urls_(urls), dialog_(dialog), host_(host), showDialog_(std::move(showDialog))
{
    if (!showDialog_)
        showDialog_ = [](TLoginDialog& d) { return QDialog::DialogCode(d.exec()); };
}

bool TLoginService::Login()
{
    Dialogs& dialogs = client_.MessageDialogs();
    client_.SetCookie();
    QString reply;
    try {
        client_.GetHTTP(urls_.Login(client_.SessionId(), dialog_.EditEmail->text(), dialog_.EditPasswd->text()),
                        reply);
    } catch (const EIdHTTPProtocolException&) {
        dialogs.ShowMessage(kLoginErrorCodeMessage);
        dialogs.ShowMessage(kLoginNetworkErrorMessage);
        reply.clear();
    }
    client_.GetCookie();
    host_.SetTransferReady(true);

    if (client_.SessionId().isEmpty()) {
        QString issued;
        client_.GetHTTP(urls_.CookieGet(), issued);
        // A reply that cannot serve as an identifier (a control character inside) counts as none.
        if (!client_.AdoptSessionId(StripTrailingLineBreaks(issued))) {
            dialogs.ShowMessage(kNoCookieMessage);
            host_.SetTransferReady(false);
        }
    }

    if (reply == kReplyOK) {
        QString userName;
        client_.GetHTTP(urls_.UserName(client_.SessionId()), userName);
        host_.SetUserName(userName);
        host_.LoginProc();
        return true;
    }
    host_.LogoutProc();
    return false;
}

bool TLoginService::LoginAtStartUp()
{
    try {
        return Login();
    } catch (const std::exception& e) {
        ReportHandlerError(client_.MessageDialogs(), e);
        if (client_.SessionId().isEmpty())
            host_.SetTransferReady(false);
        host_.LogoutProc();
        return false;
    }
}

void TLoginService::Logout()
{
    client_.SetCookie();
    try {
        QString reply;
        client_.GetHTTPUnreported(urls_.Logout(client_.SessionId()), reply);
    } catch (const std::exception&) {
        // The user asked to be logged out; whether the service heard it changes nothing here.
    }
    client_.GetCookie();
    host_.LogoutProc();
}

void TLoginService::ActLoginExecute()
{
    for (;;) {
        if (showDialog_(dialog_) != QDialog::Accepted)
            return;
        if (Login())
            return;
    }
}

void TLoginService::ActLogoutExecute()
{
    Logout();
    client_.MessageDialogs().ShowMessage(kLoggedOutMessage);
}

}  // namespace tovari
