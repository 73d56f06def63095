#include "tests/service/TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace tovari::test {

std::vector<std::string> RecordingServer::Request::Header(const std::string& name) const
{
    std::vector<std::string> values;
    for (auto [it, end] = headers.equal_range(name); it != end; ++it)
        values.push_back(it->second);
    return values;
}

RecordingServer::RecordingServer()
{
    auto record = [this](const httplib::Request& req, httplib::Response& res) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({req.target, req.headers, req.remote_port});
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

void RecordingServer::ReplyText(const std::string& body, const std::string& setCookie, int status)
{
    Reply([=](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        if (!setCookie.empty())
            res.set_header("Set-Cookie", setCookie);
        res.set_content(body, "text/html");
    });
}

std::vector<RecordingServer::Request> RecordingServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> RecordingServer::Targets() const
{
    std::vector<std::string> targets;
    for (const Request& r : Requests())
        targets.push_back(r.target);
    return targets;
}

namespace {
// A socket bound to an ephemeral loopback port.
int BindLoopback(int& port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test server cannot bind");
    port = ntohs(address.sin_port);
    return s;
}
}  // namespace

RawHttpServer::RawHttpServer(std::string reply) : reply_(std::move(reply))
{
    listener_ = BindLoopback(port_);
    if (::listen(listener_, 8) != 0)
        throw std::runtime_error("test server cannot listen");
    thread_ = std::thread([this] {
        for (int connection; (connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            Handle(connection);
            ::close(connection);
        }
    });
}

RawHttpServer::~RawHttpServer()
{
    ::shutdown(listener_, SHUT_RDWR);  // wakes accept()
    thread_.join();
    ::close(listener_);
}

std::string RawHttpServer::Ok(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::vector<std::string> RawHttpServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawHttpServer::Handle(int connection)
{
    std::string request;
    char buffer[65536];
    size_t headEnd = std::string::npos;
    size_t wanted = 0;
    while (headEnd == std::string::npos || request.size() < wanted) {
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        request.append(buffer, size_t(got));
        if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
            std::string head = request.substr(0, headEnd + 4);
            for (char& c : head)
                c = char(tolower(static_cast<unsigned char>(c)));
            const size_t at = head.find("\r\ncontent-length:");
            wanted = headEnd + 4 + (at == std::string::npos ? 0 : std::stoul(head.substr(at + 17)));
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    ::send(connection, reply_.data(), reply_.size(), MSG_NOSIGNAL);
}

QString ClosedPortUrl()
{
    int port = 0;
    ::close(BindLoopback(port));
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

}  // namespace tovari::test
