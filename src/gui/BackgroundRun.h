// A queue run or a sync of the desktop program, on a thread of its own with
// a controller of its own, so that the window stays free for browsing and
// downloading by hand meanwhile. It holds the runner lock of the program
// folder while it goes; what it does reaches the GUI thread as signals.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "download/FollowList.h"

namespace lumora {
class RunnerLock;
class QueueRunner;
}  // namespace lumora

class QTimer;

class CBackgroundRun : public QObject {
    Q_OBJECT

public:
    enum class Kind { Queue, Sync };
    enum class StartOutcome { Started, AlreadyRunning, OtherRunner };

    explicit CBackgroundRun(std::filesystem::path programFolder, QObject* parent = nullptr);
    ~CBackgroundRun() override;  // stops the run and waits for it

    // A sync of `members` (all followed ones when empty), or a queue run.
    StartOutcome Start(Kind kind, std::vector<lumora::FollowedMember> members = {});
    // Tries again every second until the other runner has ended, then starts.
    void StartWhenFree(Kind kind, std::vector<lumora::FollowedMember> members = {});
    bool waiting() const { return waiting_; }
    void CancelWaiting();
    bool running() const { return thread_.joinable(); }
    Kind kind() const { return kind_; }
    // Ends the running download and starts nothing more ("已终止"; "已暂停" after Pause).
    void Stop();
    void Pause();
    // Blocks until the run has ended (for tests and the window's close).
    void Wait();

signals:
    // What the run is doing now ("队列：第2号订单 ...", "已下载5/30").
    void status(const QString& text);
    // An order or a member began or ended: lists showing them read them again.
    void changed();
    // The run ended; `summary` says what it did, `complete` whether all went well.
    void finished(bool sync, const QString& summary, bool complete);

private:
    void Body(std::vector<lumora::FollowedMember> members);
    void Ended(bool sync, const QString& summary, bool complete);

    const std::filesystem::path programFolder_;
    Kind kind_ = Kind::Queue;
    std::thread thread_;
    std::unique_ptr<lumora::RunnerLock> lock_;
    std::mutex runnerMutex_;
    lumora::QueueRunner* runner_ = nullptr;  // while the body runs
    std::atomic<bool> stopAsked_{false};
    std::atomic<bool> pauseAsked_{false};
    bool waiting_ = false;
    QTimer* waitTimer_ = nullptr;
    Kind waitingKind_ = Kind::Queue;
    std::vector<lumora::FollowedMember> waitingMembers_;
};

class CDesktop;
class QWidget;

// Starts the run; when another program runs a queue or a sync in the same
// folder, says "另一个下载正在进行" and offers to start once it has ended.
void StartOrOfferToWait(CBackgroundRun& run, CDesktop& desktop, QWidget* parent, CBackgroundRun::Kind kind,
                        std::vector<lumora::FollowedMember> members = {});
