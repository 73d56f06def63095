#include "shop/Sqlite.h"

#include <sqlite3.h>

namespace tovari::shop {

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file)
{
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw EShopStore("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, 5000);
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(db_);
}

void SqliteDatabase::Execute(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw EShopStore(message);
    }
}

SqliteStatement SqliteDatabase::Prepare(const char* sql)
{
    return SqliteStatement(*this, sql);
}

std::int64_t SqliteDatabase::LastInsertId() const
{
    return sqlite3_last_insert_rowid(db_);
}

int SqliteDatabase::Changes() const
{
    return sqlite3_changes(db_);
}

void SqliteDatabase::Fail(const std::string& what) const
{
    throw EShopStore(what + ": " + sqlite3_errmsg(db_));
}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : db_(&db)
{
    if (sqlite3_prepare_v2(db.db_, sql, -1, &stmt_, nullptr) != SQLITE_OK)
        db.Fail(std::string("cannot prepare \"") + sql + "\"");
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept : db_(other.db_), stmt_(other.stmt_)
{
    other.stmt_ = nullptr;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        db_->Fail("cannot bind");
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view value)
{
    if (sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        db_->Fail("cannot bind");
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::optional<std::int64_t> value)
{
    if (value)
        return Bind(index, *value);
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK)
        db_->Fail("cannot bind");
    return *this;
}

bool SqliteStatement::Step()
{
    int result = sqlite3_step(stmt_);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        db_->Fail("statement failed");
    return false;
}

std::int64_t SqliteStatement::Int(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

std::optional<std::int64_t> SqliteStatement::OptionalInt(int column) const
{
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL)
        return std::nullopt;
    return Int(column);
}

std::string SqliteStatement::Text(int column) const
{
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column)) : std::string();
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db)
{
    db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (!done_) {
        try {
            db_.Execute("ROLLBACK");
        } catch (const EShopStore&) {
            // A failed rollback leaves SQLite to undo the transaction itself; nothing better to do here.
        }
    }
}

void SqliteTransaction::Commit()
{
    db_.Execute("COMMIT");
    done_ = true;
}

}  // namespace tovari::shop
