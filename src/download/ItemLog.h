// What became of each item of one album's job. Workers report here, also
// those that a stop leaves running after the scheduler has returned, so the
// log is shared; the run reads it when the album ends.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/DownloadArchive.h"
#include "web/Fetch.h"

namespace lumora {

// An item that produced no file, and why.
struct FailedItem {
    std::size_t index = 0;
    std::u16string address;
    std::u16string savePath;
    FetchError error = FetchError::None;
    long httpStatus = 0;
};

// "HTTP error status 503", "timed out", ...: the reason in a few English words.
std::u16string DescribeFailure(const FailedItem& failure);

// Told of each item as it ends, on the worker that ended it.
struct ItemEvents {
    std::function<void(std::size_t index, const std::u16string& address, const std::u16string& savePath,
                       std::uint64_t bytes)>
        saved;
    std::function<void(std::size_t index)> skipped;
    std::function<void(const FailedItem&)> failed;
};

class ItemLog {
public:
    // Saved pictures go into `archive` (may be null) under `albumAddress`.
    ItemLog(std::shared_ptr<DownloadArchive> archive, std::u16string albumAddress, ItemEvents events = {});

    // Item `index` was downloaded to `savePath` in this run.
    void Saved(std::size_t index, const std::u16string& address, const std::u16string& savePath);
    // Item `index` was skipped: the archive says an earlier run saved it.
    void Skipped(std::size_t index);
    void Failed(FailedItem failure);
    // A saved item's file was renamed (by the format fix): the archive follows.
    void Moved(const std::u16string& address, const std::u16string& newPath);

    std::vector<FailedItem> Failures() const;
    std::size_t SavedCount() const;
    std::size_t SkippedCount() const;
    // Indexes saved or skipped, in the order they were reported.
    std::vector<std::size_t> DoneIndexes() const;

private:
    // Returns the file's size.
    std::uint64_t Record(const std::u16string& address, const std::u16string& path);

    std::shared_ptr<DownloadArchive> archive_;
    const std::u16string albumAddress_;
    const ItemEvents events_;
    mutable std::mutex mutex_;
    std::vector<FailedItem> failures_;
    std::vector<std::size_t> done_;
    std::size_t saved_ = 0;
    std::size_t skipped_ = 0;
};

}  // namespace lumora
