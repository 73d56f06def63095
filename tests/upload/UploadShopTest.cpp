#include "tests/upload/UploadFixture.h"

#include "shop/FaultProxy.h"
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

int OrderLines(const std::string& page, const std::string& name)
{
    return int(QString::fromStdString(page).count(QString::fromStdString("<td>" + name + "</td>")));
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
    EXPECT_EQ(OrderLines(page, "sea.jpg"), 1) << page;
    EXPECT_EQ(OrderLines(page, "hill.jpg"), 1) << page;
    EXPECT_EQ(program->Form3.CurrentPage, 3);
}

// Against the real shop behind a proxy that keeps connections alive, as a real server does: the
// connection of photo 2 closes after its whole body went out and before any reply, and photo 3 fills
// the order. Each photo arrives at most once, "OVER" counts as sent, 4 is never posted, and a later
// post into the full order is refused and offered again.
TEST_F(UploadShopTest, LostReplyAndFullOrderSendEachPhotoAtMostOnce)
{
    StartShop(3);
    shop::FaultRule rule = shop::ParseFaultRule("keep-alive,lost-reply@wi_upload.php^1*1");
    shop::FaultProxy proxy("127.0.0.1", shopServer->Port(), rule);
    proxy.Start();
    StartWithPhotos({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}, {}, QString::fromStdString(proxy.BaseUrl()));
    const std::string sessionId = Form().Session().SessionId().toStdString();
    RunBatch();

    EXPECT_EQ(proxy.Misbehaved(), 1);
    const std::string page = OrderPage();
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"})
        EXPECT_EQ(OrderLines(page, name), 1) << name;
    EXPECT_EQ(OrderLines(page, "p4.jpg"), 0);
    EXPECT_EQ(shopServer->ShopStore().OpenOrderCount(sessionId), 3);
    EXPECT_EQ(dialogs.messages.back(),
              QStringLiteral("送信結果: 4枚中 2枚を送信しました。\nご注文が上限の3,000枚に達したため、1枚は送信していません。"
                             "\n1枚は送信の直後に接続が切れたため、届いたかどうか分かりません。注文ページでご確認ください。"
                             "\n\n送信されなかった画像:\np4.jpg\n\n届いたかどうか分からない画像:\np2.jpg"));

    // The order is full: the shop keeps nothing more and says so with an error.
    dialogs.answers = {Dialogs::Result::Ok, Dialogs::Result::Cancel};
    list->clearSelection();
    list->selectionModel()->select(list->model()->index(3, 0), QItemSelectionModel::Select);
    Form().Actions().ActFileUpLoad->trigger();
    EXPECT_EQ(shopServer->ShopStore().OpenOrderCount(sessionId), 3);
    EXPECT_EQ(dialogs.messages.back(),
              QStringLiteral("送信結果: 1枚中 0枚を送信しました。\n1枚は通信エラー、サービスのエラー、またはファイルが読めないため"
                             "送信できませんでした。\n\n送信されなかった画像:\np4.jpg\n\n中断またはエラーで送信されなかった1枚を、"
                             "もう一度送信しますか？"));
}

}  // namespace
}  // namespace tovari::test
