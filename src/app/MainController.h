// What both front ends drive: the runs with their state bytes and workers,
// the settings of the program folder and the album list. It shows what
// happens only through a RunView, so the desktop window, the command line
// and the tests each plug in their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/DownloadReport.h"
#include "app/Orders.h"
#include "app/PicturePageReader.h"
#include "app/RunEvents.h"
#include "app/RunView.h"
#include "app/SiteHost.h"
#include "download/DownloadArchive.h"
#include "download/DownloadJob.h"
#include "download/Scheduler.h"
#include "settings/AppSettings.h"
#include "settings/ExtensionSettings.h"
#include "settings/SettingsBlock.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

namespace lumora {

class MainController : public SiteHost {
public:
    // Loads "soft.dat" from `programFolder` (repairing and saving it).
    MainController(RunView& view, std::filesystem::path programFolder);
    ~MainController() override;  // asks running workers to stop and waits for them
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    // Start-up has finished: commands work from now on.
    void SetReady();

    // Starts a get-albums run, unless one runs, start-up has not finished or
    // the query's service has no site adapter (said in a message). True when
    // the run started: its RunFinished will follow.
    bool GetAlbums(AlbumQuery query);
    // Asks the running get-albums run to stop, as a second click on "获取相册" does.
    void StopGetAlbums();
    // Blocks until no get-albums worker runs (for the command line and tests).
    void WaitForGetAlbums();
    // Takes the album list another controller's get-albums run read, as if
    // this one had read it (while no run of this one goes).
    void TakeAlbumList(const SiteSession& from);

    // Starts a download run, unless one runs.
    void Download(DownloadOrder order);
    // The order for the albums at `positions` of the album list (in that
    // order; a position the list does not hold is left out) and a save
    // folder, with the download parameters and "lumora.ini" as they are now.
    DownloadOrder OrderFor(const std::vector<std::size_t>& positions, std::u16string saveFolder);
    // Raises the stop of the running download and its transfers, as a second
    // click on "下载" does.
    void StopDownload();
    // Stops whatever runs, as their buttons do; starts nothing. Safe to call
    // from any thread, any number of times.
    void StopRuns();
    // "重试失败的图片": downloads the last run's failures again, unless a run is going.
    void RetryFailures(RetryOrder order);
    // The order for it, with "lumora.ini" as it is now.
    RetryOrder OrderForRetry();
    // Fetches the order's pictures again, unless a run is going.
    void RepairPictures(RepairOrder order);
    // The order for `pictures`, with the download parameters and "lumora.ini" as they are now.
    RepairOrder OrderForRepair(std::vector<FailedPicture> pictures);
    // The last run's failures, as the archive keeps them (empty when it cannot be read).
    std::vector<FailedPicture> LastFailures();
    void WaitForDownload();
    // The outcome of the last finished download run.
    DownloadReport lastReport();
    // Listeners of every download and retry run; add them before the first.
    RunListeners& runListeners() { return runListeners_; }
    // The naming record and option flags of the current site, as a copy.
    NameRules CurrentNameRules();
    // Changes the current site's naming record (option commands, dialogs)
    // and saves. Only the fields (and option bits) that differ from the
    // record as this process last saw it are written, onto the file as it is
    // now, so a change another process made meanwhile stays. A failed save
    // is shown as "设置保存失败：<path>（<reason>）" and returns false.
    bool UpdateNameRules(const NameRules& rules);
    DownloadParams CurrentDownloadParams();
    bool UpdateDownloadParams(const DownloadParams& params);
    // "lumora.ini": read afresh, so another process's change is seen; an
    // update writes the fields that differ from the last read, as above.
    AppSettings CurrentAppSettings();
    bool UpdateAppSettings(const AppSettings& settings);
    // Its problem() tells why "soft.dat" could not be read at start: then
    // the defaults are used and the file is never written.
    const SettingsStore& settingsStore() const { return settings_; }
    // Item count of the running album and how many are done, for progress bars.
    std::size_t jobSize() const { return jobSize_; }
    int completedCount() const { return runState_.completedCount; }
    bool downloadBusy() const { return runState_.downloadBusy; }

    const std::filesystem::path& programFolder() const { return programFolder_; }
    RunView& view() { return view_; }
    const SettingsBlock& settings() const { return settings_.block(); }
    const ExtensionSettings& extensionSettings() const { return extension_; }

    // SiteHost
    SiteSession& session() override { return session_; }
    void LoadExtensionSettings() override;
    void ShowMessage(const std::u16string& text) override;
    void SetMainStatus(const std::u16string& text) override;
    void SetProgressStatus(const std::u16string& text) override;
    void SetAlbumGroupCaption(const std::u16string& text) override;
    void BeginDownload();
    void EndDownload();
    void BeginGetAlbums() override;
    void EndGetAlbums() override;
    void ShowAlbum(std::size_t position) override;
    void RefreshGrid() override;
    void OfferAddressToHistory(const std::u16string& address) override;
    // The save folder box's history: a folder picked or used goes first.
    void OfferSaveFolderToHistory(const std::u16string& folder);

private:
    // Runs `body` on a new worker with `running` set until it ends; when no
    // thread can be made, shows the thread message and sets `state` back to 0.
    bool StartWorker(std::thread& slot, bool& running, std::atomic<std::uint8_t>& state, void (*body)(MainController&));
    void WaitForWorker(const bool& running);
    void OfferToHistory(HistoryKind kind, const std::u16string& text);
    static void GetListFunc(MainController& self);
    static void DownListFunc(MainController& self);
    static void RetryFunc(MainController& self);
    static void RepairFunc(MainController& self);
    void StartDownloadRun(void (*body)(MainController&), const AppSettings& app);

    RunView& view_;
    std::filesystem::path programFolder_;
    SettingsStore settings_;  // a failed save is shown as a message box
    ExtensionSettings extension_;
    SiteSession session_;

    std::mutex workerMutex_;
    std::condition_variable workerEnded_;
    bool getListRunning_ = false;
    std::thread getListThread_;
    bool downListRunning_ = false;
    std::thread downListThread_;

    // A fresh stop for the next run, whose page fetches retry `retries` times.
    // The retries, the stop and the process's transfer limits of a run.
    void PrepareFetchPolicy(std::shared_ptr<StopToken>& stop, const AppSettings& app);
    void RaiseStop(const std::shared_ptr<StopToken>& stop);
    std::mutex stopMutex_;  // guards the session's stop tokens while they are replaced

    AlbumQuery query_;     // of the get-albums run, set before its worker starts
    DownloadOrder order_;  // of the download run, likewise
    RetryOrder retryOrder_;
    RepairOrder repairOrder_;
    DownloadJob job_;
    std::atomic<std::size_t> jobSize_{0};
    DownloadRunState runState_;
    WorkerTracker workers_;
    DownloadReport lastReport_;
    RunListeners runListeners_;
};

}  // namespace lumora
