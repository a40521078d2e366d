#include "download/FollowList.h"

#include <sqlite3.h>

#include <ctime>

namespace lumora {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS follows("
    "  address TEXT PRIMARY KEY, space_name TEXT NOT NULL, save_folder TEXT NOT NULL,"
    "  followed_at INTEGER NOT NULL, synced_at INTEGER NOT NULL, list_read INTEGER NOT NULL,"
    "  new_albums INTEGER NOT NULL, new_pictures INTEGER NOT NULL, failed INTEGER NOT NULL,"
    "  deleted INTEGER NOT NULL, problem TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS follow_albums("
    "  member TEXT NOT NULL, album TEXT NOT NULL, PRIMARY KEY(member, album));";

constexpr const char* kMemberColumns =
    "SELECT address, space_name, save_folder, followed_at, synced_at, list_read, new_albums, new_pictures, "
    "failed, deleted, problem FROM follows ";

FollowedMember ReadMember(const SqliteStatement& row) {
    FollowedMember member;
    member.address = row.Text(0);
    member.spaceName = row.Text(1);
    member.saveFolder = row.Text(2);
    member.followedAt = row.Int(3);
    member.lastSyncAt = row.Int(4);
    member.lastFinding.listRead = row.Int(5) != 0;
    member.lastFinding.newAlbums = static_cast<std::size_t>(row.Int(6));
    member.lastFinding.newPictures = static_cast<std::size_t>(row.Int(7));
    member.lastFinding.failed = static_cast<std::size_t>(row.Int(8));
    member.lastFinding.deleted = static_cast<std::size_t>(row.Int(9));
    member.lastFinding.problem = row.Text(10);
    return member;
}

}  // namespace

Result<std::unique_ptr<FollowList>> FollowList::Open(const std::filesystem::path& file) {
    Result<sqlite3*> db = OpenSqliteFile(file);
    if (!db) return db.failure();
    std::unique_ptr<FollowList> list(new FollowList(*db));
    if (Result<void> made = list->Execute(kSchema); !made) return made.failure();
    return list;
}

Result<bool> FollowList::Follow(const std::u16string& address, const std::u16string& saveFolder) {
    bool added = false;
    Result<void> done = Transaction([&] {
        SqliteStatement change(db_, "UPDATE follows SET save_folder = ?2 WHERE address = ?1");
        change.Bind(1, address).Bind(2, saveFolder);
        change.Step();
        if (!change.Done()) return false;
        if (sqlite3_changes(db_) > 0) return true;
        SqliteStatement insert(db_, "INSERT INTO follows VALUES(?1, '', ?2, ?3, 0, 0, 0, 0, 0, 0, '')");
        insert.Bind(1, address).Bind(2, saveFolder).Bind(3, static_cast<std::int64_t>(std::time(nullptr)));
        insert.Step();
        added = insert.Done();
        return added;
    });
    if (!done) return done.failure();
    return added;
}

Result<bool> FollowList::Unfollow(const std::u16string& address) {
    bool removed = false;
    Result<void> done = Transaction([&] {
        SqliteStatement albums(db_, "DELETE FROM follow_albums WHERE member = ?1");
        albums.Bind(1, address);
        albums.Step();
        SqliteStatement member(db_, "DELETE FROM follows WHERE address = ?1");
        member.Bind(1, address);
        member.Step();
        removed = sqlite3_changes(db_) > 0;
        return albums.Done() && member.Done();
    });
    if (!done) return done.failure();
    return removed;
}

Result<std::vector<FollowedMember>> FollowList::Members() {
    std::vector<FollowedMember> members;
    SqliteStatement rows(db_, (std::string(kMemberColumns) + "ORDER BY followed_at, rowid").c_str());
    while (rows.Step()) members.push_back(ReadMember(rows));
    if (!rows.Done()) return SqliteFailure(rows.Code(db_));
    return members;
}

std::optional<FollowedMember> FollowList::Find(const std::u16string& address) {
    SqliteStatement row(db_, (std::string(kMemberColumns) + "WHERE address = ?1").c_str());
    row.Bind(1, address);
    if (!row.Step()) return std::nullopt;
    return ReadMember(row);
}

std::set<std::u16string> FollowList::KnownAlbums(const std::u16string& address) {
    std::set<std::u16string> albums;
    SqliteStatement rows(db_, "SELECT album FROM follow_albums WHERE member = ?1");
    rows.Bind(1, address);
    while (rows.Step()) albums.insert(rows.Text(0));
    return albums;
}

Result<void> FollowList::RecordSync(const std::u16string& address, const std::u16string& spaceName,
                                    const SyncFinding& finding, const std::vector<std::u16string>& albumsSeen) {
    return Transaction([&] {
        SqliteStatement update(db_,
                               "UPDATE follows SET space_name = CASE WHEN ?2 = '' THEN space_name ELSE ?2 END, "
                               "synced_at = ?3, list_read = ?4, new_albums = ?5, new_pictures = ?6, failed = ?7, "
                               "deleted = ?8, problem = ?9 WHERE address = ?1");
        update.Bind(1, address)
            .Bind(2, spaceName)
            .Bind(3, static_cast<std::int64_t>(std::time(nullptr)))
            .Bind(4, std::int64_t{finding.listRead})
            .Bind(5, static_cast<std::int64_t>(finding.newAlbums))
            .Bind(6, static_cast<std::int64_t>(finding.newPictures))
            .Bind(7, static_cast<std::int64_t>(finding.failed))
            .Bind(8, static_cast<std::int64_t>(finding.deleted))
            .Bind(9, finding.problem);
        update.Step();
        if (!update.Done()) return false;
        for (const std::u16string& album : albumsSeen) {
            SqliteStatement seen(db_, "INSERT OR IGNORE INTO follow_albums VALUES(?1, ?2)");
            seen.Bind(1, address).Bind(2, album);
            seen.Step();
            if (!seen.Done()) return false;
        }
        return true;
    });
}

}  // namespace lumora
