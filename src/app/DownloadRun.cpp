#include "app/DownloadRun.h"

#include <algorithm>
#include <map>

#include "app/MainController.h"
#include "base/PathText.h"
#include "base/SystemError.h"
#include "base/Trim.h"
#include "base/Utf16.h"
#include "download/AlbumCollector.h"
#include "download/FolderPath.h"
#include "download/PictureNaming.h"
#include "download/PostProcessing.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"

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

}  // namespace

DownloadRun::DownloadRun(MainController& controller, DownloadJob& job, DownloadRunState& state, WorkerTracker& workers,
                         std::atomic<std::size_t>& jobSize)
    : controller_(controller), job_(job), state_(state), workers_(workers), jobSize_(jobSize) {}

void DownloadRun::OpenArchive(const AppSettings& app) {
    appSettings_ = app;
    state_.retries = static_cast<std::uint8_t>(appSettings_.retries);
    std::string error;
    const std::filesystem::path file = controller_.programFolder() / kArchiveFileName;
    archive_ = DownloadArchive::Open(file, error);
    if (!archive_) {
        // The run goes on; it just cannot skip or keep its failures.
        controller_.ShowMessage(u"无法打开下载记录：" + Utf8ToWide(file.string()) + u"（" + Utf8ToWide(error) + u"）");
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
    const std::u16string downloadFolder = WithTrailingSlash(saveFolder) + session.spaceName + session.subFolderName;
    if (std::optional<FolderFailure> failed = CreateFolderPath(downloadFolder)) {
        controller_.ShowMessage(failed->path);  // the folder that could not be made
        controller_.ShowMessage(u"请检测设置的保存路径是否有误（" + SystemErrorText(failed->error) + u"）");
        session.downloadState = DOWN_IDLE;
        report.rejectedSavePath = true;
        return report;
    }
    controller_.BeginDownload();
    job_.albumFolder = downloadFolder;
    const DownloadParams& params = order.params;
    state_.minKB = params.minKB;
    state_.maxKB = params.maxKB;
    state_.threadCount = params.threadCount;
    state_.timeoutSeconds = params.timeoutSeconds;
    OpenArchive(order.app);
    if (archive_) {
        archive_->BeginRun({params.threadCount, params.timeoutSeconds, params.minKB, params.maxKB,
                            controller_.CurrentNameRules().optionFlags});
    }

    const std::vector<ST_PERLISTRECORD>& picked = order.albums;
    session.albums.setPickedCount(static_cast<std::int32_t>(picked.size()));
    if (picked.empty()) {
        controller_.ShowMessage(u"请先在相册列表中选择要下载的相册");
        report.nothingPicked = true;
    }
    RunListener& events = controller_.runListeners();
    events.RunStarted(false, picked.size());
    PicturePageAhead ahead;
    for (std::size_t i = 0; i < picked.size(); ++i) {
        if (session.downloadState == DOWN_STOP) break;
        job_.Clear();
        jobSize_ = 0;
        job_.albumFolder = downloadFolder;
        session.downloadState = DOWN_RUNNING;
        ShowAlbumStatus(i + 1, picked.size());
        albumNumber_ = i + 1;
        events.AlbumStarted(i + 1, picked.size(), picked[i].title, picked[i].address);
        AlbumOutcome outcome;
        DownloadAlbum(picked[i], outcome, i + 1 < picked.size() ? &picked[i + 1] : nullptr, ahead);
        report.totalListed += outcome.listed;
        if (outcome.listed > 0 || !outcome.title.empty()) {
            events.AlbumEnded(i + 1, outcome);
            report.albums.push_back(std::move(outcome));
        }
    }
    report.stopped = session.downloadState == DOWN_STOP;
    FlushRecords(report);
    events.RunEnded(report);
    controller_.EndDownload();
    if (report.totalListed > 0 && (controller_.CurrentNameRules().optionFlags & kOptOpenFolderWhenDone)) {
        controller_.view().OpenFolder(job_.albumFolder);
    }
    return report;
}

void DownloadRun::DownloadAlbum(const ST_PERLISTRECORD& picked, AlbumOutcome& outcome,
                                const ST_PERLISTRECORD* nextAlbum, PicturePageAhead& ahead) {
    SiteSession& session = controller_.session();
    const ST_PERLISTRECORD* album = &picked;
    outcome.title = album->title;
    outcome.address = album->address;
    if (session.siteIndex > 16) {
        controller_.ShowMessage(u"Error ListType Code.");
        return;
    }
    const SiteAdapter* adapter = FindSiteAdapter(session.siteIndex);
    if (!adapter) return;

    NameRules rules = controller_.CurrentNameRules();
    NamingContext naming;
    naming.rules = &rules;
    naming.albumName = album->title;
    naming.albumPosition = album->position;
    naming.extraNumber1 = album->extraNumber1;
    naming.extraNumber2 = album->extraNumber2;
    naming.pickedCount = session.albums.pickedCount();
    naming.albumCount = static_cast<std::int32_t>(session.albums.size());
    naming.spaceName = session.spaceName;
    PictureNameFile nameFile;
    nameFile.Start(job_, album->title);
    AlbumCollector collector(
        job_, naming, [this](const std::u16string& text) { controller_.SetProgressStatus(text); }, nameFile.Appender());
    outcome.page = ReadPictureList(
        controller_, *adapter, *album,
        [&](const std::u16string& address, const std::u16string& description) {
            rules = controller_.CurrentNameRules();  // the dialog may change them during a run
            if (!collector.Add(address, description, u"")) session.downloadState = DOWN_ALBUM_DONE;
        },
        &ahead);
    outcome.folder = job_.albumFolder;
    outcome.listed = job_.size();
    jobSize_ = job_.size();
    if (job_.empty() || session.downloadState == DOWN_STOP) return;
    controller_.runListeners().AlbumListed(albumNumber_, job_.size(), job_.albumFolder);

    const std::uint16_t options = controller_.CurrentNameRules().optionFlags;
    if (options & kOptListFileOnly) {
        outcome.listFileOnly = true;
        // The title is cut so that the name with ".lst" stays within a path component.
        const std::u16string listName = CutToUtf8Bytes(album->title, kMaxComponentBytes - 4) + u".lst";
        outcome.listFileWritten = WriteListFile(job_, std::filesystem::path(WideToUtf8(job_.albumFolder + listName)));
        return;
    }
    SchedulerCallbacks callbacks = MakeCallbacks();
    // Albums go one after another: the next album's page is read while this
    // album's last pictures still arrive, not after the pool has drained.
    callbacks.lastItemStarted = [&] {
        if (nextAlbum && session.downloadState != DOWN_STOP) {
            ahead.Start(adapter->PicturePageAddress(*nextAlbum), session.retries, session.downloadStop);
        }
    };
    DownloadJobItems(outcome, options, callbacks, {job_.addresses.front(), true});
}

std::vector<KnownItem> DownloadRun::FindKnownItems() {
    std::vector<KnownItem> known;
    if (!archive_ || !appSettings_.skipSaved) return known;
    known.assign(job_.size(), KnownItem::Unknown);
    const SizeWindow window{state_.minKB, state_.maxKB};
    for (std::size_t i = 0; i < job_.size(); ++i) {
        const std::u16string target = job_.SavePath(i);
        if (archive_->WasFiltered(job_.addresses[i], target, window)) {
            known[i] = KnownItem::Filtered;
            continue;
        }
        std::u16string found;
        for (const SavedPicture& saved : archive_->FindSaved(job_.addresses[i], target)) {
            if (FileHasSize(saved.path, saved.size)) {
                found = saved.path;
            } else if (std::u16string renamed = FindRenamedPicture(saved.path, saved.size); !renamed.empty()) {
                // A format fix renamed it, and the process ended before its record followed.
                records_->Moved(job_.addresses[i], saved.path, renamed);
                found = std::move(renamed);
            }
            if (!found.empty()) break;
        }
        if (found.empty()) continue;
        known[i] = KnownItem::Saved;
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
    auto log =
        std::make_shared<ItemLog>(records_, outcome.address, SizeWindow{state_.minKB, state_.maxKB}, MakeItemEvents());
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
    outcome.saved = done.size() - outcome.skipped;

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

DownloadReport DownloadRun::RetryFailures() {
    DownloadReport report;
    SiteSession& session = controller_.session();
    controller_.BeginDownload();
    OpenArchive(LoadAppSettings(controller_.programFolder()));
    const std::vector<FailedPicture> failures = archive_ ? archive_->Failures() : std::vector<FailedPicture>();
    if (!archive_) {
        report.failuresUnread = true;
        controller_.ShowMessage(u"无法读取上次失败的图片：下载记录打不开");
    } else if (failures.empty()) {
        report.nothingPicked = true;
    }
    const LastRunParams params = archive_ ? archive_->LastParams() : LastRunParams();
    state_.minKB = params.minKB;
    state_.maxKB = params.maxKB;
    state_.threadCount = params.threadCount;
    state_.timeoutSeconds = params.timeoutSeconds;

    // One job per album folder, in the order the failures were met.
    std::vector<std::vector<FailedPicture>> albums;
    std::map<std::u16string, std::size_t> albumIndex;
    for (const FailedPicture& failure : failures) {
        auto [found, added] = albumIndex.emplace(failure.albumFolder + u'\n' + failure.albumAddress, albums.size());
        if (added) albums.emplace_back();
        albums[found->second].push_back(failure);
    }
    // Nothing to retry is no run to tell of.
    RunListeners none;
    RunListener& events = failures.empty() ? none : controller_.runListeners();
    events.RunStarted(true, albums.size());
    for (std::size_t i = 0; i < albums.size() && session.downloadState != DOWN_STOP; ++i) {
        const std::vector<FailedPicture>& rows = albums[i];
        ShowAlbumStatus(i + 1, albums.size());
        albumNumber_ = i + 1;
        events.AlbumStarted(i + 1, albums.size(), rows.front().albumTitle, rows.front().albumAddress);
        job_.Clear();
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
        AlbumOutcome outcome;
        outcome.title = rows.front().albumTitle;
        outcome.page.fetched = true;  // a retry reads no album page
        outcome.address = rows.front().albumAddress;
        outcome.folder = job_.albumFolder;
        outcome.listed = job_.size();
        report.totalListed += job_.size();
        if (std::optional<FolderFailure> failed = CreateFolderPath(job_.albumFolder)) {
            controller_.ShowMessage(failed->path + u"（" + SystemErrorText(failed->error) + u"）");
        }
        // The rows are written anew: failed again, or left unstarted by a stop.
        for (const FailedPicture& row : rows) archive_->ClearFailure(row.address, row.albumFolder, row.fileName);
        events.AlbumListed(i + 1, job_.size(), job_.albumFolder);
        // Order stamps need the whole album, which a retry does not have.
        const std::uint16_t options = params.optionFlags & ~kOptFixPictureOrder;
        const std::vector<std::size_t> done = DownloadJobItems(
            outcome, options, MakeCallbacks(), {rows.front().albumFirstAddress, rows.front().markerDue});
        if (outcome.stopped) KeepUnstarted(outcome, rows, done);
        events.AlbumEnded(i + 1, outcome);
        report.albums.push_back(std::move(outcome));
    }
    report.stopped = session.downloadState == DOWN_STOP;
    FlushRecords(report);
    events.RunEnded(report);
    controller_.EndDownload();
    return report;
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
