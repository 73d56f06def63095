#include "tests/service/TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace tovari::test {

std::vector<std::string> RecordedRequest::HeaderValues(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            values.push_back(value);
    return values;
}

RecordingServer::RecordingServer()
{
    auto record = [this](const httplib::Request& req, httplib::Response& res) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({req.method, req.target, req.version, req.headers, req.params, req.remote_port});
            handler = handler_;
        }
        if (handler)
            handler(req, res);
        else
            res.set_content("", "text/html");
    };
    server_.Get(".*", record);
    server_.Post(".*", record);
    server_.set_keep_alive_timeout(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

RecordingServer::~RecordingServer()
{
    // stop() only takes effect once the accept loop runs.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_.is_running() && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    server_.stop();
    thread_.join();
}

void RecordingServer::Reply(Handler handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void RecordingServer::ReplyText(const std::string& body, const std::string& setCookie)
{
    Reply([body, setCookie](const httplib::Request&, httplib::Response& res) {
        if (!setCookie.empty())
            res.set_header("Set-Cookie", setCookie);
        res.set_content(body, "text/html");
    });
}

QString RecordingServer::BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

std::vector<RecordedRequest> RecordingServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

RawHttpServer::RawHttpServer(Behaviour behaviour, std::string replyBody)
    : behaviour_(behaviour), replyBody_(std::move(replyBody))
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test server cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);  // wakes accept()
    thread_.join();
    ::close(listener_);
}

QString RawHttpServer::BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

std::vector<std::string> RawHttpServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawHttpServer::Serve()
{
    while (!stopping_) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        Handle(connection);
        ::close(connection);
    }
}

void RawHttpServer::Handle(int connection)
{
    std::string request;
    char buffer[65536];
    size_t headEnd = std::string::npos;
    size_t wanted = 0;
    for (;;) {
        if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
            headEnd += 4;
            std::string head = request.substr(0, headEnd);
            for (char& c : head)
                c = char(tolower(static_cast<unsigned char>(c)));
            const size_t at = head.find("\r\ncontent-length:");
            wanted = headEnd + (at == std::string::npos ? 0 : std::stoul(head.substr(at + 17)));
        }
        if (headEnd != std::string::npos && request.size() >= wanted)
            break;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        request.append(buffer, size_t(got));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    std::string reply;
    switch (behaviour_) {
    case Behaviour::Respond:
        reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                std::to_string(replyBody_.size()) + "\r\n\r\n" + replyBody_;
        break;
    case Behaviour::CutBodyShort:
        reply = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + replyBody_;
        break;
    case Behaviour::CloseWithoutReply:
        return;
    case Behaviour::Stall: {
        std::unique_lock lock(mutex_);
        stopped_.wait(lock, [this] { return stopping_.load(); });
        return;
    }
    }
    ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
}

QString ClosedPortUrl()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return QStringLiteral("http://127.0.0.1:%1").arg(ntohs(address.sin_port));
}

}  // namespace tovari::test
