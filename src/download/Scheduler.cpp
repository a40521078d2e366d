#include "download/Scheduler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <thread>

#include "text/Format.h"
#include "web/FileDownload.h"
#include "web/Retry.h"

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
    unsigned retriesMade = 0;
    FailedItem lastFailure;  // of the last try, while the item is parked
};

using Clock = std::chrono::steady_clock;

// An item waiting for its next try. Its worker meanwhile takes others.
struct ParkedItem {
    Clock::time_point due;
    std::size_t index;
    bool operator>(const ParkedItem& other) const { return due > other.due; }
};

// The album's items and their hand-out, shared by the scheduler and its
// workers, which a stop may leave running after the scheduler has gone.
struct Pool {
    std::vector<WorkItem> items;
    TransferOptions transfer;  // the same for every item
    std::mutex mutex;
    std::condition_variable itemEnded;
    std::condition_variable itemParked;  // wakes workers that wait for a parked item
    std::size_t next = 0;                // the next new item to start: strictly in index order
    std::vector<ParkedItem> parked;      // a min-heap by due time; taken again before new items
    std::size_t unseenEnds = 0;          // item ends the scheduler has not handled yet
    bool closed = false;                 // the scheduler has left: start nothing more
    // This album's own count: workers of an earlier, stopped album may still
    // end while this one runs, and must not count as this album's items.
    std::atomic<int> completed{0};
};

// How one try of an item went: done (its outcome logged), or to be tried
// again after `wait`.
struct TryOutcome {
    bool done = true;
    std::chrono::milliseconds wait{0};
};

// One transaction for the item (and its fallback address). A passing failure
// with retries left is not logged: the item is parked instead, so that its
// wait does not hold the worker.
TryOutcome DownOnePicFunc(WorkItem& item, const TransferOptions& transfer, ItemLog& log) {
    if (item.known == KnownItem::Saved) {
        log.Skipped(item.index);
        return {};
    }
    if (item.known == KnownItem::Deleted) {
        log.Deleted(item.index);
        return {};
    }
    if (item.known == KnownItem::Filtered) {
        log.Filtered({item.index, item.address, item.savePath, FetchError::SizeWindow}, true);
        return {};
    }
    FetchRequest request(u"", item.savePath, transfer.stepTimeoutMs);
    ApplyTransferOptions(transfer, request);
    // The scheduler waits between tries, parked; the fetch makes one try.
    request.retries = 0;
    request.retryDelaySeconds = 0;
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
        log.Saved(item.index, item.address, item.savePath, result.sha256);
    } else if (unsaved.error == FetchError::SizeWindow) {
        log.Filtered(unsaved, false);  // the user's choice, not a failure
    } else if (item.retriesMade < transfer.retries && IsTransient(unsaved.error, unsaved.httpStatus) &&
               !(transfer.stop && transfer.stop->Raised())) {
        ++item.retriesMade;
        item.lastFailure = unsaved;
        // Headers stay from an earlier answer when none came; only a status has its own.
        const bool answered = unsaved.error == FetchError::HttpStatus;
        return {false, RetryWait(item.retriesMade,
                                 answered ? RetryAfter(result.rawHeaders, std::time(nullptr)) : std::nullopt)};
    } else {
        log.Failed(unsaved);
    }
    return {};
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
                               index < known.size() ? known[index] : KnownItem::Unknown, 0, FailedItem{}});
    }
    return pool;
}

// The next item for a worker: a parked one that is due, else the next new
// one, else it waits for the earliest parked one. False when there is none
// left, or after a stop, when the parked items have been handed to
// `unparked` to be logged with the failure that parked them.
bool TakeNextItem(Pool& pool, const std::atomic<bool>& stop, std::size_t& index, std::vector<std::size_t>& unparked) {
    constexpr std::chrono::milliseconds kStopPoll{20};
    std::unique_lock lock(pool.mutex);
    for (;;) {
        if (pool.closed || stop) {
            for (const ParkedItem& item : pool.parked) unparked.push_back(item.index);
            pool.parked.clear();
            return false;
        }
        const auto now = Clock::now();
        if (!pool.parked.empty() && pool.parked.front().due <= now) {
            std::pop_heap(pool.parked.begin(), pool.parked.end(), std::greater<>());
            index = pool.parked.back().index;
            pool.parked.pop_back();
            return true;
        }
        if (pool.next < pool.items.size()) {
            index = pool.next++;
            return true;
        }
        if (pool.parked.empty()) return false;
        pool.itemParked.wait_until(lock, std::min(pool.parked.front().due, now + kStopPoll));
    }
}

// One item end for the scheduler to see.
void CountItemEnd(Pool& pool) {
    ++pool.completed;
    {
        std::lock_guard lock(pool.mutex);
        ++pool.unseenEnds;
    }
    pool.itemEnded.notify_one();
}

// A worker goes straight on with the next item when it ends one instead of
// waiting for the scheduler to start a thread for it: two thread hand-overs
// fewer per picture, which one thread feels on every picture.
void RunWorker(const std::shared_ptr<Pool>& pool, const std::shared_ptr<ItemLog>& log, const std::atomic<bool>& stop,
               std::size_t index) {
    std::vector<std::size_t> unparked;
    do {
        const TryOutcome outcome = DownOnePicFunc(pool->items[index], pool->transfer, *log);
        if (outcome.done) {
            CountItemEnd(*pool);
        } else {
            {
                std::lock_guard lock(pool->mutex);
                pool->parked.push_back({Clock::now() + outcome.wait, index});
                std::push_heap(pool->parked.begin(), pool->parked.end(), std::greater<>());
            }
            pool->itemParked.notify_all();
        }
    } while (TakeNextItem(*pool, stop, index, unparked));
    // A stop ends the waits: those items failed as their last try did.
    for (std::size_t parkedIndex : unparked) {
        log->Failed(pool->items[parkedIndex].lastFailure);
        CountItemEnd(*pool);
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
