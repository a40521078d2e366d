#include "gui/Screenshots.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>

#include "app/ControlIds.h"
#include "download/FollowList.h"
#include "download/OrderQueue.h"
#include "download/SavedCheck.h"
#include "gui/AboutDlg.h"
#include "gui/AlbumGrid.h"
#include "gui/BackgroundRun.h"
#include "gui/ComboBox2.h"
#include "gui/Desktop.h"
#include "gui/DlgDownSet.h"
#include "gui/DlgFailures.h"
#include "gui/DlgFollows.h"
#include "gui/DlgQueue.h"
#include "gui/DlgSaveSet.h"
#include "gui/DlgSavedCheck.h"
#include "gui/GuiText.h"
#include "gui/LumoraDlg.h"
#include "gui/login/DlgWebOpen.h"
#include "text/StringCtrl.h"

namespace {

// Lets layouts, fades and repaints settle before a grab, and a download go on.
void Settle(int milliseconds = 300) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

class Tour {
public:
    Tour(CLumoraDlg& window, const QString& folder) : window_(window), folder_(folder) {}

    bool Save(const QPixmap& picture, const QString& name) {
        const QString path = QDir(folder_).filePath(name);
        const bool saved = !picture.isNull() && picture.save(path, "PNG");
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
        ok_ = ok_ && saved;
        return saved;
    }

    // A popup is a window of its own: it is drawn over the main window's
    // picture where it stands on the screen.
    QPixmap WindowWithPopup(QWidget* popup) {
        const QPixmap base = window_.grab();
        const QPoint offset = popup->mapToGlobal(QPoint(0, 0)) - window_.mapToGlobal(QPoint(0, 0));
        const QRect bounds = QRect(QPoint(0, 0), base.size()).united(QRect(offset, popup->size()));
        QPixmap canvas(bounds.size());
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        painter.drawPixmap(-bounds.topLeft(), base);
        painter.drawPixmap(offset - bounds.topLeft(), popup->grab());
        return canvas;
    }

    template <typename Dialog>
    void SaveDialog(Dialog& dialog, const QString& name) {
        dialog.show();
        Settle();
        Save(dialog.grab(), name);
        dialog.close();
    }

    bool ok() const { return ok_; }

private:
    CLumoraDlg& window_;
    QString folder_;
    bool ok_ = true;
};

}  // namespace

