// The main window: address and save-folder boxes, the two command buttons,
// the album grid and the menu. The controller does the work; this window
// shows its state. Every WindowPort call may come from a worker thread and
// is carried out on the GUI thread: calls that answer something make the
// worker wait for the answer, the others are queued.
//
// Controls carry object names "control<id>" with the ids of ControlIds.h.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/MainController.h"
#include "app/WindowPort.h"

class CComboBox2;
class CDesktop;
class CMyGridCtrl;
class CSplashScreenEx;
class CStatusLine;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

class CLumoraDlg : public QMainWindow, public lumora::WindowPort {
    Q_OBJECT

public:
    struct Options {
        std::filesystem::path programFolder;  // empty: lumora::ProgramFolder()
        bool splash = true;
        std::optional<QString> address;       // prefilled instead of the clipboard text
        CDesktop* desktop = nullptr;          // null: the real desktop
    };

    explicit CLumoraDlg(Options options);
    ~CLumoraDlg() override;

    // Shows the splash and starts the start-up worker; the window shows
    // itself when start-up has finished.
    void Start();
    bool ready() const { return ready_; }

    lumora::MainController& controller() { return *controller_; }
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
    // Processes events until start-up is done and no run or redisplay is
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
    void OpenSaveFolder();
    // A file or folder dropped on the window.
    void DropPath(const QString& path);

    // WindowPort
    void SetItemText(int controlId, const std::u16string& text) override;
    std::u16string GetItemText(int controlId) override;
    void EnableItem(int controlId, bool enabled) override;
    void ShowItem(int controlId, bool visible) override;
    bool IsItemVisible(int controlId) override;
    void SetCheck(int controlId, bool checked) override;
    int GetSelection(int controlId) override;
    void MessageBox(const std::u16string& text) override;
    void ResetGrid() override;
    void ShowAlbum(std::size_t position) override;
    void RefreshGrid() override;
    std::vector<std::size_t> PickedAlbumPositions() override;
    void OpenFolder(const std::u16string& folder) override;
    void HistoryAdded(int controlId, const std::u16string& text) override;
    long DownloadFinished(unsigned elapsedSeconds, unsigned pictureCount) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // One kind of run (get albums, download) as the window follows it: a
    // watcher thread waits for the controller's worker to end and then
    // reports on the GUI thread.
    struct RunWatch {
        std::thread watcher;
        bool busy = false;          // from the start until the report arrived
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

    void Watch(RunWatch& run, bool download);
    void RunEnded(bool download);
    void UpdateProgress();
    // Closing: stop the runs and let no worker wait for this thread any more.
    void BeginShutdown();
    // Waits, processing events, until every run and watcher has ended.
    void FinishShutdown();

    void ApplyItemText(int controlId, const QString& text);
    QString ItemText(int controlId) const;
    // Runs `work` on the GUI thread, making a worker wait for it; `fallback`
    // once the window is closing, so that no worker waits on a window that
    // no longer answers.
    template <typename T, typename Work>
    T AskGui(Work work, T fallback);
    // Queues `work` for the GUI thread (runs it at once when on it).
    void TellGui(std::function<void()> work);

    Options options_;
    CDesktop& desktop_;
    std::unique_ptr<lumora::MainController> controller_;
    std::map<int, QWidget*> controls_;

    QLabel* mainStatus_ = nullptr;
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

    std::atomic<bool> closing_{false};
    std::atomic<int> callsInFlight_{0};
    int guiCallDepth_ = 0;  // worker calls being answered on the GUI thread right now
    bool shutDown_ = false;
};
