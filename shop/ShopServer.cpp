#include "shop/ShopServer.h"

#include "shop/RequestLog.h"

#include "shop/AlbumListing.h"
#include "shop/WireText.h"
#include "shop/DemoAlbum.h"
#include "shop/Pages.h"
#include "shop/Pictures.h"
#include "shop/Store.h"

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <iostream>

namespace tovari::shop {

namespace {

constexpr const char* kProtocolTextType = "text/html; charset=Shift_JIS";
constexpr const char* kRefusalType = "text/plain; charset=Shift_JIS";
constexpr const char* kPageType = "text/html; charset=UTF-8";
constexpr const char* kUploadFolderName = "アップロード";

void ReplyText(httplib::Response& response, std::string_view utf8)
{
    response.set_content(ToCp932(utf8), kProtocolTextType);
}

void ReplyRefusal(httplib::Response& response, int status, std::string_view message)
{
    response.status = status;
    response.set_content(std::string(message), kRefusalType);
}

void ReplyPage(httplib::Response& response, const std::string& html, int status = 200)
{
    response.status = status;
    response.set_content(html, kPageType);
}

void SetSessionCookie(httplib::Response& response, const std::string& sessionId)
{
    response.set_header("Set-Cookie", "sid=" + sessionId + "; path=/");
}

// The segment after the script name wins; an empty segment falls back to the cookie.
std::string RequestedSessionId(const httplib::Request& request)
{
    if (request.matches.size() > 1 && request.matches[1].length() > 0)
        return request.matches[1].str();
    for (auto [it, end] = request.headers.equal_range("Cookie"); it != end; ++it) {
        std::string_view cookies = it->second;
        while (!cookies.empty()) {
            const auto semicolon = cookies.find(';');
            auto cookie = cookies.substr(0, semicolon);
            cookies = semicolon == std::string_view::npos ? std::string_view() : cookies.substr(semicolon + 1);
            while (!cookie.empty() && cookie.front() == ' ')
                cookie.remove_prefix(1);
            if (cookie.starts_with("sid="))
                return std::string(cookie.substr(4));
        }
    }
    return {};
}

std::optional<std::int64_t> ParseId(std::string_view text)
{
    std::int64_t value = 0;
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::string StatusText(int status, std::size_t maxRequestBytes)
{
    switch (status) {
    case 400: return "bad request";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 413: return "request too large: the limit is " + std::to_string(maxRequestBytes) + " bytes";
    default: return status >= 500 ? "internal server error" : "error " + std::to_string(status);
    }
}

}  // namespace

ShopServer::ShopServer(ShopOptions options)
    : options_(std::move(options)),
      store_(std::make_unique<Store>(options_.dataFolder)),
      files_(std::make_unique<PictureFiles>(store_->FilesFolder())),
      server_(std::make_unique<httplib::Server>())
{
    SetUpRoutes();
}

ShopServer::~ShopServer()
{
    Stop();
}

void ShopServer::SetUpRoutes()
{
    // The library's default also sets SO_REUSEPORT, which would let a second shop share the
    // port silently; plain SO_REUSEADDR still allows a quick restart.
    server_->set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // A reply goes out as header and body in two writes; with Nagle's algorithm the body would wait
    // for the client's delayed acknowledgement, tens of milliseconds per request on a kept-alive connection.
    server_->set_tcp_nodelay(true);
    server_->set_payload_max_length(options_.maxRequestBytes);
    server_->set_error_handler([this](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content(StatusText(response.status, options_.maxRequestBytes), kRefusalType);
    });
    // The reply says no more than that something failed; the detail goes to the log only.
    server_->set_exception_handler([this](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string detail = "unknown exception";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            detail = e.what();
        } catch (...) {
        }
        if (options_.logRequests)
            std::clog << "internal error: " << EscapeForLog(detail) << std::endl;
        ReplyRefusal(response, 500, "internal server error");
    });
    if (options_.logRequests) {
        server_->set_logger([](const httplib::Request& request, const httplib::Response& response) {
            std::clog << RequestLogLine(request.method, request.path, response.status) << std::endl;
        });
    }

