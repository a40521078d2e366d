#include "download/Scheduler.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "text/Format.h"
#include "web/FileDownload.h"

namespace lumora {
namespace {

constexpr std::uint32_t kStepTimeoutMs = 20000;

// What one worker needs, copied so the job may be refilled and the run state
// rewritten by the next run while a worker left running by a stop goes on.
struct WorkItem {
    std::size_t index;
    std::u16string address;
    std::u16string savePath;
    std::u16string headerText;
    std::uint32_t timeoutSeconds;
    std::uint32_t minKB;
    std::uint32_t maxKB;
    std::uint8_t retries;
    std::shared_ptr<const StopToken> stop;
    bool alreadySaved;
};

// The album's items and their hand-out, shared by the scheduler and its
// workers, which a stop may leave running after the scheduler has gone.
struct Pool {
    std::vector<WorkItem> items;
    std::mutex mutex;
    std::condition_variable itemEnded;
    std::size_t next = 0;         // the next item to start: strictly in index order
    std::size_t unseenEnds = 0;   // item ends the scheduler has not handled yet
    bool closed = false;          // the scheduler has left: start nothing more
    // This album's own count: workers of an earlier, stopped album may still
    // end while this one runs, and must not count as this album's items.
    std::atomic<int> completed{0};
};

void DownOnePicFunc(const WorkItem& item, ItemLog& log) {
    if (item.alreadySaved) {
        log.Skipped(item.index);
        return;
    }
    FetchRequest request(u"", item.savePath, kStepTimeoutMs);
    request.readTimeoutMs = item.timeoutSeconds * 1000;
    request.extraHeaders = item.headerText;
    request.minSizeKB = static_cast<std::int32_t>(item.minKB);
    request.maxSizeKB = static_cast<std::int32_t>(item.maxKB);
    request.retries = item.retries;
    request.stop = item.stop;
    FetchResult result;
    bool saved = false;
    try {
        saved = DownloadToFile(request, result, item.address);
    } catch (...) {
        result.error = FetchError::Connect;
    }
    if (saved) {
        log.Saved(item.index, item.address, item.savePath);
    } else {
        log.Failed({item.index, item.address, item.savePath,
                    result.error == FetchError::None ? FetchError::Connect : result.error, result.httpStatus});
    }
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
                 const std::vector<bool>& alreadySaved) {
    state.completedCount = 0;
    const std::size_t total = job.size();
    const std::size_t workers = std::min<std::size_t>(state.threadCount, total);
    if (workers == 0) return;
    state.downloadBusy = true;
    const auto started = std::chrono::steady_clock::now();
    auto pool = std::make_shared<Pool>();
    pool->items.reserve(total);
    for (std::size_t index = 0; index < total; ++index) {
        pool->items.push_back({index, job.addresses[index], job.SavePath(index),
                               job.headerTexts.empty() ? std::u16string() : job.headerTexts[index],
                               state.timeoutSeconds, state.minKB, state.maxKB, state.retries, state.stop,
                               index < alreadySaved.size() && alreadySaved[index]});
    }
    pool->next = workers;

    // A worker goes straight on with the next item when it ends one instead
    // of waiting for the scheduler to start a thread for it: two thread
    // hand-overs fewer per picture, which one thread feels on every picture.
    std::atomic<bool>& stop = state.stopRequested;
    auto work = [pool, log, &stop, &tracker](std::size_t index) {
        for (;;) {
            DownOnePicFunc(pool->items[index], *log);
            ++pool->completed;
            bool more;
            {
                std::lock_guard lock(pool->mutex);
                ++pool->unseenEnds;
                more = !pool->closed && !stop && pool->next < pool->items.size();
                if (more) index = pool->next++;
            }
            pool->itemEnded.notify_one();
            if (!more) break;
        }
        tracker.Ended();
    };
    for (std::size_t slot = 0; slot < workers; ++slot) {
        tracker.Started();
        std::thread(work, slot).detach();
    }

    bool lastStartedShown = false;
    long long lastShown = static_cast<long long>(total) + 1;
    for (;;) {
        bool lastStarted;
        {
            std::unique_lock lock(pool->mutex);
            pool->itemEnded.wait(lock, [&] { return pool->unseenEnds > 0; });
            --pool->unseenEnds;
            if (stop) {
                pool->closed = true;
                break;
            }
            lastStarted = pool->next >= pool->items.size();
        }
        if (lastStarted && !lastStartedShown) {
            lastStartedShown = true;
            if (callbacks.lastItemStarted) callbacks.lastItemStarted();
        }
        const int completed = pool->completed;
        state.completedCount = completed;
        const bool allDone = completed >= static_cast<int>(total);
        if ((completed != lastShown || allDone) && callbacks.showProgress) {
            callbacks.showProgress(
                FormatText(u"已下载%d/%d......", {static_cast<std::int64_t>(completed), static_cast<std::int64_t>(total)}));
            lastShown = completed;
        }
        if (allDone) break;
    }
    if (callbacks.finished) {
        auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        callbacks.finished(static_cast<unsigned>(elapsed.count()), static_cast<unsigned>(total));
    }
    state.downloadBusy = false;
}

}  // namespace lumora
