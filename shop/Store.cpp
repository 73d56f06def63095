#include "shop/Store.h"

#include <ctime>
#include <sodium.h>
#include <map>

namespace tovari::shop {

namespace {

std::filesystem::path PrepareFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw EShopStore("cannot create " + folder.string() + ": " + error.message());
    return folder;
}

bool IsPasswordHash(const std::string& stored)
{
    return stored.rfind(crypto_pwhash_STRPREFIX, 0) == 0;
}

std::string HashPassword(const std::string& password)
{
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw EShopStore("out of memory hashing a password");
    return hash;
}

void StartSodium()
{
    if (sodium_init() < 0)
        throw EShopStore("the cryptography library cannot start");
}

}  // namespace

Store::Store(const std::filesystem::path& dataFolder)
    : filesFolder_(PrepareFolder(dataFolder / "files")),
      db_(PrepareFolder(dataFolder) / "shop.sqlite")
{
    StartSodium();
    db_.Execute("PRAGMA journal_mode=WAL");
    db_.Execute("PRAGMA foreign_keys=ON");
    CreateSchema();
    HashPlainPasswords();
}

void Store::InTransaction(const std::function<void()>& work)
{
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(db_);
    work();
    transaction.Commit();
}

int Store::HashPlainPasswords()
{
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, std::string>> plain;
    {
        auto query = db_.Prepare("SELECT id, password FROM members");
        while (query.Step())
            if (!IsPasswordHash(query.Text(1)))
                plain.emplace_back(query.Int(0), query.Text(1));
    }
    if (plain.empty())
        return 0;
    SqliteTransaction transaction(db_);
    for (const auto& [id, password] : plain)
        db_.Prepare("UPDATE members SET password = ? WHERE id = ?").Bind(1, HashPassword(password)).Bind(2, id).Run();
    transaction.Commit();
    return int(plain.size());
}

