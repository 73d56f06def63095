#include "service/HttpClient.h"
#include "service/ServiceClient.h"
#include "service/ServiceProtocol.h"
#include "service/Session.h"
#include "tests/common/TestSupport.h"
#include "tests/service/TestServers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>

namespace tovari {
namespace {

class ServiceClientTest : public testing::Test {
protected:
    test::RecordingServer server;  // outlives the client, whose kept-alive connection it would otherwise wait for
    TSession session;
    test::RecordingDialogs dialogs;
    THttpClient http;
    TServiceClient client{http, session, dialogs};
    QTemporaryDir dir;
    QString reply = "stale";

    QString Url(const char* path) const { return server.BaseUrl() + path; }
};

// A reply whose first line is exactly NG leaves the cookie unread.
TEST_F(ServiceClientTest, NgFirstLineReturnsWholeBodyWithoutReadingTheCookie)
{
    session.SetSessionId("OLD");
    server.ReplyText("NG\r\nsecond line\r\n", "sid=NEW; Path=/");
    client.GetHTTP(Url("/wis/wi_login.php/OLD?email=&passwd="), reply);
    EXPECT_EQ(reply, "NG\r\nsecond line\r\n");
    EXPECT_EQ(session.SessionId(), "OLD");

    server.ReplyText("NGX", "sid=NEW; Path=/");
    client.GetHTTP(Url("/x"), reply);
    EXPECT_EQ(session.SessionId(), "NEW");
}

// The cookie is found by its name in any case; the reply is read as CP932; the cookie line goes with
// every later request, also after the service stops setting it.
TEST_F(ServiceClientTest, CookieOfAnyCaseBecomesTheSessionIdAndStaysOnLaterRequests)
{
    server.ReplyText("\x8E\x52\x93\x63\x91\xBE\x98\x59", "SID=Upper42; Path=/");  // 山田太郎
    client.GetHTTP(Url("/one"), reply);
    EXPECT_EQ(reply, QStringLiteral("山田太郎"));
    EXPECT_EQ(session.SessionId(), "Upper42");
    server.ReplyText("");
    client.GetHTTP(Url("/two"), reply);
    client.GetHTTP(Url("/three"), reply);
    const auto requests = server.Requests();
    EXPECT_TRUE(requests[0].Header("Cookie").empty());
    EXPECT_THAT(requests[1].Header("Cookie"), testing::Contains("sid=Upper42"));
    EXPECT_THAT(requests[2].Header("Cookie"), testing::Contains("sid=Upper42"));
    EXPECT_EQ(session.SessionId(), "Upper42");
}

TEST_F(ServiceClientTest, ConnectionFailureIsReportedButAnErrorStatusPassesToTheCaller)
{
    client.GetHTTP(test::ClosedPortUrl() + "/wis/wi_login.php/?email=&passwd=", reply);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_EQ(dialogs.messages, QStringList{kConnectionErrorMessage});

    dialogs.messages.clear();
    reply = "stale";
    server.ReplyText("oops", "sid=FROMERROR; Path=/", 500);
    EXPECT_THROW(client.GetHTTP(Url("/x"), reply), EIdHTTPProtocolException);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(session.SessionId().isEmpty());
}

// The body, far larger than one read, is streamed into the file whole.
TEST_F(ServiceClientTest, BinaryReplyReplacesTheFileAndReadsTheCookie)
{
    const QString path = test::WriteFile(dir.filePath("17.jpg"), QByteArray(400000, 'o'));
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\r\n", 13) + std::string(300000, 'x') + "\xFF\xD9";
    server.Reply([&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "sid=BIN; Path=/");
        res.set_content(jpeg, "image/jpeg");
    });
    EXPECT_TRUE(client.GetHTTPBin(Url("/wis/wi_image.php/?mode=small&id=17"), path));
    EXPECT_EQ(test::ReadFileBytes(path).toStdString(), jpeg);
    EXPECT_EQ(session.SessionId(), "BIN");
}

// A failed binary request answers false without a message and leaves an empty file.
TEST_F(ServiceClientTest, FailedBinaryRequestAnswersFalseSilentlyAndLeavesAnEmptyFile)
{
    EXPECT_FALSE(client.GetHTTPBin(test::ClosedPortUrl() + "/wis/wi_image.php/?mode=small&id=1", dir.filePath("1.jpg")));
    EXPECT_EQ(test::ReadFileBytes(dir.filePath("1.jpg")), "");
    server.ReplyText("<html>missing</html>", {}, 404);
    EXPECT_FALSE(client.GetHTTPBin(Url("/wis/wi_image.php/?mode=small&id=2"), dir.filePath("2.jpg")));
    EXPECT_EQ(test::ReadFileBytes(dir.filePath("2.jpg")), "");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_THROW(client.GetHTTPBin(Url("/x"), dir.filePath("no/such/folder/3.jpg")), EFCreateError);
}

// A binary reply cut off after part of its body leaves no partial picture behind.
TEST_F(ServiceClientTest, BinaryReplyCutOffRemovesThePartialFile)
{
    test::RawHttpServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'p'));
    const QString path = dir.filePath("cut.jpg");
    EXPECT_FALSE(client.GetHTTPBin(cut.BaseUrl() + "/wis/wi_image.php/?mode=large&id=3", path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(ServiceClientTest, ControlCharactersNeverReachTheRequest)
{
    test::RawHttpServer raw;
    session.SetSessionId("ab\r\nX-Evil: 1");
    client.GetHTTP(TServiceUrls(raw.BaseUrl()).FolderList(session.SessionId()), reply);
    client.GetHTTP(raw.BaseUrl() + "/wis/wi_folder.php/" + session.SessionId() + "?mode=list", reply);
    const auto requests = raw.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].starts_with("GET /wis/wi_folder.php/ab%0D%0AX-Evil%3A%201?mode=list HTTP/1.1\r\n"));
    EXPECT_TRUE(requests[1].starts_with("GET /wis/wi_folder.php/ab%0D%0AX-Evil:%201?mode=list HTTP/1.1\r\n"));
    for (const std::string& request : requests) {
        EXPECT_EQ(request.find("\nX-Evil"), std::string::npos);
        EXPECT_EQ(request.find("Cookie:"), std::string::npos);
    }
    session.SetSessionId("KEEP");
    EXPECT_FALSE(client.AdoptSessionId("x\ny"));
    EXPECT_EQ(session.SessionId(), "KEEP");
}

}  // namespace
}  // namespace tovari