    RouteByMode(false, R"(/wis/wi_login\.php(?:/([^/]*))?)",
                {{"", &ShopServer::Login}, {"cookie_get", &ShopServer::IssueSession}, {"get_name", &ShopServer::MemberName}});
    RouteByMode(false, R"(/wis/wi_logout\.php(?:/([^/]*))?)", {{"", &ShopServer::Logout}});
    RouteByMode(false, R"(/wis/wi_folder\.php(?:/([^/]*))?)",
                {{"list", &ShopServer::FolderList}, {"img", &ShopServer::PhotoList}});
    RouteByMode(false, R"(/wis/wi_image\.php(?:/([^/]*))?)",
                {{"small", &ShopServer::Thumbnail}, {"big", &ShopServer::FullSizePhoto}});
    RouteByMode(true, R"(/wis/wi_upload\.php(?:/([^/]*))?)", {{"upload", &ShopServer::Upload}});
    RouteByMode(false, R"(/wis/order\.php)", {{"", &ShopServer::ShowOrder}, {"select", &ShopServer::ShowOrder}});
    RouteByMode(false, R"(/wis/order_image\.php)", {{"", &ShopServer::OrderImage}});
    RouteByMode(false, R"(/order_help\.php)", {{"", &ShopServer::Help}});
    RouteByMode(false, R"(/download\.php)", {{"", &ShopServer::Download}});

