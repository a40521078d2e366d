// Runs the queue's orders one after the other, and syncs followed members,
// through a controller's usual get-albums and download runs (workers,
// retries, the archive). It blocks while it runs: the command line calls it
// on its main thread, the desktop program on a thread of its own. Everything
// already saved is skipped, so running an order again, after a stop, a kill
// or a restart, fetches only what is missing.
#pragma once

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/DownloadReport.h"
#include "download/FollowList.h"
#include "download/OrderQueue.h"

namespace lumora {

class MainController;

// What a queue run or a sync shows between its downloads.
class QueueListener {
public:
    virtual ~QueueListener() = default;
    virtual void OrderStarted(const QueuedOrder& /*order*/) {}
    virtual void OrderEnded(const QueuedOrder& /*order*/, const DownloadReport& /*report*/) {}
    virtual void MemberStarted(const FollowedMember& /*member*/, std::size_t /*number*/, std::size_t /*count*/) {}
    virtual void MemberEnded(const FollowedMember& /*member*/, const SyncFinding& /*finding*/) {}
};

struct QueueRunReport {
    std::vector<QueuedOrder> orders;  // as each ended
    DownloadReport combined;          // every album of every order
    bool stopped = false;
    std::u16string storeProblem;  // the queue could not be read or written
    // Every order done and nothing failed.
    bool Complete() const;
};

struct SyncReport {
    std::vector<std::pair<FollowedMember, SyncFinding>> members;
    DownloadReport combined;
    bool stopped = false;
    std::u16string storeProblem;
    SyncFinding Totals() const;
    // Every member's list read and every new picture saved.
    bool Complete() const;
};

// "N个新相册，M张新图片" with the failures and the deleted pictures beside it, or why the member could not be checked.
std::u16string SyncFindingText(const SyncFinding& finding);
// "关注的空间：N个新相册，M张新图片" (with the failures and the unreadable members beside it).
std::u16string SyncSummaryText(const SyncReport& report);

class QueueRunner {
public:
    explicit QueueRunner(MainController& controller);
    ~QueueRunner();

    // Runs every order not finished, in queue order, the ones a kill left as
    // "下载中" too, each once, until none is left or a stop; with `failedToo`
    // also the ones that ended "有失败" (their saved pictures are skipped).
    QueueRunReport RunQueue(OrderQueue& queue, QueueListener& listener, bool failedToo = false);
    // Syncs the members given (all followed ones when none are).
    SyncReport Sync(FollowList& follows, std::vector<FollowedMember> members, QueueListener& listener);

    // Ends the running download as its stop does and starts nothing more; the
    // order is left "已终止", or "已暂停" after Pause. Any thread.
    void Stop();
    void Pause();

private:
    // Reads the member's album list; its reason when no album came.
    std::u16string ReadList(const std::u16string& address);
    // A sync reads the next member's list with a controller of its own while
    // this member's albums are downloaded: list pages come one after another,
    // and so they are not waited for between members.
    void StartNextList(const std::u16string& address);
    // The next member's list, from the read started for it, or read now.
    std::u16string TakeList(const std::u16string& address);
    DownloadReport DownloadAlbums(const std::vector<std::size_t>& positions, const std::u16string& saveFolder);

    MainController& controller_;
    class SilentView;
    std::unique_ptr<SilentView> aheadView_;
    std::unique_ptr<MainController> ahead_;  // made at the first read ahead
    std::mutex aheadMutex_;                  // a stop from another thread reaches it safely
    std::u16string aheadAddress_;
    std::future<std::u16string> aheadList_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> pause_{false};
};

}  // namespace lumora
