#pragma once

#include "service/LoginService.h"
#include "service/Session.h"
#include "tests/common/RecordingDialogs.h"

#include <QString>
#include <httplib.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovari::test {

// A cpp-httplib server on 127.0.0.1 and an ephemeral port that records every request and answers
// through a replaceable handler (default: 200 with an empty body).
class RecordingServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    struct Request {
        std::string target;  // as it stood in the request line, not decoded
        httplib::Headers headers;
        int remotePort = -1;
        std::vector<std::string> Header(const std::string& name) const;  // every value, in order
    };

    RecordingServer();
    ~RecordingServer();

    void Reply(Handler handler);
    // Answers every request with this status and body, and a Set-Cookie line when one is given.
    void ReplyText(const std::string& body, const std::string& setCookie = {}, int status = 200);
    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    std::vector<Request> Requests() const;
    std::vector<std::string> Targets() const;

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<Request> requests_;
};

// A bare socket server on 127.0.0.1 that keeps the bytes of each request exactly as they came and
// answers with the given bytes (none: the connection closes without a reply), one connection at a
// time.
class RawHttpServer {
public:
    explicit RawHttpServer(std::string reply = Ok("OK"));
    ~RawHttpServer();
    static std::string Ok(const std::string& body);  // a whole 200 reply that closes the connection

    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    std::vector<std::string> Requests() const;

private:
    void Handle(int connection);

    std::string reply_;
    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A loopback URL on which nothing listens.
QString ClosedPortUrl();

// Counts the switches between the logged-in and the logged-out state that a session announces.
struct SessionRecorder {
    explicit SessionRecorder(TSession& session)
    {
        QObject::connect(&session, &TSession::LoggedInChanged, &session,
                         [this](bool loggedIn) { ++(loggedIn ? loginProcCalls : logoutProcCalls); });
    }
    int loginProcCalls = 0;
    int logoutProcCalls = 0;
};

}  // namespace tovari::test
