// The main window: address and save-folder boxes, the two command buttons,
// the album grid and the menu. The controller does the work; this window
// shows its state. The controller's runs reach it through a WindowView on a
// CWindowBridge, which carries every call over to the GUI thread; all
// members here run on it.
//
// Controls carry object names "control<id>" with the ids of ControlIds.h.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "app/MainController.h"
#include "app/RunLog.h"
#include "app/RunProgress.h"
#include "app/SavedPictureCheck.h"
#include "app/WindowView.h"
#include "gui/CurrentAlbum.h"
#include "settings/WindowSettings.h"

class CComboBox2;
class CDesktop;
class CMyGridCtrl;
class CSplashScreenEx;
class CStatusLine;
class CDesktopNotice;
class CBackgroundRun;
class CDlgFollows;
class CDlgQueue;
class CLinkLabel;
class QDialog;
class QHBoxLayout;
class QTableWidget;
class CWindowBridge;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

class CLumoraDlg : public QMainWindow {
    Q_OBJECT

public:
    struct Options {
        std::filesystem::path programFolder;  // empty: lumora::ProgramFolder()
        bool splash = true;
        std::optional<QString> address;  // prefilled instead of the clipboard text
        CDesktop* desktop = nullptr;     // null: the real desktop
    };

    explicit CLumoraDlg(Options options);
    ~CLumoraDlg() override;

    // Shows the splash and starts the start-up worker; the window shows
    // itself when start-up has finished.
    void Start();
    bool ready() const { return ready_; }

    lumora::MainController& controller() { return *controller_; }
    // The log every download and retry run of this window appends to.
    const std::filesystem::path& runLogPath() const { return runLog_.file(); }
    CMyGridCtrl* grid() const { return grid_; }
    QWidget* control(int id) const;
    CComboBox2* addressBox() const { return address_; }
    CComboBox2* savePathBox() const { return savePath_; }
    QProgressBar* progressBar() const { return progress_; }
    CSplashScreenEx* splash() const;

    // 0 idle, 1 redisplay running, 2 stop requested.
    int redisplayState() const { return redisplayState_; }
    // A get-albums or download run of this window has not fully ended.
    bool busy() const { return getList_.busy || downList_.busy; }
    // Runs the event loop until start-up is done and no run or redisplay is
    // under way; false if that took longer than `timeoutMs`.
    bool WaitUntilIdle(int timeoutMs = 30000);

    // Commands, as the controls and the menu give them.
    void OnGetAlbums();
    void OnDownload();
    void OnPictureMode(bool checked);
    void OnMenuCommand(int id);
    // The failure list of the last run ("失败的图片"), from the status line.
    void ShowFailures();
    // Downloads the last run's failures again; the window follows it as a download.
    void RetryFailures();
    // Check marks and grey states of one drop-down, from the current flags.
    void UpdateMenuStates(QMenu* menu);
    void ChooseSaveFolder();
    // "打开": the save folder, or the album of the running download.
    void OpenSaveFolder();
    // "加入队列": the picked albums of the member listed last become an order.
    void AddPickedToQueue();
    // "关注此空间": the member in the address box, saved into the save folder.
    void FollowThisSpace();
    // "下载队列" and "关注的空间".
    void OpenQueue();
    void OpenFollows();
    CBackgroundRun& backgroundRun() { return *background_; }
    CDlgQueue* queueDialog() const { return queueDialog_; }
    CDlgFollows* followsDialog() const { return followsDialog_; }

    // A file or folder dropped on the window.
    void DropPath(const QString& path);
    // A web address dropped on the window or the address box: it replaces the box's text.
    void DropAddress(const QString& address);

signals:
    // Start-up, a run or a redisplay has ended: the window may be idle now.
    void stateChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drops on the address box's field.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CWindowBridge;

    // One kind of run (get albums, download) as the window follows it.
    struct RunWatch {
        bool busy = false;          // from the start until its RunFinished arrived
        bool clickPending = false;  // a start asked for while the last run was still ending
    };

    void BuildControls();
    void BuildMenu();
    void FillStartupTexts();
    void StartupDone();
    void SitesLoaded(const std::vector<QString>& names);
    void RecogniseAddress();
    void ApplySiteSelection();
    void OnFilter();
    void OpenLoginBrowser(int id);
    void RunDownloadSettings();
    void RunNameSettings();
    // Saves "lumora.ini"; says so when that failed.
    bool StoreAppSettings(const lumora::AppSettings& settings);

    void StartRedisplay();
    // Shows up to `limit` more albums; ends the redisplay when all are shown
    // or a stop was asked for.
    void RedisplayAlbums(std::size_t limit);
    void FinishRedisplay();

    // A run started by this window: followed until its RunFinished arrives.
    void Follow(RunWatch& run, bool download);
    void UpdateProgress();
    // Closing: stop the runs and let no worker wait for this thread any more.
    void BeginShutdown();
    // Waits until every run and the start-up worker have ended.
    void FinishShutdown();
    bool Idle() const;

