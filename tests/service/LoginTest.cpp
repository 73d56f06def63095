#include "service/HttpClient.h"
#include "service/LoginForm.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"
#include "tests/service/TestServers.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>

namespace tovari {
namespace {

using Targets = std::vector<std::string>;

const QString kConnection = QString::fromUtf8("通信エラーが発生しました。\n\rネットワークの設定を確認してください。");
const QString kNoCookie = QString::fromUtf8("クッキー情報が取得出来ませんでした。\n\r接続環境をご確認ください。");

// The shop's side of login: the request decides the reply.
struct ShopScript {
    std::string loginReply = "NG";
    std::string loginCookie;  // Set-Cookie of request 1, none when empty
    int loginStatus = 200;
    std::string cookieGetReply = "ISSUED";
    int cookieGetStatus = 200;
};

class LoginTest : public testing::Test {
protected:
    test::RecordingServer server;
    TSession session;
    test::RecordingDialogs dialogs;
    THttpClient http;
    TServiceClient client{http, session, dialogs};
    TLoginDialog dialog;
    test::SessionRecorder host{session};
    std::optional<TServiceUrls> urls;
    std::optional<TLoginService> login;

    void SetUp() override { Connect(server.BaseUrl()); }

    void Connect(const QString& baseUrl)
    {
        login.reset();
        login.emplace(client, urls.emplace(baseUrl), dialog);
    }

