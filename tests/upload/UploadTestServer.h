#pragma once

#include <QString>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovari::test {

// One request as it arrived on the wire.
struct ReceivedRequest {
    int connection = 0;  // connections are numbered from 1 in the order they were accepted
    std::string method;
    std::string target;
    std::string head;  // request line and header lines, as sent
    std::string body;

    std::string Header(const std::string& name) const;  // the first value, case-insensitive name
    // The "filename" of the part "file1" of a multipart body; empty when there is none.
    std::string UploadFileName() const;
};

// What the server does with a request.
struct ServerAnswer {
    int status = 200;
    std::string body;
    std::string extraHeaders;  // whole header lines, each ending in CR LF
    bool drop = false;         // close the connection without a reply, before the body is all in
};

// A keep-alive HTTP/1.1 server on 127.0.0.1 that keeps every request byte for byte and answers
// through a handler that runs on the server's thread once the first 4 KiB of the body are in (the
// request it sees holds only those). Each connection has a thread of its own.
class UploadTestServer {
public:
    using Handler = std::function<ServerAnswer(const ReceivedRequest&)>;

    // The default handler plays the service: login "NG", a session "SID123" from request 2, "OK" for
    // uploads.
    UploadTestServer();
    ~UploadTestServer();

    void SetHandler(Handler handler);
    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    // The POSTs in order of arrival; a dropped one with the part of its body that came.
    std::vector<ReceivedRequest> Uploads() const;
    std::vector<std::string> UploadedNames() const;  // their file names, base names only

    static ServerAnswer ServiceAnswer(const ReceivedRequest& request);

private:
    void Serve(int connection, int number);

    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<ReceivedRequest> requests_;
    std::vector<int> connections_;
    std::vector<std::thread> workers_;
};

}  // namespace tovari::test
