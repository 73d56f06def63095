#pragma once

#include "platform/Dialogs.h"
#include "service/LoginService.h"

#include <QStringList>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovari::test {

struct RecordedRequest {
    std::string method;
    std::string target;  // as it stood in the request line, not decoded
    std::string version;
    httplib::Headers headers;
    httplib::Params params;  // query, decoded to bytes
    int remotePort = -1;

    std::string RequestLine() const { return method + " " + target + " " + version; }
    std::vector<std::string> HeaderValues(const std::string& name) const;
};

// A cpp-httplib server on 127.0.0.1 and an ephemeral port that records every request and answers
// through a replaceable handler (default: 200 with an empty body).
class RecordingServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    RecordingServer();
    ~RecordingServer();

    void Reply(Handler handler);
    // Answers every request with this body, and a Set-Cookie line when one is given.
    void ReplyText(const std::string& body, const std::string& setCookie = {});
    QString BaseUrl() const;
    std::vector<RecordedRequest> Requests() const;

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<RecordedRequest> requests_;
};

// A bare socket server on 127.0.0.1 that keeps the bytes of each request exactly as they came, and
// misbehaves on demand. One connection at a time; each is closed after its request.
class RawHttpServer {
public:
    enum class Behaviour { Respond, CloseWithoutReply, CutBodyShort, Stall };

    explicit RawHttpServer(Behaviour behaviour = Behaviour::Respond, std::string replyBody = "OK");
    ~RawHttpServer();

    QString BaseUrl() const;
    std::vector<std::string> Requests() const;

private:
    void Serve();
    void Handle(int connection);

    Behaviour behaviour_;
    std::string replyBody_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A loopback URL on which nothing listens.
QString ClosedPortUrl();

// Records every box instead of showing it.
class RecordingDialogs : public Dialogs {
public:
    QStringList messages;

    void ShowMessage(const QString& text) override { messages.append(text); }
    Result MessageBox(QWidget*, const QString& text, const QString&, Buttons, Icon) override
    {
        messages.append(text);
        return Result::Ok;
    }
    QString InputBox(const QString&, const QString&, const QString& text) override { return text; }
    std::optional<QString> BrowseForFolder(QWidget*, const QString&) override { return std::nullopt; }
};

// The main window's side of login and logout.
class RecordingLoginHost : public TLoginHost {
public:
    QString userName;
    bool transferReady = false;
    bool loggedIn = false;
    int loginProcCalls = 0;
    int logoutProcCalls = 0;

    void SetUserName(const QString& name) override { userName = name; }
    void SetTransferReady(bool ready) override { transferReady = ready; }
    void LoginProc() override
    {
        loggedIn = true;
        ++loginProcCalls;
    }
    void LogoutProc() override
    {
        loggedIn = false;
        userName.clear();
        ++logoutProcCalls;
    }
};

}  // namespace tovari::test
