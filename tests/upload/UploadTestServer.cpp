#include "tests/upload/UploadTestServer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace tovari::test {

namespace {

constexpr size_t kDecideAfterBodyBytes = 4096;

bool SendAll(int connection, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

}  // namespace

std::string ReceivedRequest::Header(const std::string& name) const
{
    const std::string lowerHead = QByteArray::fromStdString(head).toLower().toStdString();
    const std::string key = "\r\n" + QByteArray::fromStdString(name).toLower().toStdString() + ":";
    const size_t at = lowerHead.find(key);
    if (at == std::string::npos)
        return {};
    const size_t start = head.find_first_not_of(' ', at + key.size());
    return head.substr(start, head.find("\r\n", start) - start);
}

std::string ReceivedRequest::UploadFileName() const
{
    const std::string marker = "name=\"file1\"; filename=\"";
    const size_t at = body.find(marker);
    if (at == std::string::npos)
        return {};
    const size_t start = at + marker.size();
    const std::string path = body.substr(start, body.find('"', start) - start);
    return path.substr(path.find_last_of('/') + 1);
}

ServerAnswer UploadTestServer::ServiceAnswer(const ReceivedRequest& request)
{
    if (request.method == "POST")
        return {200, "OK"};
    if (request.target.find("mode=cookie_get") != std::string::npos)
        return {200, "SID123"};
    return {200, "NG"};
}

UploadTestServer::UploadTestServer() : handler_(&UploadTestServer::ServiceAnswer)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::listen(listener_, 16) != 0)
        throw std::runtime_error("test server cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
        int number = 0;
        for (int connection; (connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::lock_guard lock(mutex_);
            connections_.push_back(connection);
            workers_.emplace_back([this, connection, n = ++number] { Serve(connection, n); });
        }
    });
}

UploadTestServer::~UploadTestServer()
{
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (const int connection : connections_)
            ::shutdown(connection, SHUT_RDWR);
    }
    for (std::thread& worker : workers_)
        worker.join();
    for (const int connection : connections_)
        ::close(connection);
    ::close(listener_);
}

void UploadTestServer::SetHandler(Handler handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<ReceivedRequest> UploadTestServer::Uploads() const
{
    std::lock_guard lock(mutex_);
    std::vector<ReceivedRequest> posts;
    for (const ReceivedRequest& r : requests_)
        if (r.method == "POST")
            posts.push_back(r);
    return posts;
}

std::vector<std::string> UploadTestServer::UploadedNames() const
{
    std::vector<std::string> names;
    for (const ReceivedRequest& r : Uploads())
        names.push_back(r.UploadFileName());
    return names;
}

void UploadTestServer::Serve(int connection, int number)
{
    std::string pending;
    char buffer[65536];
    for (;;) {
        size_t headEnd;
        while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            pending.append(buffer, size_t(got));
        }
        ReceivedRequest request;
        request.connection = number;
        request.head = pending.substr(0, headEnd + 2);
        const std::string length = request.Header("Content-Length");
        const size_t bodySize = length.empty() ? 0 : std::stoul(length);
        auto receiveBody = [&](size_t wanted) {
            while (pending.size() < headEnd + 4 + wanted) {
                const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0)
                    return false;
                pending.append(buffer, size_t(got));
            }
            return true;
        };
        const size_t space = request.head.find(' ');
        request.method = request.head.substr(0, space);
        request.target = request.head.substr(space + 1, request.head.find(' ', space + 1) - space - 1);

        // The handler decides once the part headers are in, so a dropped connection breaks off a body
        // that is still being sent.
        if (!receiveBody(std::min(bodySize, kDecideAfterBodyBytes)))
            return;
        request.body = pending.substr(headEnd + 4, std::min(bodySize, kDecideAfterBodyBytes));
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            handler = handler_;
        }
        const ServerAnswer answer = handler(request);
        if (answer.drop) {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            ::shutdown(connection, SHUT_RDWR);
            return;
        }
        if (!receiveBody(bodySize))
            return;
        request.body = pending.substr(headEnd + 4, bodySize);
        pending.erase(0, headEnd + 4 + bodySize);
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " X\r\nContent-Type: text/html\r\n" +
                                  answer.extraHeaders + "Content-Length: " + std::to_string(answer.body.size()) +
                                  "\r\n\r\n" + answer.body;
        if (!SendAll(connection, reply))
            return;
    }
}

}  // namespace tovari::test