int RunScreenshotTour(CLumoraDlg& window, const QString& folder) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "lumora: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    Tour tour(window, folder);
    window.Start();
    if (!window.WaitUntilIdle()) return 1;
    window.OnGetAlbums();
    if (!window.WaitUntilIdle(120000)) return 1;

    // A few albums picked, as before a download.
    CMyGridCtrl* grid = window.grid();
    for (int row : {0, 2, 3}) {
        if (row >= grid->rowCount()) continue;
        grid->selectionModel()->select(grid->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Settle();
    tour.Save(window.grab(), QStringLiteral("main-list.png"));

    QAction* settingsTitle = window.menuBar()->actions().value(1);
    if (QMenu* settings = settingsTitle ? settingsTitle->menu() : nullptr) {
        const QRect title = window.menuBar()->actionGeometry(settingsTitle);
        settings->popup(window.menuBar()->mapToGlobal(title.bottomLeft()));
        Settle();
        tour.Save(tour.WindowWithPopup(settings), QStringLiteral("menu-settings.png"));
        settings->hide();
    }

    lumora::DownloadParams params = window.controller().CurrentDownloadParams();
    lumora::AppSettings app = window.controller().CurrentAppSettings();
    CDlgDownSet downSet(params, app, DefaultDesktop(), &window);
    tour.SaveDialog(downSet, QStringLiteral("dialog-download-settings.png"));
    lumora::NameRules rules = window.controller().CurrentNameRules();
    CDlgSaveSet saveSet(rules, DefaultDesktop(), &window);
    tour.SaveDialog(saveSet, QStringLiteral("dialog-file-names.png"));
    CAboutDlg about(window.runLogPath(), &window);
    tour.SaveDialog(about, QStringLiteral("dialog-about.png"));

    // The login browser over the main window, on the member's page.
    if (QWidget* browser = lumora::gui::OpenLoginBrowser(&window, window.addressBox()->currentText())) {
        // Smaller than it opens, so the main window shows around it.
        browser->resize(620, 430);
        browser->move(window.geometry().center() - browser->rect().center());
        Settle(4000);
        tour.Save(tour.WindowWithPopup(browser), QStringLiteral("login-browser.png"));
        browser->close();
    }

    // Picture mode, with the same albums picked.
    grid->clearSelection();
    auto* pictureMode = static_cast<QAbstractButton*>(window.control(lumora::IDC_PICTURE_MODE));
    pictureMode->click();
    if (!window.WaitUntilIdle(120000)) return 1;
    grid->WaitForThumbnails();
    const int perRow = grid->columnCount();
    for (int cell : {0, 2, 3}) {
        grid->selectionModel()->select(grid->model()->index(cell / perRow, cell % perRow), QItemSelectionModel::Select);
    }
    Settle();
    tour.Save(window.grab(), QStringLiteral("main-pictures.png"));
    // A wider window takes more covers to a row.
    const QSize designedSize = window.size();
    window.resize(1100, 760);
    Settle();
    tour.Save(window.grab(), QStringLiteral("main-pictures-wide.png"));
    window.resize(designedSize);
    pictureMode->click();
    if (!window.WaitUntilIdle(120000)) return 1;

    // A download stopped half-way, on a site whose pictures come slowly and
    // now and then fail: without retries those failures stay.
    QTemporaryDir saveRoot(QDir::temp().filePath(QStringLiteral("lumora-tour-XXXXXX")));
    const lumora::AppSettings before = window.controller().CurrentAppSettings();
    const QString saveFolder = window.savePathBox()->currentText();
    lumora::AppSettings noRetries = before;
    noRetries.retries = 0;
    window.controller().UpdateAppSettings(noRetries);
    // Three of the larger albums: the stop comes in the first.
    grid->clearSelection();
    for (int row : {1, 7, 9}) {
        if (row >= grid->rowCount()) continue;
        grid->selectionModel()->select(grid->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    window.savePathBox()->setEditText(saveRoot.filePath(QStringLiteral("图片")));
    // Grown, as a user would on a large screen: the table takes the room.
    window.resize(1100, 760);
    window.OnDownload();
    for (int waited = 0; window.controller().completedCount() < 2 && waited < 60000; waited += 20) Settle(20);
    Settle(400);  // the run's progress line follows every 200 ms
    tour.Save(window.grab(), QStringLiteral("run-progress.png"));
    window.OnDownload();
    if (!window.WaitUntilIdle(120000)) return 1;
    Settle();
    tour.Save(window.grab(), QStringLiteral("stopped-run.png"));
    window.resize(designedSize);
    CDlgFailures failures(window.controller().LastFailures(), &window);
    tour.SaveDialog(failures, QStringLiteral("failures.png"));

    // The check of what the stopped run saved, after one picture went and one was cut.
    const std::u16string tourFolder = ToU16(saveRoot.path());
    lumora::SavedFileList saved = lumora::CollectSavedFiles({tourFolder}, nullptr);
    if (saved.files.size() >= 2) {
        std::filesystem::remove(lumora::WideToUtf8(saved.files[0].path));
        std::filesystem::resize_file(lumora::WideToUtf8(saved.files[1].path), saved.files[1].size / 2);
    }
    CDlgSavedCheck savedCheck(lumora::CheckSavedPictures(window.controller().programFolder(), {tourFolder}, {}),
                              &window);
    tour.SaveDialog(savedCheck, QStringLiteral("saved-check.png"));

    // The queue with two orders, and a followed space after its first check;
    // both taken out again afterwards, whatever else the folder holds.
    grid->clearSelection();
    for (int row : {1, 7}) {
        grid->selectionModel()->select(grid->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    auto* addToQueue = window.findChild<QAbstractButton*>(QStringLiteral("addToQueue"));
    addToQueue->click();
    grid->SelectAll(true);
    addToQueue->click();
    window.OpenQueue();
    Settle();
    tour.Save(window.queueDialog()->grab(), QStringLiteral("queue.png"));
    const std::vector<std::int64_t> orders = window.queueDialog()->RowIds();
    window.queueDialog()->close();
    const std::filesystem::path archive = window.controller().programFolder() / lumora::kArchiveFileName;
    const std::u16string member = ToU16(window.addressBox()->currentText());
    auto follows = lumora::FollowList::Open(archive);
    const bool followedBefore = follows && (*follows)->Find(member).has_value();
    window.findChild<QAbstractButton*>(QStringLiteral("followSpace"))->click();
    window.OpenFollows();
    window.followsDialog()->CheckForUpdates();
    for (int waited = 0; window.backgroundRun().running() && waited < 120000; waited += 20) Settle(20);
    Settle();
    tour.Save(window.followsDialog()->grab(), QStringLiteral("follows.png"));
    window.followsDialog()->close();
    if (auto queue = lumora::OrderQueue::Open(archive)) {
        for (std::size_t i = orders.size() >= 2 ? orders.size() - 2 : 0; i < orders.size(); ++i) {
            (void)(*queue)->Remove(orders[i]);
        }
    }
    if (follows && !followedBefore) (void)(*follows)->Unfollow(member);

    // The tour's settings and folder are not the user's.
    window.controller().UpdateAppSettings(before);
    window.savePathBox()->setEditText(saveFolder);
    window.close();
    return tour.ok() ? 0 : 1;
}
