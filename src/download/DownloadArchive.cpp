#include "download/DownloadArchive.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <ctime>

#include "base/FailureText.h"
#include "base/PathText.h"
#include "download/SqliteFile.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Version 1: one saved record per item (address and file), and the
// pictures the size window refused. Version 2: each saved file's SHA-256.
constexpr int kSchemaVersion = 2;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS saved("
    "  address TEXT NOT NULL, folder TEXT NOT NULL, path TEXT NOT NULL, size INTEGER NOT NULL,"
    "  saved_at INTEGER NOT NULL, album TEXT NOT NULL, sha256 TEXT NOT NULL DEFAULT '',"
    "  PRIMARY KEY(address, path));"
    "CREATE INDEX IF NOT EXISTS saved_album ON saved(album);"
    "CREATE INDEX IF NOT EXISTS saved_folder ON saved(address, folder);"
    "CREATE TABLE IF NOT EXISTS filtered("
    "  address TEXT NOT NULL, folder TEXT NOT NULL, path TEXT NOT NULL, min_kb INTEGER NOT NULL,"
    "  max_kb INTEGER NOT NULL, album TEXT NOT NULL, PRIMARY KEY(address, path));"
    "CREATE TABLE IF NOT EXISTS failed("
    "  id INTEGER PRIMARY KEY, album_title TEXT NOT NULL, album TEXT NOT NULL, album_first TEXT NOT NULL,"
    "  marker_due INTEGER NOT NULL, folder TEXT NOT NULL, file TEXT NOT NULL, address TEXT NOT NULL,"
    "  header TEXT NOT NULL, reason TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS last_run("
    "  id INTEGER PRIMARY KEY CHECK(id = 1), threads INTEGER, timeout INTEGER, min_kb INTEGER,"
    "  max_kb INTEGER, options INTEGER);";

// Version 0 kept one record per address and folder.
constexpr const char* kFromVersion0 =
    "ALTER TABLE saved RENAME TO saved_v0;"
    "DROP INDEX IF EXISTS saved_album;";
constexpr const char* kFromVersion0Copy =
    "INSERT OR IGNORE INTO saved(address, folder, path, size, saved_at, album)"
    "  SELECT address, folder, path, size, saved_at, album FROM saved_v0;"
    "DROP TABLE saved_v0;";

// Version 1 kept no checksums: its pictures keep an empty one.
constexpr const char* kFromVersion1 = "ALTER TABLE saved ADD COLUMN sha256 TEXT NOT NULL DEFAULT '';";

std::string Utf8(const std::u16string& text) { return WideToUtf8(text); }

using Statement = SqliteStatement;

}  // namespace

