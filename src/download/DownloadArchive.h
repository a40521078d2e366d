// "archive.sqlite3" in the program folder: every picture saved, so that a
// later run can skip it, the pictures the size window refused, and the last
// run's failures, so that they can be tried again. Several processes may use
// the file at once (WAL, a short busy wait); one object may be shared by
// many threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "web/TransferOptions.h"  // SizeWindow

struct sqlite3;

namespace lumora {

inline constexpr const char* kArchiveFileName = "archive.sqlite3";

// One record per item: an album may list one address for two items.
struct SavedPicture {
    std::u16string address;  // the job's address entry
    std::u16string path;     // the file as it is now (after a format fix)
    std::uint64_t size = 0;
    std::int64_t savedAt = 0;  // seconds since the epoch
    std::u16string albumAddress;
    std::string sha256;  // 64 hex digits; empty for a picture saved before checksums were kept
};

// A picture the size window refused: no file, and no need to fetch it again
// while the window stays the same.
struct FilteredPicture {
    std::u16string address;
    std::u16string path;  // where it would have been saved
    SizeWindow window;
    std::u16string albumAddress;
};

// One picture of the last run that was not saved, with what it takes to try again.
struct FailedPicture {
    std::u16string albumTitle;
    std::u16string albumAddress;
    std::u16string albumFirstAddress;  // the album's first entry, for its marker
    bool markerDue = false;            // every other picture of the album was saved
    std::u16string albumFolder;        // ends with "/"
    std::u16string fileName;           // as in the job: relative to albumFolder, or absolute
    std::u16string address;
    std::u16string headerText;
    std::u16string reason;
};

// The download parameters of the last run, which a retry uses again.
struct LastRunParams {
    std::uint32_t threadCount = 5;
    std::uint32_t timeoutSeconds = 30;
    std::uint32_t minKB = 0;
    std::uint32_t maxKB = 0;
    std::uint16_t optionFlags = 0;
};

class DownloadArchive {
public:
    // Opens or creates the archive; a failure when it cannot be used.
    static Result<std::shared_ptr<DownloadArchive>> Open(const std::filesystem::path& file);
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive&) = delete;
    DownloadArchive& operator=(const DownloadArchive&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Adds or replaces the record of `picture.address` saved as `picture.path`.
    bool RecordSaved(const SavedPicture& picture);
    // A saved picture's file was renamed.
    bool RecordMoved(const std::u16string& address, const std::u16string& from, const std::u16string& to);
    // The records of `address` saved into the folder of `target` under
    // `target`'s name, with any extension (a format fix may have changed it);
    // the one named `target` exactly comes first.
    // With `anyName` every record of `address` in that folder, the same item's first.
    std::vector<SavedPicture> FindSaved(const std::u16string& address, const std::u16string& target,
                                        bool anyName = false);
    // Every record whose file lies under `folder` (ends with "/"; empty: every record), by folder.
    std::vector<SavedPicture> SavedUnder(const std::u16string& folder);
    bool RecordFiltered(const FilteredPicture& picture);
    // Whether the same window refused `address` for `target` before.
    bool WasFiltered(const std::u16string& address, const std::u16string& target, const SizeWindow& window);
    // Removes the records of one picture address, or of every picture of an
    // album address; returns how many went.
    std::size_t Forget(const std::u16string& address);
    // Removes records whose file is gone or has another size; returns how many went.
    std::size_t Prune();
    std::size_t SavedCount();
    // The folder one level below `under` (which ends with "/") that holds
    // most of the pictures saved from the album; empty when none does.
    std::u16string AlbumFolderUnder(const std::u16string& albumAddress, const std::u16string& under);
    // Whether `folder` holds pictures saved from another album than `albumAddress`.
    bool FolderHoldsOtherAlbum(const std::u16string& folder, const std::u16string& albumAddress);

    // A new run: the failures of the previous one are forgotten.
    bool BeginRun(const LastRunParams& params);
    bool RecordFailures(const std::vector<FailedPicture>& failures);
    // Forgets one failure that has now been saved.
    bool ClearFailure(const std::u16string& address, const std::u16string& albumFolder, const std::u16string& fileName);
    std::vector<FailedPicture> Failures();
    LastRunParams LastParams();

    // Why the last call that failed did so, in the interface's words, and
    // whether another process held the file longer than the busy wait.
    std::u16string LastError();
    bool LastErrorWasBusy();

private:
    DownloadArchive(sqlite3* db, std::filesystem::path path);
    bool Execute(const char* sql);
    bool ExecuteWhenFree(const char* sql);
    bool Migrate();
    // Notes a statement's result; true when it is `success`.
    bool Note(int code, int success);

    std::mutex mutex_;
    int lastError_ = 0;  // SQLite's extended result code
    sqlite3* db_;
    std::filesystem::path path_;
};

// Whether the file at `path` is a regular file of `size` bytes.
bool FileHasSize(const std::u16string& path, std::uint64_t size);

// Whether two paths name the same item's file: equal, or equal but for the
// extension of the file name (what a format fix changes).
bool IsSameItemFile(const std::u16string& recorded, const std::u16string& target);

}  // namespace lumora
