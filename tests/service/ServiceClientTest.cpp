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

// A connection failure is reported instead (LoginTest's start-up table); the cookie of an error reply
// is not adopted.
TEST_F(ServiceClientTest, AnErrorStatusPassesToTheCaller)
{
    server.ReplyText("oops", "sid=FROMERROR; Path=/", 500);
    EXPECT_THROW(client.GetHTTP(Url("/x"), reply), EIdHTTPProtocolException);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(session.SessionId().isEmpty());
}

// A body far larger than one read is streamed whole into the file it replaces, and its cookie read. A
// failed request (refused alike) answers false without a message and leaves an empty file, or none
// when a part of a body had arrived: no broken picture stays behind.
TEST_F(ServiceClientTest, BinaryReplyReplacesTheFileOrFailsQuietly)
{
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\r\n", 13) + std::string(300000, 'x') + "\xFF\xD9";
    server.Reply([&](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/missing") {
            res.status = 404;
            return res.set_content("<html>missing</html>", "text/html");
        }
        res.set_header("Set-Cookie", "sid=BIN; Path=/");
        res.set_content(jpeg, "image/jpeg");
    });
    test::RawHttpServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'p'));
    using File = std::optional<std::string>;  // none: no file at all
    for (const auto& [what, url, ok, file] :
         {std::tuple("whole", Url("/wis/wi_image.php/?mode=small&id=17"), true, File(jpeg)),
          std::tuple("error status", Url("/missing"), false, File("")),
          std::tuple("cut off", cut.BaseUrl() + "/wis/wi_image.php/?mode=large&id=3", false, File())}) {
        SCOPED_TRACE(what);
        const QString path = test::WriteFile(dir.filePath("17.jpg"), QByteArray(400000, 'o'));
        EXPECT_EQ(client.GetHTTPBin(url, path), ok);
        EXPECT_EQ(QFile::exists(path) ? File(test::ReadFileBytes(path).toStdString()) : File(), file);
    }
    EXPECT_EQ(session.SessionId(), "BIN");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_THROW(client.GetHTTPBin(Url("/x"), dir.filePath("no/such/folder/3.jpg")), EFCreateError);
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
}

}  // namespace
}  // namespace tovari
