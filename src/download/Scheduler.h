// Downloads one album's job with a pool of workers: items start strictly in
// index order, at most threadCount at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/DownloadJob.h"
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

// Runs the whole job and returns when every item is done, or when a worker
// ends after stopRequested was set. Failed items are appended to `failures`
// (also by workers that finish after a stop, so keep it alive: it is shared).
void DownPicFunc(const DownloadJob& job, DownloadRunState& state, WorkerTracker& tracker,
                 const SchedulerCallbacks& callbacks,
                 const std::shared_ptr<std::vector<FailedItem>>& failures,
                 const std::shared_ptr<std::mutex>& failuresMutex);

}  // namespace lumora
