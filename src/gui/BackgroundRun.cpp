#include "gui/BackgroundRun.h"

#include <QMetaObject>
#include <QTimer>

#include "app/MainController.h"
#include "app/QueueRunner.h"
#include "app/RunnerLock.h"
#include "base/FailureText.h"
#include "gui/Desktop.h"
#include "gui/GuiText.h"
#include "text/Format.h"

namespace {

// The run's texts go to the signals; nothing waits for a user (a message
// becomes a status text: there is nobody at a background run's side).
class ForwardingView : public lumora::RunView {
public:
    explicit ForwardingView(CBackgroundRun& run) : run_(run) {}
    void MainStatus(const std::u16string& text) override { Say(text); }
    void ProgressStatus(const std::u16string& text) override { Say(text); }
    void Message(const std::u16string& text) override { Say(text); }
    void OpenFolder(const std::u16string&) override {}

    void Say(const std::u16string& text) {
        const QString shown = ToQString(text);
        // The view goes with the run's thread; the run object stays (or drops what is queued to it).
        CBackgroundRun* run = &run_;
        QMetaObject::invokeMethod(
            run, [run, shown] { emit run->status(shown); }, Qt::QueuedConnection);
    }

private:
    CBackgroundRun& run_;
};

class ChangeListener : public lumora::QueueListener {
public:
    ChangeListener(CBackgroundRun& run, ForwardingView& view) : run_(run), view_(view) {}
    void OrderStarted(const lumora::QueuedOrder& order) override {
        view_.Say(lumora::FormatText(u"队列：开始第%d号订单 ", {order.id}) + order.address);
        Changed();
    }
    void OrderEnded(const lumora::QueuedOrder&, const lumora::DownloadReport&) override { Changed(); }
    void MemberStarted(const lumora::FollowedMember& member, std::size_t number, std::size_t count) override {
        view_.Say(lumora::FormatText(u"检查更新：第%d/%d个空间 ",
                                     {static_cast<std::int64_t>(number), static_cast<std::int64_t>(count)}) +
                  member.address);
        Changed();
    }
    void MemberEnded(const lumora::FollowedMember&, const lumora::SyncFinding&) override { Changed(); }

private:
    void Changed() {
        CBackgroundRun* run = &run_;
        QMetaObject::invokeMethod(
            run, [run] { emit run->changed(); }, Qt::QueuedConnection);
    }
    CBackgroundRun& run_;
    ForwardingView& view_;
};

QString QueueSummary(const lumora::QueueRunReport& report) {
    std::size_t done = 0;
    for (const lumora::QueuedOrder& order : report.orders) done += order.state == lumora::OrderState::Done;
    std::u16string text =
        lumora::FormatText(u"队列：运行了%d个订单，完成%d个",
                           {static_cast<std::int64_t>(report.orders.size()), static_cast<std::int64_t>(done)});
    if (report.stopped) text += u"（已终止）";
    if (!report.storeProblem.empty()) text += u"；无法写入队列：" + report.storeProblem;
    return ToQString(text);
}

}  // namespace

CBackgroundRun::CBackgroundRun(std::filesystem::path programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {}

CBackgroundRun::~CBackgroundRun() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

CBackgroundRun::StartOutcome CBackgroundRun::Start(Kind kind, std::vector<lumora::FollowedMember> members) {
    if (running()) return StartOutcome::AlreadyRunning;
    auto lock = std::make_unique<lumora::RunnerLock>(programFolder_);
    if (lock->heldElsewhere()) return StartOutcome::OtherRunner;
    lock_ = std::move(lock);
    kind_ = kind;
    stopAsked_ = false;
    pauseAsked_ = false;
    thread_ = std::thread([this, members = std::move(members)]() mutable { Body(std::move(members)); });
    return StartOutcome::Started;
}

void CBackgroundRun::StartWhenFree(Kind kind, std::vector<lumora::FollowedMember> members) {
    waitingKind_ = kind;
    waitingMembers_ = std::move(members);
    if (!waitTimer_) {
        waitTimer_ = new QTimer(this);
        waitTimer_->setInterval(1000);
        connect(waitTimer_, &QTimer::timeout, this, [this] {
            if (Start(waitingKind_, waitingMembers_) == StartOutcome::OtherRunner) return;
            CancelWaiting();
        });
    }
    waiting_ = true;
    waitTimer_->start();
    emit status(QStringLiteral("另一个下载正在进行，它结束后自动开始……"));
}

void CBackgroundRun::CancelWaiting() {
    waiting_ = false;
    if (waitTimer_) waitTimer_->stop();
    waitingMembers_.clear();
}

void CBackgroundRun::Stop() {
    stopAsked_ = true;
    std::lock_guard lock(runnerMutex_);
    if (runner_) pauseAsked_ ? runner_->Pause() : runner_->Stop();
}

void CBackgroundRun::Pause() {
    pauseAsked_ = true;
    Stop();
}

void CBackgroundRun::Wait() {
    if (thread_.joinable()) thread_.join();
    lock_.reset();
}

void CBackgroundRun::Body(std::vector<lumora::FollowedMember> members) {
    ForwardingView view(*this);
    ChangeListener listener(*this, view);
    const std::filesystem::path archive = programFolder_ / lumora::kArchiveFileName;
    bool sync = kind_ == Kind::Sync;
    QString summary;
    bool complete = false;
    {
        lumora::MainController controller(view, programFolder_);
        controller.SetReady();
        lumora::QueueRunner runner(controller);
        {
            std::lock_guard lock(runnerMutex_);
            runner_ = &runner;
            if (stopAsked_) pauseAsked_ ? runner.Pause() : runner.Stop();
        }
        if (sync) {
            auto follows = lumora::FollowList::Open(archive);
            if (follows) {
                const lumora::SyncReport report = runner.Sync(**follows, std::move(members), listener);
                summary = ToQString(lumora::SyncSummaryText(report));
                complete = report.Complete();
            } else {
                summary = QStringLiteral("下载记录打不开：") + ToQString(lumora::FailureText(follows.failure()));
            }
        } else {
            auto queue = lumora::OrderQueue::Open(archive);
            if (queue) {
                const lumora::QueueRunReport report = runner.RunQueue(**queue, listener);
                summary = QueueSummary(report);
                complete = report.Complete();
            } else {
                summary = QStringLiteral("下载记录打不开：") + ToQString(lumora::FailureText(queue.failure()));
            }
        }
        std::lock_guard lock(runnerMutex_);
        runner_ = nullptr;
    }
    QMetaObject::invokeMethod(
        this, [this, sync, summary, complete] { Ended(sync, summary, complete); }, Qt::QueuedConnection);
}

void CBackgroundRun::Ended(bool sync, const QString& summary, bool complete) {
    Wait();
    emit finished(sync, summary, complete);
}

void StartOrOfferToWait(CBackgroundRun& run, CDesktop& desktop, QWidget* parent, CBackgroundRun::Kind kind,
                        std::vector<lumora::FollowedMember> members) {
    if (run.Start(kind, members) != CBackgroundRun::StartOutcome::OtherRunner) return;
    const QString question = QStringLiteral(
        "另一个下载正在进行（另一个窗口或 lumora-cli 正在运行队列或检查更新）。\n"
        "等它结束后自动开始吗？");
    if (desktop.Ask(parent, question, CDesktop::ProgramCaption())) run.StartWhenFree(kind, std::move(members));
}
