#include "platform/Cp932.h"
#include "service/HttpClient.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "tests/service/TestServers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

using test::RecordingDialogs;
using test::RecordingServer;

class ServiceClientTest : public testing::Test {
protected:
    RecordingServer server;  // outlives the client, whose kept-alive connection it would otherwise wait for
    QString sessionId;
    RecordingDialogs dialogs;
    THttpClient http;
    TServiceClient client{http, sessionId, dialogs};
    QTemporaryDir dir;

    QString Url(const char* path) const { return server.BaseUrl() + path; }
    std::vector<std::string> CookieLines(size_t request) const { return server.Requests().at(request).HeaderValues("Cookie"); }
};

TEST_F(ServiceClientTest, NgFirstLineReturnsWholeBodyWithoutReadingTheCookie)
{
    sessionId = "OLD";
    server.ReplyText("NG\r\nsecond line\r\n", "sid=NEW; Path=/");
    QString reply = "stale";
    client.GetHTTP(Url("/wis/wi_login.php/OLD?email=&passwd="), reply);
    EXPECT_EQ(reply, "NG\r\nsecond line\r\n");
    EXPECT_EQ(sessionId, "OLD");

    server.ReplyText("NGX", "sid=NEW; Path=/");
    client.GetHTTP(Url("/x"), reply);
    EXPECT_EQ(sessionId, "NEW") << "only a first line of exactly NG keeps the cookie unread";
}

TEST_F(ServiceClientTest, CookieNamedInAnyCaseBecomesTheSessionId)
{
    server.ReplyText("OK", "SID=Upper42; Path=/");
    QString reply;
    client.GetHTTP(Url("/wis/wi_login.php/?email=&passwd="), reply);
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(sessionId, "Upper42");
}

TEST_F(ServiceClientTest, CookieLineStartsWithTheFirstIdentifierAndOutlivesTheServiceSettingIt)
{
    QString reply;
    server.ReplyText("", "sid=abc; Path=/");
    client.GetHTTP(Url("/one"), reply);
    server.ReplyText("");
    client.GetHTTP(Url("/two"), reply);
    client.GetHTTP(Url("/three"), reply);

    EXPECT_TRUE(CookieLines(0).empty());
    EXPECT_EQ(CookieLines(1).front(), "sid=abc");
    EXPECT_EQ(CookieLines(2).front(), "sid=abc");
    EXPECT_EQ(sessionId, "abc");
    EXPECT_EQ(http.ExtraHeaders(), QList<QByteArray>{"Cookie: sid=abc"});
}

TEST_F(ServiceClientTest, ReplyIsReadAsCp932)
{
    server.ReplyText("\x8E\x52\x93\x63\x91\xBE\x98\x59");  // 山田太郎
    QString reply;
    client.GetHTTP(Url("/name"), reply);
    EXPECT_EQ(reply, QStringLiteral("山田太郎"));
}

TEST_F(ServiceClientTest, ConnectionFailureIsReportedAndGivesEmptyReply)
{
    const QString closed = test::ClosedPortUrl();
    QString reply = "stale";
    client.GetHTTP(closed + "/wis/wi_login.php/?email=&passwd=", reply);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8("通信エラーが発生しました。\n\rネットワークの設定を確認してください。")});
}

TEST_F(ServiceClientTest, ErrorStatusPassesToTheCallerWithEmptyReply)
{
    server.Reply([](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_header("Set-Cookie", "sid=FROMERROR; Path=/");
        res.set_content("oops", "text/html");
    });
    QString reply = "stale";
    EXPECT_THROW(client.GetHTTP(Url("/x"), reply), EIdHTTPProtocolException);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(sessionId.isEmpty());
}

TEST_F(ServiceClientTest, BinaryReplyReplacesFileAndReadsTheCookie)
{
    const QString path = dir.path() + "/17.jpg";
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'o'));
    old.close();
    const std::string jpeg("\xFF\xD8\xFF\xE0\0\x10JFIF\0\r\n\xFF\xD9", 15);
    server.Reply([&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "sid=BIN; Path=/");
        res.set_content(jpeg, "image/jpeg");
    });

    EXPECT_TRUE(client.GetHTTPBin(Url("/wis/wi_image.php/?mode=small&id=17"), path));
    QFile stored(path);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll().toStdString(), jpeg);
    EXPECT_EQ(sessionId, "BIN");
}

TEST_F(ServiceClientTest, FailedBinaryRequestAnswersFalseSilentlyAndLeavesAnEmptyFile)
{
    const QString unreachable = dir.path() + "/unreachable.jpg";
    EXPECT_FALSE(client.GetHTTPBin(test::ClosedPortUrl() + "/wis/wi_image.php/?mode=small&id=1", unreachable));
    EXPECT_TRUE(QFile::exists(unreachable));
    EXPECT_EQ(QFile(unreachable).size(), 0);

    server.Reply([](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<html>missing</html>", "text/html");
    });
    const QString missing = dir.path() + "/missing.jpg";
    EXPECT_FALSE(client.GetHTTPBin(Url("/wis/wi_image.php/?mode=small&id=2"), missing));
    EXPECT_EQ(QFile(missing).size(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    EXPECT_THROW(client.GetHTTPBin(Url("/x"), dir.path() + "/no/such/folder/3.jpg"), EFCreateError);
}

TEST_F(ServiceClientTest, ControlCharactersNeverReachTheRequest)
{
    test::RawHttpServer raw;
    sessionId = "ab\r\nX-Evil: 1";
    QString reply;
    client.GetHTTP(TServiceUrls(raw.BaseUrl()).FolderList(sessionId), reply);
    client.GetHTTP(raw.BaseUrl() + "/wis/wi_folder.php/" + sessionId + "?mode=list", reply);
    const auto requests = raw.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
              "GET /wis/wi_folder.php/ab%0D%0AX-Evil%3A%201?mode=list HTTP/1.1");
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")),
              "GET /wis/wi_folder.php/ab%0D%0AX-Evil:%201?mode=list HTTP/1.1");
    for (const std::string& request : requests) {
        EXPECT_EQ(request.find("\nX-Evil"), std::string::npos);
        EXPECT_EQ(request.find("Cookie:"), std::string::npos);
    }

    sessionId = "KEEP";
    EXPECT_FALSE(client.AdoptSessionId("x\ny"));
    EXPECT_EQ(sessionId, "KEEP");
}

}  // namespace
}  // namespace tovari
