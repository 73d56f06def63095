#include "tests/shop/ShopTestSupport.h"

#include "shop/Store.h"

namespace tovari::shop::test {
namespace {

constexpr std::size_t kSmallRequestLimit = 64 * 1024;

// Every refusal is a clear answer, and the shop goes on serving.
class ShopBadRequestTest : public ShopTest {
protected:
    ShopBadRequestTest() { options.maxRequestBytes = kSmallRequestLimit; }
    void TearDown() override { EXPECT_EQ(Text("/wis/wi_login.php?mode=cookie_get").size(), 32u) << "the shop went down"; }
};

TEST_F(ShopBadRequestTest, BadQueriesAreAnsweredClearly)
{
    const auto sessionId = LogInDemo();
    const std::string folder = "/wis/wi_folder.php/" + sessionId;
    const std::string image = "/wis/wi_image.php/" + sessionId;
    const std::string unknown(32, 'f');
    for (const auto& [what, path, status, body] : {
             std::tuple("unknown session, text", "/wis/wi_folder.php/" + unknown + "?mode=list", 200, "NG"),
             std::tuple("unknown session, logout", "/wis/wi_logout.php/" + unknown, 200, "NG"),
             std::tuple("unknown session, binary", "/wis/wi_image.php/" + unknown + "?mode=small&id=1", 403, "not logged in"),
             std::tuple("no session at all, binary", std::string("/wis/wi_image.php/?mode=big&id=1"), 403, "not logged in"),
             std::tuple("folder id not a number", folder + "?mode=img&id=abc", 400, "bad folder id"),
             std::tuple("negative folder id", folder + "?mode=img&id=-1", 400, "bad folder id"),
             std::tuple("folder id too long", folder + "?mode=img&id=99999999999999999999999", 400, "bad folder id"),
             std::tuple("folder that does not exist", folder + "?mode=img&id=999999", 404, "no such folder"),
             std::tuple("photo id not a number", image + "?mode=small&id=1x", 400, "bad photo id"),
             std::tuple("photo that does not exist", image + "?mode=big&id=999999", 404, "no such photo"),
             std::tuple("unknown mode", folder + "?mode=delete", 400, "unknown mode"),
             std::tuple("order image with bad id", "/wis/order_image.php?sid=" + sessionId + "&id=", 400, "bad item id"),
             std::tuple("unknown script", "/wis/wi_admin.php/" + sessionId, 404, "not found")})
        EXPECT_EQ(Answer(Get(path)), Reply(status, body)) << what;
}

TEST_F(ShopBadRequestTest, AnotherMembersAlbumIsOutOfReach)
{
    auto& store = Server().ShopStore();
    const auto otherMember = store.AddMember("other@tovari.example", "other-pass", "他人");
    const auto otherFolder = store.AddFolder(otherMember, std::nullopt, "秘密");
    const auto otherPhoto = store.AddPhoto(otherFolder, Photo{0, otherFolder, "secret.jpg", "missing.jpg", "missing.jpg"});
    const auto sessionId = LogInDemo();
    EXPECT_EQ(Answer(Get("/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(otherFolder))),
              Reply(404, "no such folder"));
    EXPECT_EQ(Answer(Get("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + std::to_string(otherPhoto))),
              Reply(404, "no such photo"));
    for (const auto& folder : FolderList(sessionId))
        EXPECT_NE(folder.name, "秘密");
}

TEST_F(ShopBadRequestTest, BadUploadsAreRefused)
{
    const auto sessionId = NewSession();
    const std::string b = "b0undary";
    const auto good = MultipartBody(b, "upload", "C:\\a.jpg", MakeJpeg(16, 16));
    for (const auto& [what, session, body, boundary, status, reply] : {
             std::tuple("unknown session", std::string(32, 'f'), good, b, 403, "unknown session"),
             std::tuple("no session", std::string(), good, b, 403, "no session"),
             std::tuple("not multipart at all", sessionId, std::string("mode=upload"), b, 400, "bad request"),
             std::tuple("body cut short", sessionId, good.substr(0, good.size() / 2), b, 400, "bad request"),
             std::tuple("boundary that never comes", sessionId, good, std::string("other"), 400, "bad request"),
             std::tuple("no file field", sessionId, MultipartBody(b, "upload"), b, 400, "file field file1 missing"),
             std::tuple("empty file", sessionId, MultipartBody(b, "upload", "C:\\empty.jpg", ""), b, 400, "empty file"),
             std::tuple("wrong mode", sessionId, MultipartBody(b, "delete"), b, 400, "unknown mode")})
        EXPECT_EQ(Answer(PostMultipart("/wis/wi_upload.php/" + session, body, boundary)), Reply(status, reply)) << what;
    EXPECT_NE(OrderPage(sessionId).find("まだありません"), std::string::npos) << "a refused upload reached the order";
}

TEST_F(ShopBadRequestTest, OversizeUploadIsRefusedWithTheLimit)
{
    const auto sessionId = NewSession();
    EXPECT_EQ(Answer(Upload(sessionId, "C:\\huge.jpg", std::string(kSmallRequestLimit + 1, 'x'))),
              Reply(413, "request too large: the limit is " + std::to_string(kSmallRequestLimit) + " bytes"));
    // An undecodable photo below the limit is still taken, with a placeholder thumbnail.
    EXPECT_EQ(Upload(sessionId, "C:\\fits.jpg", std::string(kSmallRequestLimit / 2, 'x'))->body, "OK");
    EXPECT_EQ(DecodeImage(Text("/wis/order_image.php?sid=" + sessionId + "&id=1")).size(), QSize(100, 100));
}

}  // namespace
}  // namespace tovari::shop::test