bool FileHasSize(const std::u16string& path, std::uint64_t size) {
    struct stat info {};
    return stat(Utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::uint64_t>(info.st_size) == size;
}

bool IsSameItemFile(const std::u16string& recorded, const std::u16string& target) {
    return recorded == target || WithoutExtension(recorded) == WithoutExtension(target);
}

Result<std::shared_ptr<DownloadArchive>> DownloadArchive::Open(const std::filesystem::path& file) {
    Result<sqlite3*> db = OpenSqliteFile(file);
    if (!db) return db.failure();
    std::shared_ptr<DownloadArchive> archive(new DownloadArchive(*db, file));
    if (!archive->Migrate()) return SqliteFailure(archive->lastError_);
    return archive;
}

DownloadArchive::DownloadArchive(sqlite3* db, std::filesystem::path path) : db_(db), path_(std::move(path)) {}

DownloadArchive::~DownloadArchive() { sqlite3_close(db_); }

bool DownloadArchive::Execute(const char* sql) {
    return Note(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK);
}

bool DownloadArchive::ExecuteWhenFree(const char* sql) { return Note(lumora::ExecuteWhenFree(db_, sql), SQLITE_OK); }

bool DownloadArchive::Migrate() {
    const auto version = [this] {
        Statement query(db_, "PRAGMA user_version");
        return query.Step() ? query.Int(0) : -1;
    };
    // An archive already at this version is only read: a busy writer elsewhere does not stop the run.
    if (version() == kSchemaVersion) return true;
    if (!ExecuteWhenFree("BEGIN IMMEDIATE")) return false;
    bool ok = true;
    if (version() < kSchemaVersion) {
        const bool fromVersion0 = [this] {
            Statement table(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'saved'");
            return table.Step();
        }();
        const int from = version();
        ok = from == 1 ? Execute(kFromVersion1) && Execute(kSchema)
                       : (!fromVersion0 || Execute(kFromVersion0)) && Execute(kSchema) &&
                             (!fromVersion0 || Execute(kFromVersion0Copy));
        ok = ok && Execute("PRAGMA user_version = 2");
    }
    if (ok && Execute("COMMIT")) return true;
    const int failure = lastError_;
    Execute("ROLLBACK");
    lastError_ = failure;
    return false;
}

bool DownloadArchive::Note(int code, int success) {
    if (code == success) return true;
    lastError_ = code;
    return false;
}

std::u16string DownloadArchive::LastError() {
    std::lock_guard lock(mutex_);
    return FailureText(SqliteFailure(lastError_));
}

bool DownloadArchive::LastErrorWasBusy() {
    std::lock_guard lock(mutex_);
    return (lastError_ & 0xFF) == SQLITE_BUSY || (lastError_ & 0xFF) == SQLITE_LOCKED;
}

bool DownloadArchive::RecordSaved(const SavedPicture& picture) {
    std::lock_guard lock(mutex_);
    Statement insert(db_,
                     "INSERT OR REPLACE INTO saved(address, folder, path, size, saved_at, album, sha256) "
                     "VALUES(?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, picture.address).Bind(2, FolderOf(picture.path)).Bind(3, picture.path);
    insert.Bind(4, static_cast<std::int64_t>(picture.size)).Bind(5, picture.savedAt).Bind(6, picture.albumAddress);
    insert.Bind(7, Utf8ToWide(picture.sha256));
    insert.Step();
    return Note(insert.Code(db_), SQLITE_DONE);
}

std::u16string DownloadArchive::AlbumFolderUnder(const std::u16string& albumAddress, const std::u16string& under) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT folder FROM saved WHERE album = ? GROUP BY folder ORDER BY COUNT(*) DESC");
    query.Bind(1, albumAddress);
    while (query.Step()) {
        const std::u16string folder = query.Text(0);
        const bool oneLevelBelow = folder.size() > under.size() + 1 && folder.starts_with(under) &&
                                   folder.find(u'/', under.size()) == folder.size() - 1;
        if (oneLevelBelow) return folder;
    }
    return {};
}

bool DownloadArchive::FolderHoldsOtherAlbum(const std::u16string& folder, const std::u16string& albumAddress) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT 1 FROM saved WHERE folder = ? AND album <> ? LIMIT 1");
    query.Bind(1, folder).Bind(2, albumAddress);
    return query.Step();
}

bool DownloadArchive::RecordMoved(const std::u16string& address, const std::u16string& from, const std::u16string& to) {
    std::lock_guard lock(mutex_);
    Statement update(db_, "UPDATE OR REPLACE saved SET path = ? WHERE address = ? AND path = ?");
    update.Bind(1, to).Bind(2, address).Bind(3, from);
    update.Step();
    return Note(update.Code(db_), SQLITE_DONE);
}

std::vector<SavedPicture> DownloadArchive::FindSaved(const std::u16string& address, const std::u16string& target,
                                                     bool anyName) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT path, size, saved_at, album, sha256 FROM saved WHERE address = ? AND folder = ?");
    query.Bind(1, address).Bind(2, FolderOf(target));
    std::vector<SavedPicture> found;
    while (query.Step()) {
        SavedPicture picture{address,      query.Text(0), static_cast<std::uint64_t>(query.Int(1)),
                             query.Int(2), query.Text(3), WideToUtf8(query.Text(4))};
        const bool sameItem = IsSameItemFile(picture.path, target);
        if (!sameItem && !anyName) continue;
        found.insert(picture.path == target || (sameItem && anyName) ? found.begin() : found.end(), std::move(picture));
    }
    return found;
}

std::vector<SavedPicture> DownloadArchive::SavedUnder(const std::u16string& folder) {
    std::lock_guard lock(mutex_);
    // A prefix compare, not LIKE: a folder name may hold "%" or "_".
    Statement query(db_,
                    "SELECT address, path, size, saved_at, album, sha256 FROM saved "
                    "WHERE substr(path, 1, length(?1)) = ?1 ORDER BY folder, path");
    query.Bind(1, folder);
    std::vector<SavedPicture> found;
    while (query.Step()) {
        found.push_back({query.Text(0), query.Text(1), static_cast<std::uint64_t>(query.Int(2)), query.Int(3),
                         query.Text(4), WideToUtf8(query.Text(5))});
    }
    return found;
}

bool DownloadArchive::RecordFiltered(const FilteredPicture& picture) {
    std::lock_guard lock(mutex_);
    Statement insert(db_,
                     "INSERT OR REPLACE INTO filtered(address, folder, path, min_kb, max_kb, album) "
                     "VALUES(?, ?, ?, ?, ?, ?)");
    insert.Bind(1, picture.address).Bind(2, FolderOf(picture.path)).Bind(3, picture.path);
    insert.Bind(4, std::int64_t{picture.window.minKB}).Bind(5, std::int64_t{picture.window.maxKB});
    insert.Bind(6, picture.albumAddress);
    insert.Step();
    return Note(insert.Code(db_), SQLITE_DONE);
}

bool DownloadArchive::WasFiltered(const std::u16string& address, const std::u16string& target,
                                  const SizeWindow& window) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT 1 FROM filtered WHERE address = ? AND path = ? AND min_kb = ? AND max_kb = ?");
    query.Bind(1, address).Bind(2, target).Bind(3, std::int64_t{window.minKB}).Bind(4, std::int64_t{window.maxKB});
    return query.Step();
}

