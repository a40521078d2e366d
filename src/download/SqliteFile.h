// What the stores in "archive.sqlite3" share: opening the file in WAL mode
// with a short busy wait, prepared statements, and SQLite's result codes as
// failures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>

#include "base/Result.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lumora {

// A second process may hold the write lock for a moment; a longer hold must
// not stall a run: what cannot be written then is written again later.
inline constexpr int kSqliteBusyTimeoutMs = 3000;

// Opens or creates a database for reading and writing, shared by threads,
// with the busy wait set and WAL (readers and one writer of other processes
// go on together) and NORMAL syncing (at checkpoints, which WAL keeps consistent).
Result<sqlite3*> OpenSqliteFile(const std::filesystem::path& file);

// Runs `sql`, waiting through a busy file for the busy wait: switching the
// journal mode and creating tables can meet another process doing the same,
// which SQLite reports at once instead of waiting through its busy handler.
// SQLite's result code.
int ExecuteWhenFree(sqlite3* db, const char* sql);

// A SQLite result code as a failure: system reasons where it names one.
Failure SqliteFailure(int code);

// One prepared statement, finalised when it goes.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    SqliteStatement& Bind(int column, const std::u16string& text);
    SqliteStatement& Bind(int column, std::int64_t value);
    // True while rows come; Done() tells whether the statement finished well.
    bool Step();
    bool Done() const;
    // The step's result, or the preparation's failure.
    int Code(sqlite3* db) const;
    std::u16string Text(int column) const;
    std::int64_t Int(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int last_ = 0;
};

// A store of its own tables in the file, on its own connection.
class SqliteStore {
public:
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

protected:
    explicit SqliteStore(sqlite3* db) : db_(db) {}
    ~SqliteStore();
    Result<void> Execute(const char* sql);
    // Runs `body` in one write transaction, which it keeps when `body` returns true.
    Result<void> Transaction(const std::function<bool()>& body);
    // One statement with whole numbers bound to ?1, ?2, ...; true when it ran to its end.
    bool Run(const char* sql, std::initializer_list<std::int64_t> numbers);

    sqlite3* db_;
};

}  // namespace lumora
