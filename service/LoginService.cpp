#include "service/LoginService.h"

#include "platform/Application.h"
#include "platform/Commands.h"
#include "platform/Dialogs.h"
#include "service/HttpClient.h"
#include "service/LoginForm.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"

#include <QAction>
#include <QLineEdit>

namespace tovari {

TLoginService::TLoginService(TServiceClient& client, const TServiceUrls& urls, TLoginDialog& dialog,
                             ShowLoginDialog showDialog)
    : client_(client), urls_(urls), dialog_(dialog), session_(client.Session()), showDialog_(std::move(showDialog))
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
    session_.SetTransferReady(true);

    if (client_.SessionId().isEmpty()) {
        QString issued;
        client_.GetHTTP(urls_.CookieGet(), issued);
        // A reply that cannot serve as an identifier (a control character inside) counts as none.
        if (!client_.AdoptSessionId(StripTrailingLineBreaks(issued))) {
            dialogs.ShowMessage(kNoCookieMessage);
            session_.SetTransferReady(false);
        }
    }

    if (reply == kReplyOK) {
        QString userName;
        client_.GetHTTP(urls_.UserName(client_.SessionId()), userName);
        session_.SetUserName(userName);
        LoginProc();
        return true;
    }
    LogoutProc();
    return false;
}

bool TLoginService::LoginAtStartUp()
{
    try {
        return Login();
    } catch (const std::exception& e) {
        ReportHandlerError(client_.MessageDialogs(), e);
        if (client_.SessionId().isEmpty())
            session_.SetTransferReady(false);
        LogoutProc();
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
    LogoutProc();
}

void TLoginService::LoginProc()
{
    session_.SetLoggedIn(true);
}

void TLoginService::LogoutProc()
{
    session_.SetLoggedIn(false);
    session_.SetUserName(QString());
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

namespace tovari {

void TLoginService::BindActions(const TActionManager1& actions)
{
    actLogin_ = actions.ActLogin;
    actLogout_ = actions.ActLogout;
    // The actions are the context: the connections go with them.
    QObject::connect(actLogin_, &QAction::triggered, actLogin_, [this] { ActLoginExecute(); });
    QObject::connect(actLogout_, &QAction::triggered, actLogout_, [this] { ActLogoutExecute(); });
    QObject::connect(&session_, &TSession::Changed, actLogin_, [this] { UpdateActions(); });
    UpdateActions();
}

void TLoginService::UpdateActions()
{
    actLogin_->setEnabled(!session_.LoggedIn());
    actLogout_->setEnabled(session_.LoggedIn());
}

}  // namespace tovari
