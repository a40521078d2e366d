#include "download/SqliteFile.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "text/StringCtrl.h"

namespace lumora {

Result<sqlite3*> OpenSqliteFile(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (const int code = sqlite3_open_v2(file.c_str(), &db, flags, nullptr); code != SQLITE_OK) {
        Failure failure = SqliteFailure(db ? sqlite3_extended_errcode(db) : code);
        sqlite3_close(db);
        return failure;
    }
    sqlite3_busy_timeout(db, kSqliteBusyTimeoutMs);
    int code = ExecuteWhenFree(db, "PRAGMA journal_mode=WAL;");
    if (code == SQLITE_OK) code = sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_close(db);
        return SqliteFailure(code);
    }
    return db;
}

int ExecuteWhenFree(sqlite3* db, const char* sql) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSqliteBusyTimeoutMs);
    for (;;) {
        const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (code == SQLITE_OK) return code;
        if ((code & 0xFF) != SQLITE_BUSY && (code & 0xFF) != SQLITE_LOCKED) return code;
        if (std::chrono::steady_clock::now() >= until) return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Failure SqliteFailure(int code) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return {FailureCode::ArchiveBusy};
    case SQLITE_FULL: return SystemFailure(ENOSPC);
    case SQLITE_READONLY: return {FailureCode::ArchiveReadOnly};
    case SQLITE_PERM:
    case SQLITE_AUTH: return SystemFailure(EACCES);
    case SQLITE_CANTOPEN: return {FailureCode::ArchiveUnopened};
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return {FailureCode::ArchiveDamaged};
    case SQLITE_IOERR: return SystemFailure(EIO);
    case SQLITE_NOMEM: return {FailureCode::OutOfMemory};
    default: break;
    }
    return {FailureCode::Database, code};
}

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : last_(SQLITE_OK) {
    sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

SqliteStatement& SqliteStatement::Bind(int column, const std::u16string& text) {
    std::string bytes = WideToUtf8(text);
    sqlite3_bind_text(stmt_, column, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int column, std::int64_t value) {
    sqlite3_bind_int64(stmt_, column, value);
    return *this;
}

bool SqliteStatement::Step() {
    last_ = stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE;
    return last_ == SQLITE_ROW;
}

bool SqliteStatement::Done() const { return last_ == SQLITE_DONE; }

int SqliteStatement::Code(sqlite3* db) const { return stmt_ ? last_ : sqlite3_extended_errcode(db); }

std::u16string SqliteStatement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? Utf8ToWide(text) : std::u16string();
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

Result<void> SqliteStore::Execute(const char* sql) {
    if (const int code = ExecuteWhenFree(db_, sql); code != SQLITE_OK) return SqliteFailure(code);
    return {};
}

Result<void> SqliteStore::Transaction(const std::function<bool()>& body) {
    if (Result<void> begun = Execute("BEGIN IMMEDIATE"); !begun) return begun;
    if (body() && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return {};
    const int code = sqlite3_extended_errcode(db_);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return SqliteFailure(code);
}

bool SqliteStore::Run(const char* sql, std::initializer_list<std::int64_t> numbers) {
    SqliteStatement statement(db_, sql);
    int column = 1;
    for (std::int64_t number : numbers) statement.Bind(column++, number);
    statement.Step();
    return statement.Done();
}

}  // namespace lumora
