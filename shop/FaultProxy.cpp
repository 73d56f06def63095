#include "shop/FaultProxy.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace tovari::shop {

namespace {

constexpr std::size_t kMaxRequestHead = 1 << 20;
constexpr std::size_t kMaxRequestBody = std::size_t(64) << 20;
constexpr auto kPollStep = std::chrono::milliseconds(50);

bool SendAll(int socket, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= std::size_t(sent);
    }
    return true;
}

bool SendAll(int socket, const std::string& bytes) { return SendAll(socket, bytes.data(), bytes.size()); }

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

// One request as it came: the head with its blank line, and the body its Content-Length announces.
// Empty when the client closed or sent something else.
std::string ReadRequest(int client, const std::atomic<bool>& stopping)
{
    std::string bytes;
    std::size_t headEnd = std::string::npos;
    std::size_t wanted = 0;
    char buffer[16384];
    for (;;) {
        if (headEnd != std::string::npos && bytes.size() >= wanted)
            return bytes.substr(0, wanted);
        pollfd p{client, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(kPollStep.count()));
        if (stopping)
            return {};
        if (ready <= 0)
            continue;
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        bytes.append(buffer, std::size_t(got));
        if (headEnd == std::string::npos) {
            headEnd = bytes.find("\r\n\r\n");
            if (headEnd == std::string::npos) {
                if (bytes.size() > kMaxRequestHead)
                    return {};
                continue;
            }
            headEnd += 4;
            std::size_t length = 0;
            const std::string head = Lower(bytes.substr(0, headEnd));
            if (const std::size_t at = head.find("\r\ncontent-length:"); at != std::string::npos)
                length = std::strtoull(head.c_str() + at + 17, nullptr, 10);
            if (length > kMaxRequestBody)
                return {};
            wanted = headEnd + length;
        }
    }
}

// A request or reply with its Connection header replaced by the given lines (none, or a "close").
std::string WithConnectionHeader(const std::string& message, const std::string& connection)
{
    const std::size_t headEnd = message.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return message;
    const std::size_t firstLineEnd = message.find("\r\n");
    std::string out = message.substr(0, firstLineEnd + 2);
    std::size_t at = firstLineEnd + 2;
    while (at < headEnd + 2) {
        const std::size_t end = message.find("\r\n", at);
        const std::string line = message.substr(at, end + 2 - at);
        if (Lower(line).rfind("connection:", 0) != 0)
            out += line;
        at = end + 2;
    }
    return out + connection + "\r\n" + message.substr(headEnd + 4);
}

// The request as the shop gets it: the shop ends its reply by closing the connection.
std::string WithConnectionClose(const std::string& request)
{
    return WithConnectionHeader(request, "Connection: close\r\n");
}

// The shop's reply without the "Connection: close" that the proxy asked it for, so that a client on a
// kept-alive connection sends its next request on the same one.
std::string WithoutConnectionClose(const std::string& reply)
{
    return WithConnectionHeader(reply, "");
}

std::string Target(const std::string& request)
{
    const std::size_t start = request.find(' ');
    const std::size_t end = request.find(' ', start + 1);
    return start == std::string::npos || end == std::string::npos ? std::string() : request.substr(start + 1, end - start - 1);
}

}  // namespace

namespace {

// The count after the last `mark` in kind, removed from kind; fallback when there is none.
int TakeCount(std::string& kind, char mark, const std::string& text, int fallback)
{
    const std::size_t at = kind.rfind(mark);
    if (at == std::string::npos)
        return fallback;
    const std::string digits = kind.substr(at + 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6)
        throw EFaultRule("bad count in fault rule \"" + text + "\"");
    kind.resize(at);
    return std::stoi(digits);
}

}  // namespace

FaultRule ParseFaultRule(const std::string& text)
{
    FaultRule rule;
    std::string kind = text;
    constexpr std::string_view kKeepAlive = "keep-alive,";
    if (kind.rfind(kKeepAlive, 0) == 0) {
        rule.keepAlive = true;
        kind.erase(0, kKeepAlive.size());
    }
    rule.times = TakeCount(kind, '*', text, 0);
    rule.skip = TakeCount(kind, '^', text, 0);
    if (const std::size_t at = kind.find('@'); at != std::string::npos) {
        rule.pathPart = kind.substr(at + 1);
        kind.resize(at);
    }
    if (const std::size_t colon = kind.find(':'); colon != std::string::npos) {
        const std::string ms = kind.substr(colon + 1);
        if (ms.empty() || ms.find_first_not_of("0123456789") != std::string::npos || ms.size() > 7)
            throw EFaultRule("bad time in fault rule \"" + text + "\"");
        rule.stall = std::chrono::milliseconds(std::stoi(ms));
        kind.resize(colon);
        if (kind != "stall")
            throw EFaultRule("only stall takes a time: \"" + text + "\"");
    }
    if (kind == "drop")
        rule.fault = TFault::Drop;
    else if (kind == "stall" && rule.stall.count() > 0)
        rule.fault = TFault::Stall;
    else if (kind == "500")
        rule.fault = TFault::Status500;
    else if (kind == "not-http")
        rule.fault = TFault::NotHttp;
    else if (kind == "endless")
        rule.fault = TFault::EndlessBody;
    else if (kind == "lost-reply")
        rule.fault = TFault::LostReply;
    else
        throw EFaultRule("unknown fault rule \"" + text + "\" (drop, stall:MS, 500, not-http, endless, lost-reply)");
    return rule;
}

