// What became of each item of one album's job. Workers report here, also
// those that a stop leaves running after the scheduler has returned, so the
// log is shared; the run reads it when the album ends.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/ArchiveQueue.h"
#include "web/Fetch.h"

namespace lumora {

// An item that produced no file, and why: a failure, or a picture the size
// window refused (which is no failure).
struct FailedItem {
    std::size_t index = 0;
    std::u16string address;
    std::u16string savePath;
    FetchError error = FetchError::None;
    long httpStatus = 0;
    int systemError = 0;  // errno of a file that could not be written
};

// "HTTP error status 503", "timed out", ...: a stable English code for scripts.
std::u16string DescribeFailure(const FailedItem& failure);
// "HTTP 错误 503", "超时", "文件写入失败：磁盘已满": the reason for people.
std::u16string FailureMessage(const FailedItem& failure);

// Told of each item as it ends, on the worker that ended it.
struct ItemEvents {
    std::function<void(std::size_t index, const std::u16string& address, const std::u16string& savePath,
                       std::uint64_t bytes)>
        saved;
    std::function<void(std::size_t index)> skipped;
    std::function<void(std::size_t index)> deleted;
    std::function<void(const FailedItem&)> failed;
    std::function<void(const FailedItem&)> filtered;
};

// How one item ended, for the album's manifest.
struct ItemEnd {
    enum class Kind { Saved, Skipped, Deleted, Failed, Filtered };
    std::size_t index = 0;
    Kind kind = Kind::Saved;
    std::uint64_t size = 0;  // saved in this run
    std::string sha256;      // likewise
    std::u16string reason;   // failed or filtered: FailureMessage
};

class ItemLog {
public:
    // Saved and filtered pictures go into `records` (may be null) under
    // `albumAddress`; `window` is the size window of the run.
    ItemLog(std::shared_ptr<ArchiveQueue> records, std::u16string albumAddress, SizeWindow window,
            ItemEvents events = {});

    // Item `index` was downloaded to `savePath` in this run; `sha256` is its bytes' checksum.
    void Saved(std::size_t index, const std::u16string& address, const std::u16string& savePath,
               const std::string& sha256 = {});
    // Item `index` was skipped: the archive says an earlier run saved it.
    void Skipped(std::size_t index);
    // Item `index` was saved by an earlier run and deleted since: not fetched again.
    void Deleted(std::size_t index);
    void Failed(FailedItem failure);
    // The size window refused the item, in this run or (`known`) before.
    void Filtered(FailedItem item, bool known);
    // A saved item's file was renamed (by the format fix): the archive follows.
    void Moved(const std::u16string& address, const std::u16string& from, const std::u16string& to);

    std::vector<FailedItem> Failures() const;
    std::size_t SavedCount() const;
    std::size_t SkippedCount() const;
    std::size_t DeletedCount() const;
    std::size_t FilteredCount() const;
    // Indexes saved or skipped, in the order they were reported.
    std::vector<std::size_t> DoneIndexes() const;
    // Every item's end, in the order they were reported.
    std::vector<ItemEnd> Ends() const;

private:
    std::size_t Count(ItemEnd::Kind kind) const;
    // Returns the file's size.
    std::uint64_t Record(const std::u16string& address, const std::u16string& path, const std::string& sha256);

    std::shared_ptr<ArchiveQueue> records_;
    const std::u16string albumAddress_;
    const SizeWindow window_;
    const ItemEvents events_;
    mutable std::mutex mutex_;
    std::vector<FailedItem> failures_;
    std::vector<ItemEnd> ends_;  // the counts and the done indexes are read from it
};

}  // namespace lumora