    // The order form may carry thousands of fields: its body is read here rather than by the
    // library, whose own form parsing has a small size limit.
    server_->Post(R"(/wis/order\.php)", [this](const httplib::Request& request, httplib::Response& response,
                                                const httplib::ContentReader& reader) {
        if (request.is_multipart_form_data())
            return ReplyRefusal(response, 400, "the order form is expected url-encoded");
        std::string body;
        reader([&body](const char* data, std::size_t length) {
            body.append(data, length);
            return true;
        });
        httplib::Request form = request;
        httplib::detail::parse_query_text(body, form.params);
        if (form.get_param_value("mode") != "confirm")
            return ReplyRefusal(response, 400, "unknown mode");
        PlaceOrder(form, response);
    });
}

void ShopServer::RouteByMode(bool post, const char* pattern, std::initializer_list<ModeRoute> routes)
{
    std::vector<ModeRoute> table(routes);
    auto dispatch = [this, table](const httplib::Request& request, httplib::Response& response) {
        // A multipart body carries its mode as a form field.
        const auto mode = request.has_param("mode") ? request.get_param_value("mode") : request.get_file_value("mode").content;
        for (const auto& route : table) {
            if (mode == route.mode)
                return (this->*route.handler)(request, response);
        }
        ReplyRefusal(response, 400, "unknown mode");
    };
    if (post)
        server_->Post(pattern, dispatch);
    else
        server_->Get(pattern, dispatch);
}

void ShopServer::Start()
{
    if (options_.port == 0) {
        StartOnEphemeralPort();
        return;
    }
    if (!server_->bind_to_port(options_.host, options_.port))
        throw EShopStart("cannot listen on " + options_.host + ":" + std::to_string(options_.port));
    port_ = options_.port;
    SeedAfterBinding();
    RunListenLoop();
}

void ShopServer::SeedAfterBinding()
{
    // Only the shop that holds the port seeds, and a start that fails half-way leaves no half album.
    if (options_.seedDemoAlbum)
        store_->InTransaction([this] { SeedDemoAlbum(*store_, *files_); });
}

int ShopServer::StartOnEphemeralPort()
{
    const int port = server_->bind_to_any_port(options_.host);
    if (port <= 0)
        throw EShopStart("cannot listen on " + options_.host);
    port_ = port;
    SeedAfterBinding();
    RunListenLoop();
    return port_;
}

void ShopServer::RunListenLoop()
{
    // The socket already listens, so clients may connect at once; Stop must not run before the
    // loop has begun, or it would miss it.
    listenEnded_ = false;
    listenThread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    while (!server_->is_running() && !listenEnded_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (listenEnded_) {
        listenThread_.join();
        throw EShopStart("the listen loop on " + options_.host + ":" + std::to_string(port_) + " ended at once");
    }
}

void ShopServer::Stop()
{
    if (!listenThread_.joinable())
        return;
    server_->stop();
    listenThread_.join();
}

void ShopServer::IssueSession(const httplib::Request&, httplib::Response& response)
{
    const auto sessionId = store_->CreateSession();
    SetSessionCookie(response, sessionId);
    ReplyText(response, sessionId);
}

void ShopServer::Login(const httplib::Request& request, httplib::Response& response)
{
    auto sessionId = RequestedSessionId(request);
    const auto session = sessionId.empty() ? std::nullopt : store_->FindSession(sessionId);
    const auto email = FromCp932(request.get_param_value("email"));
    const auto password = FromCp932(request.get_param_value("passwd"));

    // A session the shop does not know (its data was reset, or the session is gone) is replaced by a
    // fresh one, as a real service would, so a client holding a stale identifier recovers.
    auto replyNG = [&] {
        if (!sessionId.empty() && !session)
            SetSessionCookie(response, store_->CreateSession());
        ReplyText(response, "NG");
    };

    // Empty credentials ask whether the session is still logged in.
    if (email && email->empty() && password && password->empty()) {
        if (session && session->memberId) {
            SetSessionCookie(response, sessionId);
            return ReplyText(response, "OK");
        }
        return replyNG();
    }

    const auto member = email && password ? store_->FindMember(*email, *password) : std::nullopt;
    if (!member) {
        // A failed attempt does not leave somebody else logged in on this session.
        if (session)
            store_->SetSessionMember(sessionId, std::nullopt);
        return replyNG();
    }
    // The client reads the cookie only after "OK", so sessions are made here only on success.
    if (!session)
        sessionId = store_->CreateSession();
    store_->SetSessionMember(sessionId, member->id);
    SetSessionCookie(response, sessionId);
    ReplyText(response, "OK");
}

namespace {

struct LoggedIn {
    std::string sessionId;
    Member member;
};

std::optional<LoggedIn> FindLoggedIn(Store& store, const httplib::Request& request)
{
    auto sessionId = RequestedSessionId(request);
    if (sessionId.empty())
        return std::nullopt;
    auto session = store.FindSession(sessionId);
    if (!session || !session->memberId)
        return std::nullopt;
    auto member = store.MemberById(*session->memberId);
    if (!member)
        return std::nullopt;
    return LoggedIn{sessionId, *member};
}

}  // namespace

void ShopServer::MemberName(const httplib::Request& request, httplib::Response& response)
{
    auto loggedIn = FindLoggedIn(*store_, request);
    ReplyText(response, loggedIn ? loggedIn->member.displayName : "NG");
}

void ShopServer::Logout(const httplib::Request& request, httplib::Response& response)
{
    const auto sessionId = RequestedSessionId(request);
    if (sessionId.empty() || !store_->FindSession(sessionId))
        return ReplyText(response, "NG");
    store_->SetSessionMember(sessionId, std::nullopt);
    ReplyText(response, "OK");
}

void ShopServer::FolderList(const httplib::Request& request, httplib::Response& response)
{
    auto loggedIn = FindLoggedIn(*store_, request);
    if (!loggedIn)
        return ReplyText(response, "NG");
    ReplyText(response, FormatFolderList(store_->Folders(loggedIn->member.id)));
}

void ShopServer::PhotoList(const httplib::Request& request, httplib::Response& response)
{
    auto loggedIn = FindLoggedIn(*store_, request);
    if (!loggedIn)
        return ReplyText(response, "NG");
    const auto folderId = ParseId(request.get_param_value("id"));
    if (!folderId)
        return ReplyRefusal(response, 400, "bad folder id");
    // Id 0 is the album's top: it holds folders only.
    if (*folderId != 0 && !store_->FindFolder(loggedIn->member.id, *folderId))
        return ReplyRefusal(response, 404, "no such folder");

    std::vector<Folder> subfolders;
    for (auto& folder : store_->Folders(loggedIn->member.id))
        if (folder.parentId.value_or(0) == *folderId)
            subfolders.push_back(std::move(folder));
    const auto photos = *folderId == 0 ? std::vector<Photo>() : store_->PhotosInFolder(*folderId);
    ReplyText(response, FormatPhotoList(subfolders, photos));
}

void ShopServer::Thumbnail(const httplib::Request& request, httplib::Response& response)
{
    ServeAlbumPicture(request, response, false);
}

void ShopServer::FullSizePhoto(const httplib::Request& request, httplib::Response& response)
{
    ServeAlbumPicture(request, response, true);
}

void ShopServer::ServeAlbumPicture(const httplib::Request& request, httplib::Response& response, bool fullSize)
{
    auto loggedIn = FindLoggedIn(*store_, request);
    if (!loggedIn)
        return ReplyRefusal(response, 403, "not logged in");
    const auto photoId = ParseId(request.get_param_value("id"));
    if (!photoId)
        return ReplyRefusal(response, 400, "bad photo id");
    const auto photo = store_->FindMemberPhoto(loggedIn->member.id, *photoId);
    if (!photo)
        return ReplyRefusal(response, 404, "no such photo");
    const auto bytes = files_->Read(fullSize ? photo->file : photo->thumbnail);
    if (!bytes)
        return ReplyRefusal(response, 500, "photo file missing");
    response.set_content(*bytes, fullSize ? ContentTypeForName(photo->name) : "image/jpeg");
}

void ShopServer::Upload(const httplib::Request& request, httplib::Response& response)
{
    const auto sessionId = RequestedSessionId(request);
    if (sessionId.empty())
        return ReplyRefusal(response, 403, "no session");
    const auto session = store_->FindSession(sessionId);
    if (!session)
        return ReplyRefusal(response, 403, "unknown session");
    if (!request.has_file("file1") || request.get_file_value("file1").filename.empty())
        return ReplyRefusal(response, 400, "file field file1 missing");
    const auto& file = request.get_file_value("file1");
    if (file.content.empty())
        return ReplyRefusal(response, 400, "empty file");

    // "OVER" means the photo was kept and filled the order; a post into a full order keeps nothing, and
    // says so with an error, so that the client never counts it as sent.
    if (store_->OpenOrderCount(sessionId) >= options_.orderCap)
        return ReplyRefusal(response, 409, "order full");
    const auto name = StoredPhotoName(file.filename);
    const auto saved = files_->Save(file.content, name);
    const auto count = store_->AddOrderItem(sessionId, OrderItem{0, name, saved.file, saved.thumbnail, 1, "L"}, options_.orderCap);
    if (!count)
        return ReplyRefusal(response, 409, "order full");
    if (session->memberId) {
        const auto folderId = store_->FindOrAddTopFolder(*session->memberId, kUploadFolderName);
        store_->AddPhoto(folderId, Photo{0, folderId, name, saved.file, saved.thumbnail});
    }
    ReplyText(response, *count >= options_.orderCap ? "OVER" : "OK");
}

void ShopServer::ShowOrder(const httplib::Request& request, httplib::Response& response)
{
    const auto sessionId = request.get_param_value("sid");
    if (sessionId.empty() || !store_->FindSession(sessionId))
        return ReplyPage(response, MessagePage("プリントのご注文", "セッションが見つかりません。トヴァリから注文ページを開いてください。"), 404);
    ReplyPage(response, OrderPage(sessionId, store_->OpenOrderItems(sessionId), options_.orderCap));
}

void ShopServer::OrderImage(const httplib::Request& request, httplib::Response& response)
{
    const auto itemId = ParseId(request.get_param_value("id"));
    if (!itemId)
        return ReplyRefusal(response, 400, "bad item id");
    const auto item = store_->FindOpenOrderItem(request.get_param_value("sid"), *itemId);
    if (!item)
        return ReplyRefusal(response, 404, "no such order item");
    const auto bytes = files_->Read(item->thumbnail);
    if (!bytes)
        return ReplyRefusal(response, 500, "thumbnail file missing");
    response.set_content(*bytes, "image/jpeg");
}

void ShopServer::PlaceOrder(const httplib::Request& request, httplib::Response& response)
{
    const auto sessionId = request.get_param_value("sid");
    if (sessionId.empty() || !store_->FindSession(sessionId))
        return ReplyPage(response, MessagePage("ご注文の確認", "セッションが見つかりません。トヴァリから注文ページを開いてください。"), 404);

    std::vector<OrderChoice> choices;
    for (const auto& item : store_->OpenOrderItems(sessionId)) {
        const auto id = std::to_string(item.id);
        if (!request.has_param("qty_" + id))
            continue;
        const auto quantity = ParseId(request.get_param_value("qty_" + id));
        if (!quantity || *quantity > kMaxQuantity)
            return ReplyPage(response, MessagePage("ご注文の確認", "枚数は 0 から 99 までの数で入力してください。"), 400);
        const auto sizeCode = request.get_param_value("size_" + id);
        if (!FindPrintSize(sizeCode))
            return ReplyPage(response, MessagePage("ご注文の確認", "サイズを選んでください。"), 400);
        choices.push_back({item.id, int(*quantity), sizeCode});
    }
    const auto order = store_->PlaceOrder(sessionId, choices);
    if (!order)
        return ReplyPage(response, MessagePage("ご注文の確認", "注文する写真がありません。枚数を 1 枚以上にしてください。"));
    ReplyPage(response, OrderConfirmationPage(*order));
}

void ShopServer::Help(const httplib::Request&, httplib::Response& response)
{
    ReplyPage(response, HelpPage());
}

void ShopServer::Download(const httplib::Request&, httplib::Response& response)
{
    ReplyPage(response, DownloadPage());
}

}  // namespace tovari::shop