FaultProxy::FaultProxy(std::string upstreamHost, int upstreamPort, FaultRule rule)
    : upstreamHost_(std::move(upstreamHost)), upstreamPort_(upstreamPort), rule_(std::move(rule))
{
}

FaultProxy::~FaultProxy()
{
    Stop();
}

int FaultProxy::Start(const std::string& host, int port)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
        throw std::runtime_error("the fault proxy cannot listen on " + host + ":" + std::to_string(port) + ": " + why);
    }
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return port_;
}

void FaultProxy::Stop()
{
    if (!acceptThread_.joinable())
        return;
    stopping_ = true;
    acceptThread_.join();
    std::list<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (std::thread& t : connections)
        t.join();
    ::close(listener_);
    listener_ = -1;
}

void FaultProxy::AcceptLoop()
{
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, int(kPollStep.count())) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, client] {
            Serve(client);
            ::close(client);
        });
    }
}

bool FaultProxy::Picks(const std::string& target)
{
    if (rule_.fault == TFault::None || target.find(rule_.pathPart) == std::string::npos)
        return false;
    std::lock_guard lock(mutex_);
    if (matched_++ < rule_.skip)
        return false;
    if (rule_.times > 0 && picked_ >= rule_.times)
        return false;
    ++picked_;
    return true;
}

bool FaultProxy::Wait(std::chrono::milliseconds time)
{
    const auto until = std::chrono::steady_clock::now() + time;
    while (!stopping_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollStep, until - std::chrono::steady_clock::now()));
    return !stopping_;
}

std::string FaultProxy::AskUpstream(const std::string& request)
{
    const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(upstreamPort_));
    std::string reply;
    if (upstream >= 0 && ::inet_pton(AF_INET, upstreamHost_.c_str(), &address.sin_addr) == 1 &&
        ::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        SendAll(upstream, WithConnectionClose(request))) {
        char buffer[65536];
        for (;;) {
            pollfd p{upstream, POLLIN, 0};
            const int ready = ::poll(&p, 1, int(kPollStep.count()));
            if (stopping_)
                break;
            if (ready <= 0)
                continue;
            const ssize_t got = ::recv(upstream, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            reply.append(buffer, std::size_t(got));
        }
    }
    if (upstream >= 0)
        ::close(upstream);
    return reply;
}

void FaultProxy::Serve(int client)
{
    while (ServeOne(client) && rule_.keepAlive) {
    }
}

bool FaultProxy::ServeOne(int client)
{
    const std::string request = ReadRequest(client, stopping_);
    if (request.empty())
        return false;
    const bool picked = Picks(Target(request));
    const TFault fault = picked ? rule_.fault : TFault::None;
    if (picked)
        ++misbehaved_;
    switch (fault) {
    case TFault::Status500:
        SendAll(client, "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/plain\r\nContent-Length: 21\r\n"
                        "Connection: close\r\n\r\ninternal server error");
        return false;
    case TFault::NotHttp:
        SendAll(client, std::string("\x16\x03\x01\x00\x2a not a reply at all\r\n\r\n\x00\xff", 30));
        return false;
    case TFault::EndlessBody: {
        SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n");
        const std::string chunk = "1000\r\n" + std::string(0x1000, 'x') + "\r\n";
        while (!stopping_ && SendAll(client, chunk)) {
        }
        return false;
    }
    case TFault::Stall:
        if (!Wait(rule_.stall))
            return false;
        break;
    case TFault::Drop:
    case TFault::LostReply:
    case TFault::None:
        break;
    }
    const std::string reply = AskUpstream(request);
    if (fault == TFault::LostReply || reply.empty())
        return false;  // the shop has acted on the request; the client hears nothing
    if (fault != TFault::Drop)
        return SendAll(client, rule_.keepAlive ? WithoutConnectionClose(reply) : reply);
    const std::size_t headEnd = reply.find("\r\n\r\n");
    const std::size_t bodyStart = headEnd == std::string::npos ? 0 : headEnd + 4;
    SendAll(client, reply.data(), bodyStart + (reply.size() - bodyStart) / 2);
    // A reset rather than an orderly close: the reply is cut, not finished.
    linger hard{1, 0};
    ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    return false;
}

}  // namespace tovari::shop
