#include "tests/shop/ShopTestSupport.h"

#include "shop/DemoAlbum.h"
#include "shop/FaultProxy.h"
#include "shop/RequestLog.h"
#include "shop/Sqlite.h"
#include "shop/Store.h"

#include <QDir>
#include <QFile>
#include <set>

namespace tovari::shop::test {
namespace {

using ShopSafetyTest = ShopTest;

std::string StoredPassword(const std::filesystem::path& folder, const std::string& email)
{
    SqliteDatabase db(folder / "shop.sqlite");
    auto query = db.Prepare("SELECT password FROM members WHERE email = ?");
    query.Bind(1, email);
    return query.Step() ? query.Text(0) : std::string("<none>");
}

// Identifiers are 128 random bits, never repeated; none is derived from another.
TEST_F(ShopSafetyTest, SessionIdentifiersAreLongAndUnrelated)
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = NewSession();
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
        EXPECT_TRUE(seen.insert(id).second) << "repeated " << id;
    }
    // Every hex digit position takes many values across the set: no fixed or counted part.
    for (std::size_t position = 0; position < 32; ++position) {
        std::set<char> digits;
        for (const std::string& id : seen)
            digits.insert(id[position]);
        EXPECT_GE(digits.size(), 10u) << "position " << position;
    }
}

// Only a salted hash is stored: the same password twice gives two different hashes. (Logging in with
// the right and the wrong password is ShopProtocolTest's table.)
TEST_F(ShopSafetyTest, PasswordsAreStoredOnlyAsSaltedHashes)
{
    Store& store = Server().ShopStore();
    store.AddMember("hanako@tovari.example", kDemoPassword, "花子");
    const std::filesystem::path folder = options.dataFolder;
    const std::string demo = StoredPassword(folder, kDemoEmail);
    const std::string hanako = StoredPassword(folder, "hanako@tovari.example");
    EXPECT_TRUE(demo.starts_with("$argon2")) << demo;
    EXPECT_EQ(demo.find(kDemoPassword), std::string::npos);
    EXPECT_NE(demo, hanako);
    EXPECT_FALSE(store.FindMember(kDemoEmail, ""));
}

// A database from before hashing holds passwords as given; the first start converts every one of
// them, and their members log in as before.
TEST_F(ShopSafetyTest, PlainTextDatabaseIsConvertedOnFirstStart)
{
    const std::filesystem::path folder = options.dataFolder;
    Server().ShopStore().AddMember("old@tovari.example", "x", "旧");
    StopShop();
    {
        SqliteDatabase db(folder / "shop.sqlite");
        db.Execute("UPDATE members SET password = 'old-pass' WHERE email = 'old@tovari.example'");
        db.Execute("UPDATE members SET password = 'demo-pass' WHERE email = 'demo@tovari.example'");
    }
    ASSERT_EQ(StoredPassword(folder, "old@tovari.example"), "old-pass");
    StartShop();
    EXPECT_TRUE(StoredPassword(folder, "old@tovari.example").starts_with("$argon2"));
    EXPECT_TRUE(StoredPassword(folder, kDemoEmail).starts_with("$argon2"));
    EXPECT_TRUE(Server().ShopStore().FindMember("old@tovari.example", "old-pass"));
    EXPECT_EQ(Server().ShopStore().HashPlainPasswords(), 0);
    LogInDemo();
}

TEST(ShopRequestLog, EscapesControlsShortensSessionsAndDropsQueries)
{
    for (const auto& [method, path, expected] : {
             std::tuple("GET", "/wis/wi_login.php", "GET /wis/wi_login.php 200"),
             std::tuple("GET", "/wis/wi_login.php/0123456789abcdef0123456789abcdef",
                        "GET /wis/wi_login.php/0123... 200"),
             std::tuple("GET", "/wis/wi_getlist.php/abcdef/more", "GET /wis/wi_getlist.php/abcd.../more 200"),
             std::tuple("GET", "/wis/wi_login.php/ab", "GET /wis/wi_login.php/ab 200"),
             std::tuple("GET", "/wis/wi_login.php?email=a&passwd=secret", "GET /wis/wi_login.php 200"),
             std::tuple("GET", "/x\r\nGET /forged 200", "GET /x\\x0d\\x0aGET /forged 200 200"),
             std::tuple("GE\x1bT", "/a\\b\x7f", "GE\\x1bT /a\\x5cb\\x7f 200"),
         }) {
        EXPECT_EQ(RequestLogLine(method, path, 200), expected) << path;
    }
}

