#pragma once

#include <QDialog>
#include <QString>
#include <functional>

namespace tovari {

class TLoginDialog;
class TServiceClient;
class TServiceUrls;

// What login and logout need of the main window. LoginProc and LogoutProc switch the window to the
// logged-in or logged-out state (and set LoggedIn as their first step).
class TLoginHost {
public:
    virtual ~TLoginHost() = default;
    virtual void SetUserName(const QString& userName) = 0;
    virtual void SetTransferReady(bool ready) = 0;
    virtual void LoginProc() = 0;
    virtual void LogoutProc() = 0;
};

// Login and logout with the service, and the two commands that start them.
class TLoginService {
public:
    // Shows the login dialog modally and returns how it was closed.
    using ShowLoginDialog = std::function<QDialog::DialogCode(TLoginDialog&)>;

    // The default way of showing the dialog is its exec().
    TLoginService(TServiceClient& client, const TServiceUrls& urls, TLoginDialog& dialog, TLoginHost& host,
                  ShowLoginDialog showDialog = {});

    // Sends the typed e-mail address and password (empty at start-up, so the stored session alone
    // decides); true when the service accepted them. Ends logged in or logged out, unless a failure of
    // the identifier or name request passes through.
    bool Login();
    // The start-up login: as Login, but a failure that would pass through is shown and the program
    // ends logged out, so that start-up always reaches one of the two states.
    bool LoginAtStartUp();
    void Logout();

    // Shows the dialog until the user cancels or the service accepts the login; the texts typed stay.
    void ActLoginExecute();
    void ActLogoutExecute();

private:
    TServiceClient& client_;
    const TServiceUrls& urls_;
    TLoginDialog& dialog_;
    TLoginHost& host_;
    ShowLoginDialog showDialog_;
};

inline const QString kLoginErrorCodeMessage = QStringLiteral("Network Error No 100");
inline const QString kLoginNetworkErrorMessage =
    QStringLiteral("ネットワークエラーが発生しました。\r\n時間をおいて、再度ログインしてください。");
inline const QString kNoCookieMessage = QStringLiteral("クッキー情報が取得出来ませんでした。\n\r接続環境をご確認ください。");
inline const QString kLoggedOutMessage = QStringLiteral("ログアウトしました。");

}  // namespace tovari
