// Writes to the download archive that may have to wait: another process may
// hold the file longer than the busy wait, or its disk may be full. What
// cannot be written at once is kept, in order, and written again at the next
// Flush; the pictures on disk stay either way. Shared by a run's workers.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/DownloadArchive.h"

namespace lumora {

class ArchiveQueue {
public:
    // `onBusy` is told once, on the thread that met it, that another process
    // holds the archive.
    explicit ArchiveQueue(std::shared_ptr<DownloadArchive> archive, std::function<void()> onBusy = {});

    void Saved(const SavedPicture& picture);
    void Moved(const std::u16string& address, const std::u16string& from, const std::u16string& to);
    void Filtered(const FilteredPicture& picture);
    void Failures(const std::vector<FailedPicture>& failures);

    // Writes what waits, in order, until one write fails again; returns how
    // many records still wait.
    std::size_t Flush();
    // Why the last write failed.
    std::u16string LastError() const;

private:
    struct Write {
        std::function<bool(DownloadArchive&)> apply;
        std::size_t records;
    };
    void WriteOrKeep(Write write);
    // Under mutex_: tries the write; false when it failed.
    bool Apply(const Write& write);
    std::size_t WaitingRecords() const;  // under mutex_

    const std::shared_ptr<DownloadArchive> archive_;
    const std::function<void()> onBusy_;
    mutable std::mutex mutex_;
    std::deque<Write> waiting_;
    std::u16string lastError_;
    bool busyTold_ = false;
};

}  // namespace lumora
