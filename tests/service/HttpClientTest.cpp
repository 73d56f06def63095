#include "platform/Cp932.h"
#include "service/HttpClient.h"
#include "tests/service/TestServers.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace tovari {
namespace {

using test::ClosedPortUrl;
using test::RawHttpServer;
using test::RecordingServer;

TEST(HttpClient, SendsFixedHeadersAndKeepsTheConnection)
{
    RecordingServer server;
    server.ReplyText("hello");
    THttpClient http;
    EXPECT_EQ(http.Get(server.BaseUrl() + "/a"), "hello");
    EXPECT_EQ(http.Get(server.BaseUrl() + "/b"), "hello");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].HeaderValues("Accept"), std::vector<std::string>{"text/html, */*"});
    EXPECT_EQ(requests[0].HeaderValues("User-Agent"),
              std::vector<std::string>{"Mozilla/3.0 (compatible; Indy Library)"});
    EXPECT_TRUE(requests[0].HeaderValues("Cookie").empty());
    EXPECT_TRUE(requests[0].HeaderValues("Authorization").empty());
    EXPECT_EQ(requests[0].remotePort, requests[1].remotePort) << "the second request opened a new connection";
}

enum class Outcome { Body, SocketError, ProtocolError };

struct FailureCase {
    const char* name;
    std::function<QString(std::unique_ptr<RecordingServer>&, std::unique_ptr<RawHttpServer>&)> start;
    Outcome outcome;
    int status;
    QByteArray body;
};

class RequestOutcome : public testing::TestWithParam<FailureCase> {};

TEST_P(RequestOutcome, ConnectionFailuresAndErrorStatusesAreTwoClasses)
{
    std::unique_ptr<RecordingServer> recording;
    std::unique_ptr<RawHttpServer> raw;
    const QString url = GetParam().start(recording, raw) + "/wis/x";
    THttpClient http;
    try {
        const QByteArray body = http.Get(url);
        EXPECT_EQ(GetParam().outcome, Outcome::Body);
        EXPECT_EQ(body, GetParam().body);
    } catch (const EIdSocketError&) {
        EXPECT_EQ(GetParam().outcome, Outcome::SocketError);
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(GetParam().outcome, Outcome::ProtocolError);
        EXPECT_EQ(e.ErrorCode(), GetParam().status);
        EXPECT_TRUE(e.Message().contains(QString::number(GetParam().status))) << e.what();
    }
    if (recording) {
        EXPECT_EQ(recording->Requests().size(), 1u) << "a redirect was followed";
    }
}

QString StatusServer(std::unique_ptr<RecordingServer>& server, int status)
{
    server = std::make_unique<RecordingServer>();
    server->Reply([status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        if (status == 302)
            res.set_header("Location", "/elsewhere");
        res.set_content("page", "text/html");
    });
    return server->BaseUrl();
}

QString Raw(std::unique_ptr<RawHttpServer>& server, RawHttpServer::Behaviour behaviour)
{
    server = std::make_unique<RawHttpServer>(behaviour, "partial");
    return server->BaseUrl();
}

