#include "download/Scheduler.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "text/Format.h"
#include "web/FileDownload.h"

namespace lumora {
namespace {

constexpr std::uint32_t kStepTimeoutMs = 20000;

// What one worker needs, copied so the job may be refilled while it runs.
struct WorkItem {
    std::size_t index;
    std::u16string address;
    std::u16string savePath;
    std::u16string headerText;
};

// Slots report here when their worker ends; shared with detached workers.
struct EndQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::size_t> endedSlots;
};

void DownOnePicFunc(const WorkItem& item, DownloadRunState& state, std::vector<FailedItem>& failures,
                    std::mutex& failuresMutex) {
    FetchRequest request(u"", item.savePath, kStepTimeoutMs);
    request.readTimeoutMs = state.timeoutSeconds * 1000;
    request.extraHeaders = item.headerText;
    request.minSizeKB = static_cast<std::int32_t>(state.minKB);
    request.maxSizeKB = static_cast<std::int32_t>(state.maxKB);
    FetchResult result;
    bool saved = false;
    try {
        saved = DownloadToFile(request, result, item.address);
    } catch (...) {
        result.error = FetchError::Connect;
    }
    if (!saved) {
        std::lock_guard lock(failuresMutex);
        failures.push_back({item.index, item.address, item.savePath,
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
                 const SchedulerCallbacks& callbacks, const std::shared_ptr<std::vector<FailedItem>>& failures,
                 const std::shared_ptr<std::mutex>& failuresMutex) {
    state.completedCount = 0;
    const std::size_t total = job.size();
    const std::size_t workers = std::min<std::size_t>(state.threadCount, total);
    if (workers == 0) return;
    state.downloadBusy = true;
    const auto started = std::chrono::steady_clock::now();
    auto queue = std::make_shared<EndQueue>();

    auto start = [&](std::size_t slot, std::size_t index) {
        WorkItem item{index, job.addresses[index], job.SavePath(index),
                      job.headerTexts.empty() ? std::u16string() : job.headerTexts[index]};
        tracker.Started();
        std::thread([item = std::move(item), slot, queue, failures, failuresMutex, &state, &tracker] {
            DownOnePicFunc(item, state, *failures, *failuresMutex);
            ++state.completedCount;
            {
                std::lock_guard lock(queue->mutex);
                queue->endedSlots.push_back(slot);
            }
            queue->changed.notify_one();
            tracker.Ended();
        }).detach();
    };

    for (std::size_t slot = 0; slot < workers; ++slot) start(slot, slot);
    std::size_t next = workers;
    std::size_t running = workers;
    long long lastShown = static_cast<long long>(total) + 1;
    while (running > 0) {
        std::size_t slot;
        {
            std::unique_lock lock(queue->mutex);
            queue->changed.wait(lock, [&] { return !queue->endedSlots.empty(); });
            slot = queue->endedSlots.front();
            queue->endedSlots.pop_front();
        }
        --running;
        if (state.stopRequested) break;
        if (next < total) {
            start(slot, next++);
            ++running;
        }
        const int completed = state.completedCount;
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