void Store::CreateSchema()
{
    db_.Execute(R"sql(
        CREATE TABLE IF NOT EXISTS members (
            id INTEGER PRIMARY KEY,
            email TEXT NOT NULL UNIQUE COLLATE NOCASE,
            password TEXT NOT NULL,
            display_name TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS sessions (
            id TEXT PRIMARY KEY,
            member_id INTEGER REFERENCES members(id),
            created_at INTEGER NOT NULL);
        CREATE TABLE IF NOT EXISTS folders (
            id INTEGER PRIMARY KEY,
            member_id INTEGER NOT NULL REFERENCES members(id),
            parent_id INTEGER REFERENCES folders(id),
            name TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS photos (
            id INTEGER PRIMARY KEY,
            folder_id INTEGER NOT NULL REFERENCES folders(id),
            name TEXT NOT NULL,
            file TEXT NOT NULL,
            thumbnail TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS orders (
            id INTEGER PRIMARY KEY,
            session_id TEXT NOT NULL REFERENCES sessions(id),
            placed_at INTEGER NOT NULL);
        CREATE TABLE IF NOT EXISTS order_items (
            id INTEGER PRIMARY KEY,
            session_id TEXT NOT NULL REFERENCES sessions(id),
            name TEXT NOT NULL,
            file TEXT NOT NULL,
            thumbnail TEXT NOT NULL,
            quantity INTEGER NOT NULL DEFAULT 1,
            size TEXT NOT NULL DEFAULT 'L',
            order_id INTEGER REFERENCES orders(id));
        CREATE INDEX IF NOT EXISTS order_items_by_session ON order_items(session_id, order_id);
        CREATE INDEX IF NOT EXISTS photos_by_folder ON photos(folder_id);
    )sql");
}

std::int64_t Store::AddMember(const std::string& email, const std::string& password, const std::string& displayName)
{
    const std::string hash = HashPassword(password);
    std::lock_guard lock(mutex_);
    db_.Prepare("INSERT INTO members(email, password, display_name) VALUES(?, ?, ?)")
        .Bind(1, email)
        .Bind(2, hash)
        .Bind(3, displayName)
        .Run();
    return db_.LastInsertId();
}

std::optional<Member> Store::FindMember(const std::string& email, const std::string& password)
{
    Member member;
    std::string hash;
    {
        std::lock_guard lock(mutex_);
        auto query = db_.Prepare("SELECT id, email, display_name, password FROM members WHERE email = ?");
        query.Bind(1, email);
        if (!query.Step())
            return std::nullopt;
        member = Member{query.Int(0), query.Text(1), query.Text(2)};
        hash = query.Text(3);
    }
    // Checked outside the lock: the hash is slow on purpose and must not hold up other requests.
    if (!IsPasswordHash(hash) || crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) != 0)
        return std::nullopt;
    return member;
}

std::optional<Member> Store::MemberById(std::int64_t memberId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT id, email, display_name FROM members WHERE id = ?");
    query.Bind(1, memberId);
    if (!query.Step())
        return std::nullopt;
    return Member{query.Int(0), query.Text(1), query.Text(2)};
}

bool Store::HasMembers()
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT 1 FROM members LIMIT 1");
    return query.Step();
}

std::string Store::CreateSession()
{
    std::lock_guard lock(mutex_);
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[2 * sizeof bytes + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    const std::string id = hex;
    db_.Prepare("INSERT INTO sessions(id, created_at) VALUES(?, ?)")
        .Bind(1, id)
        .Bind(2, std::int64_t(std::time(nullptr)))
        .Run();
    return id;
}

std::optional<Session> Store::FindSession(const std::string& sessionId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT id, member_id FROM sessions WHERE id = ?");
    query.Bind(1, sessionId);
    if (!query.Step())
        return std::nullopt;
    return Session{query.Text(0), query.OptionalInt(1)};
}

void Store::SetSessionMember(const std::string& sessionId, std::optional<std::int64_t> memberId)
{
    std::lock_guard lock(mutex_);
    db_.Prepare("UPDATE sessions SET member_id = ? WHERE id = ?").Bind(1, memberId).Bind(2, sessionId).Run();
}

std::int64_t Store::AddFolder(std::int64_t memberId, std::optional<std::int64_t> parentId, const std::string& name)
{
    std::lock_guard lock(mutex_);
    db_.Prepare("INSERT INTO folders(member_id, parent_id, name) VALUES(?, ?, ?)")
        .Bind(1, memberId)
        .Bind(2, parentId)
        .Bind(3, name)
        .Run();
    return db_.LastInsertId();
}

std::int64_t Store::FindOrAddTopFolder(std::int64_t memberId, const std::string& name)
{
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(db_);
    auto query = db_.Prepare("SELECT id FROM folders WHERE member_id = ? AND parent_id IS NULL AND name = ? ORDER BY id");
    query.Bind(1, memberId).Bind(2, name);
    if (query.Step())
        return query.Int(0);
    db_.Prepare("INSERT INTO folders(member_id, parent_id, name) VALUES(?, NULL, ?)").Bind(1, memberId).Bind(2, name).Run();
    auto id = db_.LastInsertId();
    transaction.Commit();
    return id;
}

std::vector<Folder> Store::Folders(std::int64_t memberId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT id, parent_id, name FROM folders WHERE member_id = ? ORDER BY id");
    query.Bind(1, memberId);
    std::vector<Folder> folders;
    while (query.Step())
        folders.push_back({query.Int(0), query.OptionalInt(1), query.Text(2)});
    return folders;
}

std::optional<Folder> Store::FindFolder(std::int64_t memberId, std::int64_t folderId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT id, parent_id, name FROM folders WHERE member_id = ? AND id = ?");
    query.Bind(1, memberId).Bind(2, folderId);
    if (!query.Step())
        return std::nullopt;
    return Folder{query.Int(0), query.OptionalInt(1), query.Text(2)};
}

std::int64_t Store::AddPhoto(std::int64_t folderId, const Photo& photo)
{
    std::lock_guard lock(mutex_);
    db_.Prepare("INSERT INTO photos(folder_id, name, file, thumbnail) VALUES(?, ?, ?, ?)")
        .Bind(1, folderId)
        .Bind(2, photo.name)
        .Bind(3, photo.file)
        .Bind(4, photo.thumbnail)
        .Run();
    return db_.LastInsertId();
}

std::vector<Photo> Store::PhotosInFolder(std::int64_t folderId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare("SELECT id, folder_id, name, file, thumbnail FROM photos WHERE folder_id = ? ORDER BY id");
    query.Bind(1, folderId);
    std::vector<Photo> photos;
    while (query.Step())
        photos.push_back({query.Int(0), query.Int(1), query.Text(2), query.Text(3), query.Text(4)});
    return photos;
}

std::optional<Photo> Store::FindMemberPhoto(std::int64_t memberId, std::int64_t photoId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare(R"sql(
        SELECT photos.id, photos.folder_id, photos.name, photos.file, photos.thumbnail
        FROM photos JOIN folders ON folders.id = photos.folder_id
        WHERE photos.id = ? AND folders.member_id = ?)sql");
    query.Bind(1, photoId).Bind(2, memberId);
    if (!query.Step())
        return std::nullopt;
    return Photo{query.Int(0), query.Int(1), query.Text(2), query.Text(3), query.Text(4)};
}

std::optional<int> Store::AddOrderItem(const std::string& sessionId, const OrderItem& item, int cap)
{
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(db_);
    int held = 0;
    {
        auto count = db_.Prepare("SELECT COUNT(*) FROM order_items WHERE session_id = ? AND order_id IS NULL");
        count.Bind(1, sessionId).Step();
        held = int(count.Int(0));
    }
    if (held >= cap)
        return std::nullopt;
    db_.Prepare("INSERT INTO order_items(session_id, name, file, thumbnail, quantity, size) VALUES(?, ?, ?, ?, ?, ?)")
        .Bind(1, sessionId)
        .Bind(2, item.name)
        .Bind(3, item.file)
        .Bind(4, item.thumbnail)
        .Bind(5, std::int64_t(item.quantity))
        .Bind(6, item.size)
        .Run();
    transaction.Commit();
    return held + 1;
}

int Store::OpenOrderCount(const std::string& sessionId)
{
    std::lock_guard lock(mutex_);
    auto count = db_.Prepare("SELECT COUNT(*) FROM order_items WHERE session_id = ? AND order_id IS NULL");
    count.Bind(1, sessionId).Step();
    return int(count.Int(0));
}

std::vector<OrderItem> Store::ReadOrderItems(SqliteStatement& query)
{
    std::vector<OrderItem> items;
    while (query.Step())
        items.push_back({query.Int(0), query.Text(1), query.Text(2), query.Text(3), int(query.Int(4)), query.Text(5)});
    return items;
}

std::vector<OrderItem> Store::OpenOrderItems(const std::string& sessionId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare(R"sql(
        SELECT id, name, file, thumbnail, quantity, size FROM order_items
        WHERE session_id = ? AND order_id IS NULL ORDER BY id)sql");
    query.Bind(1, sessionId);
    return ReadOrderItems(query);
}

std::optional<OrderItem> Store::FindOpenOrderItem(const std::string& sessionId, std::int64_t itemId)
{
    std::lock_guard lock(mutex_);
    auto query = db_.Prepare(R"sql(
        SELECT id, name, file, thumbnail, quantity, size FROM order_items
        WHERE session_id = ? AND id = ? AND order_id IS NULL)sql");
    query.Bind(1, sessionId).Bind(2, itemId);
    auto items = ReadOrderItems(query);
    if (items.empty())
        return std::nullopt;
    return items.front();
}

std::optional<PlacedOrder> Store::PlaceOrder(const std::string& sessionId, const std::vector<OrderChoice>& choices)
{
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(db_);
    auto query = db_.Prepare(R"sql(
        SELECT id, name, file, thumbnail, quantity, size FROM order_items
        WHERE session_id = ? AND order_id IS NULL ORDER BY id)sql");
    query.Bind(1, sessionId);
    auto open = ReadOrderItems(query);

    std::map<std::int64_t, const OrderChoice*> choiceOf;
    for (const auto& choice : choices)
        choiceOf[choice.itemId] = &choice;

    PlacedOrder order;
    std::vector<std::int64_t> dropped;
    for (auto& item : open) {
        auto found = choiceOf.find(item.id);
        if (found == choiceOf.end())
            continue;
        if (found->second->quantity <= 0) {
            dropped.push_back(item.id);
            continue;
        }
        item.quantity = found->second->quantity;
        item.size = found->second->size;
        order.items.push_back(item);
    }
    if (order.items.empty())
        return std::nullopt;

    db_.Prepare("INSERT INTO orders(session_id, placed_at) VALUES(?, ?)")
        .Bind(1, sessionId)
        .Bind(2, std::int64_t(std::time(nullptr)))
        .Run();
    order.id = db_.LastInsertId();
    for (const auto& item : order.items)
        db_.Prepare("UPDATE order_items SET quantity = ?, size = ?, order_id = ? WHERE id = ?")
            .Bind(1, std::int64_t(item.quantity))
            .Bind(2, item.size)
            .Bind(3, order.id)
            .Bind(4, item.id)
            .Run();
    for (auto id : dropped)
        db_.Prepare("DELETE FROM order_items WHERE id = ?").Bind(1, id).Run();
    transaction.Commit();
    return order;
}

}  // namespace tovari::shop
