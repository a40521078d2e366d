// Downloads one album's job with a pool of workers: new items start strictly
// in index order, at most threadCount at once. An item that waits for a
// retry is parked with its due time meanwhile, and taken again when due,
// before new items.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/DownloadJob.h"
#include "download/ItemLog.h"

namespace lumora {

// Workers still running after a stop finish in the background; whoever owns
// the run state waits for them before it goes away.
class WorkerTracker {
public:
    void Started();
    void Ended();
    void WaitForAll();

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    int running_ = 0;
};

struct SchedulerCallbacks {
    // "已下载%d/%d......" whenever the completed count changes.
    std::function<void(const std::u16string&)> showProgress;
    // The end notification: elapsed whole seconds and the number of items.
    std::function<void(unsigned elapsedSeconds, unsigned total)> finished;
    // Once, on the calling thread, at the first item end that finds the last
    // item handed to a worker (never after a stop): the job's tail is running.
    std::function<void()> lastItemStarted;
};

// What the archive tells of an item before its transfer.
enum class KnownItem : std::uint8_t {
    Unknown,
    Saved,     // an earlier run saved it, and the file is still there
    Filtered,  // the same size window refused it before
    Deleted,   // an earlier run saved it, and its file has been deleted since
};

// Runs the whole job and returns when every item is done, or when a worker
// ends after stopRequested was set. Items that `known` (it may be empty)
// marks as saved or filtered end without a transfer. Every item's outcome
// goes to `log`, also from workers that finish after a stop.
void DownPicFunc(const DownloadJob& job, DownloadRunState& state, WorkerTracker& tracker,
                 const SchedulerCallbacks& callbacks, const std::shared_ptr<ItemLog>& log,
                 const std::vector<KnownItem>& known = {});

}  // namespace lumora