    void Script(const ShopScript& script)
    {
        server.Reply([script](const httplib::Request& req, httplib::Response& res) {
            if (req.get_param_value("mode") == "cookie_get") {
                res.status = script.cookieGetStatus;
                res.set_content(script.cookieGetReply, "text/html");
            } else if (req.get_param_value("mode") == "get_name") {
                res.set_content("\x8E\x52\x93\x63", "text/html");  // 山田
            } else {
                res.status = script.loginStatus;
                if (!script.loginCookie.empty())
                    res.set_header("Set-Cookie", script.loginCookie);
                res.set_content(req.path.starts_with("/wis/wi_login.php/") ? script.loginReply : "", "text/html");
            }
        });
    }
};

TEST_F(LoginTest, FirstStartSendsEmptyCredentialsAndFallsBackToRequestTwo)
{
    Script({.cookieGetReply = "ISSUED\r\n"});
    EXPECT_FALSE(login->Login());
    EXPECT_EQ(server.Targets(), (Targets{"/wis/wi_login.php/?email=&passwd=", "/wis/wi_login.php?mode=cookie_get"}));
    EXPECT_EQ(session.SessionId(), "ISSUED");
    EXPECT_TRUE(session.TransferReady());
    EXPECT_EQ(host.logoutProcCalls, 1);
    EXPECT_EQ(host.loginProcCalls, 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Credentials with reserved and Japanese characters go out as percent-encoded CP932; the cookie of an
// accepted login goes with the name request.
TEST_F(LoginTest, AcceptedLoginTakesCookieAndNameThenSwitchesToLoggedIn)
{
    Script({.loginReply = "OK", .loginCookie = "sid=S9; Path=/"});
    dialog.EditEmail->setText("a+b@example.jp");
    dialog.EditPasswd->setText(QStringLiteral("&=+%# パスワード"));
    EXPECT_TRUE(login->Login());
    EXPECT_EQ(server.Targets(),
              (Targets{"/wis/wi_login.php/?email=a%2Bb%40example.jp&passwd=%26%3D%2B%25%23%20%83p%83X%83%8F%81%5B%83h",
                       "/wis/wi_login.php/S9?mode=get_name"}));
    EXPECT_THAT(server.Requests()[1].Header("Cookie"), testing::Contains("sid=S9"));
    EXPECT_EQ(session.SessionId(), "S9");
    EXPECT_EQ(session.UserName(), QStringLiteral("山田"));
    EXPECT_TRUE(session.LoggedIn());
    EXPECT_EQ(host.loginProcCalls, 1);

    // Only a reply of exactly OK logs in.
    Script({.loginReply = "OK\r\n"});
    EXPECT_FALSE(login->Login());
    EXPECT_FALSE(session.LoggedIn());
}

// A failure of either request at start-up is shown and ends logged out; transfers may go ahead only
// with an identifier.
TEST_F(LoginTest, FailuresAtStartUpAreShownAndEndLoggedOut)
{
    // Outside start-up, an error status of the identifier request passes to the caller.
    Script({.cookieGetStatus = 503});
    EXPECT_THROW(login->Login(), EIdHTTPProtocolException);
    EXPECT_EQ(host.logoutProcCalls, 0);

    const QString networkError = QString::fromUtf8("ネットワークエラーが発生しました。\r\n時間をおいて、再度ログインしてください。");
    const QString errorStatus = QString::fromUtf8("サービスがエラーを返しました。\n(HTTP/1.1 503 Service Unavailable)");
    struct Case {
        const char* what;
        std::optional<ShopScript> script;  // none: no service listens
        QStringList messages;
        QString sessionId;
    };
    for (const Case& c : {Case{"no service", std::nullopt, {kConnection, kConnection, kNoCookie}, ""},
                          Case{"error status of the login", ShopScript{.loginStatus = 500},
                               {"Network Error No 100", networkError}, "ISSUED"},
                          Case{"error status of the identifier", ShopScript{.cookieGetStatus = 503}, {errorStatus}, ""},
                          Case{"identifier with control characters", ShopScript{.cookieGetReply = "AB\rX-Evil: 1\r\n"},
                               {kNoCookie}, ""}}) {
        SCOPED_TRACE(c.what);
        Connect(c.script ? server.BaseUrl() : test::ClosedPortUrl());
        Script(c.script.value_or(ShopScript{}));
        session.SetSessionId("");
        session.SetTransferReady(true);
        dialogs.messages.clear();
        host.logoutProcCalls = 0;
        EXPECT_FALSE(login->LoginAtStartUp());
        EXPECT_EQ(dialogs.messages, c.messages);
        EXPECT_EQ(session.SessionId(), c.sessionId);
        EXPECT_EQ(session.TransferReady(), !c.sessionId.isEmpty());
        EXPECT_EQ(host.logoutProcCalls, 1);
    }
}

// Logout tells the service and keeps the identifier for later requests; without a service it still
// ends logged out, and only the command says so.
TEST_F(LoginTest, LogoutKeepsTheIdentifierAndNeedsNoService)
{
    session.SetSessionId("S1");
    session.SetLoggedIn(true);
    login->ActLogoutExecute();
    login->Login();
    EXPECT_EQ(server.Targets(), (Targets{"/wis/wi_logout.php/S1", "/wis/wi_login.php/S1?email=&passwd="}));
    EXPECT_THAT(server.Requests().back().Header("Cookie"), testing::Contains("sid=S1"));
    EXPECT_EQ(session.SessionId(), "S1");
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8("ログアウトしました。")});

    Connect(test::ClosedPortUrl());
    session.SetLoggedIn(true);
    login->Logout();
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(dialogs.messages.size(), 1);
}

// The real dialog driven by the keyboard: a refused password shows it again with the texts typed,
// and the second, right password logs in.
TEST_F(LoginTest, RealDialogKeepsTypedTextsAndLogsInOnTheSecondTry)
{
    session.SetSessionId("S1");
    server.Reply([](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_param_value("passwd") == "right" ? "OK" : "NG", "text/html");
    });
    QStringList seen;
    std::function<void()> answer = [&] {
        if (QApplication::activeModalWidget() != &dialog) {
            QTimer::singleShot(0, answer);  // not up yet
            return;
        }
        seen.append(dialog.EditEmail->text() + "|" + dialog.EditPasswd->text());
        if (seen.size() == 1)
            QTest::keyClicks(dialog.EditEmail, "taro@example.jp");
        dialog.EditPasswd->clear();
        QTest::keyClicks(dialog.EditPasswd, seen.size() == 1 ? "wrong" : "right");
        QTest::keyClick(dialog.EditPasswd, Qt::Key_Return);  // the default button
        if (seen.size() == 1)
            QTimer::singleShot(0, answer);
    };
    QTimer::singleShot(0, answer);
    login->ActLoginExecute();
    EXPECT_EQ(seen, (QStringList{"|", "taro@example.jp|wrong"}));
    EXPECT_TRUE(session.LoggedIn());
    EXPECT_EQ(server.Requests().size(), 3u);  // two logins, one name
}

TEST(LoginDialog, FixedCentredAndInTabOrder)
{
    TLoginDialog dialog;
    EXPECT_EQ(dialog.minimumSize(), QSize(414, 186));
    EXPECT_EQ(dialog.maximumSize(), QSize(414, 186));
    EXPECT_EQ(dialog.Image1->pixmap().size(), QSize(106, 25));
    EXPECT_EQ(dialog.EditPasswd->echoMode(), QLineEdit::Password);
    for (QWidget* child : dialog.findChildren<QWidget*>())
        EXPECT_TRUE(dialog.rect().contains(child->geometry().translated(child->parentWidget()->mapTo(&dialog, QPoint()))))
            << child->objectName().toStdString();

    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_LE((dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center()).manhattanLength(), 2);
    dialog.EditEmail->setFocus();
    QStringList order{dialog.focusWidget()->objectName()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        order.append(dialog.focusWidget()->objectName());
    }
    EXPECT_EQ(order, (QStringList{"EditEmail", "EditPasswd", "OKBtn", "CancelBtn", "EditEmail"}));
}

}  // namespace
}  // namespace tovari
