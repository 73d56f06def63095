#include "tests/shop/ShopTestSupport.h"

#include "shop/DemoAlbum.h"
#include "shop/Store.h"

#include <map>
#include <set>

namespace tovari::shop::test {
namespace {

class ShopProtocolTest : public ShopTest {
protected:
    void SetUp() override
    {
        ShopTest::SetUp();
        StartShop();
    }
};

TEST_F(ShopProtocolTest, IssuedSessionComesAsBodyAndCookie)
{
    auto reply = Get("/wis/wi_login.php?mode=cookie_get");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->get_header_value("Content-Type"), "text/html; charset=Shift_JIS");
    EXPECT_EQ(reply->body.find_first_not_of("0123456789abcdef"), std::string::npos) << reply->body;
    EXPECT_EQ(reply->get_header_value("Set-Cookie"), "sid=" + reply->body + "; path=/");
    EXPECT_NE(NewSession(), reply->body);
}

TEST_F(ShopProtocolTest, LoginAnswersExactlyOkOrNg)
{
    struct Case {
        const char* what;
        std::string query;
        const char* expected;
    };
    const std::vector<Case> cases{
        {"nothing logged in yet", "?email=&passwd=", "NG"},
        {"wrong password", "?email=demo@tovari.example&passwd=demo-pas", "NG"},
        {"unknown member", "?email=nobody@tovari.example&passwd=demo-pass", "NG"},
        {"password only", "?email=&passwd=demo-pass", "NG"},
        {"demo member", "?email=demo@tovari.example&passwd=demo-pass", "OK"},
        {"resume", "?email=&passwd=", "OK"},
        {"e-mail in other case", "?email=DEMO@Tovari.Example&passwd=demo-pass", "OK"},
        {"failed attempt logs the session out", "?email=demo@tovari.example&passwd=x", "NG"},
        {"resume after the failed attempt", "?email=&passwd=", "NG"},
    };
    const auto sessionId = NewSession();
    for (const auto& c : cases)
        EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + c.query), c.expected) << c.what;
}

TEST_F(ShopProtocolTest, SessionIsTakenFromCookieWhenPathSegmentIsEmpty)
{
    const auto sessionId = LogInDemo();
    const httplib::Headers cookie{{"Cookie", "lang=ja; sid=" + sessionId}};
    EXPECT_EQ(Text("/wis/wi_login.php/?email=&passwd=", cookie), "OK");
    EXPECT_EQ(Text("/wis/wi_login.php/?mode=get_name", cookie), kDemoNameCp932);
    // The segment names the session when both are given.
    EXPECT_EQ(Text("/wis/wi_login.php/" + NewSession() + "?email=&passwd=", cookie), "NG");
}

TEST_F(ShopProtocolTest, LoginWithoutSessionMakesOneOnlyOnSuccess)
{
    auto refused = Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=bad");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->body, "NG");
    EXPECT_FALSE(refused->has_header("Set-Cookie"));

    auto accepted = Get("/wis/wi_login.php/?email=demo@tovari.example&passwd=demo-pass");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->body, "OK");
    const auto cookie = accepted->get_header_value("Set-Cookie");
    ASSERT_TRUE(cookie.starts_with("sid=")) << cookie;
    const auto sessionId = cookie.substr(4, cookie.find(';') - 4);
    EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + "?mode=get_name"), kDemoNameCp932);
}

TEST_F(ShopProtocolTest, CredentialsArriveAsPercentEncodedCp932)
{
    const std::string hanakoCp932 = "\x89\xD4\x8E\x71";  // 花子
    Server().ShopStore().AddMember("hanako@tovari.example", "&=+%# 花子", "花子");
    const std::string email = "?email=" + PercentEncodeEveryByte("hanako@tovari.example");
    struct Case {
        const char* what;
        std::string password;
        const char* expected;
    };
    const std::vector<Case> cases{
        {"CP932 bytes, every byte encoded", PercentEncodeEveryByte("&=+%# " + hanakoCp932), "OK"},
        {"the same text sent as UTF-8", PercentEncodeEveryByte("&=+%# 花子"), "NG"},
        {"a trail byte missing", PercentEncodeEveryByte("&=+%# " + hanakoCp932.substr(0, 3)), "NG"},
        {"space sent as plus", "%26%3D%2B%25%23+" + PercentEncodeEveryByte(hanakoCp932), "OK"},
    };
    for (const auto& c : cases) {
        const auto sessionId = NewSession();
        EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + email + "&passwd=" + c.password), c.expected) << c.what;
    }
}

TEST_F(ShopProtocolTest, MemberNameIsCp932OnTheWire)
{
    const auto sessionId = NewSession();
    EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + "?mode=get_name"), "NG");
    const auto loggedIn = LogInDemo();
    auto reply = Get("/wis/wi_login.php/" + loggedIn + "?mode=get_name");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, kDemoNameCp932);
    EXPECT_EQ(reply->get_header_value("Content-Type"), "text/html; charset=Shift_JIS");
}

