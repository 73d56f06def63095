#include "tests/upload/UploadFixture.h"

#include "shop/ShopServer.h"
#include "shop/Store.h"

#include <httplib.h>

namespace tovari::test {
namespace {

// The program against a shop of its own, started fresh for each test.
class UploadShopTest : public UploadTest {
protected:
    void StartShop(int orderCap = 3000)
    {
        shop::ShopOptions options;
        options.dataFolder = shopData.path().toStdString();
        options.orderCap = orderCap;
        options.seedDemoAlbum = false;
        shopServer = std::make_unique<shop::ShopServer>(options);
        shopServer->StartOnEphemeralPort();
    }
    void TearDown() override
    {
        // The program's kept-alive connection would hold the shop's stop for its keep-alive time.
        program.reset();
        shopServer.reset();
        UploadTest::TearDown();
    }
    QString ShopUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(shopServer->Port()); }
    std::string OrderPage()
    {
        httplib::Client client("127.0.0.1", shopServer->Port());
        const auto reply = client.Get(Form().OrderPageUrl().mid(ShopUrl().size()).toStdString());
        return reply && reply->status == 200 ? reply->body : std::string("<no page>");
    }

    QTemporaryDir shopData;
    std::unique_ptr<shop::ShopServer> shopServer;
};

bool HasOrderLine(const std::string& page, const std::string& name)
{
    return page.find("<td>" + name + "</td>") != std::string::npos;
}

// The shop's data was reset while the program kept its identifier: the login at the next start
// answers as before but hands out a fresh session, and the photos then reach the order page.
TEST_F(UploadShopTest, StaleSessionRecoversAtStartAndPhotosReachTheOrderPage)
{
    StartShop();
    WriteFile(sandbox.filePath(QStringLiteral("data/tovari/tovari.ini")),
              "[NETWORK]\r\nQmoSessionId=gone-since-the-reset\r\n");
    StartWithPhotos({"sea.jpg", "hill.jpg"}, {}, ShopUrl());
    const QString sessionId = Form().Session().SessionId();
    EXPECT_NE(sessionId, QStringLiteral("gone-since-the-reset"));
    EXPECT_TRUE(shopServer->ShopStore().FindSession(sessionId.toStdString()).has_value());
    EXPECT_TRUE(Form().Session().TransferReady());
    EXPECT_FALSE(Form().Session().LoggedIn());

    RunBatch();

    EXPECT_EQ(dialogs.messages.back(), QStringLiteral("送信完了: ") + kUploadCompleteMessage);
    const std::string page = OrderPage();
    EXPECT_TRUE(HasOrderLine(page, "sea.jpg")) << page;
    EXPECT_TRUE(HasOrderLine(page, "hill.jpg")) << page;
    EXPECT_EQ(program->Form3.CurrentPage, 3);
}

// The shop answers the login for an unknown session as before, with a fresh cookie; a session it
// knows keeps its identifier.
TEST_F(UploadShopTest, LoginNamingAnUnknownSessionSetsAFreshCookie)
{
    StartShop();
    const std::string known = shopServer->ShopStore().CreateSession();
    httplib::Client client("127.0.0.1", shopServer->Port());
    struct Case {
        std::string session;
        std::string query;
        bool freshCookie;
    };
    for (const Case& c : {Case{"unknown-1", "?email=&passwd=", true},
                          Case{"unknown-2", "?email=nobody%40example&passwd=x", true},
                          Case{known, "?email=&passwd=", false}, Case{known, "?email=nobody%40example&passwd=x", false}}) {
        const auto reply = client.Get("/wis/wi_login.php/" + c.session + c.query);
        ASSERT_TRUE(reply) << c.session;
        EXPECT_EQ(reply->body, "NG") << c.session;
        const std::string cookie = reply->get_header_value("Set-Cookie");
        EXPECT_EQ(!cookie.empty(), c.freshCookie) << c.session << " " << c.query;
        if (c.freshCookie) {
            const std::string fresh = cookie.substr(4, cookie.find(';') - 4);
            EXPECT_NE(fresh, c.session);
            EXPECT_TRUE(shopServer->ShopStore().FindSession(fresh).has_value());
        }
    }
}

// The real shop's "OVER" once the order is full: the rest is not sent, and the box says why.
TEST_F(UploadShopTest, FullOrderEndsWithTheReportNamingTheLimit)
{
    StartShop(2);
    StartWithPhotos({"p1.jpg", "p2.jpg", "p3.jpg"}, {}, ShopUrl());
    RunBatch();
    EXPECT_EQ(shopServer->ShopStore().OpenOrderCount(Form().Session().SessionId().toStdString()), 2);
    EXPECT_EQ(dialogs.messages.back(),
              QStringLiteral("送信結果: 3枚中 1枚を送信しました。\nご注文が上限の3,000枚に達したため、2枚は送信できなかった"
                             "可能性があります。\n\n送信されなかった画像:\np2.jpg\np3.jpg"));
}

}  // namespace
}  // namespace tovari::test
