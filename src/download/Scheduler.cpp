#include "download/Scheduler.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "text/Format.h"
#include "web/FileDownload.h"

namespace lumora {
namespace {

// What one worker needs, copied so the job may be refilled and the run state
// rewritten by the next run while a worker left running by a stop goes on.
struct WorkItem {
    std::size_t index;
    std::u16string address;
    std::u16string savePath;
    std::u16string headerText;
    KnownItem known;
};

// The album's items and their hand-out, shared by the scheduler and its
// workers, which a stop may leave running after the scheduler has gone.
struct Pool {
    std::vector<WorkItem> items;
    TransferOptions transfer;  // the same for every item
    std::mutex mutex;
    std::condition_variable itemEnded;
    std::size_t next = 0;        // the next item to start: strictly in index order
    std::size_t unseenEnds = 0;  // item ends the scheduler has not handled yet
    bool closed = false;         // the scheduler has left: start nothing more
    // This album's own count: workers of an earlier, stopped album may still
    // end while this one runs, and must not count as this album's items.
    std::atomic<int> completed{0};
};

void DownOnePicFunc(const WorkItem& item, const TransferOptions& transfer, ItemLog& log) {
    if (item.known == KnownItem::Saved) {
        log.Skipped(item.index);
        return;
    }
    if (item.known == KnownItem::Deleted) {
        log.Deleted(item.index);
        return;
    }
    if (item.known == KnownItem::Filtered) {
        log.Filtered({item.index, item.address, item.savePath, FetchError::SizeWindow}, true);
        return;
    }
    FetchRequest request(u"", item.savePath, transfer.stepTimeoutMs);
    ApplyTransferOptions(transfer, request);
    request.extraHeaders = item.headerText;
    FetchResult result;
    bool saved = false;
    try {
        saved = DownloadToFile(request, result, item.address);
    } catch (...) {
        result.error = FetchError::Connect;
    }
    const FailedItem unsaved{item.index,        item.address,
                             item.savePath,     result.error == FetchError::None ? FetchError::Connect : result.error,
                             result.httpStatus, result.systemError};
    if (saved) {
        log.Saved(item.index, item.address, item.savePath);
    } else if (unsaved.error == FetchError::SizeWindow) {
        log.Filtered(unsaved, false);  // the user's choice, not a failure
    } else {
        log.Failed(unsaved);
    }
}

// Copies the job so that workers never read it: the next album refills it
// while workers a stop left behind may still run.
std::shared_ptr<Pool> MakePool(const DownloadJob& job, const DownloadRunState& state,
                               const std::vector<KnownItem>& known) {
    auto pool = std::make_shared<Pool>();
    pool->transfer = state.transfer;
    const std::size_t total = job.size();
    pool->items.reserve(total);
    for (std::size_t index = 0; index < total; ++index) {
        pool->items.push_back({index, job.addresses[index], job.SavePath(index),
                               index < job.headerTexts.size() ? job.headerTexts[index] : std::u16string(),
                               index < known.size() ? known[index] : KnownItem::Unknown});
    }
    return pool;
}

// A worker goes straight on with the next item when it ends one instead of
// waiting for the scheduler to start a thread for it: two thread hand-overs
// fewer per picture, which one thread feels on every picture.
void RunWorker(const std::shared_ptr<Pool>& pool, const std::shared_ptr<ItemLog>& log, const std::atomic<bool>& stop,
               std::size_t index) {
    for (;;) {
        DownOnePicFunc(pool->items[index], pool->transfer, *log);
        ++pool->completed;
        bool more;
        {
            std::lock_guard lock(pool->mutex);
            ++pool->unseenEnds;
            more = !pool->closed && !stop && pool->next < pool->items.size();
            if (more) index = pool->next++;
        }
        pool->itemEnded.notify_one();
        if (!more) return;
    }
}

// Detached: a stop leaves the scheduler without waiting for running
// transfers; the tracker is how their owner waits instead.
void StartWorkers(const std::shared_ptr<Pool>& pool, std::size_t workers, const std::shared_ptr<ItemLog>& log,
                  const std::atomic<bool>& stop, WorkerTracker& tracker) {
    pool->next = workers;
    for (std::size_t slot = 0; slot < workers; ++slot) {
        tracker.Started();
        std::thread(
            [pool, log, &stop, &tracker](std::size_t index) {
                RunWorker(pool, log, stop, index);
                tracker.Ended();
            },
            slot)
            .detach();
    }
}

// Waits for the next item end. False after a stop, with the pool closed so
// that no worker starts another item; `lastStarted` tells whether every
// item has been handed out.
bool WaitForItemEnd(Pool& pool, const std::atomic<bool>& stop, bool& lastStarted) {
    std::unique_lock lock(pool.mutex);
    pool.itemEnded.wait(lock, [&] { return pool.unseenEnds > 0; });
    --pool.unseenEnds;
    if (stop) {
        pool.closed = true;
        return false;
    }
    lastStarted = pool.next >= pool.items.size();
    return true;
}

// What the scheduler has told the callbacks so far.
struct ProgressShown {
    bool lastStarted = false;
    long long completed = -1;
};

// Tells the callbacks about one item end; true when the album is done.
bool ReportItemEnd(const Pool& pool, std::size_t total, bool lastStarted, DownloadRunState& state,
                   const SchedulerCallbacks& callbacks, ProgressShown& shown) {
    if (lastStarted && !shown.lastStarted) {
        shown.lastStarted = true;
        if (callbacks.lastItemStarted) callbacks.lastItemStarted();
    }
    const int completed = pool.completed;
    state.completedCount = completed;
    const bool allDone = completed >= static_cast<int>(total);
    if ((completed != shown.completed || allDone) && callbacks.showProgress) {
        callbacks.showProgress(
            FormatText(u"已下载%d/%d......", {static_cast<std::int64_t>(completed), static_cast<std::int64_t>(total)}));
        shown.completed = completed;
    }
    return allDone;
}

}  // namespace

void WorkerTracker::Started() {
    std::lock_guard lock(mutex_);
    ++running_;
}

void WorkerTracker::Ended() {
    std::lock_guard lock(mutex_);
    if (--running_ == 0) idle_.notify_all();
}

void WorkerTracker::WaitForAll() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return running_ == 0; });
}

void DownPicFunc(const DownloadJob& job, DownloadRunState& state, WorkerTracker& tracker,
                 const SchedulerCallbacks& callbacks, const std::shared_ptr<ItemLog>& log,
                 const std::vector<KnownItem>& known) {
    state.completedCount = 0;
    const std::size_t total = job.size();
    const std::size_t workers = std::min<std::size_t>(state.threadCount, total);
    if (workers == 0) return;
    state.downloadBusy = true;
    const auto started = std::chrono::steady_clock::now();
    const std::shared_ptr<Pool> pool = MakePool(job, state, known);
    StartWorkers(pool, workers, log, state.stopRequested, tracker);

    ProgressShown shown;
    for (bool lastStarted = false; WaitForItemEnd(*pool, state.stopRequested, lastStarted);) {
        if (ReportItemEnd(*pool, total, lastStarted, state, callbacks, shown)) break;
    }
    if (callbacks.finished) {
        auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        callbacks.finished(static_cast<unsigned>(elapsed.count()), static_cast<unsigned>(total));
    }
    state.downloadBusy = false;
}

}  // namespace lumora