// A failure inside a handler answers 500 with no internal detail (here the path of the files folder).
TEST_F(ShopSafetyTest, InternalErrorReplyCarriesNoDetail)
{
    const std::string sessionId = NewSession();
    const QString files = QString::fromStdString((options.dataFolder / "files").string());
    ASSERT_TRUE(QDir(files).removeRecursively());
    ASSERT_TRUE(QFile(files).open(QIODevice::WriteOnly));  // a file where the folder was
    EXPECT_EQ(Answer(Upload(sessionId, "C:\\a.jpg", "bytes")), Reply(500, "internal server error"));
    EXPECT_EQ(Text("/wis/wi_login.php?mode=cookie_get").size(), 32u) << "the shop goes on";
}

// A busy port is reported and the shop that holds it goes on. The demo album is made only by a shop
// that got its port, and all at once: a seeding that fails half-way leaves no member behind.
TEST_F(ShopSafetyTest, SeedingHappensAfterBindingAndAllAtOnce)
{
    QTemporaryDir busyData;
    {
        ShopServer second({.dataFolder = busyData.path().toStdString(), .port = port_});
        EXPECT_THROW(second.Start(), EShopStart);
        EXPECT_FALSE(second.ShopStore().HasMembers());
    }
    NewSession();

    QTemporaryDir brokenData;
    const QString files = brokenData.filePath("files");
    ShopServer broken({.dataFolder = brokenData.path().toStdString(), .port = 0});
    ASSERT_TRUE(QDir(files).removeRecursively());
    ASSERT_TRUE(QFile(files).open(QIODevice::WriteOnly));
    EXPECT_THROW(broken.StartOnEphemeralPort(), EShopStore);
    EXPECT_FALSE(broken.ShopStore().HasMembers());
}

TEST(FaultRule, ParsesKindTimePathSkipAndCount)
{
    const FaultRule r = ParseFaultRule("keep-alive,stall:2500@/wis/wi_login.php^2*3");
    EXPECT_EQ(std::tuple(r.keepAlive, r.fault, r.stall.count(), r.pathPart, r.skip, r.times),
              std::tuple(true, TFault::Stall, 2500, std::string("/wis/wi_login.php"), 2, 3));
    for (const auto& [text, fault] :
         {std::pair("drop", TFault::Drop), std::pair("500", TFault::Status500), std::pair("not-http@x", TFault::NotHttp),
          std::pair("endless*1", TFault::EndlessBody), std::pair("lost-reply^1", TFault::LostReply)})
        EXPECT_EQ(ParseFaultRule(text).fault, fault) << text;
    for (const char* bad : {"", "stall", "stall:", "stall:x", "drop:100", "explode", "drop*", "drop*x", "500*-1", "drop^"})
        EXPECT_THROW(ParseFaultRule(bad), EFaultRule) << bad;
}

// Only the picked requests misbehave, the first `times` of them; everything else passes unchanged,
// each on a connection of its own.
TEST_F(ShopSafetyTest, FaultProxyMisbehavesOnlyByItsRule)
{
    FaultProxy proxy("127.0.0.1", port_, ParseFaultRule("500@cookie_get*2"));
    const int port = proxy.Start();
    httplib::Client client("127.0.0.1", port);
    std::vector<int> statuses;
    for (int i = 0; i < 3; ++i)
        statuses.push_back(client.Get("/wis/wi_login.php?mode=cookie_get")->status);
    EXPECT_EQ(statuses, (std::vector<int>{500, 500, 200}));
    EXPECT_EQ(client.Get("/wis/wi_login.php?mode=get_name")->body, "NG");
    EXPECT_EQ(proxy.Misbehaved(), 2);

    FaultProxy dropping("127.0.0.1", port_, ParseFaultRule("drop"));
    httplib::Client dropped("127.0.0.1", dropping.Start());
    EXPECT_FALSE(dropped.Get("/wis/wi_login.php?mode=cookie_get")) << "a cut reply is no reply";
}

}  // namespace
}  // namespace tovari::shop::test
