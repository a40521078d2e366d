// The download run: album after album, collect the pictures, then write the
// list file or download them, then post-process.
#include <sys/stat.h>

#include <optional>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "download/FolderPath.h"
#include "download/PictureNaming.h"
#include "download/PostProcessing.h"
#include "site/PictureListReader.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

std::u16string TrimBlanks(const std::u16string& text) {
    std::size_t begin = text.find_first_not_of(u" \t\r\n\u3000");
    if (begin == std::u16string::npos) return {};
    std::size_t end = text.find_last_not_of(u" \t\r\n\u3000");
    return text.substr(begin, end - begin + 1);
}

bool FileExists(const std::u16string& path) {
    struct stat info {};
    return stat(WideToUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

DownloadReport MainController::DownloadPickedAlbums() {
    DownloadReport report;
    LoadExtensionSettings();
    std::u16string saveFolder = TrimBlanks(SavePathText());
    if (saveFolder.empty()) {
        ShowMessage(u"请先设置保存路径");
        session_.downloadState = DOWN_IDLE;
        report.rejectedSavePath = true;
        return report;
    }
    const std::u16string downloadFolder = WithTrailingSlash(saveFolder) + session_.spaceName + session_.subFolderName;
    if (std::optional<std::u16string> failed = CreateFolderPath(downloadFolder)) {
        ShowMessage(*failed);  // the folder that could not be made
        ShowMessage(u"请检测设置的保存路径是否有误");
        session_.downloadState = DOWN_IDLE;
        report.rejectedSavePath = true;
        return report;
    }
    BeginDownload();
    job_.albumFolder = downloadFolder;
    const DownloadParams params = CurrentDownloadParams();
    runState_.minKB = params.minKB;
    runState_.maxKB = params.maxKB;
    runState_.threadCount = params.threadCount;
    runState_.timeoutSeconds = params.timeoutSeconds;

    const std::vector<std::size_t> picked = window_.PickedAlbumPositions();
    session_.albums.setPickedCount(static_cast<std::int32_t>(picked.size()));
    if (picked.empty()) {
        ShowMessage(u"请先在相册列表中选择要下载的相册");
        report.nothingPicked = true;
    }
    PicturePageAhead ahead;
    for (std::size_t i = 0; i < picked.size(); ++i) {
        if (session_.downloadState == DOWN_STOP) break;
        job_.Clear();
        jobSize_ = 0;
        job_.albumFolder = downloadFolder;
        session_.downloadState = DOWN_RUNNING;
        SetMainStatus(FormatText(u"正在下载第%d/%d个图集", {static_cast<std::int64_t>(i + 1),
                                                            static_cast<std::int64_t>(picked.size())}));
        SetProgressStatus(u"......");
        AlbumOutcome outcome;
        const std::optional<ST_PERLISTRECORD> next =
            i + 1 < picked.size() ? session_.albums.at(picked[i + 1]) : std::nullopt;
        DownloadAlbum(picked[i], outcome, next ? &*next : nullptr, ahead);
        report.totalListed += outcome.listed;
        if (outcome.listed > 0 || !outcome.title.empty()) report.albums.push_back(std::move(outcome));
    }
    report.stopped = session_.downloadState == DOWN_STOP;
    EndDownload();
    if (report.totalListed > 0 && (CurrentNameRules().optionFlags & kOptOpenFolderWhenDone)) {
        window_.OpenFolder(job_.albumFolder);
    }
    return report;
}

void MainController::DownloadAlbum(std::size_t position, AlbumOutcome& outcome, const ST_PERLISTRECORD* nextAlbum,
                                   PicturePageAhead& ahead) {
    std::optional<ST_PERLISTRECORD> album = session_.albums.at(position);
    if (!album) return;
    outcome.title = album->title;
    if (session_.siteIndex > 16) {
        ShowMessage(u"Error ListType Code.");
        return;
    }
    if (session_.siteIndex != kPhotoCommunitySite) return;

    NameRules rules = CurrentNameRules();
    NamingContext naming;
    naming.rules = &rules;
    naming.albumName = album->title;
    naming.albumPosition = album->position;
    naming.extraNumber1 = album->extraNumber1;
    naming.extraNumber2 = album->extraNumber2;
    naming.pickedCount = session_.albums.pickedCount();
    naming.albumCount = static_cast<std::int32_t>(session_.albums.size());
    naming.spaceName = session_.spaceName;
    naming.downloadState = &session_.downloadState;
    naming.showProgress = [this](const std::u16string& text) { SetProgressStatus(text); };
    PictureNameFile nameFile;
    nameFile.Start(job_, album->title);
    naming.appendPictureName = nameFile.Appender();
    ReadPictureList(*this, *album, [&](const std::u16string& address, const std::u16string& description) {
        rules = CurrentNameRules();  // the dialog may change them during a run
        AddPictureToJob(job_, naming, address, description, u"");
    }, &ahead);
    outcome.folder = job_.albumFolder;
    outcome.listed = job_.size();
    jobSize_ = job_.size();
    if (job_.empty() || session_.downloadState == DOWN_STOP) return;

    const std::uint16_t options = CurrentNameRules().optionFlags;
    if (options & kOptListFileOnly) {
        outcome.listFileOnly = true;
        // The title is cut so that the name with ".lst" stays within 255 bytes.
        const std::u16string listName = CutToUtf8Bytes(album->title, 251) + u".lst";
        outcome.listFileWritten = WriteListFile(job_, std::filesystem::path(WideToUtf8(job_.albumFolder + listName)));
        return;
    }
    SetProgressStatus(u"已开始下载图片");
    // A stop pressed while the page was read must not be forgotten here.
    runState_.stopRequested = session_.downloadState == DOWN_STOP;
    auto failures = std::make_shared<std::vector<FailedItem>>();
    auto failuresMutex = std::make_shared<std::mutex>();
    SchedulerCallbacks callbacks;
    callbacks.showProgress = [this](const std::u16string& text) { SetProgressStatus(text); };
    callbacks.finished = [this](unsigned elapsed, unsigned total) { window_.DownloadFinished(elapsed, total); };
    // Albums go one after another: the next album's page is read while this
    // album's last pictures still arrive, not after the pool has drained.
    callbacks.lastItemStarted = [&] {
        if (nextAlbum && session_.downloadState != DOWN_STOP) ahead.Start(nextAlbum->address);
    };
    DownPicFunc(job_, runState_, workers_, callbacks, failures, failuresMutex);

    if (session_.downloadState != DOWN_STOP) SaveLastFirstAddress(job_.addresses.front(), job_.albumFolder);
    if (options & kOptFixPictureFormat) FixPictureFormats(job_);
    if (options & kOptFixPictureOrder) FixPictureOrder(job_);
    {
        std::lock_guard lock(*failuresMutex);
        outcome.failures = *failures;
    }
    for (std::size_t i = 0; i < job_.size(); ++i) outcome.saved += FileExists(job_.SavePath(i));
}

}  // namespace lumora
