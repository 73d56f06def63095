#include "tests/app/ProgramFixture.h"

#include "platform/Application.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "shop/DemoAlbum.h"
#include "shop/FaultProxy.h"

#include <QAction>
#include <QLineEdit>

namespace tovari::test {
namespace {

using shop::FaultProxy;
using shop::ParseFaultRule;

const QString kEmail = QString::fromUtf8(shop::kDemoEmail);
const QString kPassword = QString::fromUtf8(shop::kDemoPassword);
const QString kTooLarge =
    QStringLiteral("サービスからの応答が大きすぎるため、受け取れませんでした。\n(The reply is larger than 16777216 bytes.)");

// What the window shows for one fault: exactly these messages, or (any) one message when the
// failure is not one the service protocol names.
struct Expected {
    QStringList messages;
    bool oneOtherMessage = false;
};

void ExpectMessages(const QStringList& shown, const Expected& expected)
{
    if (expected.oneOtherMessage) {
        ASSERT_EQ(shown.size(), 1) << shown.join('|').toStdString();
        EXPECT_FALSE(shown[0].isEmpty());
        return;
    }
    EXPECT_EQ(shown, expected.messages) << shown.join('|').toStdString();
}

struct FaultCase {
    const char* kind;  // rule without its path and count
    Expected atStartUp;
    Expected atDialog;
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.kind;
}

class ServiceFaultTest : public ProgramTest, public testing::WithParamInterface<FaultCase> {
protected:
    // A shop behind a proxy whose rule picks the first request whose target holds pathPart.
    QString MisbehavingShop(const std::string& rule)
    {
        proxy = std::make_unique<FaultProxy>("127.0.0.1", QUrl(DemoShopUrl()).port(), ParseFaultRule(rule));
        proxy->Start();
        return QString::fromStdString(proxy->BaseUrl());
    }

    // As the application object does for a handler that throws: its message is shown.
    void Trigger(QAction* action)
    {
        try {
            action->trigger();
        } catch (const std::exception& e) {
            ReportHandlerError(dialogs, e);
        }
    }

    // Plays the user at the login dialog with the demo credentials, as often as it is shown.
    TLoginService::ShowLoginDialog DemoCredentials()
    {
        return [this](TLoginDialog& dialog) {
            ++dialogShown;
            if (dialogShown > 3)
                return QDialog::Rejected;
            dialog.EditEmail->setText(kEmail);
            dialog.EditPasswd->setText(kPassword);
            return QDialog::Accepted;
        };
    }

    std::unique_ptr<FaultProxy> proxy;
    int dialogShown = 0;
};

// The first login request of the start-up misbehaves: the window says what it says for that failure,
// starts logged out, and the next request (the login dialog, on a fresh connection) logs in.
TEST_P(ServiceFaultTest, StartUpLoginSurvivesAndTheNextLoginWorks)
{
    const FaultCase& c = GetParam();
    Start(MisbehavingShop(std::string(c.kind) + "@wi_login.php*1"), DemoCredentials());
    EXPECT_EQ(proxy->Misbehaved(), 1);
    ExpectMessages(dialogs.messages, c.atStartUp);
    EXPECT_FALSE(Form().Session().LoggedIn());
    dialogs.messages.clear();

    Trigger(Form().Actions().ActLogin);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    EXPECT_EQ(dialogShown, 1);
    EXPECT_TRUE(Form().Session().LoggedIn());
    EXPECT_FALSE(Form().Session().SessionId().isEmpty());
    EXPECT_TRUE(Form().Session().TransferReady());
}

// A login through the dialog meets the fault: the session already held is kept, the window says what
// it says, and the next attempt logs in.
TEST_P(ServiceFaultTest, DialogLoginSurvivesAndKeepsTheSession)
{
    const FaultCase& c = GetParam();
    Start(MisbehavingShop(std::string(c.kind) + "@passwd=demo*1"), DemoCredentials());
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    const QString session = Form().Session().SessionId();
    ASSERT_FALSE(session.isEmpty());

    Trigger(Form().Actions().ActLogin);
    EXPECT_EQ(proxy->Misbehaved(), 1);
    ExpectMessages(dialogs.messages, c.atDialog);
    EXPECT_EQ(Form().Session().SessionId(), session);
    if (!Form().Session().LoggedIn()) {
        // The failure ended the handler, as a handler's error does; the user tries again.
        dialogs.messages.clear();
        Trigger(Form().Actions().ActLogin);
        EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    }
    EXPECT_TRUE(Form().Session().LoggedIn());
    EXPECT_EQ(Form().Session().SessionId(), session);
}

const Expected kLoginFailed{{kLoginErrorCodeMessage, kLoginNetworkErrorMessage}};
const Expected kConnectionFailed{{kConnectionErrorMessage}};
const Expected kNothing{};
const Expected kOneOther{{}, true};

INSTANTIATE_TEST_SUITE_P(
    Faults, ServiceFaultTest,
    testing::Values(FaultCase{"drop", kConnectionFailed, kConnectionFailed},
                    FaultCase{"500", kLoginFailed, kLoginFailed},
                    FaultCase{"not-http", kOneOther, kOneOther},
                    FaultCase{"endless", Expected{{kTooLarge}}, Expected{{kTooLarge}}},
                    FaultCase{"stall:1500", kNothing, kNothing}),
    [](const testing::TestParamInfo<FaultCase>& info) {
        std::string name;
        for (const char* p = info.param.kind; *p && *p != ':'; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name == "500" ? std::string("Status500") : name;
    });

// A reply that stalls past the guard ends as a connection failure when the guard runs out, not when
// the service finally answers; the next login works.
TEST_F(ServiceFaultTest, StallPastTheGuardEndsAtTheGuard)
{
    Start(MisbehavingShop("stall:20000@passwd=demo*1"), DemoCredentials());
    // The guard leaves room for the shop's slow password hash on a busy machine.
    Form().Http().SetTimeouts(std::chrono::seconds(5), std::chrono::seconds(4));
    Trigger(Form().Actions().ActLogin);
    EXPECT_EQ(dialogs.messages, QStringList{kConnectionErrorMessage});
    EXPECT_TRUE(Form().Session().LoggedIn()) << "the dialog's second attempt logs in";
    EXPECT_EQ(dialogShown, 2);
}

}  // namespace
}  // namespace tovari::test