TEST_F(ShopProtocolTest, FolderListIsDepthFirstWithParentPositions)
{
    const auto sessionId = LogInDemo();
    // Made last, listed inside an early subtree: creation order alone is not depth-first order.
    auto& store = Server().ShopStore();
    const auto member = store.FindMember(kDemoEmail, kDemoPassword);
    ASSERT_TRUE(member);
    store.AddFolder(member->id, FolderIdByName(sessionId, "家族"), "新しいフォルダ");

    const auto body = Text("/wis/wi_folder.php/" + sessionId + "?mode=list");
    ASSERT_TRUE(body.ends_with("\r\n"));
    EXPECT_NE(ReplyLines(body).at(0), "NG");

    const auto folders = FolderList(sessionId);
    ASSERT_GE(folders.size(), 4u);
    // Position 0 is the client's own root; line k is position k.
    std::vector<int> parentOf{0};
    std::vector<std::string> nameAt{""};
    for (const auto& folder : folders) {
        const int position = int(parentOf.size());
        ASSERT_GE(folder.parentIndex, 0);
        ASSERT_LT(folder.parentIndex, position) << folder.name << " comes before its parent";
        // Pre-order: everything between the parent and this folder lies inside the parent.
        for (int between = folder.parentIndex + 1; between < position; ++between) {
            int ancestor = between;
            while (ancestor != 0 && ancestor != folder.parentIndex)
                ancestor = parentOf[ancestor];
            EXPECT_EQ(ancestor, folder.parentIndex) << folder.name << " does not follow its parent's subtree";
        }
        parentOf.push_back(folder.parentIndex);
        nameAt.push_back(folder.name);
    }

    std::map<std::string, std::string> parentName;
    for (std::size_t k = 1; k < nameAt.size(); ++k)
        parentName[nameAt[k]] = nameAt[parentOf[k]];
    EXPECT_EQ(parentName["海水浴"], "2007年 夏");
    EXPECT_EQ(parentName["2007年 夏"], "家族");
    EXPECT_EQ(parentName["家族"], "");
    EXPECT_EQ(parentName["京都"], "旅行");
    EXPECT_EQ(parentName["新しいフォルダ"], "家族");
}

TEST_F(ShopProtocolTest, PhotoListsThumbnailsAndFullSizePhotos)
{
    const auto sessionId = LogInDemo();
    const auto family = FolderIdByName(sessionId, "家族");
    const auto photos = PhotoList(sessionId, family);

    std::set<std::string> subfolders;
    std::vector<PhotoLine> pictures;
    for (const auto& line : photos) {
        if (line.kind == 2)
            subfolders.insert(line.name);
        else
            pictures.push_back(line);
    }
    EXPECT_EQ(subfolders, (std::set<std::string>{"2007年 夏", "誕生日"}));
    ASSERT_FALSE(pictures.empty());

    for (const auto& photo : pictures) {
        ASSERT_EQ(photo.kind, 1);
        const auto id = std::to_string(photo.id);
        auto thumbnail = Get("/wis/wi_image.php/" + sessionId + "?mode=small&id=" + id);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->get_header_value("Content-Type"), "image/jpeg");
        const auto small = DecodeImage(thumbnail->body);
        ASSERT_FALSE(small.isNull()) << photo.name;
        EXPECT_LE(small.width(), 100);
        EXPECT_LE(small.height(), 100);
        EXPECT_TRUE(small.width() == 100 || small.height() == 100) << "thumbnail not fitted to the cell";

        const auto big = DecodeImage(Text("/wis/wi_image.php/" + sessionId + "?mode=big&id=" + id));
        EXPECT_EQ(big.size(), QSize(kDemoPhotoWidth, kDemoPhotoHeight)) << photo.name;
    }

    // A Japanese photo name travels as CP932: 海の家.jpg
    const auto beach = Text("/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(FolderIdByName(sessionId, "海水浴")));
    EXPECT_NE(beach.find("\x8A\x43\x82\xCC\x89\xC6.jpg"), std::string::npos);

    // The top holds folders only.
    for (const auto& line : PhotoList(sessionId, 0))
        EXPECT_EQ(line.kind, 2) << line.name;
}

TEST_F(ShopProtocolTest, LogoutEndsAlbumAccess)
{
    const auto sessionId = LogInDemo();
    const auto photoId = std::to_string(PhotoList(sessionId, FolderIdByName(sessionId, "家族")).back().id);
    EXPECT_EQ(Text("/wis/wi_logout.php/" + sessionId), "OK");

    struct Case {
        std::string path;
        int status;
        const char* body;
    };
    const std::vector<Case> cases{
        {"/wis/wi_login.php/" + sessionId + "?email=&passwd=", 200, "NG"},
        {"/wis/wi_login.php/" + sessionId + "?mode=get_name", 200, "NG"},
        {"/wis/wi_folder.php/" + sessionId + "?mode=list", 200, "NG"},
        {"/wis/wi_folder.php/" + sessionId + "?mode=img&id=1", 200, "NG"},
        {"/wis/wi_image.php/" + sessionId + "?mode=small&id=" + photoId, 403, "not logged in"},
        {"/wis/wi_image.php/" + sessionId + "?mode=big&id=" + photoId, 403, "not logged in"},
    };
    for (const auto& c : cases) {
        auto reply = Get(c.path);
        ASSERT_TRUE(reply) << c.path;
        EXPECT_EQ(reply->status, c.status) << c.path;
        EXPECT_EQ(reply->body, c.body) << c.path;
    }
    // The session itself stays: it can log in again.
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
    EXPECT_NE(Text("/wis/order.php?mode=select&sid=" + sessionId).find("kept.jpg"), std::string::npos);
}

}  // namespace
}  // namespace tovari::shop::test
