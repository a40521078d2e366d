#include "app/QueueRunner.h"

#include <algorithm>
#include <filesystem>

#include "app/AlbumListRun.h"
#include "app/MainController.h"
#include "app/SiteTable.h"
#include "base/FailureText.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

std::u16string WithoutTrailingSlash(std::u16string name) {
    while (!name.empty() && name.back() == u'/') name.pop_back();
    return name;
}

void Append(DownloadReport& combined, const DownloadReport& report) {
    combined.albums.insert(combined.albums.end(), report.albums.begin(), report.albums.end());
    combined.totalListed += report.totalListed;
    combined.stopped = combined.stopped || report.stopped;
    combined.unrecorded += report.unrecorded;
    if (combined.unrecordedReason.empty()) combined.unrecordedReason = report.unrecordedReason;
}

}  // namespace

bool QueueRunReport::Complete() const {
    if (stopped || !storeProblem.empty()) return false;
    return std::all_of(orders.begin(), orders.end(),
                       [](const QueuedOrder& order) { return order.state == OrderState::Done; });
}

SyncFinding SyncReport::Totals() const {
    SyncFinding totals;
    totals.listRead = true;
    for (const auto& [member, finding] : members) {
        totals.listRead = totals.listRead && finding.listRead;
        totals.newAlbums += finding.newAlbums;
        totals.newPictures += finding.newPictures;
        totals.failed += finding.failed;
        totals.deleted += finding.deleted;
    }
    return totals;
}

bool SyncReport::Complete() const {
    if (stopped || !storeProblem.empty()) return false;
    const SyncFinding totals = Totals();
    return totals.listRead && totals.failed == 0 && combined.unrecorded == 0;
}

std::u16string SyncFindingText(const SyncFinding& finding) {
    if (!finding.problem.empty()) return finding.problem;
    std::u16string text = FormatText(u"%d个新相册，%d张新图片", {static_cast<std::int64_t>(finding.newAlbums),
                                                                 static_cast<std::int64_t>(finding.newPictures)});
    if (finding.failed > 0) text += FormatText(u"，失败%d张", {static_cast<std::int64_t>(finding.failed)});
    if (finding.deleted > 0) {
        text += FormatText(u"，已删除%d张，未重新下载", {static_cast<std::int64_t>(finding.deleted)});
    }
    return text;
}

std::u16string SyncSummaryText(const SyncReport& report) {
    SyncFinding totals = report.Totals();
    totals.problem.clear();  // the members that could not be checked are counted instead
    std::u16string text = u"关注的空间：" + SyncFindingText(totals);
    const auto unread = std::count_if(report.members.begin(), report.members.end(),
                                      [](const auto& entry) { return !entry.second.problem.empty(); });
    if (unread > 0) text += FormatText(u"，%d个空间未能检查", {static_cast<std::int64_t>(unread)});
    if (report.stopped) text += u"（已终止）";
    return text;
}

// Nobody watches the list read ahead: what it shows is the reason ReadList returns.
class QueueRunner::SilentView : public RunView {
public:
    void MainStatus(const std::u16string&) override {}
    void ProgressStatus(const std::u16string&) override {}
    void Message(const std::u16string&) override {}
    void OpenFolder(const std::u16string&) override {}
};

QueueRunner::QueueRunner(MainController& controller) : controller_(controller) {}

QueueRunner::~QueueRunner() {
    if (aheadList_.valid()) aheadList_.wait();
}

void QueueRunner::Stop() {
    stop_ = true;
    controller_.StopRuns();
    std::lock_guard lock(aheadMutex_);
    if (ahead_) ahead_->StopRuns();
}

void QueueRunner::Pause() {
    pause_ = true;
    Stop();
}

namespace {

std::u16string ReadListWith(MainController& controller, const std::u16string& address) {
    controller.GetAlbums({address, SiteOfAddress(address)});
    controller.WaitForGetAlbums();
    const SiteSession& session = controller.session();
    if (session.albums.size() > 0) return {};
    if (std::u16string reason = EmptyListReason(session, address); !reason.empty()) return reason;
    return u"没有找到相册";
}

}  // namespace

