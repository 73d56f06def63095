#include "tests/shop/ShopTestSupport.h"

#include "shop/Store.h"

namespace tovari::shop::test {
namespace {

constexpr std::size_t kSmallRequestLimit = 64 * 1024;

class ShopBadRequestTest : public ShopTest {
protected:
    void SetUp() override
    {
        ShopTest::SetUp();
        StartShop({.maxRequestBytes = kSmallRequestLimit});
    }

    void ExpectStillServing()
    {
        auto reply = Get("/wis/wi_login.php?mode=cookie_get");
        ASSERT_TRUE(reply) << "the shop went down";
        EXPECT_EQ(reply->status, 200);
    }
};

struct BadRequest {
    const char* what;
    std::string path;
    int status;
    std::string body;
};

TEST_F(ShopBadRequestTest, BadQueriesAreAnsweredClearly)
{
    const auto sessionId = LogInDemo();
    const std::string folder = "/wis/wi_folder.php/" + sessionId;
    const std::string image = "/wis/wi_image.php/" + sessionId;
    const std::vector<BadRequest> cases{
        {"unknown session, text", "/wis/wi_folder.php/0123456789abcdef0123456789abcdef?mode=list", 200, "NG"},
        {"unknown session, name", "/wis/wi_login.php/nosuchsession?mode=get_name", 200, "NG"},
        {"unknown session, logout", "/wis/wi_logout.php/nosuchsession", 200, "NG"},
        {"unknown session, binary", "/wis/wi_image.php/nosuchsession?mode=small&id=1", 403, "not logged in"},
        {"no session at all, binary", "/wis/wi_image.php/?mode=big&id=1", 403, "not logged in"},
        {"folder id not a number", folder + "?mode=img&id=abc", 400, "bad folder id"},
        {"negative folder id", folder + "?mode=img&id=-1", 400, "bad folder id"},
        {"folder id missing", folder + "?mode=img", 400, "bad folder id"},
        {"folder id too long", folder + "?mode=img&id=99999999999999999999999", 400, "bad folder id"},
        {"folder that does not exist", folder + "?mode=img&id=999999", 404, "no such folder"},
        {"photo id not a number", image + "?mode=small&id=1x", 400, "bad photo id"},
        {"photo that does not exist", image + "?mode=big&id=999999", 404, "no such photo"},
        {"unknown mode", folder + "?mode=delete", 400, "unknown mode"},
        {"image without mode", image + "?id=1", 400, "unknown mode"},
        {"order image with bad id", "/wis/order_image.php?sid=" + sessionId + "&id=", 400, "bad item id"},
        {"unknown script", "/wis/wi_admin.php/" + sessionId, 404, "not found"},
    };
    for (const auto& c : cases) {
        auto reply = Get(c.path);
        ASSERT_TRUE(reply) << c.what;
        EXPECT_EQ(reply->status, c.status) << c.what;
        EXPECT_EQ(reply->body, c.body) << c.what;
    }
    ExpectStillServing();
}

TEST_F(ShopBadRequestTest, AnotherMembersAlbumIsOutOfReach)
{
    auto& store = Server().ShopStore();
    const auto otherMember = store.AddMember("other@tovari.example", "other-pass", "他人");
    const auto otherFolder = store.AddFolder(otherMember, std::nullopt, "秘密");
    const auto otherPhoto = store.AddPhoto(otherFolder, Photo{0, otherFolder, "secret.jpg", "missing.jpg", "missing.jpg"});

    const auto sessionId = LogInDemo();
    EXPECT_EQ(Get("/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(otherFolder))->status, 404);
    EXPECT_EQ(Get("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + std::to_string(otherPhoto))->status, 404);
    for (const auto& folder : FolderList(sessionId))
        EXPECT_NE(folder.name, "秘密");
}

TEST_F(ShopBadRequestTest, BadUploadsAreRefused)
{
    const auto sessionId = NewSession();
    const std::string boundary = "b0undary";
    const auto goodBody = MultipartUploadBody(boundary, "C:\\a.jpg", MakeJpeg(16, 16));
    struct Case {
        const char* what;
        std::string sessionId;
        std::string body;
        std::string boundary;
        int status;
        std::string reply;
    };
    const std::vector<Case> cases{
        {"unknown session", "0123456789abcdef0123456789abcdef", goodBody, boundary, 403, "unknown session"},
        {"no session", "", goodBody, boundary, 403, "no session"},
        {"not multipart at all", sessionId, "mode=upload", boundary, 400, "bad request"},
        {"body cut short", sessionId, goodBody.substr(0, goodBody.size() / 2), boundary, 400, "bad request"},
        {"boundary that never comes", sessionId, goodBody, "other", 400, "bad request"},
        {"no file field",
         sessionId,
         "--" + boundary + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nupload\r\n--" + boundary + "--\r\n",
         boundary, 400, "file field file1 missing"},
        {"empty file", sessionId, MultipartUploadBody(boundary, "C:\\empty.jpg", ""), boundary, 400, "empty file"},
        {"wrong mode",
         sessionId,
         "--" + boundary + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\ndelete\r\n--" + boundary + "--\r\n",
         boundary, 400, "unknown mode"},
    };
    for (const auto& c : cases) {
        auto reply = PostMultipart("/wis/wi_upload.php/" + c.sessionId, c.body, c.boundary);
        ASSERT_TRUE(reply) << c.what;
        EXPECT_EQ(reply->status, c.status) << c.what;
        EXPECT_EQ(reply->body, c.reply) << c.what;
    }
    EXPECT_NE(Text("/wis/order.php?mode=select&sid=" + sessionId).find("まだありません"), std::string::npos)
        << "a refused upload reached the order";
    ExpectStillServing();
}

TEST_F(ShopBadRequestTest, OversizeUploadIsRefusedWithTheLimit)
{
    const auto sessionId = NewSession();
    auto tooLarge = Upload(sessionId, "C:\\huge.jpg", std::string(kSmallRequestLimit + 1, 'x'));
    ASSERT_TRUE(tooLarge);
    EXPECT_EQ(tooLarge->status, 413);
    EXPECT_EQ(tooLarge->body, "request too large: the limit is " + std::to_string(kSmallRequestLimit) + " bytes");

    auto fitting = Upload(sessionId, "C:\\fits.jpg", std::string(kSmallRequestLimit / 2, 'x'));
    ASSERT_TRUE(fitting);
    EXPECT_EQ(fitting->body, "OK") << "an undecodable photo below the limit is still taken";
    EXPECT_EQ(DecodeImage(Text("/wis/order_image.php?sid=" + sessionId + "&id=1")).size(), QSize(100, 100))
        << "the placeholder thumbnail";
    ExpectStillServing();
}

TEST_F(ShopBadRequestTest, BusyPortIsReportedAndTheRunningShopGoesOn)
{
    QTemporaryDir otherData;
    ASSERT_TRUE(otherData.isValid());
    ShopOptions options;
    options.dataFolder = otherData.path().toStdString();
    options.port = port_;
    options.seedDemoAlbum = false;
    ShopServer second(options);
    EXPECT_THROW(second.Start(), EShopStart);
    ExpectStillServing();
}

}  // namespace
}  // namespace tovari::shop::test
