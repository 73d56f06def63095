#include "service/HttpClient.h"
#include "service/LoginForm.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "tests/common/TestSupport.h"
#include "tests/service/TestServers.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::RecordingDialogs;
using test::RecordingLoginHost;
using test::RecordingServer;

const QString kConnection = QString::fromUtf8("通信エラーが発生しました。\n\rネットワークの設定を確認してください。");
const QString kNoCookie = QString::fromUtf8("クッキー情報が取得出来ませんでした。\n\r接続環境をご確認ください。");

// A test of the shop's side of login: request paths decide the reply.
struct ShopScript {
    std::string loginReply = "NG";
    std::string loginCookie;  // Set-Cookie of request 1, none when empty
    int loginStatus = 200;
    std::string cookieGetReply = "ISSUED";
    int cookieGetStatus = 200;
    std::string nameReply = "\x8E\x52\x93\x63";  // 山田
};

class LoginTest : public testing::Test {
protected:
    RecordingServer server;
    QString sessionId;
    RecordingDialogs dialogs;
    THttpClient http;
    TServiceClient client{http, sessionId, dialogs};
    TLoginDialog dialog;
    RecordingLoginHost host;
    std::optional<TServiceUrls> urls;
    std::optional<TLoginService> login;
    std::vector<QDialog::DialogCode> dialogAnswers;
    int dialogShows = 0;
    QStringList textsAtShow;

    void SetUp() override { Connect(server.BaseUrl()); }

    void Connect(const QString& baseUrl)
    {
        login.reset();
        urls.emplace(baseUrl);
        login.emplace(client, *urls, dialog, host, [this](TLoginDialog& d) {
            textsAtShow.append(d.EditEmail->text() + "|" + d.EditPasswd->text());
            return dialogAnswers.at(size_t(dialogShows++));
        });
    }

    void Script(const ShopScript& script)
    {
        server.Reply([script](const httplib::Request& req, httplib::Response& res) {
            if (req.path == "/wis/wi_login.php" && req.get_param_value("mode") == "cookie_get") {
                res.status = script.cookieGetStatus;
                res.set_content(script.cookieGetReply, "text/html");
            } else if (req.get_param_value("mode") == "get_name") {
                res.set_content(script.nameReply, "text/html");
            } else if (req.path.rfind("/wis/wi_login.php/", 0) == 0) {
                res.status = script.loginStatus;
                if (!script.loginCookie.empty())
                    res.set_header("Set-Cookie", script.loginCookie);
                res.set_content(script.loginReply, "text/html");
            } else {
                res.set_content("", "text/html");
            }
        });
    }

    std::vector<std::string> Targets() const
    {
        std::vector<std::string> targets;
        for (const auto& r : server.Requests())
            targets.push_back(r.target);
        return targets;
    }
};

TEST_F(LoginTest, FirstStartSendsEmptyCredentialsAndFallsBackToRequestTwo)
{
    Script({.cookieGetReply = "ISSUED\r\n"});
    EXPECT_FALSE(login->Login());
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/wis/wi_login.php/?email=&passwd=", "/wis/wi_login.php?mode=cookie_get"}));
    EXPECT_EQ(sessionId, "ISSUED");
    EXPECT_TRUE(host.transferReady);
    EXPECT_EQ(host.logoutProcCalls, 1);
    EXPECT_EQ(host.loginProcCalls, 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(LoginTest, AcceptedLoginTakesCookieAndNameThenSwitchesToLoggedIn)
{
    Script({.loginReply = "OK", .loginCookie = "sid=S9; Path=/"});
    dialog.EditEmail->setText("taro@example.jp");
    dialog.EditPasswd->setText("pw");
    EXPECT_TRUE(login->Login());
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/wis/wi_login.php/?email=taro%40example.jp&passwd=pw",
                                                   "/wis/wi_login.php/S9?mode=get_name"}));
    EXPECT_EQ(sessionId, "S9");
    EXPECT_EQ(host.userName, QStringLiteral("山田"));
    EXPECT_TRUE(host.loggedIn);
    EXPECT_EQ(host.loginProcCalls, 1);
    EXPECT_EQ(server.Requests()[1].HeaderValues("Cookie").front(), "sid=S9");
}

TEST_F(LoginTest, ReplyOkFollowedByLineBreakIsNoLogin)
{
    sessionId = "S1";
    Script({.loginReply = "OK\r\n"});
    EXPECT_FALSE(login->Login());
    EXPECT_EQ(host.logoutProcCalls, 1);
}

TEST_F(LoginTest, PasswordWithReservedAndJapaneseCharactersArrivesIntact)
{
    sessionId = "S1";
    Script({});
    dialog.EditEmail->setText("a+b@example.jp");
    dialog.EditPasswd->setText(QStringLiteral("&=+%# パスワード"));
    login->Login();
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].target,
              "/wis/wi_login.php/S1?email=a%2Bb%40example.jp&passwd=%26%3D%2B%25%23%20%83p%83X%83%8F%81%5B%83h");
    const auto& params = requests[0].params;
    ASSERT_EQ(params.count("passwd"), 1u);
    EXPECT_EQ(params.find("passwd")->second, "&=+%# \x83p\x83X\x83\x8F\x81[\x83h");
    EXPECT_EQ(params.find("email")->second, "a+b@example.jp");
}

TEST_F(LoginTest, ErrorStatusOnRequestOneShowsTwoMessagesAndEndsLoggedOut)
{
    sessionId = "S1";
    Script({.loginStatus = 500});
    EXPECT_FALSE(login->Login());
    EXPECT_EQ(dialogs.messages,
              (QStringList{"Network Error No 100",
                           QString::fromUtf8("ネットワークエラーが発生しました。\r\n時間をおいて、再度ログインしてください。")}));
    EXPECT_EQ(host.logoutProcCalls, 1);
    EXPECT_TRUE(host.transferReady);
}

