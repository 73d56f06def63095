#include "tests/shop/ShopTestSupport.h"

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

class ShopUploadOrderTest : public ShopTest {};

TEST_F(ShopUploadOrderTest, UploadKeepsOnlyTheBaseNameOfTheClientPath)
{
    StartShop();
    struct Case {
        const char* what;
        std::string cp932Path;
        std::string expectedName;
    };
    const std::vector<Case> cases{
        // 写真\表紙.jpg: the trail byte of 表 is 0x5C, the same as '\'.
        {"Windows path with Japanese folders", "C:\\\x8E\xCA\x90\x5E\\\x95\x5C\x8E\x86.jpg", "表紙.jpg"},
        {"slash separators", "/home/user/pictures/cat.jpg", "cat.jpg"},
        {"bare file name", "dog.jpg", "dog.jpg"},
    };
    for (const auto& c : cases) {
        const auto sessionId = NewSession();
        auto reply = Upload(sessionId, c.cp932Path, MakeJpeg(64, 48));
        ASSERT_TRUE(reply) << c.what;
        EXPECT_EQ(reply->body, "OK") << c.what;
        const auto page = Text("/wis/order.php?mode=select&sid=" + sessionId);
        EXPECT_NE(page.find("<td>" + c.expectedName + "</td>"), std::string::npos) << c.what << "\n" << page;
    }
}

TEST_F(ShopUploadOrderTest, LoggedInUploadAlsoLandsInTheAlbum)
{
    StartShop();
    const auto sessionId = LogInDemo();
    const auto photo = MakeJpeg(640, 480);
    auto reply = Upload(sessionId, "D:\\trip\\bridge.jpg", photo);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "OK");

    const auto folders = FolderList(sessionId);
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back().name, "アップロード");
    EXPECT_EQ(folders.back().parentIndex, 0);
    const auto photos = PhotoList(sessionId, folders.back().id);
    ASSERT_EQ(photos.size(), 1u);
    EXPECT_EQ(photos[0].name, "bridge.jpg");

    const auto id = std::to_string(photos[0].id);
    EXPECT_EQ(Text("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + id), photo);
    EXPECT_EQ(DecodeImage(Text("/wis/wi_image.php/" + sessionId + "?mode=small&id=" + id)).size(), QSize(100, 75));

    // A second upload goes into the same folder.
    ASSERT_TRUE(Upload(sessionId, "D:\\trip\\river.jpg", photo));
    EXPECT_EQ(FolderList(sessionId).size(), folders.size());
    EXPECT_EQ(PhotoList(sessionId, folders.back().id).size(), 2u);
}

TEST_F(ShopUploadOrderTest, OrderCapAnswersOverAndKeepsTheFillingPhoto)
{
    StartShop({.orderCap = 3});
    const auto sessionId = NewSession();
    std::vector<std::string> answers;
    for (int i = 0; i < 5; ++i) {
        auto reply = Upload(sessionId, "photo" + std::to_string(i) + ".jpg", MakeJpeg(32, 32));
        ASSERT_TRUE(reply);
        answers.push_back(reply->body);
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"OK", "OK", "OVER", "OVER", "OVER"}));
    const auto page = Text("/wis/order.php?mode=select&sid=" + sessionId);
    EXPECT_EQ(OrderItemIds(page).size(), 3u);
    EXPECT_NE(page.find("photo2.jpg"), std::string::npos);
    EXPECT_EQ(page.find("photo3.jpg"), std::string::npos);

    // The cap is per session.
    auto other = Upload(NewSession(), "other.jpg", MakeJpeg(32, 32));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->body, "OK");
}

