#include "service/HttpClient.h"
#include "tests/common/TestSupport.h"
#include "tests/service/TestServers.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>

#include <cstdlib>

namespace tovari {
namespace {

using test::RawHttpServer;
using test::RecordingServer;

// Requests go straight to the service, whatever proxy the environment names, with fixed headers and
// on one kept-alive connection.
TEST(HttpClient, SendsFixedHeadersDirectlyOnOneConnection)
{
    RecordingServer proxy;
    RecordingServer server;
    server.ReplyText("hello");
    const QByteArray proxyUrl = proxy.BaseUrl().toLatin1();
    setenv("http_proxy", proxyUrl.constData(), 1);
    setenv("HTTP_PROXY", proxyUrl.constData(), 1);
    THttpClient http;
    EXPECT_EQ(http.Get(server.BaseUrl() + "/a"), "hello");
    EXPECT_EQ(http.Get(server.BaseUrl() + "/b"), "hello");
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_TRUE(proxy.Requests().empty());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Accept"), std::vector<std::string>{"text/html, */*"});
    EXPECT_EQ(requests[0].Header("User-Agent"), std::vector<std::string>{"Mozilla/3.0 (compatible; Indy Library)"});
    EXPECT_TRUE(requests[0].Header("Cookie").empty() && requests[0].Header("Authorization").empty());
    EXPECT_EQ(requests[0].remotePort, requests[1].remotePort) << "the second request opened a new connection";
}

// Connection failures, error statuses and replies that are not HTTP are three classes of failure; a
// redirect is not followed.
TEST(HttpClient, FailuresFallIntoThreeClasses)
{
    using Raw = std::optional<std::string>;  // a bare server's reply, else a recording server answering with status
    for (const auto& [name, rawReply, status] :
         {std::tuple("refused", Raw(), 0), std::tuple("closed without reply", Raw(""), 0),
          std::tuple("body cut short", Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial"), 0),
          std::tuple("not found", Raw(), 404), std::tuple("server error", Raw(), 500), std::tuple("redirect", Raw(), 302),
          std::tuple("not HTTP", Raw("SSH-2.0-x\r\n\r\n"), -1)}) {
        SCOPED_TRACE(name);
        std::optional<RawHttpServer> raw;
        std::optional<RecordingServer> recording;
        const QString url = rawReply ? raw.emplace(*rawReply).BaseUrl()
                            : status ? recording.emplace().BaseUrl()
                                     : test::ClosedPortUrl();
        if (recording)
            recording->Reply([status = status](const httplib::Request&, httplib::Response& res) {
                res.status = status;
                res.set_header("Location", "/elsewhere");
                res.set_content("page", "text/html");
            });
        THttpClient http;
        try {
            EXPECT_EQ(http.Get(url + "/wis/x"), "page");
            EXPECT_EQ(status, 302);
        } catch (const EIdSocketError&) {
            EXPECT_EQ(status, 0);
        } catch (const EIdHTTPProtocolException& e) {
            EXPECT_EQ(e.ErrorCode(), status);
            EXPECT_TRUE(e.Message().contains(QString::number(status))) << e.what();
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("サービスがエラーを返しました。\n("))) << e.what();
        } catch (const EHttpRequestError& e) {
            // libcurl's English text follows a Japanese sentence.
            EXPECT_EQ(status, -1);
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("サービスとの通信に失敗しました。\n("))) << e.what();
        }
        if (recording) {
            EXPECT_EQ(recording->Requests().size(), 1u);
        }
    }
}

// A reply above its cap is a failed request, whether its length is declared up front or it streams
// without end; exactly the cap is fine, and the next request on the same client works.
TEST(HttpClient, RepliesAboveTheirCapFail)
{
    RecordingServer server;
    constexpr qint64 kCap = 100000;
    for (const bool chunked : {false, true}) {
        for (const qint64 size : {kCap, kCap + 1}) {
            SCOPED_TRACE(testing::Message() << (chunked ? "chunked " : "declared ") << size);
            server.Reply([&](const httplib::Request&, httplib::Response& res) {
                const std::string body(std::size_t(size), 'z');
                if (!chunked) {
                    res.set_content(body, "text/plain");
                    return;
                }
                res.set_chunked_content_provider("text/plain", [body](size_t offset, httplib::DataSink& sink) {
                    if (offset < body.size())
                        sink.write(body.data() + offset, std::min<size_t>(4096, body.size() - offset));
                    else
                        sink.done();
                    return true;
                });
            });
            THttpClient http;
            QBuffer target;
            target.open(QIODevice::WriteOnly);
            if (size <= kCap) {
                EXPECT_EQ(http.Get(server.BaseUrl() + "/text", kCap).size(), size);
                http.Get(server.BaseUrl() + "/file", target, kCap);
                EXPECT_EQ(target.data().size(), size);
            } else {
                // The user reads what happened in Japanese first, the detail after.
                const auto told = testing::ThrowsMessage<EHttpRequestError>(
                    "サービスからの応答が大きすぎるため、受け取れませんでした。\n"
                    "(The reply is larger than 100000 bytes.)");
                EXPECT_THAT([&] { http.Get(server.BaseUrl() + "/text", kCap); }, told);
                EXPECT_THAT([&] { http.Get(server.BaseUrl() + "/file", target, kCap); }, told);
                EXPECT_LE(target.data().size(), kCap);
            }
            server.ReplyText("after");
            EXPECT_EQ(http.Get(server.BaseUrl() + "/next"), "after");
        }
    }
}

TEST(HttpClient, NothingCanBeSmuggledIntoTheRequest)
{
    THttpClient http;
    EXPECT_TRUE(http.SetExtraHeaders({"Cookie: sid=abc"}));
    EXPECT_FALSE(http.SetExtraHeaders({"Cookie: sid=x\r\nX-Evil: 1"}));
    EXPECT_FALSE(http.SetExtraHeaders({"no colon"}));
    EXPECT_EQ(http.ExtraHeaders(), QList<QByteArray>{"Cookie: sid=abc"});
    EXPECT_EQ(EncodeUrlForWire("http://h/p/a%41?x=1&y=#"), "http://h/p/a%41?x=1&y=#");
    EXPECT_EQ(EncodeUrlForWire("http://h/a b\r\n\"写\""), "http://h/a%20b%0D%0A%22%8E%CA%22");
}

// The body holds the text field, then the file field byte for byte; the same client goes back to plain
// GETs afterwards.
TEST(HttpClient, MultipartBodyIsByteExact)
{
    QTemporaryDir dir;
    QByteArray content;
    for (int i = 0; i < 256; ++i)
        content.append(char(i));
    content += "\r\n--\r\n\r\n";
    const QString path = test::WriteFile(dir.filePath(QStringLiteral("写真.JPG")), content);

    RawHttpServer server(RawHttpServer::Ok("OVER"));
    THttpClient http;
    ASSERT_TRUE(http.SetExtraHeaders({"Cookie: sid=S1"}));
    TMultipartFormData form;
    form.AddFormField("mode", "upload");
    form.AddFile("file1", path);
    EXPECT_EQ(http.Post(server.BaseUrl() + "/wis/wi_upload.php/S1", form), "OVER");
    EXPECT_EQ(http.Get(server.BaseUrl() + "/wis/wi_folder.php/S1?mode=list"), "OVER");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const size_t headEnd = requests[0].find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    const std::string head = requests[0].substr(0, headEnd + 2);
    const QByteArray body = QByteArray::fromStdString(requests[0].substr(headEnd + 4));
    const QByteArray b = form.Boundary();
    EXPECT_TRUE(head.starts_with("POST /wis/wi_upload.php/S1 HTTP/1.1\r\n")) << head;
    for (const std::string& line : {"Content-Type: multipart/form-data; boundary=" + b.toStdString(),
                                    "Content-Length: " + std::to_string(body.size()), std::string("Cookie: sid=S1")})
        EXPECT_NE(head.find("\r\n" + line + "\r\n"), std::string::npos) << line;
    EXPECT_EQ(head.find("Expect:"), std::string::npos);
    EXPECT_EQ(body, "--" + b + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nupload\r\n--" + b +
                        "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"" + dir.path().toUtf8() +
                        "/\x8E\xCA\x90\x5E.JPG\"\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                        content + "\r\n--" + b + "--\r\n");

    EXPECT_TRUE(requests[1].starts_with("GET /wis/wi_folder.php/S1?mode=list HTTP/1.1\r\n"));
    EXPECT_EQ(requests[1].find("Content-Length"), std::string::npos);
    EXPECT_TRUE(requests[1].ends_with("\r\n\r\n"));
}

TEST(HttpClient, UnreadableOrShrunkFileIsAFailureNotAShortUpload)
{
    QTemporaryDir dir;
    TMultipartFormData missing;
    EXPECT_THROW(missing.AddFile("file1", dir.filePath("absent.jpg")), EFOpenError);

    const QString path = test::WriteFile(dir.filePath("a.jpg"), QByteArray(5000, 'j'));
    TMultipartFormData form;
    form.AddFile("file1", path);
    QFile::resize(path, 10);
    RawHttpServer server;
    THttpClient http;
    EXPECT_THROW(http.Post(server.BaseUrl() + "/wis/wi_upload.php/", form), EHttpRequestError);
}

}  // namespace
}  // namespace tovari
