#pragma once

#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace tovari::shop {

// How a misbehaving service answers a request that its rule picks.
enum class TFault {
    None,         // passes the request on and its reply back
    Drop,         // passes the reply's header and half its body, then drops the connection
    Stall,        // waits the rule's time, then passes the request on as usual
    Status500,    // answers 500 without asking the shop
    NotHttp,      // answers bytes that are no HTTP reply, then closes
    EndlessBody,  // answers 200 with a chunked body that never ends
    LostReply,    // passes the whole request on, then closes the connection without a byte of reply
};

struct FaultRule {
    TFault fault = TFault::None;
    std::chrono::milliseconds stall{0};
    std::string pathPart;  // requests whose target contains this are picked; empty picks every one
    int skip = 0;          // how many matching requests pass before the first is picked
    int times = 0;         // how many picked requests misbehave, the first ones; 0: all of them
    bool keepAlive = false;  // client connections carry one request after another, as a real server's do
};

class EFaultRule : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// "[keep-alive,]KIND[:MILLISECONDS][@PATH-PART][^SKIP][*TIMES]", KIND one of drop, stall, 500,
// not-http, endless, lost-reply; stall needs its milliseconds. Example: "stall:3000@/wis/wi_login.php*1".
FaultRule ParseFaultRule(const std::string& text);

// A loopback proxy in front of a shop that misbehaves by its rule. Unless the rule keeps connections
// alive, each client connection carries one request and is closed after its reply (the reply says so),
// so a client's next request always comes on a fresh connection. Every connection has a thread of its
// own; Stop ends them all.
class FaultProxy {
public:
    FaultProxy(std::string upstreamHost, int upstreamPort, FaultRule rule);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // Listens on host:port (0 picks a free port) and returns the port. Throws std::runtime_error.
    int Start(const std::string& host = "127.0.0.1", int port = 0);
    void Stop();
    int Port() const { return port_; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Requests answered by misbehaving so far.
    int Misbehaved() const { return misbehaved_; }

private:
    void AcceptLoop();
    void Serve(int client);
    // One request and its answer; true when the connection can carry another.
    bool ServeOne(int client);
    bool Picks(const std::string& target);
    std::string AskUpstream(const std::string& request);
    bool Wait(std::chrono::milliseconds time);

    std::string upstreamHost_;
    int upstreamPort_;
    FaultRule rule_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> misbehaved_{0};
    std::mutex mutex_;
    int matched_ = 0;
    int picked_ = 0;
    std::thread acceptThread_;
    std::list<std::thread> connections_;
};

}  // namespace tovari::shop