    // What the bridge does on the GUI thread for the controller.
    void SetControlText(int controlId, const QString& text);
    void ShowMessage(const QString& text);
    // A new album list: the grid, its caption and "下载" start empty.
    void ResetAlbumGrid();
    // Opens a folder; says so when that cannot be done.
    void ShowFolder(const QString& folder);
    void RunFinished(bool download);
    // The second status line once a download has ended.
    void ShowDownloadOutcome();

    // A desktop notification at the end of a long run the user is not watching.
    void NoticeLongRunEnded();
    CDesktopNotice& Notice();
    void BuildQueueControls(QWidget* page, QHBoxLayout* addressRow, QHBoxLayout* folderRow, QHBoxLayout* toolRow);
    // The member a follow is for: the one listed last, or the one typed since.
    std::u16string SpaceAddress() const;
    void BackgroundRunEnded(bool sync, const QString& summary);
    // Shows a list window; one just `made` gets its kept place, and keeps it when it closes.
    void ShowListWindow(QDialog* dialog, QTableWidget* table, lumora::ListWindowState lumora::WindowSettings::*kept,
                        bool made);
    // F5, Ctrl+D, Ctrl+F, Ctrl+E and Esc, and the table as one Tab stop.
    void AddShortcuts();
    // "检查网站格式" in the help menu: what the site rules find on the pages of
    // the address typed, read on a thread of its own and told in a message.
    void AddSiteCheck();
    void CheckSiteFormat();
    // "检查已下载的相册", beside it: the saved pictures checked on a thread,
    // then the report, whose "修复" fetches the damaged ones again.
    void CheckSavedAlbums();
    void ShowSavedCheck(const lumora::SavedPictureReport& report);
    // The place, size and column widths kept at the last close.
    void RestoreWindowState();
    // Keeps the window's state in "lumora.ini"; a failed save is said once (never at close).
    void SaveWindowSettings();
    // The save folder typed or chosen: kept at once, restored at the next start.
    void KeepSaveFolder(const QString& folder);

    Options options_;
    lumora::WindowSettings windowSettings_;
    bool windowSaveFailed_ = false;
    QString startSaveFolder_;         // what the save folder box showed at start
    std::u16string startKeptFolder_;  // the folder "lumora.ini" held then
    CDesktop& desktop_;
    // The controller's runs write to it until they have ended: declared
    // before the controller so that it outlives them.
    lumora::RunLog runLog_;
    CCurrentAlbum currentAlbum_;
    lumora::RunProgress runProgress_;  // over the whole run, beside the album's bar
    // Declared before the controller, which uses it until it has gone.
    std::unique_ptr<CWindowBridge> bridge_;
    lumora::WindowView view_;  // the runs, shown through the bridge
    std::unique_ptr<lumora::MainController> controller_;
    std::map<int, QWidget*> controls_;

    QLabel* mainStatus_ = nullptr;
    QLabel* runProgressLine_ = nullptr;
    CDesktopNotice* notice_ = nullptr;  // made at the first notification
    CStatusLine* progressStatus_ = nullptr;
    QLabel* banner_ = nullptr;
    QComboBox* site_ = nullptr;
    QComboBox* subType_ = nullptr;
    CComboBox2* address_ = nullptr;
    QPushButton* getAlbums_ = nullptr;
    QPushButton* download_ = nullptr;
    CComboBox2* savePath_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    QPushButton* addToQueue_ = nullptr;
    QPushButton* followSpace_ = nullptr;
    CLinkLabel* queueLink_ = nullptr;
    CLinkLabel* followsLink_ = nullptr;
    std::unique_ptr<CBackgroundRun> background_;
    CDlgQueue* queueDialog_ = nullptr;
    CDlgFollows* followsDialog_ = nullptr;
    std::u16string listedAddress_;  // of the last get-albums run
    QGroupBox* albumGroup_ = nullptr;
    CMyGridCtrl* grid_ = nullptr;
    QCheckBox* selectAll_ = nullptr;
    QCheckBox* pictureModeBox_ = nullptr;
    QLabel* find_ = nullptr;
    QLabel* filter_ = nullptr;
    QLabel* export_ = nullptr;
    QProgressBar* progress_ = nullptr;

    QPointer<CSplashScreenEx> splash_;
    std::thread startupWorker_;
    bool ready_ = false;

    bool pictureMode_ = false;
    int redisplayState_ = 0;
    std::size_t redisplayNext_ = 0;
    QTimer* redisplayTimer_ = nullptr;
    QTimer* progressTimer_ = nullptr;

    RunWatch getList_;
    RunWatch downList_;
    std::size_t pickedAlbums_ = 0;  // of the download run followed now; 0 for a retry

    bool shutDown_ = false;
    // While a check of the saved pictures runs: its stop, raised at shutdown.
    std::shared_ptr<std::atomic<bool>> savedCheckStop_;
};
