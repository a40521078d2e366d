#include "app/MainController.h"

#include <system_error>

#include "app/AlbumListRun.h"
#include "app/DownloadRun.h"
#include "app/SiteRulesFiles.h"
#include "app/SiteTable.h"
#include "text/StringCtrl.h"
#include "web/Address.h"
#include "web/BandwidthLimit.h"
#include "web/CookieStore.h"
#include "web/HostGate.h"
#include "web/Retry.h"

namespace lumora {

namespace {

// Persistent cookies of the fetcher and the login browser.
constexpr char kCookieFileName[] = "cookies.txt";

}  // namespace

MainController::MainController(RunView& view, std::filesystem::path programFolder)
    : view_(view),
      programFolder_(std::move(programFolder)),
      settings_(programFolder_, [this](const std::u16string& text) { view_.Message(text); }) {
    CookieStore::Instance().BindFile(programFolder_ / kCookieFileName);
    // A user's rules that fail their fixtures are told, and the last good ones stay.
    if (const RulesSource rules = LoadRulesInForce(programFolder_); !rules.refused.empty())
        view_.Message(rules.refused);
}

MainController::~MainController() {
    if (session_.getAlbumsState != GET_IDLE) {
        session_.getAlbumsState = GET_STOP;
        RaiseStop(session_.getAlbumsStop);
    }
    if (session_.downloadState != DOWN_IDLE) StopDownload();
    if (getListThread_.joinable()) getListThread_.join();
    if (downListThread_.joinable()) downListThread_.join();
    // Workers left running by a stop still use the run state.
    workers_.WaitForAll();
    CookieStore::Instance().Save();
}

void MainController::SetReady() { session_.ready = 1; }

NameRules MainController::CurrentNameRules() { return settings_.CurrentNameRules(); }

bool MainController::UpdateNameRules(const NameRules& rules) { return settings_.UpdateNameRules(rules); }

DownloadParams MainController::CurrentDownloadParams() { return settings_.CurrentDownloadParams(); }

bool MainController::UpdateDownloadParams(const DownloadParams& params) {
    return settings_.UpdateDownloadParams(params);
}

AppSettings MainController::CurrentAppSettings() { return settings_.CurrentAppSettings(); }

bool MainController::UpdateAppSettings(const AppSettings& settings) { return settings_.UpdateAppSettings(settings); }

void MainController::PrepareFetchPolicy(std::shared_ptr<StopToken>& stop, const AppSettings& app) {
    session_.retries = static_cast<std::uint8_t>(app.retries);
    // Process-wide: the limit binds every transfer of the process together.
    BandwidthLimit::Shared().SetRate(static_cast<std::uint64_t>(app.limitRateKB) * 1024);
    HostGate::Shared().SetDelay(std::chrono::milliseconds(app.requestDelayMs));
    auto fresh = std::make_shared<StopToken>();
    std::lock_guard lock(stopMutex_);
    stop = std::move(fresh);
}

void MainController::RaiseStop(const std::shared_ptr<StopToken>& stop) {
    // A stop may come from another thread (a signal) while a run is set up.
    std::lock_guard lock(stopMutex_);
    if (stop) stop->Raise();
}

bool MainController::StartWorker(std::thread& slot, bool& running, std::atomic<std::uint8_t>& state,
                                 void (*body)(MainController&)) {
    // The previous worker of this kind has ended (its state byte was idle).
    if (slot.joinable()) slot.join();
    {
        std::lock_guard lock(workerMutex_);
        running = true;
    }
    try {
        slot = std::thread([this, body, &running] {
            body(*this);
            {
                std::lock_guard lock(workerMutex_);
                running = false;
                workerEnded_.notify_all();
            }
            view_.RunFinished(&running == &downListRunning_);
        });
        return true;
    } catch (const std::system_error&) {
        // The thread message names the album-list worker for both commands.
        ShowMessage(u"Create thread:GetListFunc failed.\n无法启动后台线程，请关闭其他程序后重试");
        state = 0;
        std::lock_guard lock(workerMutex_);
        running = false;
        return false;
    }
}

void MainController::WaitForWorker(const bool& running) {
    std::unique_lock lock(workerMutex_);
    workerEnded_.wait(lock, [&running] { return !running; });
}

bool MainController::GetAlbums(AlbumQuery query) {
    if (session_.ready != 1 || session_.getAlbumsState != GET_IDLE) return false;
    if (!FindSiteAdapter(query.site)) {
        // Said before anything is fetched: the community's pages would only answer "not found".
        view_.Message(UnsupportedSiteText(query.site));
        return false;
    }
    query_ = std::move(query);
    view_.AlbumsCleared();
    session_.albums.Clear();
    session_.getAlbumsState = GET_RUNNING;
    session_.siteIndex = kPhotoCommunitySite;
    PrepareFetchPolicy(session_.getAlbumsStop, LoadAppSettings(programFolder_));
    return StartWorker(getListThread_, getListRunning_, session_.getAlbumsState, &MainController::GetListFunc);
}

void MainController::GetListFunc(MainController& self) { GetAlbumList(self, self.query_); }

void MainController::WaitForGetAlbums() { WaitForWorker(getListRunning_); }

void MainController::TakeAlbumList(const SiteSession& from) {
    session_.albums.CopyFrom(from.albums);
    session_.spaceName = from.spaceName;
    session_.subFolderName = from.subFolderName;
    session_.memberAddress = from.memberAddress;
    session_.siteIndex = from.siteIndex;
    session_.firstListPage = from.firstListPage;
    session_.albumListCut = from.albumListCut;
}

void MainController::Download(DownloadOrder order) {
    if (session_.downloadState != DOWN_IDLE) return;
    const AppSettings app = order.app;
    order_ = std::move(order);
    StartDownloadRun(&MainController::DownListFunc, app);
}

void MainController::RetryFailures(RetryOrder order) {
    if (session_.downloadState != DOWN_IDLE || session_.getAlbumsState != GET_IDLE) return;
    const AppSettings app = order.app;
    retryOrder_ = std::move(order);
    StartDownloadRun(&MainController::RetryFunc, app);
}

RetryOrder MainController::OrderForRetry() { return {LoadAppSettings(programFolder_)}; }

void MainController::RepairPictures(RepairOrder order) {
    if (session_.downloadState != DOWN_IDLE || session_.getAlbumsState != GET_IDLE) return;
    const AppSettings app = order.app;
    repairOrder_ = std::move(order);
    StartDownloadRun(&MainController::RepairFunc, app);
}

RepairOrder MainController::OrderForRepair(std::vector<FailedPicture> pictures) {
    return {std::move(pictures), CurrentDownloadParams(), LoadAppSettings(programFolder_)};
}

void MainController::StopRuns() {
    if (session_.getAlbumsState == GET_RUNNING) StopGetAlbums();
    if (session_.downloadState != DOWN_IDLE) StopDownload();
}

void MainController::StopGetAlbums() {
    if (session_.getAlbumsState == GET_IDLE) return;
    session_.getAlbumsState = GET_STOP;
    RaiseStop(session_.getAlbumsStop);
}

void MainController::StopDownload() {
    if (session_.downloadState == DOWN_IDLE) return;
    session_.downloadState = DOWN_STOP;
    runState_.stopRequested = true;
    RaiseStop(session_.downloadStop);
}

DownloadOrder MainController::OrderFor(const std::vector<std::size_t>& positions, std::u16string saveFolder) {
    DownloadOrder order;
    for (std::size_t position : positions) {
        if (std::optional<ST_PERLISTRECORD> album = session_.albums.at(position))
            order.albums.push_back(std::move(*album));
    }
    order.saveFolder = std::move(saveFolder);
    order.params = CurrentDownloadParams();
    order.app = LoadAppSettings(programFolder_);
    return order;
}

void MainController::StartDownloadRun(void (*body)(MainController&), const AppSettings& app) {
    session_.downloadState = DOWN_RUNNING;
    PrepareFetchPolicy(session_.downloadStop, app);
    StartWorker(downListThread_, downListRunning_, session_.downloadState, body);
}

void MainController::DownListFunc(MainController& self) {
    DownloadRun run(self, self.job_, self.runState_, self.workers_, self.jobSize_);
    DownloadReport report = run.DownloadPickedAlbums(self.order_);
    std::lock_guard lock(self.workerMutex_);
    self.lastReport_ = std::move(report);
}

void MainController::RetryFunc(MainController& self) {
    DownloadRun run(self, self.job_, self.runState_, self.workers_, self.jobSize_);
    DownloadReport report = run.RetryFailures(self.retryOrder_);
    std::lock_guard lock(self.workerMutex_);
    self.lastReport_ = std::move(report);
}

void MainController::RepairFunc(MainController& self) {
    DownloadRun run(self, self.job_, self.runState_, self.workers_, self.jobSize_);
    DownloadReport report = run.RepairPictures(self.repairOrder_);
    std::lock_guard lock(self.workerMutex_);
    self.lastReport_ = std::move(report);
}

std::vector<FailedPicture> MainController::LastFailures() {
    auto archive = DownloadArchive::Open(programFolder_ / kArchiveFileName);
    return archive ? (*archive)->Failures() : std::vector<FailedPicture>();
}

void MainController::WaitForDownload() { WaitForWorker(downListRunning_); }

DownloadReport MainController::lastReport() {
    std::lock_guard lock(workerMutex_);
    return lastReport_;
}

void MainController::BeginDownload() {
    session_.downloadState = DOWN_RUNNING;
    view_.DownloadStarted();
}

void MainController::EndDownload() {
    session_.downloadState = DOWN_IDLE;
    view_.DownloadEnded();
    view_.MainStatus(u"下载完毕");
    view_.ProgressStatus(u"");
}

void MainController::LoadExtensionSettings() { extension_ = lumora::LoadExtensionSettings(programFolder_); }

void MainController::ShowMessage(const std::u16string& text) { view_.Message(text); }

void MainController::SetMainStatus(const std::u16string& text) { view_.MainStatus(text); }

void MainController::SetProgressStatus(const std::u16string& text) { view_.ProgressStatus(text); }

void MainController::SetAlbumGroupCaption(const std::u16string& text) { view_.AlbumCaption(text); }

void MainController::BeginGetAlbums() {
    session_.getAlbumsState = GET_RUNNING;
    view_.GetAlbumsStarted();
    view_.AlbumCaption(u"相册列表");
    view_.MainStatus(u"正在获取相册列表，请稍等...");
    view_.ProgressStatus(u"");
}

void MainController::EndGetAlbums() {
    session_.getAlbumsState = GET_IDLE;
    view_.GetAlbumsEnded(session_.albums.size() > 0);
}

void MainController::ShowAlbum(std::size_t position) { view_.AlbumShown(position); }

void MainController::RefreshGrid() { view_.AlbumsRefreshed(); }

void MainController::OfferToHistory(HistoryKind kind, const std::u16string& text) {
    if (!settings_.HistoryWouldTake(kind, text)) return;
    view_.HistoryAdded(kind, text);
    settings_.AddToHistory(kind, text);
}

void MainController::OfferAddressToHistory(const std::u16string& address) {
    // "soft.dat" is no place for a password; the run itself keeps using it.
    OfferToHistory(HistoryKind::Address, WithoutUserInfo(address));
}

void MainController::OfferSaveFolderToHistory(const std::u16string& folder) {
    OfferToHistory(HistoryKind::SaveFolder, folder);
}

}  // namespace lumora
