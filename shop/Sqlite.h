#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tovari::shop {

class EShopStore : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SqliteStatement;

// One connection; callers serialise access to it.
class SqliteDatabase {
public:
    explicit SqliteDatabase(const std::filesystem::path& file);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void Execute(const char* sql);
    SqliteStatement Prepare(const char* sql);
    std::int64_t LastInsertId() const;
    int Changes() const;

private:
    friend class SqliteStatement;
    [[noreturn]] void Fail(const std::string& what) const;
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters are numbered from 1, as SQLite counts them.
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view value);
    SqliteStatement& Bind(int index, std::optional<std::int64_t> value);

    // True while a row is available.
    bool Step();
    void Run() { Step(); }

    std::int64_t Int(int column) const;
    std::optional<std::int64_t> OptionalInt(int column) const;
    std::string Text(int column) const;

private:
    SqliteDatabase* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Rolls back unless committed.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    void Commit();

private:
    SqliteDatabase& db_;
    bool done_ = false;
};

}  // namespace tovari::shop
