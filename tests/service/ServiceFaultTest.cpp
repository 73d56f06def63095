#include "tests/app/ProgramFixture.h"

#include "platform/Application.h"
#include "service/LoginService.h"
#include "service/ServiceClient.h"
#include "shop/DemoAlbum.h"
#include "shop/FaultProxy.h"

#include <QAction>
#include <QLineEdit>
#include <gmock/gmock.h>

namespace tovari::test {
namespace {

using shop::FaultProxy;
using shop::ParseFaultRule;

const QString kEmail = QString::fromUtf8(shop::kDemoEmail);
const QString kPassword = QString::fromUtf8(shop::kDemoPassword);
const QString kTooLarge =
    QStringLiteral("サービスからの応答が大きすぎるため、受け取れませんでした。\n(The reply is larger than 16777216 bytes.)");

// A fault, by its test name and its rule without path and count, and what the window shows for it.
struct FaultCase {
    const char* name;
    const char* kind;
    testing::Matcher<const QStringList&> messages;
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

// A login through the dialog meets the fault: the session already held is kept, the window says what
// it says, and the next attempt logs in. (The same failures at start-up are LoginTest's table.)
TEST_P(ServiceFaultTest, DialogLoginSurvivesAndKeepsTheSession)
{
    const FaultCase& c = GetParam();
    Start(MisbehavingShop(std::string(c.kind) + "@passwd=demo*1"), DemoCredentials());
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    const QString session = Form().Session().SessionId();
    ASSERT_FALSE(session.isEmpty());

    Trigger(Form().Actions().ActLogin);
    EXPECT_EQ(proxy->Misbehaved(), 1);
    EXPECT_THAT(dialogs.messages, c.messages);
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

using testing::ElementsAre;

// A reply that is no HTTP is a failure the service protocol does not name: what happened in Japanese,
// then libcurl's detail.
INSTANTIATE_TEST_SUITE_P(
    Faults, ServiceFaultTest,
    testing::Values(FaultCase{"Drop", "drop", ElementsAre(kConnectionErrorMessage)},
                    FaultCase{"Status500", "500", ElementsAre(kLoginErrorCodeMessage, kLoginNetworkErrorMessage)},
                    FaultCase{"NotHttp", "not-http", ElementsAre(testing::Truly([](const QString& message) {
                                  return message.startsWith(QStringLiteral("サービスとの通信に失敗しました。\n("));
                              }))},
                    FaultCase{"Endless", "endless", ElementsAre(kTooLarge)},
                    FaultCase{"Stall", "stall:1500", testing::IsEmpty()}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// A reply that stalls past the guard ends as a connection failure when the guard runs out, not when
// the service finally answers; the next login works.
TEST_F(ServiceFaultTest, StallPastTheGuardEndsAtTheGuard)
{
    // The guard leaves room for the shop's slow password hash on a busy machine.
    Start(MisbehavingShop("stall:20000@passwd=demo*1"), DemoCredentials(), std::chrono::seconds(4));
    Trigger(Form().Actions().ActLogin);
    EXPECT_EQ(dialogs.messages, QStringList{kConnectionErrorMessage});
    EXPECT_TRUE(Form().Session().LoggedIn()) << "the dialog's second attempt logs in";
    EXPECT_EQ(dialogShown, 2);
}

}  // namespace
}  // namespace tovari::test