std::size_t DownloadArchive::Forget(const std::u16string& address) {
    std::lock_guard lock(mutex_);
    Statement remove(db_, "DELETE FROM saved WHERE address = ? OR album = ?");
    remove.Bind(1, address).Bind(2, address);
    remove.Step();
    const std::size_t removed = remove.Done() ? static_cast<std::size_t>(sqlite3_changes(db_)) : 0;
    Statement filtered(db_, "DELETE FROM filtered WHERE address = ? OR album = ?");
    filtered.Bind(1, address).Bind(2, address);
    filtered.Step();
    return removed;
}

std::size_t DownloadArchive::Prune() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::u16string, std::u16string>> gone;
    {
        Statement query(db_, "SELECT address, path, size FROM saved");
        while (query.Step()) {
            if (!FileHasSize(query.Text(1), static_cast<std::uint64_t>(query.Int(2))))
                gone.emplace_back(query.Text(0), query.Text(1));
        }
    }
    Execute("BEGIN IMMEDIATE");
    std::size_t removed = 0;
    for (const auto& [address, path] : gone) {
        Statement remove(db_, "DELETE FROM saved WHERE address = ? AND path = ?");
        remove.Bind(1, address).Bind(2, path);
        remove.Step();
        removed += static_cast<std::size_t>(sqlite3_changes(db_));
    }
    Execute("COMMIT");
    return removed;
}
std::size_t DownloadArchive::SavedCount() {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT count(*) FROM saved");
    return query.Step() ? static_cast<std::size_t>(query.Int(0)) : 0;
}

bool DownloadArchive::BeginRun(const LastRunParams& params) {
    std::lock_guard lock(mutex_);
    if (!Execute("BEGIN IMMEDIATE")) return false;
    Execute("DELETE FROM failed");
    Statement insert(db_,
                     "INSERT OR REPLACE INTO last_run(id, threads, timeout, min_kb, max_kb, options) "
                     "VALUES(1, ?, ?, ?, ?, ?)");
    insert.Bind(1, params.threadCount).Bind(2, params.timeoutSeconds).Bind(3, params.minKB);
    insert.Bind(4, params.maxKB).Bind(5, params.optionFlags);
    insert.Step();
    const bool inserted = Note(insert.Code(db_), SQLITE_DONE);
    return Execute("COMMIT") && inserted;
}

bool DownloadArchive::RecordFailures(const std::vector<FailedPicture>& failures) {
    if (failures.empty()) return true;
    std::lock_guard lock(mutex_);
    if (!Execute("BEGIN IMMEDIATE")) return false;
    bool ok = true;
    for (const FailedPicture& failure : failures) {
        Statement insert(db_,
                         "INSERT INTO failed(album_title, album, album_first, marker_due, folder, file, address, "
                         "header, reason) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.Bind(1, failure.albumTitle).Bind(2, failure.albumAddress).Bind(3, failure.albumFirstAddress);
        insert.Bind(4, std::int64_t{failure.markerDue}).Bind(5, failure.albumFolder);
        insert.Bind(6, failure.fileName).Bind(7, failure.address).Bind(8, failure.headerText).Bind(9, failure.reason);
        insert.Step();
        ok = insert.Done() && ok;
    }
    return Execute("COMMIT") && ok;
}

bool DownloadArchive::ClearFailure(const std::u16string& address, const std::u16string& albumFolder,
                                   const std::u16string& fileName) {
    std::lock_guard lock(mutex_);
    Statement remove(db_, "DELETE FROM failed WHERE address = ? AND folder = ? AND file = ?");
    remove.Bind(1, address).Bind(2, albumFolder).Bind(3, fileName);
    remove.Step();
    return remove.Done();
}

std::vector<FailedPicture> DownloadArchive::Failures() {
    std::lock_guard lock(mutex_);
    std::vector<FailedPicture> failures;
    Statement query(db_,
                    "SELECT album_title, album, album_first, marker_due, folder, file, address, header, reason "
                    "FROM failed ORDER BY id");
    while (query.Step()) {
        failures.push_back({query.Text(0), query.Text(1), query.Text(2), query.Int(3) != 0, query.Text(4),
                            query.Text(5), query.Text(6), query.Text(7), query.Text(8)});
    }
    return failures;
}

LastRunParams DownloadArchive::LastParams() {
    std::lock_guard lock(mutex_);
    LastRunParams params;
    Statement query(db_, "SELECT threads, timeout, min_kb, max_kb, options FROM last_run WHERE id = 1");
    if (query.Step()) {
        params.threadCount = static_cast<std::uint32_t>(query.Int(0));
        params.timeoutSeconds = static_cast<std::uint32_t>(query.Int(1));
        params.minKB = static_cast<std::uint32_t>(query.Int(2));
        params.maxKB = static_cast<std::uint32_t>(query.Int(3));
        params.optionFlags = static_cast<std::uint16_t>(query.Int(4));
    }
    return params;
}

}  // namespace lumora
