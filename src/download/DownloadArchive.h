// "archive.sqlite3" in the program folder: every picture saved, so that a
// later run can skip it, and the last run's failures, so that they can be
// tried again. Several processes may use the file at once (WAL, busy wait);
// one object may be shared by many threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace lumora {

inline constexpr const char* kArchiveFileName = "archive.sqlite3";

struct SavedPicture {
    std::u16string address;  // the job's address entry
    std::u16string path;     // the file as it is now (after a format fix)
    std::uint64_t size = 0;
    std::int64_t savedAt = 0;  // seconds since the epoch
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
    // Opens or creates the archive; null with `error` set when it cannot be used.
    static std::shared_ptr<DownloadArchive> Open(const std::filesystem::path& file, std::string& error);
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive&) = delete;
    DownloadArchive& operator=(const DownloadArchive&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Adds or replaces the record of `picture.address` in the folder of `picture.path`.
    bool RecordSaved(const SavedPicture& picture);
    // The record of `address` saved into the folder of `target`, if any.
    std::optional<SavedPicture> FindSaved(const std::u16string& address, const std::u16string& target);
    // Removes the records of one picture address, or of every picture of an
    // album address; returns how many went.
    std::size_t Forget(const std::u16string& address);
    // Removes records whose file is gone or has another size; returns how many went.
    std::size_t Prune();
    std::size_t SavedCount();

    // A new run: the failures of the previous one are forgotten.
    bool BeginRun(const LastRunParams& params);
    bool RecordFailures(const std::vector<FailedPicture>& failures);
    // Forgets one failure that has now been saved.
    bool ClearFailure(const std::u16string& address, const std::u16string& albumFolder, const std::u16string& fileName);
    std::vector<FailedPicture> Failures();
    LastRunParams LastParams();

private:
    DownloadArchive(sqlite3* db, std::filesystem::path path);
    bool Execute(const char* sql);
    bool ExecuteWhenFree(const char* sql);

    std::mutex mutex_;
    sqlite3* db_;
    std::filesystem::path path_;
};

// Whether the file at `path` is a regular file of `size` bytes.
bool FileHasSize(const std::u16string& path, std::uint64_t size);

}  // namespace lumora
