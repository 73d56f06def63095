#include "tests/shop/ShopTestSupport.h"

#include <algorithm>
#include <regex>

namespace tovari::shop::test {
namespace {

std::vector<std::string> OrderItemIds(const std::string& page)
{
    static const std::regex quantityField(R"re(name="qty_(\d+)")re");
    std::vector<std::string> ids;
    for (std::sregex_iterator it(page.begin(), page.end(), quantityField), end; it != end; ++it)
        ids.push_back((*it)[1]);
    return ids;
}

class ShopUploadOrderTest : public ShopTest {
protected:
    ShopUploadOrderTest() { options.orderCap = 3; }
};

TEST_F(ShopUploadOrderTest, UploadKeepsOnlyTheBaseNameOfTheClientPath)
{
    for (const auto& [what, cp932Path, expectedName] : {
             // 写真\表紙.jpg: the trail byte of 表 is 0x5C, the same as '\'.
             std::tuple("Windows path with Japanese folders", "C:\\\x8E\xCA\x90\x5E\\\x95\x5C\x8E\x86.jpg", "表紙.jpg"),
             std::tuple("slash separators", "/home/user/pictures/cat.jpg", "cat.jpg"),
             std::tuple("bare file name", "dog.jpg", "dog.jpg"),
             // The stored name becomes a file name on the client: never a path part, always its extension.
             std::tuple("not CP932, extension kept", "C:\\\x82\xFF\x82\\photo.JPG", "upload.JPG"),
             std::tuple("not CP932, odd extension dropped", "C:\\\x82\xFF.j/pg", "upload"),
             std::tuple("parent folder as the last part", "C:\\photos\\..", "upload"),
             std::tuple("current folder as the last part", "/home/user/.", "upload"),
             std::tuple("trailing separator", "C:\\photos\\", "upload"),
             std::tuple("control characters dropped", "C:\\a\x01" "b\x7F.jpg", "ab.jpg")}) {
        const auto sessionId = NewSession();
        EXPECT_EQ(Upload(sessionId, cp932Path, MakeJpeg(64, 48))->body, "OK") << what;
        EXPECT_NE(OrderPage(sessionId).find(std::string("<td>") + expectedName + "</td>"), std::string::npos) << what;
    }
}

// A logged-in member's uploads also land, unchanged, in one upload folder at the top of the album. A
// phone photo stored turned (EXIF orientation 6) gets an upright thumbnail.
TEST_F(ShopUploadOrderTest, LoggedInUploadAlsoLandsInTheAlbum)
{
    const auto sessionId = LogInDemo();
    const auto photo = MakeJpeg(640, 480);
    const auto turned = MakeJpeg(480, 640).insert(2, std::string("\xFF\xE1\0\x22" "Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 36));
    EXPECT_EQ(Upload(sessionId, "D:\\trip\\bridge.jpg", photo)->body, "OK");
    EXPECT_EQ(Upload(sessionId, "D:\\trip\\river.jpg", turned)->body, "OK");
    const auto folders = FolderList(sessionId);
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back().name, "アップロード");
    EXPECT_EQ(folders.back().number, 0);
    EXPECT_EQ(std::count_if(folders.begin(), folders.end(), [](const ListLine& f) { return f.name == "アップロード"; }), 1);
    const auto photos = PhotoList(sessionId, folders.back().id);
    ASSERT_EQ(photos.size(), 2u);
    EXPECT_EQ(photos[0].name, "bridge.jpg");
    for (const auto& [line, bytes] : {std::pair(photos[0], photo), std::pair(photos[1], turned)}) {
        const auto id = std::to_string(line.id);
        EXPECT_EQ(Text("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + id), bytes);
        EXPECT_EQ(DecodeImage(Text("/wis/wi_image.php/" + sessionId + "?mode=small&id=" + id)).size(), QSize(100, 75));
    }
}

// The upload that fills a session's order is kept and answered OVER; later ones are refused with an
// error, so that OVER always means kept.
TEST_F(ShopUploadOrderTest, OrderCapAnswersOverAndKeepsTheFillingPhoto)
{
    const auto sessionId = NewSession();
    std::vector<std::string> answers;
    for (int i = 0; i < 5; ++i) {
        const auto reply = Upload(sessionId, "photo" + std::to_string(i) + ".jpg", MakeJpeg(32, 32));
        answers.push_back(std::to_string(reply->status) + " " + reply->body);
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"200 OK", "200 OK", "200 OVER", "409 order full", "409 order full"}));
    const auto page = OrderPage(sessionId);
    EXPECT_EQ(OrderItemIds(page).size(), 3u);
    EXPECT_NE(page.find("photo2.jpg"), std::string::npos);
    EXPECT_EQ(page.find("photo3.jpg"), std::string::npos);
    EXPECT_EQ(Upload(NewSession(), "other.jpg", MakeJpeg(32, 32))->body, "OK") << "the cap is per session";
}

TEST_F(ShopUploadOrderTest, OrderPageShowsUploadsAndPlacesTheOrder)
{
    const auto sessionId = NewSession();
    for (const char* name : {"first.jpg", "second.jpg", "third.jpg"})
        ASSERT_TRUE(Upload(sessionId, name, MakeJpeg(200, 100)));
    const auto ids = OrderItemIds(OrderPage(sessionId));
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(DecodeImage(Text("/wis/order_image.php?sid=" + sessionId + "&id=" + ids[0])).size(), QSize(100, 50));
    EXPECT_EQ(Get("/wis/order_image.php?sid=" + NewSession() + "&id=" + ids[0])->status, 404) << "another session's photo";

    httplib::Params form{{"mode", "confirm"}, {"sid", sessionId}, {"qty_" + ids[0], "2"},
                         {"size_" + ids[0], "2L"}, {"qty_" + ids[1], "0"}, {"size_" + ids[1], "L"}};
    // A full order's form is far larger than small forms are allowed to be.
    for (int i = 0; i < 2000; ++i)
        form.emplace("note_" + std::to_string(i), "padding");
    httplib::Client client("127.0.0.1", port_);
    auto placed = client.Post("/wis/order.php", form);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->status, 200);
    EXPECT_NE(placed->body.find("first.jpg"), std::string::npos);
    EXPECT_EQ(placed->body.find("second.jpg"), std::string::npos);
    EXPECT_NE(placed->body.find("<strong id=\"total\">160円</strong>"), std::string::npos) << placed->body;

    // Ordered and dropped photos leave the open order; the one the form did not mention stays, and
    // the freed room takes new uploads.
    EXPECT_EQ(OrderItemIds(OrderPage(sessionId)), std::vector<std::string>{ids[2]});
    EXPECT_EQ(Upload(sessionId, "fourth.jpg", MakeJpeg(8, 8))->body, "OK");
    for (const auto& [what, sid, quantity, size, status] :
         {std::tuple("quantity out of range", sessionId, "100", "L", 400), std::tuple("unknown size", sessionId, "1", "A4", 400),
          std::tuple("unknown session", std::string("feedbeef"), "1", "L", 404)}) {
        const httplib::Params refused{{"mode", "confirm"}, {"sid", sid}, {"qty_" + ids[2], quantity}, {"size_" + ids[2], size}};
        EXPECT_EQ(client.Post("/wis/order.php", refused)->status, status) << what;
    }
    EXPECT_EQ(client.Post("/wis/order.php", httplib::Params{{"mode", "pay"}, {"sid", sessionId}})->status, 400) << "unknown mode";
    EXPECT_EQ(PostMultipart("/wis/order.php", MultipartBody("b", "confirm"), "b")->status, 400);
    EXPECT_EQ(OrderItemIds(OrderPage(sessionId)).size(), 2u) << "a refused form changed the order";
}

TEST_F(ShopUploadOrderTest, BrowserPagesAnswerInJapanese)
{
    for (const auto& [path, status, mustContain] :
         {std::tuple(std::string("/order_help.php"), 200, "id=\"0003\""), std::tuple(std::string("/download.php"), 200, "最新版"),
          std::tuple("/wis/order.php?mode=select&sid=" + NewSession(), 200, "まだありません"),
          std::tuple(std::string("/wis/order.php?mode=select&sid=0123"), 404, "セッションが見つかりません")}) {
        auto reply = Get(path);
        ASSERT_TRUE(reply) << path;
        EXPECT_EQ(reply->status, status) << path;
        EXPECT_EQ(reply->get_header_value("Content-Type"), "text/html; charset=UTF-8") << path;
        EXPECT_NE(reply->body.find(mustContain), std::string::npos) << path;
    }
}

}  // namespace
}  // namespace tovari::shop::test
