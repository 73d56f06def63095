#include "tests/shop/ShopTestSupport.h"

#include "shop/DemoAlbum.h"
#include "shop/Store.h"

#include <set>

namespace tovari::shop::test {
namespace {

using ShopProtocolTest = ShopTest;

// A session comes as body and cookie; the member's name is CP932 on the wire, for a logged-in session only.
TEST_F(ShopProtocolTest, SessionAndNameReplies)
{
    auto issued = Get("/wis/wi_login.php?mode=cookie_get");
    ASSERT_TRUE(issued);
    EXPECT_EQ(issued->get_header_value("Content-Type"), "text/html; charset=Shift_JIS");
    EXPECT_EQ(issued->get_header_value("Set-Cookie"), "sid=" + issued->body + "; path=/");
    EXPECT_NE(NewSession(), issued->body);
    EXPECT_EQ(Text("/wis/wi_login.php/" + issued->body + "?mode=get_name"), "NG");

    auto name = Get("/wis/wi_login.php/" + LogInDemo() + "?mode=get_name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->body, kDemoNameCp932);
    EXPECT_EQ(name->get_header_value("Content-Type"), "text/html; charset=Shift_JIS");
}

TEST_F(ShopProtocolTest, LoginAnswersExactlyOkOrNg)
{
    const auto sessionId = NewSession();
    for (const auto& [what, query, expected] : {
             std::tuple("nothing logged in yet", "?email=&passwd=", "NG"),
             std::tuple("wrong password", "?email=demo@tovari.example&passwd=demo-pas", "NG"),
             std::tuple("unknown member", "?email=nobody@tovari.example&passwd=demo-pass", "NG"),
             std::tuple("demo member", "?email=demo@tovari.example&passwd=demo-pass", "OK"),
             std::tuple("resume", "?email=&passwd=", "OK"),
             std::tuple("e-mail in other case", "?email=DEMO@Tovari.Example&passwd=demo-pass", "OK"),
             std::tuple("failed attempt logs the session out", "?email=demo@tovari.example&passwd=x", "NG"),
             std::tuple("resume after the failed attempt", "?email=&passwd=", "NG")})
        EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + query), expected) << what;

    // Without a path segment the cookie names the session; the segment wins when both are given.
    const httplib::Headers cookie{{"Cookie", "lang=ja; sid=" + LogInDemo()}};
    EXPECT_EQ(Text("/wis/wi_login.php/?email=&passwd=", cookie), "OK");
    EXPECT_EQ(Text("/wis/wi_login.php/" + NewSession() + "?email=&passwd=", cookie), "NG");

