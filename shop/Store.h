#pragma once

#include "shop/Sqlite.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tovari::shop {

struct Member {
    std::int64_t id = 0;
    std::string email;
    std::string displayName;
};

struct Session {
    std::string id;
    std::optional<std::int64_t> memberId;  // set while an album member is logged in
};

struct Folder {
    std::int64_t id = 0;
    std::optional<std::int64_t> parentId;  // none for folders at the top of the album
    std::string name;
};

// File names are relative to the store's files folder.
struct Photo {
    std::int64_t id = 0;
    std::int64_t folderId = 0;
    std::string name;
    std::string file;
    std::string thumbnail;
};

struct OrderItem {
    std::int64_t id = 0;
    std::string name;
    std::string file;
    std::string thumbnail;
    int quantity = 1;
    std::string size;
};

struct OrderChoice {
    std::int64_t itemId = 0;
    int quantity = 0;
    std::string size;
};

struct PlacedOrder {
    std::int64_t id = 0;
    std::vector<OrderItem> items;
};

// Everything the shop remembers, in one SQLite file inside the data folder. Safe to use from
// the server's worker threads: every call holds the store's lock.
class Store {
public:
    explicit Store(const std::filesystem::path& dataFolder);

    std::filesystem::path FilesFolder() const { return filesFolder_; }

    // Passwords are kept only as salted slow hashes; FindMember checks against the hash.
    std::int64_t AddMember(const std::string& email, const std::string& password, const std::string& displayName);
    std::optional<Member> FindMember(const std::string& email, const std::string& password);
    // Replaces every password still stored as given (a database from before hashing) by its hash.
    // Returns how many it converted.
    int HashPlainPasswords();
    // Runs work as one transaction: every change it makes through the store is kept, or none.
    void InTransaction(const std::function<void()>& work);
    std::optional<Member> MemberById(std::int64_t memberId);
    bool HasMembers();

    // A fresh identifier of 128 random bits from the system's cryptographic source, as 32 hex digits.
    std::string CreateSession();
    std::optional<Session> FindSession(const std::string& sessionId);
    void SetSessionMember(const std::string& sessionId, std::optional<std::int64_t> memberId);

    std::int64_t AddFolder(std::int64_t memberId, std::optional<std::int64_t> parentId, const std::string& name);
    std::int64_t FindOrAddTopFolder(std::int64_t memberId, const std::string& name);
    // In creation order, which is the order of siblings in the album.
    std::vector<Folder> Folders(std::int64_t memberId);
    std::optional<Folder> FindFolder(std::int64_t memberId, std::int64_t folderId);

    std::int64_t AddPhoto(std::int64_t folderId, const Photo& photo);
    std::vector<Photo> PhotosInFolder(std::int64_t folderId);
    std::optional<Photo> FindMemberPhoto(std::int64_t memberId, std::int64_t photoId);

    // Adds to the session's open order unless it already holds `cap` items; returns the new count.
    std::optional<int> AddOrderItem(const std::string& sessionId, const OrderItem& item, int cap);
    int OpenOrderCount(const std::string& sessionId);
    std::vector<OrderItem> OpenOrderItems(const std::string& sessionId);
    std::optional<OrderItem> FindOpenOrderItem(const std::string& sessionId, std::int64_t itemId);
    // Items chosen with a quantity of at least one are ordered, those chosen with 0 leave the
    // order, unmentioned ones (uploaded after the page was shown) stay open. Nothing happens,
    // and nothing is returned, when no item gets a quantity.
    std::optional<PlacedOrder> PlaceOrder(const std::string& sessionId, const std::vector<OrderChoice>& choices);

private:
    void CreateSchema();
    std::vector<OrderItem> ReadOrderItems(SqliteStatement& query);

    std::filesystem::path filesFolder_;
    // Recursive, so that a transaction can span calls of the store's own methods.
    std::recursive_mutex mutex_;
    SqliteDatabase db_;
};

}  // namespace tovari::shop