TEST_F(LoginTest, StartWithoutServiceOrIdentifierShowsThreeMessagesAndRefusesTransfers)
{
    Connect(test::ClosedPortUrl());
    host.transferReady = true;
    EXPECT_FALSE(login->LoginAtStartUp());
    EXPECT_EQ(dialogs.messages, (QStringList{kConnection, kConnection, kNoCookie}));
    EXPECT_FALSE(host.transferReady);
    EXPECT_EQ(host.logoutProcCalls, 1);
    EXPECT_TRUE(sessionId.isEmpty());
}

TEST_F(LoginTest, IssuedIdentifierWithControlCharactersIsRefused)
{
    Script({.cookieGetReply = "AB\rX-Evil: 1\r\n"});
    login->Login();
    EXPECT_TRUE(sessionId.isEmpty());
    EXPECT_EQ(dialogs.messages, QStringList{kNoCookie});
    EXPECT_FALSE(host.transferReady);
}

TEST_F(LoginTest, StartUpSurvivesAnErrorStatusOfRequestTwo)
{
    Script({.cookieGetStatus = 503});
    EXPECT_THROW(login->Login(), EIdHTTPProtocolException);
    EXPECT_EQ(host.logoutProcCalls, 0);

    EXPECT_FALSE(login->LoginAtStartUp());
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.front().contains("503"));
    EXPECT_FALSE(host.transferReady);
    EXPECT_EQ(host.logoutProcCalls, 1);
}

TEST_F(LoginTest, CancelAfterOneRefusedAttemptKeepsTextsAndShowsNothing)
{
    sessionId = "S1";
    Script({.loginReply = "NG"});
    dialogAnswers = {QDialog::Accepted, QDialog::Rejected};
    dialog.EditEmail->setText("a@b.jp");
    dialog.EditPasswd->setText("wrong");
    login->ActLoginExecute();
    EXPECT_EQ(dialogShows, 2);
    EXPECT_EQ(textsAtShow, (QStringList{"a@b.jp|wrong", "a@b.jp|wrong"}));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(host.loggedIn);
    EXPECT_EQ(host.loginProcCalls, 0);
}

TEST_F(LoginTest, LogoutKeepsTheIdentifierAndTellsTheUser)
{
    sessionId = "S1";
    Script({});
    host.loggedIn = true;
    login->ActLogoutExecute();
    EXPECT_EQ(Targets(), std::vector<std::string>{"/wis/wi_logout.php/S1"});
    EXPECT_EQ(sessionId, "S1");
    EXPECT_FALSE(host.loggedIn);
    EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8("ログアウトしました。")});

    // Later requests still carry it.
    login->Login();
    EXPECT_EQ(server.Requests().back().HeaderValues("Cookie").front(), "sid=S1");
}

TEST_F(LoginTest, LogoutWithoutServiceStillEndsLoggedOutWithoutAnErrorMessage)
{
    Connect(test::ClosedPortUrl());
    sessionId = "S1";
    host.loggedIn = true;
    login->Logout();
    EXPECT_FALSE(host.loggedIn);
    EXPECT_TRUE(dialogs.messages.isEmpty());
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
    const QPoint screenCentre = dialog.screen()->availableGeometry().center();
    EXPECT_LE((dialog.frameGeometry().center() - screenCentre).manhattanLength(), 2);
    dialog.EditEmail->setFocus();
    QStringList order{dialog.focusWidget()->objectName()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        order.append(dialog.focusWidget()->objectName());
    }
    EXPECT_EQ(order, (QStringList{"EditEmail", "EditPasswd", "OKBtn", "CancelBtn", "EditEmail"}));
}

TEST(LoginDialog, DrivenByKeyboardKeepsTypedTextsAcrossOpenings)
{
    TLoginDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::keyClicks(dialog.EditEmail, "taro@example.jp");
        QTest::keyClicks(dialog.EditPasswd, "secret");
        QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);

    QString seen;
    QTimer::singleShot(0, &dialog, [&] {
        seen = dialog.EditEmail->text() + "|" + dialog.EditPasswd->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(seen, "taro@example.jp|secret");
}

TEST(LoginCommand, RealDialogLoginAcceptedOnSecondTry)
{
    RecordingServer server;
    server.Reply([](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_param_value("passwd") == "right" ? "OK" : "NG", "text/html");
    });
    QString sessionId = "S1";
    RecordingDialogs dialogs;
    THttpClient http;
    TServiceClient client(http, sessionId, dialogs);
    const TServiceUrls urls(server.BaseUrl());
    TLoginDialog dialog;
    RecordingLoginHost host;
    TLoginService login(client, urls, dialog, host);

    int shows = 0;
    std::function<void()> answer = [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != &dialog) {
            QTimer::singleShot(0, answer);  // not up yet
            return;
        }
        ++shows;
        dialog.EditPasswd->clear();
        QTest::keyClicks(dialog.EditPasswd, shows == 1 ? "wrong" : "right");
        QTest::keyClick(dialog.EditPasswd, Qt::Key_Return);  // the default button
        if (shows == 1)
            QTimer::singleShot(0, answer);
    };
    QTimer::singleShot(0, answer);
    login.ActLoginExecute();
    EXPECT_EQ(shows, 2);
    EXPECT_TRUE(host.loggedIn);
    EXPECT_EQ(server.Requests().size(), 3u);  // two logins, one name
}

}  // namespace
}  // namespace tovari
