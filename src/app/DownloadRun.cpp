#include "app/DownloadRun.h"

#include <algorithm>
#include <map>
#include <set>

#include "app/MainController.h"
#include "base/FailureText.h"
#include "base/PathText.h"
#include "base/Trim.h"
#include "base/Utf16.h"
#include "download/AlbumCollector.h"
#include "download/FolderPath.h"
#include "download/JobManifest.h"
#include "download/PictureNaming.h"
#include "download/PostProcessing.h"
#include "download/SavedCheck.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"
#include "web/DiskReserve.h"
#include "web/HostGate.h"

namespace lumora {
namespace {

// What may surround a typed save folder: line ends of a paste, and the
// ideographic space of a Chinese input method.
constexpr std::u16string_view kTypedBlanks = u" \t\r\n\u3000";

std::u16string NameOf(const std::u16string& path) {
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

constexpr char16_t kArchiveBusy[] = u"下载记录被另一个程序占用，本次不记录";

// The parameters of a plan's transfers, from the order's or the failed run's values.
void SetTransfer(RunPlan& plan, std::uint32_t threads, std::uint32_t timeoutSeconds, SizeWindow window,
                 unsigned retries) {
    plan.threadCount = threads;
    plan.transfer.timeoutSeconds = timeoutSeconds;
    plan.transfer.sizeWindow = window;
    plan.transfer.retries = static_cast<std::uint8_t>(retries);
}

// One album per folder, in the order the rows were met.
void AddRowAlbums(const std::vector<FailedPicture>& rows, RunPlan& plan) {
    std::map<std::u16string, std::size_t> albumIndex;
    for (const FailedPicture& row : rows) {
        auto [found, added] = albumIndex.emplace(row.albumFolder + u'\n' + row.albumAddress, plan.albums.size());
        if (added) plan.albums.push_back({row.albumTitle, row.albumAddress, std::nullopt, {}});
        plan.albums[found->second].failures.push_back(row);
    }
}

}  // namespace

DownloadRun::DownloadRun(MainController& controller, DownloadJob& job, DownloadRunState& state, WorkerTracker& workers,
                         std::atomic<std::size_t>& jobSize)
    : controller_(controller), job_(job), state_(state), workers_(workers), jobSize_(jobSize) {}

void DownloadRun::OpenArchive(const AppSettings& app) {
    appSettings_ = app;
    const std::filesystem::path file = controller_.programFolder() / kArchiveFileName;
    Result<std::shared_ptr<DownloadArchive>> opened = DownloadArchive::Open(file);
    archive_ = opened ? *opened : nullptr;
    if (!opened) {
        // The run goes on; it just cannot skip or keep its failures.
        controller_.ShowMessage(u"无法打开下载记录：" + Utf8ToWide(file.string()) + u"（" +
                                FailureText(opened.failure()) + u"）");
    }
    // Told from a worker: the status line, not a box that would hold it.
    records_ = std::make_shared<ArchiveQueue>(archive_,
                                              [&controller = controller_] { controller.SetMainStatus(kArchiveBusy); });
}

void DownloadRun::FlushRecords(DownloadReport& report) {
    report.unrecorded = records_ ? records_->Flush() : 0;
    if (report.unrecorded == 0) return;
    report.unrecordedReason = records_->LastError();
    controller_.ShowMessage(FormatText(u"下载记录未能保存%d条：", {static_cast<std::int64_t>(report.unrecorded)}) +
                            report.unrecordedReason);
}

void DownloadRun::ShowAlbumStatus(std::size_t number, std::size_t count) {
    controller_.SetMainStatus(
        FormatText(u"正在下载第%d/%d个图集", {static_cast<std::int64_t>(number), static_cast<std::int64_t>(count)}));
    controller_.SetProgressStatus(u"......");
}

ItemEvents DownloadRun::MakeItemEvents() const {
    RunListener& events = controller_.runListeners();
    const std::size_t album = albumNumber_;
    ItemEvents items;
    items.saved = [&events, album](std::size_t index, const std::u16string& address, const std::u16string& path,
                                   std::uint64_t bytes) {
        events.PictureSaved({album, index, address, path, bytes, {}, {}});
    };
    // The job stays as it is while its items are downloaded.
    items.skipped = [&events, album, this](std::size_t index) {
        events.PictureSkipped({album, index, job_.addresses[index], job_.SavePath(index), 0, {}, {}});
    };
    items.deleted = [&events, album, this](std::size_t index) {
        events.PictureSkipped(
            {album, index, job_.addresses[index], job_.SavePath(index), 0, u"deleted", u"已删除，未重新下载"});
    };
    items.failed = [&events, album](const FailedItem& failure) {
        events.PictureFailed({album, failure.index, failure.address, failure.savePath, 0, DescribeFailure(failure),
                              FailureMessage(failure)});
    };
    items.filtered = [&events, album](const FailedItem& item) {
        events.PictureFiltered(
            {album, item.index, item.address, item.savePath, 0, DescribeFailure(item), FailureMessage(item)});
    };
    return items;
}

SchedulerCallbacks DownloadRun::MakeCallbacks() const {
    SchedulerCallbacks callbacks;
    callbacks.showProgress = [this](const std::u16string& text) { controller_.SetProgressStatus(text); };
    callbacks.finished = [this](unsigned elapsed, unsigned total) {
        controller_.view().AlbumPicturesDone(elapsed, total);
    };
    return callbacks;
}

DownloadReport DownloadRun::DownloadPickedAlbums(const DownloadOrder& order) {
    DownloadReport report;
    SiteSession& session = controller_.session();
    controller_.LoadExtensionSettings();
    std::u16string saveFolder(TrimBlanks(order.saveFolder, kTypedBlanks));
    if (saveFolder.empty()) {
        controller_.ShowMessage(u"请先设置保存路径");
        session.downloadState = DOWN_IDLE;
        report.rejectedSavePath = true;
        return report;
    }
    RunPlan plan;
    plan.downloadFolder = WithTrailingSlash(saveFolder) + session.spaceName + session.subFolderName;
    if (Result<void> made = CreateFolderPath(plan.downloadFolder); !made) {
        controller_.ShowMessage(made.failure().subject);  // the folder that could not be made
        controller_.ShowMessage(u"请检测设置的保存路径是否有误（" + FailureText(made.failure()) + u"）");
        session.downloadState = DOWN_IDLE;
        report.rejectedSavePath = true;
        return report;
    }
    controller_.BeginDownload();
    job_.albumFolder = plan.downloadFolder;
    const DownloadParams& params = order.params;
    SetTransfer(plan, params.threadCount, params.timeoutSeconds, {params.minKB, params.maxKB}, order.app.retries);
    OpenArchive(order.app);
    skipDeleted_ = order.skipDeleted;
    plan.readPagesAhead = order.readPagesAhead;
    plan.keepAlbumFolders = order.keepAlbumFolders;
    keepAlbumFolders_ = order.keepAlbumFolders;
    verifySaved_ = order.verifySaved;
    if (archive_) {
        archive_->BeginRun({params.threadCount, params.timeoutSeconds, params.minKB, params.maxKB,
                            controller_.CurrentNameRules().optionFlags});
    }
    for (const ST_PERLISTRECORD& album : order.albums) plan.albums.push_back({album.title, album.address, album, {}});
    session.albums.setPickedCount(static_cast<std::int32_t>(plan.albums.size()));
    if (plan.albums.empty()) {
        controller_.ShowMessage(u"请先在相册列表中选择要下载的相册");
        report.nothingPicked = true;
    }
    Execute(plan, report);
    if (report.totalListed > 0 && (controller_.CurrentNameRules().optionFlags & kOptOpenFolderWhenDone)) {
        controller_.view().OpenFolder(job_.albumFolder);
    }
    return report;
}

DownloadReport DownloadRun::RetryFailures(const RetryOrder& order) {
    DownloadReport report;
    controller_.BeginDownload();
    OpenArchive(order.app);
    const std::vector<FailedPicture> failures = archive_ ? archive_->Failures() : std::vector<FailedPicture>();
    if (!archive_) {
        report.failuresUnread = true;
        controller_.ShowMessage(u"无法读取上次失败的图片：下载记录打不开");
    } else if (failures.empty()) {
        report.nothingPicked = true;
    }
    const LastRunParams params = archive_ ? archive_->LastParams() : LastRunParams();
    RunPlan plan;
    plan.retry = true;
    SetTransfer(plan, params.threadCount, params.timeoutSeconds, {params.minKB, params.maxKB}, order.app.retries);
    // Order stamps need the whole album, which a retry does not have.
    plan.options = params.optionFlags & ~kOptFixPictureOrder;
    AddRowAlbums(failures, plan);
    Execute(plan, report);
    return report;
}

DownloadReport DownloadRun::RepairPictures(const RepairOrder& order) {
    DownloadReport report;
    controller_.BeginDownload();
    AppSettings app = order.app;
    app.skipSaved = false;  // the file there is the one to replace
    OpenArchive(app);
    RunPlan plan;
    plan.retry = true;
    // The pictures passed the size window once; their files keep their names and times.
    SetTransfer(plan, order.params.threadCount, order.params.timeoutSeconds, {}, order.app.retries);
    plan.options = 0;
    AddRowAlbums(order.pictures, plan);
    report.nothingPicked = plan.albums.empty();
    Execute(plan, report);
    return report;
}

void DownloadRun::Execute(const RunPlan& plan, DownloadReport& report) {
    SiteSession& session = controller_.session();
    retryRun_ = plan.retry;
    state_.threadCount = plan.threadCount;
    state_.transfer = plan.transfer;
    state_.transfer.stop = session.downloadStop;
    state_.transfer.diskGuard = std::make_shared<DiskGuard>();
    // Nothing to retry is no run to tell of.
    RunListeners none;
    RunListener& events = plan.retry && plan.albums.empty() ? none : controller_.runListeners();
    const std::size_t count = plan.albums.size();
    events.RunStarted(plan.retry, count);
    // What the hosts ask of the whole process is this run's news while it lasts.
    const std::shared_ptr<void> hostWatch =
        HostGate::Shared().Watch([&events](const HostChange& change) { events.HostChanged(change); });
    PicturePageAhead ahead;
    for (std::size_t i = 0; i < count && session.downloadState != DOWN_STOP; ++i) {
        const PlannedAlbum& album = plan.albums[i];
        // The previous album's collection ended early; a stop pressed meanwhile stays.
        std::uint8_t albumDone = DOWN_ALBUM_DONE;
        session.downloadState.compare_exchange_strong(albumDone, DOWN_RUNNING);
        job_.Clear();
        jobSize_ = 0;
        ShowAlbumStatus(i + 1, count);
        albumNumber_ = i + 1;
        events.AlbumStarted(i + 1, count, album.title, album.address);
        AlbumOutcome outcome;
        outcome.title = album.title;
        outcome.address = album.address;
        SchedulerCallbacks callbacks = MakeCallbacks();
        AlbumMarker marker;
        bool due = true;
        if (album.record && plan.readPagesAhead) StartPagesAhead(plan, i, ahead);
        if (album.record) {
            const ST_PERLISTRECORD* next = nullptr;
            if (i + 1 < count && plan.albums[i + 1].record) next = &*plan.albums[i + 1].record;
            due = CollectAlbum(plan, *album.record, outcome, next, ahead, callbacks);
            if (due) marker = {job_.addresses.front(), true};
        } else {
            LoadFailures(album.failures, outcome);
            marker = {album.failures.front().albumFirstAddress, album.failures.front().markerDue};
        }
        report.totalListed += outcome.listed;
        if (due) {
            const std::uint16_t options = plan.options ? *plan.options : controller_.CurrentNameRules().optionFlags;
            const std::vector<std::size_t> done = DownloadJobItems(outcome, options, callbacks, marker);
            if (!album.record && outcome.stopped) KeepUnstarted(outcome, album.failures, done);
        }
        if (outcome.listed > 0 || !outcome.title.empty()) {
            events.AlbumEnded(i + 1, outcome);
            report.albums.push_back(std::move(outcome));
        }
    }
    report.stopped = session.downloadState == DOWN_STOP;
    FlushRecords(report);
    events.RunEnded(report);
    controller_.EndDownload();
}

void DownloadRun::PlaceAlbumFolder(const RunPlan& plan, const std::u16string& albumAddress, std::u16string& folder) {
    const std::u16string under = WithTrailingSlash(plan.downloadFolder);
    // Albums that share the download folder itself have no folder of their own to keep.
    if (!archive_ || folder.size() <= under.size() || !folder.starts_with(under)) return;
    if (std::u16string kept = archive_->AlbumFolderUnder(albumAddress, under); !kept.empty()) {
        folder = std::move(kept);
        return;
    }
    // A new album: the next number that no other album's pictures are in.
    const std::u16string base = folder.substr(0, folder.size() - 1);
    for (int n = 1; archive_->FolderHoldsOtherAlbum(folder, albumAddress) && n < 10000; ++n) {
        folder = base + FormatText(u" (%d)/", {std::int64_t{n}});
    }
}

void DownloadRun::StartPagesAhead(const RunPlan& plan, std::size_t from, PicturePageAhead& ahead) {
    const SiteSession& session = controller_.session();
    const SiteAdapter* adapter = FindSiteAdapter(session.siteIndex);
    if (!adapter) return;
    // This album's page and the next ones, as many at once as the run has threads.
    for (std::size_t i = from; i < plan.albums.size() && ahead.pending() < plan.threadCount; ++i) {
        if (const std::optional<ST_PERLISTRECORD>& record = plan.albums[i].record) {
            ahead.Start(adapter->PicturePageAddress(*record), session.retries, session.downloadStop);
        }
    }
}

bool DownloadRun::CollectAlbum(const RunPlan& plan, const ST_PERLISTRECORD& album, AlbumOutcome& outcome,
                               const ST_PERLISTRECORD* nextAlbum, PicturePageAhead& ahead,
                               SchedulerCallbacks& callbacks) {
    SiteSession& session = controller_.session();
    job_.albumFolder = plan.downloadFolder;
    if (session.siteIndex > 16) {
        controller_.ShowMessage(u"Error ListType Code.");
        return false;
    }
    const SiteAdapter* adapter = FindSiteAdapter(session.siteIndex);
    if (!adapter) return false;

    NameRules rules = controller_.CurrentNameRules();
    NamingContext naming;
    naming.rules = &rules;
    naming.albumName = album.title;
    naming.albumPosition = album.position;
    naming.extraNumber1 = album.extraNumber1;
    naming.extraNumber2 = album.extraNumber2;
    naming.pickedCount = session.albums.pickedCount();
    naming.albumCount = static_cast<std::int32_t>(session.albums.size());
    naming.spaceName = session.spaceName;
    PictureNameFile nameFile;
    nameFile.Start(job_, album.title);
    AlbumCollector collector(
        job_, naming, [this](const std::u16string& text) { controller_.SetProgressStatus(text); }, nameFile.Appender());
    if (plan.keepAlbumFolders) {
        collector.PlaceFolderWith(
            [this, &plan, &album](std::u16string& folder) { PlaceAlbumFolder(plan, album.address, folder); });
    }
    outcome.page = ReadPictureList(
        controller_, *adapter, album,
        [&](const std::u16string& address, const std::u16string& description) {
            rules = controller_.CurrentNameRules();  // the dialog may change them during a run
            if (!collector.Add(address, description, u"")) session.downloadState = DOWN_ALBUM_DONE;
        },
        &ahead);
    outcome.folder = job_.albumFolder;
    outcome.listed = job_.size();
    jobSize_ = job_.size();
    if (job_.empty() || session.downloadState == DOWN_STOP) return false;
    controller_.runListeners().AlbumListed(albumNumber_, job_.size(), job_.albumFolder);

    if (controller_.CurrentNameRules().optionFlags & kOptListFileOnly) {
        outcome.listFileOnly = true;
        // The title is cut so that the name with ".lst" stays within a path component.
        const std::u16string listName = CutToUtf8Bytes(album.title, kMaxComponentBytes - 4) + u".lst";
        outcome.listFileWritten = WriteListFile(job_, std::filesystem::path(WideToUtf8(job_.albumFolder + listName)));
        return false;
    }
    // Albums go one after another: the next album's page is read while this
    // album's last pictures still arrive, not after the pool has drained.
    callbacks.lastItemStarted = [this, &session, &ahead, adapter, nextAlbum] {
        if (nextAlbum && session.downloadState != DOWN_STOP) {
            ahead.Start(adapter->PicturePageAddress(*nextAlbum), session.retries, session.downloadStop);
        }
    };
    return true;
}

void DownloadRun::LoadFailures(const std::vector<FailedPicture>& rows, AlbumOutcome& outcome) {
    job_.albumFolder = rows.front().albumFolder;
    for (const FailedPicture& row : rows) {
        job_.addresses.push_back(row.address);
        job_.fileNames.push_back(row.fileName);
        job_.headerTexts.push_back(row.headerText);
    }
    if (std::all_of(rows.begin(), rows.end(), [](const FailedPicture& row) { return row.headerText.empty(); })) {
        job_.headerTexts.clear();
    }
    jobSize_ = job_.size();
    outcome.page.fetched = true;  // a retry reads no album page
    outcome.folder = job_.albumFolder;
    outcome.listed = job_.size();
    if (Result<void> made = CreateFolderPath(job_.albumFolder); !made) {
        controller_.ShowMessage(made.failure().subject + u"（" + FailureText(made.failure()) + u"）");
    }
    // The rows are written anew: failed again, or left unstarted by a stop.
    if (archive_) {
        for (const FailedPicture& row : rows) archive_->ClearFailure(row.address, row.albumFolder, row.fileName);
    }
    controller_.runListeners().AlbumListed(albumNumber_, job_.size(), job_.albumFolder);
}

std::vector<KnownItem> DownloadRun::FindKnownItems() {
    std::vector<KnownItem> known;
    knownSaved_.clear();
    if (!archive_ || !appSettings_.skipSaved) return known;
    known.assign(job_.size(), KnownItem::Unknown);
    knownSaved_.assign(job_.size(), {});
    const SizeWindow window = state_.transfer.sizeWindow;
    // A kept album folder holds its pictures under the names of an earlier
    // title: a picture is found by its address there, each file taken once.
    std::set<std::u16string> taken;
    for (std::size_t i = 0; i < job_.size(); ++i) {
        const std::u16string target = job_.SavePath(i);
        if (archive_->WasFiltered(job_.addresses[i], target, window)) {
            known[i] = KnownItem::Filtered;
            continue;
        }
        std::u16string found;
        bool changed = false;  // a file is there, with other bytes
        const std::vector<SavedPicture> records = archive_->FindSaved(job_.addresses[i], target, keepAlbumFolders_);
        for (const SavedPicture& saved : records) {
            if (taken.contains(saved.path)) continue;
            if (verifySaved_ && !saved.sha256.empty()) {
                // Size and bytes: a file that changed is fetched again.
                const SavedFileCheck check =
                    CheckSavedFile({saved.path, saved.address, {}, {}, {}, saved.size, saved.sha256});
                if (check.problem == SavedProblem::None) found = saved.path;
                changed = changed || check.problem != SavedProblem::Missing;
            } else if (FileHasSize(saved.path, saved.size)) {
                found = saved.path;
            } else if (std::u16string renamed = FindRenamedPicture(saved.path, saved.size); !renamed.empty()) {
                // A format fix renamed it, and the process ended before its record followed.
                records_->Moved(job_.addresses[i], saved.path, renamed);
                found = std::move(renamed);
            }
            if (!found.empty()) {
                knownSaved_[i] = saved;
                break;
            }
        }
        if (found.empty()) {
            // Saved once and gone now: the user deleted it.
            if (skipDeleted_ && !records.empty() && !changed) known[i] = KnownItem::Deleted;
            continue;
        }
        known[i] = KnownItem::Saved;
        taken.insert(found);
        // A format fix may have renamed it: the item goes on under that name.
        if (found != target) {
            std::u16string& name = job_.fileNames[i];
            name = IsAbsoluteName(name) ? found : FolderOf(name) + NameOf(found);
        }
    }
    return known;
}

std::vector<std::size_t> DownloadRun::DownloadJobItems(AlbumOutcome& outcome, std::uint16_t options,
                                                       const SchedulerCallbacks& callbacks, const AlbumMarker& marker) {
    SiteSession& session = controller_.session();
    // Leftovers of a crashed earlier run; the files of a live one stay.
    RemoveStaleTempFiles(std::filesystem::path(WideToUtf8(job_.albumFolder)));
    const std::vector<KnownItem> known = FindKnownItems();
    controller_.SetProgressStatus(u"已开始下载图片");
    // A stop pressed while the page was read must not be forgotten here.
    state_.stopRequested = session.downloadState == DOWN_STOP;
    auto log = std::make_shared<ItemLog>(records_, outcome.address, state_.transfer.sizeWindow, MakeItemEvents());
    DownPicFunc(job_, state_, workers_, callbacks, log, known);

    outcome.stopped = session.downloadState == DOWN_STOP;
    // The transfers still running end or are abandoned shortly after a
    // stop; waiting for them lets the report count what they saved.
    if (outcome.stopped) workers_.WaitForAll();
    const std::vector<std::size_t> done = log->DoneIndexes();
    outcome.filtered = log->FilteredCount();
    // An album with failures gets no marker: skipping what was downloaded
    // before must not make those failures permanent. Pictures the size
    // window refused are the user's choice and do not hold it back.
    if (!outcome.stopped && done.size() + outcome.filtered == job_.size() && marker.due) {
        SaveLastFirstAddress(marker.firstAddress, job_.albumFolder);
    }
    if (options & kOptFixPictureFormat) {
        // The archive follows each file to its new name at once, so a kill
        // during the renames leaves at most one record behind its file.
        FixPictureFormats(job_, [&](std::size_t index, const std::u16string& from, const std::u16string& to) {
            log->Moved(job_.addresses[index], from, to);
        });
    }
    if (options & kOptFixPictureOrder) FixPictureOrder(job_);
    outcome.failures = log->Failures();
    outcome.skipped = log->SkippedCount();
    outcome.deleted = log->DeletedCount();
    outcome.saved = done.size() - outcome.skipped;
    // The album's own record does not depend on the archive.
    WriteAlbumManifest(outcome, *log);

    if (!archive_) return done;
    // Once these are saved the album is whole, unless a stop left items unstarted.
    const bool markerDue =
        marker.due && !outcome.stopped && done.size() + outcome.filtered + outcome.failures.size() == job_.size();
    std::vector<FailedPicture> rows;
    for (const FailedItem& failure : outcome.failures) {
        rows.push_back(FailureRow(outcome, {marker.firstAddress, markerDue}, failure.index, FailureMessage(failure)));
    }
    records_->Failures(rows);
    // What waited for a busy archive gets its next chance now.
    records_->Flush();
    return done;
}

void DownloadRun::WriteAlbumManifest(const AlbumOutcome& outcome, const ItemLog& log) {
    if (!appSettings_.writeManifest) return;
    const std::optional<AlbumManifest> earlier = ReadManifest(job_.albumFolder);
    // A retry mends an album's manifest; it does not begin one that holds a few of its pictures.
    if (retryRun_ && !earlier) return;
    // Albums that share a folder (no folder of their own): the first keeps its manifest.
    if (earlier && !earlier->address.empty() && !outcome.address.empty() && earlier->address != outcome.address) {
        return;
    }
    AlbumManifest album;
    album.title = outcome.title;
    album.address = outcome.address;
    if (!retryRun_) {
        const SiteSession& session = controller_.session();
        album.spaceName = session.spaceName;
        if (!album.spaceName.empty() && album.spaceName.back() == u'/') album.spaceName.pop_back();
        album.memberAddress = session.memberAddress;
    }
    const AlbumManifest update = JobManifest(album, job_, log.Ends(), knownSaved_, !retryRun_);
    const AlbumManifest manifest = earlier ? MergeManifest(*earlier, update) : update;
    if (Result<void> written = WriteManifest(job_.albumFolder, manifest); !written) {
        controller_.ShowMessage(u"相册清单未能写入：" + written.failure().subject + u"（" +
                                FailureText(written.failure()) + u"）");
    }
}

FailedPicture DownloadRun::FailureRow(const AlbumOutcome& outcome, const AlbumMarker& marker, std::size_t index,
                                      const std::u16string& reason) const {
    return {outcome.title,
            outcome.address,
            marker.firstAddress,
            marker.due,
            job_.albumFolder,
            job_.fileNames[index],
            job_.addresses[index],
            job_.headerTexts.empty() ? std::u16string() : job_.headerTexts[index],
            reason};
}

void DownloadRun::KeepUnstarted(const AlbumOutcome& outcome, const std::vector<FailedPicture>& rows,
                                const std::vector<std::size_t>& done) {
    std::vector<bool> ended(rows.size(), false);
    for (const FailedItem& failure : outcome.failures) ended[failure.index] = true;
    for (std::size_t index : done) ended[index] = true;
    std::vector<FailedPicture> unstarted;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (!ended[k]) unstarted.push_back(rows[k]);
    }
    records_->Failures(unstarted);
}

}  // namespace lumora
