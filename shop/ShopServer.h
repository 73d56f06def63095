#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tovari::shop {

class Store;
class PictureFiles;

struct ShopOptions {
    std::filesystem::path dataFolder{};
    std::string host = "127.0.0.1";
    int port = 8931;
    // A session's open order takes this many photos; the upload that fills it is kept and
    // answered "OVER", later ones are refused with "OVER".
    int orderCap = 3000;
    // Larger requests are answered 413 without being handled.
    std::size_t maxRequestBytes = 50 * 1024 * 1024;
    bool seedDemoAlbum = true;
    bool logRequests = false;
};

class EShopStart : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The shop's web service on one address, its listen loop on a thread of its own.
class ShopServer {
public:
    // Opens (or makes) the data folder. The demo album is made on a first start, once the port is bound.
    explicit ShopServer(ShopOptions options);
    ~ShopServer();
    ShopServer(const ShopServer&) = delete;
    ShopServer& operator=(const ShopServer&) = delete;

    void Start();  // on options.port; port 0 picks a free one
    int StartOnEphemeralPort();
    void Stop();
    int Port() const { return port_; }
    Store& ShopStore() { return *store_; }

private:
    using Handler = void (ShopServer::*)(const httplib::Request&, httplib::Response&);
    struct ModeRoute {
        const char* mode;  // "" stands for a request without a mode
        Handler handler;
    };

    void SetUpRoutes();
    void RouteByMode(bool post, const char* pattern, std::initializer_list<ModeRoute> routes);
    void RunListenLoop();
    void SeedAfterBinding();

    void IssueSession(const httplib::Request& request, httplib::Response& response);
    void Login(const httplib::Request& request, httplib::Response& response);
    void MemberName(const httplib::Request& request, httplib::Response& response);
    void Logout(const httplib::Request& request, httplib::Response& response);
    void FolderList(const httplib::Request& request, httplib::Response& response);
    void PhotoList(const httplib::Request& request, httplib::Response& response);
    void Thumbnail(const httplib::Request& request, httplib::Response& response);
    void FullSizePhoto(const httplib::Request& request, httplib::Response& response);
    void Upload(const httplib::Request& request, httplib::Response& response);
    void ShowOrder(const httplib::Request& request, httplib::Response& response);
    void OrderImage(const httplib::Request& request, httplib::Response& response);
    void PlaceOrder(const httplib::Request& request, httplib::Response& response);
    void Help(const httplib::Request& request, httplib::Response& response);
    void Download(const httplib::Request& request, httplib::Response& response);

    void ServeAlbumPicture(const httplib::Request& request, httplib::Response& response, bool fullSize);

    ShopOptions options_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<PictureFiles> files_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listenThread_;
    std::atomic<bool> listenEnded_{false};
    int port_ = 0;
};

}  // namespace tovari::shop