std::u16string QueueRunner::ReadList(const std::u16string& address) { return ReadListWith(controller_, address); }

void QueueRunner::StartNextList(const std::u16string& address) {
    if (stop_) return;
    {
        std::lock_guard lock(aheadMutex_);
        if (!ahead_) {
            aheadView_ = std::make_unique<SilentView>();
            ahead_ = std::make_unique<MainController>(*aheadView_, controller_.programFolder());
            ahead_->SetReady();
        }
    }
    aheadAddress_ = address;
    aheadList_ = std::async(std::launch::async, [this, address] { return ReadListWith(*ahead_, address); });
}

std::u16string QueueRunner::TakeList(const std::u16string& address) {
    if (!aheadList_.valid() || aheadAddress_ != address) return ReadList(address);
    std::u16string reason = aheadList_.get();
    controller_.TakeAlbumList(ahead_->session());
    return reason;
}

DownloadReport QueueRunner::DownloadAlbums(const std::vector<std::size_t>& positions,
                                           const std::u16string& saveFolder) {
    DownloadOrder order = controller_.OrderFor(positions, saveFolder);
    // What is saved already is never fetched again: that is what makes an order resumable.
    order.app.skipSaved = true;
    order.skipDeleted = order.app.skipDeleted;
    order.readPagesAhead = true;
    order.keepAlbumFolders = true;
    controller_.Download(std::move(order));
    controller_.WaitForDownload();
    return controller_.lastReport();
}

QueueRunReport QueueRunner::RunQueue(OrderQueue& queue, QueueListener& listener, bool failedToo) {
    QueueRunReport report;
    // Each order once: one that fails again waits for the next run, not for this one to loop.
    std::set<std::int64_t> taken;
    while (!stop_) {
        std::optional<QueuedOrder> next = queue.NextRunnable(taken, failedToo);
        if (!next) break;
        QueuedOrder order = std::move(*next);
        taken.insert(order.id);
        order.state = OrderState::Running;
        order.note.clear();
        if (Result<void> kept = queue.Update(order); !kept) {
            report.storeProblem = FailureText(kept.failure());
            break;
        }
        listener.OrderStarted(order);

        DownloadReport run;
        std::u16string problem = ReadList(order.address);
        const SiteSession& session = controller_.session();
        if (!session.spaceName.empty()) order.spaceName = WithoutTrailingSlash(session.spaceName);
        std::vector<std::size_t> positions;
        std::size_t gone = 0;
        if (problem.empty() && !stop_) {
            const std::vector<ST_PERLISTRECORD> albums = session.albums.all();
            if (order.albums.empty()) {
                for (std::size_t i = 0; i < albums.size(); ++i) positions.push_back(i);
            }
            // Picked albums are found again by address: the member may have added or removed some meanwhile.
            for (const QueuedAlbum& wanted : order.albums) {
                const auto found = std::find_if(albums.begin(), albums.end(), [&](const ST_PERLISTRECORD& album) {
                    return album.address == wanted.address;
                });
                if (found == albums.end()) {
                    ++gone;
                } else {
                    positions.push_back(static_cast<std::size_t>(found - albums.begin()));
                }
            }
            if (positions.empty()) problem = u"选中的相册都已不在相册列表中";
        }
        if (problem.empty() && !stop_) {
            run = DownloadAlbums(positions, order.saveFolder);
            if (run.rejectedSavePath) problem = u"保存文件夹无法使用：" + order.saveFolder;
        }

        const RunTotals totals = run.Totals();
        order.albumCount = run.albums.size();
        order.total = run.totalListed;
        order.done = totals.saved + totals.skipped + totals.filtered + totals.deleted;
        order.failed = totals.failed;
        order.note = problem;
        if (gone > 0) {
            order.note = FormatText(u"%d个选中的相册已不在相册列表中", {static_cast<std::int64_t>(gone)});
        }
        if (stop_ || run.stopped) {
            order.state = pause_ ? OrderState::Paused : OrderState::Stopped;
        } else if (problem.empty() && gone == 0 && run.Complete()) {
            order.state = OrderState::Done;
        } else {
            order.state = OrderState::Failed;
        }
        Result<void> kept =
            queue.SetFailures(order.id, problem.empty() ? controller_.LastFailures() : std::vector<FailedPicture>{});
        if (kept) kept = queue.Update(order);
        if (!kept) report.storeProblem = FailureText(kept.failure());
        Append(report.combined, run);
        report.orders.push_back(order);
        listener.OrderEnded(order, run);
        if (!report.storeProblem.empty()) break;
    }
    report.stopped = stop_;
    return report;
}