INSTANTIATE_TEST_SUITE_P(
    Table, RequestOutcome,
    testing::Values(
        FailureCase{"refused", [](auto&, auto&) { return ClosedPortUrl(); }, Outcome::SocketError, 0, {}},
        FailureCase{"closedWithoutReply", [](auto&, auto& r) { return Raw(r, RawHttpServer::Behaviour::CloseWithoutReply); },
                    Outcome::SocketError, 0, {}},
        FailureCase{"bodyCutShort", [](auto&, auto& r) { return Raw(r, RawHttpServer::Behaviour::CutBodyShort); },
                    Outcome::SocketError, 0, {}},
        FailureCase{"notFound", [](auto& s, auto&) { return StatusServer(s, 404); }, Outcome::ProtocolError, 404, {}},
        FailureCase{"serverError", [](auto& s, auto&) { return StatusServer(s, 500); }, Outcome::ProtocolError, 500, {}},
        FailureCase{"redirectNotFollowed", [](auto& s, auto&) { return StatusServer(s, 302); }, Outcome::Body, 302, "page"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClient, StalledReplyEndsAsConnectionFailure)
{
    RawHttpServer server(RawHttpServer::Behaviour::Stall);
    THttpClient http;
    http.SetTimeouts(std::chrono::seconds(5), std::chrono::seconds(1));
    EXPECT_THROW(http.Get(server.BaseUrl() + "/"), EIdSocketError);
}

TEST(HttpClient, IgnoresProxyFromEnvironment)
{
    RecordingServer proxy;
    RecordingServer target;
    const QByteArray proxyUrl = proxy.BaseUrl().toLatin1();
    setenv("http_proxy", proxyUrl.constData(), 1);
    setenv("HTTP_PROXY", proxyUrl.constData(), 1);
    THttpClient http;
    EXPECT_NO_THROW(http.Get(target.BaseUrl() + "/direct"));
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(target.Requests().size(), 1u);
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST(HttpClient, StreamsBodyToDeviceButNotAnErrorPage)
{
    RecordingServer server;
    const std::string big(300000, 'x');
    server.ReplyText(big);
    THttpClient http;
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    http.Get(server.BaseUrl() + "/big", sink);
    EXPECT_EQ(sink.data().size(), qsizetype(big.size()));

    server.Reply([](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<html>not found</html>", "text/html");
    });
    QBuffer errorSink;
    errorSink.open(QIODevice::WriteOnly);
    EXPECT_THROW(http.Get(server.BaseUrl() + "/missing", errorSink), EIdHTTPProtocolException);
    EXPECT_TRUE(errorSink.data().isEmpty());
}

TEST(HttpClient, RefusesHeaderLinesThatCouldSmuggleHeaders)
{
    THttpClient http;
    EXPECT_TRUE(http.SetExtraHeaders({"Cookie: sid=abc"}));
    EXPECT_FALSE(http.SetExtraHeaders({"Cookie: sid=x\r\nX-Evil: 1"}));
    EXPECT_FALSE(http.SetExtraHeaders({"no colon"}));
    EXPECT_EQ(http.ExtraHeaders(), QList<QByteArray>{"Cookie: sid=abc"});
}

TEST(HttpClient, WireUrlEncodesOnlyWhatCannotStandInAUrl)
{
    EXPECT_EQ(EncodeUrlForWire("http://h/p/a%41?x=1&y=#"), "http://h/p/a%41?x=1&y=#");
    EXPECT_EQ(EncodeUrlForWire("http://h/a b\r\n\"写\""), "http://h/a%20b%0D%0A%22%8E%CA%22");
}

class MultipartPost : public testing::Test {
protected:
    QTemporaryDir dir;

    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
};

TEST_F(MultipartPost, BodyHoldsTextFieldThenFileFieldByteExact)
{
    QByteArray content;
    for (int i = 0; i < 256; ++i)
        content.append(char(i));
    content += "\r\n--\r\n\r\n";
    const QString path = WriteFile(QStringLiteral("写真.JPG"), content);

    RawHttpServer server(RawHttpServer::Behaviour::Respond, "OVER");
    THttpClient http;
    ASSERT_TRUE(http.SetExtraHeaders({"Cookie: sid=S1"}));
    TMultipartFormData form;
    form.AddFormField("mode", "upload");
    form.AddFile("file1", path);
    EXPECT_EQ(http.Post(server.BaseUrl() + "/wis/wi_upload.php/S1", form), "OVER");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& raw = requests[0];
    const size_t headEnd = raw.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    const std::string head = raw.substr(0, headEnd + 2);
    const QByteArray body = QByteArray::fromStdString(raw.substr(headEnd + 4));

    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /wis/wi_upload.php/S1 HTTP/1.1");
    const std::string boundary = form.Boundary().toStdString();
    EXPECT_NE(head.find("\r\nContent-Type: multipart/form-data; boundary=" + boundary + "\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nCookie: sid=S1\r\n"), std::string::npos);
    EXPECT_EQ(head.find("Expect:"), std::string::npos);

    const QByteArray b = form.Boundary();
    const QByteArray pathOnWire = dir.path().toUtf8() + "/\x8E\xCA\x90\x5E.JPG";
    const QByteArray expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nupload\r\n"
                                "--" + b + "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"" + pathOnWire +
                                "\"\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" + content +
                                "\r\n--" + b + "--\r\n";
    EXPECT_EQ(body, expected);

    // The same client goes back to plain GETs afterwards.
    EXPECT_EQ(http.Get(server.BaseUrl() + "/wis/wi_folder.php/S1?mode=list"), "OVER");
    const std::string next = server.Requests().at(1);
    EXPECT_EQ(next.substr(0, next.find("\r\n")), "GET /wis/wi_folder.php/S1?mode=list HTTP/1.1");
    EXPECT_EQ(next.find("Content-Length"), std::string::npos);
    EXPECT_TRUE(next.ends_with("\r\n\r\n"));
}

TEST_F(MultipartPost, UnreadableOrShrunkFileIsAFailureNotAShortUpload)
{
    TMultipartFormData missing;
    EXPECT_THROW(missing.AddFile("file1", dir.path() + "/absent.jpg"), EFOpenError);

    const QString path = WriteFile("a.jpg", QByteArray(5000, 'j'));
    TMultipartFormData form;
    form.AddFile("file1", path);
    QFile::resize(path, 10);
    RawHttpServer server;
    THttpClient http;
    EXPECT_THROW(http.Post(server.BaseUrl() + "/wis/wi_upload.php/", form), EHttpRequestError);
}

}  // namespace
}  // namespace tovari
