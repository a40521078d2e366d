// The members followed in "archive.sqlite3": each with its address, space
// name and save folder, the albums seen so far, and what the last sync
// found. The desktop program and lumora-cli see the same list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Result.h"
#include "download/SqliteFile.h"

namespace lumora {

// What one sync of a member found.
struct SyncFinding {
    bool listRead = false;  // the album list could be read and held albums
    std::size_t newAlbums = 0;
    std::size_t newPictures = 0;
    std::size_t failed = 0;
    std::size_t deleted = 0;  // saved once, deleted since, not fetched again
    std::u16string problem;   // why the list or the save folder could not be used
    bool operator==(const SyncFinding&) const = default;
};

struct FollowedMember {
    std::u16string address;
    std::u16string spaceName;
    std::u16string saveFolder;
    std::int64_t followedAt = 0;
    std::int64_t lastSyncAt = 0;  // 0: never synced
    SyncFinding lastFinding;
};

class FollowList : private SqliteStore {
public:
    static Result<std::unique_ptr<FollowList>> Open(const std::filesystem::path& file);

    // Follows a member, or changes the save folder of one followed already;
    // true when it was not followed before.
    Result<bool> Follow(const std::u16string& address, const std::u16string& saveFolder);
    // False when the member was not followed.
    Result<bool> Unfollow(const std::u16string& address);
    // In the order they were followed.
    Result<std::vector<FollowedMember>> Members();
    std::optional<FollowedMember> Find(const std::u16string& address);
    // The album addresses seen in the member's list by earlier syncs.
    std::set<std::u16string> KnownAlbums(const std::u16string& address);
    // A sync's end: its finding, the space name, and the albums now seen.
    Result<void> RecordSync(const std::u16string& address, const std::u16string& spaceName, const SyncFinding& finding,
                            const std::vector<std::u16string>& albumsSeen);

private:
    explicit FollowList(sqlite3* db) : SqliteStore(db) {}
};

}  // namespace lumora