SyncReport QueueRunner::Sync(FollowList& follows, std::vector<FollowedMember> members, QueueListener& listener) {
    SyncReport report;
    if (members.empty()) {
        Result<std::vector<FollowedMember>> all = follows.Members();
        if (!all) {
            report.storeProblem = FailureText(all.failure());
            return report;
        }
        members = std::move(*all);
    }
    for (std::size_t number = 1; number <= members.size() && !stop_; ++number) {
        const FollowedMember& member = members[number - 1];
        listener.MemberStarted(member, number, members.size());
        SyncFinding finding;
        DownloadReport run;
        std::vector<std::u16string> seen;
        std::u16string spaceName;
        // A folder that held the backup and is gone was moved or deleted: nothing is fetched into a new one.
        std::error_code error;
        if (member.lastSyncAt > 0 && !std::filesystem::is_directory(WideToUtf8(member.saveFolder), error)) {
            finding.problem =
                u"保存文件夹不存在：" + member.saveFolder + u"（已移动或删除？用 follow add --save 指定新的位置）";
        } else {
            finding.problem = TakeList(member.address);
        }
        // The next member's list is read while this one's albums are.
        if (number < members.size()) StartNextList(members[number].address);
        if (finding.problem.empty() && !stop_) {
            finding.listRead = true;
            const SiteSession& session = controller_.session();
            spaceName = WithoutTrailingSlash(session.spaceName);
            const std::set<std::u16string> known = follows.KnownAlbums(member.address);
            const std::vector<ST_PERLISTRECORD> albums = session.albums.all();
            std::vector<std::size_t> positions;
            for (std::size_t i = 0; i < albums.size(); ++i) {
                positions.push_back(i);
                seen.push_back(albums[i].address);
            }
            run = DownloadAlbums(positions, member.saveFolder);
            if (run.rejectedSavePath) finding.problem = u"保存文件夹无法使用：" + member.saveFolder;
            const RunTotals totals = run.Totals();
            finding.newPictures = totals.saved;
            finding.failed = totals.failed;
            finding.deleted = totals.deleted;
            for (const AlbumOutcome& album : run.albums) {
                if (!album.page.fetched) ++finding.failed;  // an album page that could not be read
                // New: not seen by an earlier sync, and not saved whole before it either (by hand, say).
                if (!known.contains(album.address) && (album.saved > 0 || !album.failures.empty())) {
                    ++finding.newAlbums;
                }
            }
        }
        // A stopped sync keeps what it learnt only of the albums it finished; the next one goes on from there.
        if (stop_ || run.stopped) {
            seen.clear();
            for (const AlbumOutcome& album : run.albums) {
                if (!album.stopped && album.page.fetched) seen.push_back(album.address);
            }
        }
        if (Result<void> kept = follows.RecordSync(member.address, spaceName, finding, seen); !kept) {
            report.storeProblem = FailureText(kept.failure());
        }
        Append(report.combined, run);
        report.members.emplace_back(member, finding);
        listener.MemberEnded(member, finding);
        if (!report.storeProblem.empty()) break;
    }
    report.stopped = stop_;
    return report;
}

}  // namespace lumora