    // Without any session, only a successful login makes one; a session the shop no longer knows (its data
    // was reset) answers as before, with a fresh one; a known session keeps its identifier.
    auto refused = Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=bad");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->body, "NG");
    EXPECT_FALSE(refused->has_header("Set-Cookie"));
    EXPECT_FALSE(Get("/wis/wi_login.php/" + sessionId + "?email=&passwd=")->has_header("Set-Cookie"));
    for (const char* query : {"?email=&passwd=", "?email=nobody%40example&passwd=x"}) {
        auto stale = Get(std::string("/wis/wi_login.php/gone-since-the-reset") + query);
        ASSERT_TRUE(stale);
        const auto fresh = stale->get_header_value("Set-Cookie");
        ASSERT_TRUE(stale->body == "NG" && fresh.starts_with("sid=")) << stale->body << " " << fresh;
        EXPECT_TRUE(Server().ShopStore().FindSession(fresh.substr(4, fresh.find(';') - 4)).has_value());
    }
    auto accepted = Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=demo-pass");
    ASSERT_TRUE(accepted);
    const auto setCookie = accepted->get_header_value("Set-Cookie");
    ASSERT_TRUE(accepted->body == "OK" && setCookie.starts_with("sid=")) << accepted->body << " " << setCookie;
    EXPECT_EQ(Text("/wis/wi_login.php/" + setCookie.substr(4, setCookie.find(';') - 4) + "?mode=get_name"), kDemoNameCp932);
}

TEST_F(ShopProtocolTest, CredentialsArriveAsPercentEncodedCp932)
{
    const std::string hanakoCp932 = "\x89\xD4\x8E\x71";  // 花子
    Server().ShopStore().AddMember("hanako@tovari.example", "&=+%# 花子", "花子");
    const std::string email = "?email=" + PercentEncodeEveryByte("hanako@tovari.example");
    for (const auto& [what, password, expected] :
         {std::tuple("CP932 bytes, every byte encoded", PercentEncodeEveryByte("&=+%# " + hanakoCp932), "OK"),
          std::tuple("the same text sent as UTF-8", PercentEncodeEveryByte("&=+%# 花子"), "NG"),
          std::tuple("a trail byte missing", PercentEncodeEveryByte("&=+%# " + hanakoCp932.substr(0, 3)), "NG"),
          std::tuple("space sent as plus", "%26%3D%2B%25%23+" + PercentEncodeEveryByte(hanakoCp932), "OK")})
        EXPECT_EQ(Text("/wis/wi_login.php/" + NewSession() + email + "&passwd=" + password), expected) << what;
}

// Folders come depth first, each with the position of its parent; a folder made last still follows
// its parent's subtree.
TEST_F(ShopProtocolTest, FolderListIsDepthFirstWithParentPositions)
{
    const auto sessionId = LogInDemo();
    auto& store = Server().ShopStore();
    store.AddFolder(store.FindMember(kDemoEmail, kDemoPassword)->id, FolderIdByName(sessionId, "家族"), "新しいフォルダ");
    std::vector<std::pair<std::string, int>> tree;
    for (const auto& folder : FolderList(sessionId))
        tree.emplace_back(folder.name, folder.number);
    EXPECT_EQ(tree, (std::vector<std::pair<std::string, int>>{{"家族", 0}, {"2007年 夏", 1}, {"海水浴", 2}, {"夕焼け", 3},
                                                             {"誕生日", 1}, {"新しいフォルダ", 1}, {"旅行", 0}, {"京都", 7},
                                                             {"北海道", 7}, {"ペット", 0}}));
}

TEST_F(ShopProtocolTest, PhotoListsThumbnailsAndFullSizePhotos)
{
    const auto sessionId = LogInDemo();
    std::set<std::string> subfolders;
    int pictures = 0;
    for (const auto& line : PhotoList(sessionId, FolderIdByName(sessionId, "家族"))) {
        if (line.number == 2) {
            subfolders.insert(line.name);
            continue;
        }
        ASSERT_EQ(line.number, 1);
        ++pictures;
        const auto id = std::to_string(line.id);
        auto thumbnail = Get("/wis/wi_image.php/" + sessionId + "?mode=small&id=" + id);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->get_header_value("Content-Type"), "image/jpeg");
        EXPECT_EQ(DecodeImage(thumbnail->body).size(), QSize(100, 66)) << line.name;  // 1200 x 800 fitted, cut down
        EXPECT_EQ(DecodeImage(Text("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + id)).size(),
                  QSize(kDemoPhotoWidth, kDemoPhotoHeight)) << line.name;
    }
    EXPECT_EQ(subfolders, (std::set<std::string>{"2007年 夏", "誕生日"}));
    EXPECT_EQ(pictures, 2);
    // A Japanese photo name travels as CP932: 海の家.jpg
    const auto beach = FolderIdByName(sessionId, "海水浴");
    EXPECT_NE(Text("/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(beach)).find("\x8A\x43\x82\xCC\x89\xC6.jpg"),
              std::string::npos);
    for (const auto& line : PhotoList(sessionId, 0))
        EXPECT_EQ(line.number, 2) << line.name << " at the top, which holds folders only";
}

TEST_F(ShopProtocolTest, LogoutEndsAlbumAccessButKeepsTheSession)
{
    const auto sessionId = LogInDemo();
    const auto photoId = std::to_string(PhotoList(sessionId, FolderIdByName(sessionId, "家族")).back().id);
    EXPECT_EQ(Text("/wis/wi_logout.php/" + sessionId), "OK");
    for (const auto& [path, status, body] :
         {std::tuple("/wis/wi_login.php/" + sessionId + "?email=&passwd=", 200, "NG"),
          std::tuple("/wis/wi_login.php/" + sessionId + "?mode=get_name", 200, "NG"),
          std::tuple("/wis/wi_folder.php/" + sessionId + "?mode=list", 200, "NG"),
          std::tuple("/wis/wi_folder.php/" + sessionId + "?mode=img&id=1", 200, "NG"),
          // Thumbnails and full-size photos share their check.
          std::tuple("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + photoId, 403, "not logged in")})
        EXPECT_EQ(Answer(Get(path)), Reply(status, body)) << path;
    EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + "?email=demo@tovari.example&passwd=demo-pass"), "OK");
}

TEST_F(ShopProtocolTest, StateSurvivesRestartFromTheSameDataFolder)
{
    const auto sessionId = LogInDemo();
    ASSERT_TRUE(Upload(sessionId, "C:\\photos\\kept.jpg", MakeJpeg(320, 240)));
    const auto foldersBefore = FolderList(sessionId);
    StopShop();
    EXPECT_FALSE(Get("/wis/wi_login.php?mode=cookie_get")) << "the stopped shop still answers";
    StartShop();
    EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + "?email=&passwd="), "OK");
    const auto foldersAfter = FolderList(sessionId);
    ASSERT_EQ(foldersAfter.size(), foldersBefore.size()) << "the demo album was made twice";
    for (std::size_t i = 0; i < foldersAfter.size(); ++i)
        EXPECT_EQ(foldersAfter[i].id, foldersBefore[i].id);
    EXPECT_NE(OrderPage(sessionId).find("kept.jpg"), std::string::npos);
}

}  // namespace
}  // namespace tovari::shop::test
