#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QAction;

namespace tovari {

class TLoginDialog;
class TServiceClient;
class TServiceUrls;
class TSession;
struct TActionManager1;

// Login and logout with the service, and the two commands that start them.
class TLoginService {
public:
    // Shows the login dialog modally and returns how it was closed.
    using ShowLoginDialog = std::function<QDialog::DialogCode(TLoginDialog&)>;

    // The default way of showing the dialog is its exec().
    TLoginService(TServiceClient& client, const TServiceUrls& urls, TLoginDialog& dialog,
                  ShowLoginDialog showDialog = {});

    // Sends the typed e-mail address and password (empty at start-up, so the stored session alone
    // decides); true when the service accepted them. Ends logged in or logged out, unless a failure of
    // the identifier or name request passes through.
    bool Login();
    // The start-up login: as Login, but a failure that would pass through is shown and the program
    // ends logged out, so that start-up always reaches one of the two states.
    bool LoginAtStartUp();
    void Logout();

    // Switch the window to the logged-in or logged-out state. The session announces the change and
    // every part follows it: the album refills or empties its tree, commands derive their state,
    // the shell renames the album tab.
    void LoginProc();
    void LogoutProc();

    // Shows the dialog until the user cancels or the service accepts the login; the texts typed stay.
    void ActLoginExecute();
    void ActLogoutExecute();

    void BindActions(const TActionManager1& actions);
    // One of the two commands is offered: log in while logged out, log out while logged in.
    void UpdateActions();

private:
    TServiceClient& client_;
    const TServiceUrls& urls_;
    TLoginDialog& dialog_;
    TSession& session_;
    ShowLoginDialog showDialog_;
    QAction* actLogin_ = nullptr;
    QAction* actLogout_ = nullptr;
};

inline const QString kLoginErrorCodeMessage = QStringLiteral("Network Error No 100");
inline const QString kLoginNetworkErrorMessage =
    QStringLiteral("ネットワークエラーが発生しました。\r\n時間をおいて、再度ログインしてください。");
inline const QString kNoCookieMessage = QStringLiteral("クッキー情報が取得出来ませんでした。\n\r接続環境をご確認ください。");
inline const QString kLoggedOutMessage = QStringLiteral("ログアウトしました。");

}  // namespace tovari
