#include "tests/app/ProgramFixture.h"

#include "app/Helper.h"
#include "shop/DemoAlbum.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTreeWidget>

namespace tovari::test {
namespace {

// Plays the user at the login dialog: each answer types an address and password and closes the
// dialog with OK, or cancels when it is empty.
struct LoginAnswers {
    struct Answer {
        QString email;
        QString password;
    };
    std::deque<std::optional<Answer>> queue;
    int shown = 0;
    QStringList seenEmails;  // what the dialog held when it opened

    TLoginService::ShowLoginDialog Player()
    {
        return [this](TLoginDialog& dialog) {
            ++shown;
            seenEmails.append(dialog.EditEmail->text());
            if (queue.empty() || !queue.front()) {
                if (!queue.empty())
                    queue.pop_front();
                return QDialog::Rejected;
            }
            dialog.EditEmail->setText(queue.front()->email);
            dialog.EditPasswd->setText(queue.front()->password);
            queue.pop_front();
            return QDialog::Accepted;
        };
    }
};

const QString kEmail = QString::fromUtf8(shop::kDemoEmail);
const QString kPassword = QString::fromUtf8(shop::kDemoPassword);

// How captions and commands follow the session is SessionStateTest's; here the session itself counts.
class LoginTest : public ProgramTest {
protected:
    void ExpectLoggedOut()
    {
        EXPECT_FALSE(Form().Session().LoggedIn());
        EXPECT_TRUE(Form().Session().UserName().isEmpty());
        EXPECT_EQ(Form().Tabs().tabText(3), QStringLiteral("アルバム"));
    }
    void ExpectLoggedIn()
    {
        EXPECT_TRUE(Form().Session().LoggedIn());
        EXPECT_EQ(Form().Tabs().tabText(3), QString::fromUtf8(shop::kDemoDisplayName) + QStringLiteral("さんのアルバム"));
    }

    LoginAnswers answers;
};

TEST_F(LoginTest, FirstStartGetsASessionAndStaysLoggedOut)
{
    Start(DemoShopUrl(), answers.Player());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    EXPECT_FALSE(Form().Session().SessionId().isEmpty());
    EXPECT_TRUE(Form().Session().TransferReady());
    EXPECT_EQ(Form().Tabs().currentIndex(), 0);
    EXPECT_EQ(answers.shown, 0);
    ExpectLoggedOut();
}

TEST_F(LoginTest, MemberLogsInThroughTheDialogAfterARefusalAndOutAgain)
{
    Start(DemoShopUrl(), answers.Player());
    answers.queue.push_back(LoginAnswers::Answer{kEmail, QStringLiteral("wrong")});
    answers.queue.push_back(LoginAnswers::Answer{kEmail, kPassword});
    Form().Actions().ActLogin->trigger();
    EXPECT_EQ(answers.shown, 2);
    // The refused attempt left its texts in the dialog.
    EXPECT_EQ(answers.seenEmails, (QStringList{QString(), kEmail}));
    ExpectLoggedIn();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();

    const QString session = Form().Session().SessionId();
    Form().Actions().ActLogout->trigger();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("ログアウトしました。")});
    EXPECT_EQ(Form().Session().SessionId(), session);
    ExpectLoggedOut();
}

TEST_F(LoginTest, CancellingAfterARefusalStaysLoggedOutWithoutAWord)
{
    Start(DemoShopUrl(), answers.Player());
    answers.queue.push_back(LoginAnswers::Answer{kEmail, QStringLiteral("wrong")});
    answers.queue.push_back(std::nullopt);
    Form().Actions().ActLogin->trigger();
    EXPECT_EQ(answers.shown, 2);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ExpectLoggedOut();
}

TEST_F(LoginTest, LoggedInSessionResumesAfterARestartOfProgramAndShop)
{
    QTemporaryDir shopData;
    auto startShop = [&] {
        shop::ShopOptions options;
        options.dataFolder = shopData.path().toStdString();
        auto server = std::make_unique<shop::ShopServer>(options);
        server->StartOnEphemeralPort();
        return server;
    };
    auto shopServer = startShop();
    const QString firstUrl = QStringLiteral("http://127.0.0.1:%1").arg(shopServer->Port());
    Start(firstUrl, answers.Player());
    answers.queue.push_back(LoginAnswers::Answer{kEmail, kPassword});
    Form().Actions().ActLogin->trigger();
    ASSERT_TRUE(Form().Session().LoggedIn());
    Form().close();
    program.reset();
    shopServer.reset();

    shopServer = startShop();
    Start(QStringLiteral("http://127.0.0.1:%1").arg(shopServer->Port()), answers.Player());
    EXPECT_EQ(answers.shown, 1);
    ExpectLoggedIn();
    EXPECT_EQ(Form().Tabs().currentIndex(), 3);
    EXPECT_TRUE(Form().Album().isVisibleTo(&Form()));
    // A member who is back needs no guide, whatever the settings say.
    EXPECT_FALSE(program->Form3.isVisible());
}

}  // namespace
}  // namespace tovari::test