TEST_F(ShopUploadOrderTest, OrderPageShowsUploadsAndPlacesTheOrder)
{
    StartShop({.orderCap = 3});
    const auto sessionId = NewSession();
    for (const char* name : {"first.jpg", "second.jpg", "third.jpg"})
        ASSERT_TRUE(Upload(sessionId, name, MakeJpeg(200, 100)));

    const auto page = Text("/wis/order.php?mode=select&sid=" + sessionId);
    const auto ids = OrderItemIds(page);
    ASSERT_EQ(ids.size(), 3u);
    for (const char* size : {"L判", "2L判", "ハガキ"})
        EXPECT_NE(page.find(size), std::string::npos) << size;
    const auto thumbnail = DecodeImage(Text("/wis/order_image.php?sid=" + sessionId + "&id=" + ids[0]));
    EXPECT_EQ(thumbnail.size(), QSize(100, 50));
    EXPECT_EQ(Get("/wis/order_image.php?sid=" + NewSession() + "&id=" + ids[0])->status, 404) << "another session's photo";

    httplib::Params form{{"mode", "confirm"},
                         {"sid", sessionId},
                         {"qty_" + ids[0], "2"},
                         {"size_" + ids[0], "2L"},
                         {"qty_" + ids[1], "0"},
                         {"size_" + ids[1], "L"}};
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

    // Ordered and dropped photos leave the open order; the one the form did not mention stays,
    // and the freed room takes new uploads.
    const auto after = Text("/wis/order.php?mode=select&sid=" + sessionId);
    EXPECT_EQ(OrderItemIds(after), std::vector<std::string>{ids[2]});
    EXPECT_EQ(Upload(sessionId, "fourth.jpg", MakeJpeg(8, 8))->body, "OK");

    struct Refused {
        const char* what;
        httplib::Params form;
        int status;
    };
    const std::vector<Refused> refusals{
        {"quantity out of range", {{"mode", "confirm"}, {"sid", sessionId}, {"qty_" + ids[2], "100"}, {"size_" + ids[2], "L"}}, 400},
        {"unknown size", {{"mode", "confirm"}, {"sid", sessionId}, {"qty_" + ids[2], "1"}, {"size_" + ids[2], "A4"}}, 400},
        {"unknown session", {{"mode", "confirm"}, {"sid", "feedbeef"}, {"qty_" + ids[2], "1"}, {"size_" + ids[2], "L"}}, 404},
        {"unknown mode", {{"mode", "pay"}, {"sid", sessionId}}, 400},
    };
    for (const auto& refusal : refusals) {
        auto reply = client.Post("/wis/order.php", refusal.form);
        ASSERT_TRUE(reply) << refusal.what;
        EXPECT_EQ(reply->status, refusal.status) << refusal.what;
    }
    auto multipart = PostMultipart("/wis/order.php", "--b\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nconfirm\r\n--b--\r\n", "b");
    ASSERT_TRUE(multipart);
    EXPECT_EQ(multipart->status, 400) << multipart->body;
    EXPECT_EQ(OrderItemIds(Text("/wis/order.php?mode=select&sid=" + sessionId)).size(), 2u) << "a refused form changed the order";
}

TEST_F(ShopUploadOrderTest, BrowserPagesAnswerInJapanese)
{
    StartShop();
    struct Case {
        std::string path;
        int status;
        std::string mustContain;
    };
    const std::vector<Case> cases{
        {"/order_help.php", 200, "id=\"0003\""},
        {"/order_help.php", 200, "注文"},
        {"/download.php", 200, "最新版"},
        {"/wis/order.php?mode=select&sid=" + NewSession(), 200, "まだありません"},
        {"/wis/order.php?mode=select&sid=0123", 404, "セッションが見つかりません"},
    };
    for (const auto& c : cases) {
        auto reply = Get(c.path);
        ASSERT_TRUE(reply) << c.path;
        EXPECT_EQ(reply->status, c.status) << c.path;
        EXPECT_EQ(reply->get_header_value("Content-Type"), "text/html; charset=UTF-8") << c.path;
        EXPECT_NE(reply->body.find(c.mustContain), std::string::npos) << c.path;
    }
}

}  // namespace
}  // namespace tovari::shop::test
