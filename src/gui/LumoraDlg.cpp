#include "gui/LumoraDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <limits>

#include "app/ControlIds.h"
#include "app/LoginPages.h"
#include "app/OptionFlags.h"
#include "app/SiteTable.h"
#include "download/FolderPath.h"
#include "gui/AboutDlg.h"
#include "gui/AlbumGrid.h"
#include "gui/Artwork.h"
#include "gui/ComboBox2.h"
#include "gui/login/DlgWebOpen.h"
#include "gui/Desktop.h"
#include "gui/DlgDownSet.h"
#include "gui/DlgFailures.h"
#include "gui/DlgSaveSet.h"
#include "gui/GuiText.h"
#include "gui/MainMenu.h"
#include "gui/SplashScreenEx.h"
#include "text/StringCtrl.h"

using namespace lumora;

namespace {

// The window is laid out in the dialog units of its design (471 x 323).
constexpr double kPixelsPerUnit = 1.75;
constexpr int kDialogWidth = 471;
constexpr int kDialogHeight = 323;

int Px(int units) {
    return static_cast<int>(units * kPixelsPerUnit + 0.5);
}

QRect Dlu(int x, int y, int width, int height) {
    return QRect(Px(x), Px(y), Px(width), Px(height));
}

// Where the sub-type box stands; the address box moves against it.
const QRect kSubTypeGeometry = Dlu(85, 7, 62, 12);

// Albums shown per step of a redisplay; the window stays responsive between steps.
constexpr std::size_t kRedisplayBatch = 12;
constexpr int kProgressPollMs = 200;
// History texts stop short of this many units (the history field's size).
constexpr int kDroppedPathLimit = 512;

// A link that looks disabled when it is: rich text keeps its link colour
// in every state otherwise.
class CLinkLabel : public QLabel {
public:
    CLinkLabel(const QString& text, QWidget* parent) : QLabel(parent), text_(text) { ShowText(); }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) ShowText();
        QLabel::changeEvent(event);
    }

private:
    void ShowText() {
        const QString style =
            isEnabled() ? QString() : QStringLiteral(" style=\"color: %1\"")
                                          .arg(palette().color(QPalette::Disabled, QPalette::WindowText).name());
        setText(QStringLiteral("<a href=\"#\"%1>%2</a>").arg(style, text_));
    }

    QString text_;
};


}  // namespace

// The second status line. After a download with failures it becomes a link
// to their list: a click, or Enter or Space once tabbed to, opens it. Any
// text the controller sets makes it plain again.
class CStatusLine : public QLabel {
public:
    CStatusLine(const QString& text, QWidget* parent) : QLabel(text, parent) {}

    std::function<void()> onActivate;

    void SetLink(bool link) {
        if (link == link_) return;
        link_ = link;
        QFont underlined = font();
        underlined.setUnderline(link);
        setFont(underlined);
        QPalette colours = parentWidget()->palette();
        if (link) colours.setColor(QPalette::WindowText, colours.color(QPalette::Link));
        setPalette(colours);
        if (link) {
            setCursor(Qt::PointingHandCursor);
        } else {
            unsetCursor();
        }
        setFocusPolicy(link ? Qt::TabFocus : Qt::NoFocus);
        if (!link && hasFocus()) clearFocus();
    }
    bool link() const { return link_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (link_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            Activate();
            return;
        }
        QLabel::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if (link_ && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            Activate();
            return;
        }
        QLabel::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!link_ || !hasFocus()) return;
        // Labels draw no focus frame of their own.
        QPainter painter(this);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = contentsRect().intersected(QRect(QPoint(0, 0), QSize(sizeHint().width(), height())));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }

private:
    void Activate() {
        if (onActivate) onActivate();
    }

    bool link_ = false;
};

namespace {

QStringList HistoryEntries(const SettingsBlock& settings, HistoryKind kind) {
    QStringList entries;
    for (std::size_t i = 0; i < kHistoryEntries; ++i) {
        const std::u16string text = HistoryText(settings, kind, i);
        if (!text.empty()) entries.append(ToQString(text));
    }
    return entries;
}

}  // namespace

CLumoraDlg::CLumoraDlg(Options options)
    : options_(std::move(options)), desktop_(options_.desktop ? *options_.desktop : DefaultDesktop()) {
    const std::filesystem::path folder =
        options_.programFolder.empty() ? ProgramFolder() : options_.programFolder;
    controller_ = std::make_unique<MainController>(*this, folder);

    setWindowIcon(QIcon(QPixmap::fromImage(DrawProgramIcon(256))));
    BuildMenu();
    setWindowTitle(QStringLiteral("太平洋摄影部落 Lumora"));
    BuildControls();
    FillStartupTexts();
    setAcceptDrops(true);

    redisplayTimer_ = new QTimer(this);
    redisplayTimer_->setInterval(0);
    connect(redisplayTimer_, &QTimer::timeout, this, [this] { RedisplayAlbums(kRedisplayBatch); });
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressPollMs);
    connect(progressTimer_, &QTimer::timeout, this, [this] { UpdateProgress(); });
}

CLumoraDlg::~CLumoraDlg() {
    BeginShutdown();
    FinishShutdown();
    // The grid's thumbnail fetches read the controller's album list.
    delete grid_;
    grid_ = nullptr;
    controller_.reset();
}

void CLumoraDlg::BuildMenu() {
    BuildMainMenu(
        menuBar(), [this](int id) { OnMenuCommand(id); }, [this](QMenu* menu) { UpdateMenuStates(menu); });
}

void CLumoraDlg::BuildControls() {
    auto* page = new QWidget(this);
    page->setFixedSize(Px(kDialogWidth), Px(kDialogHeight));
    setCentralWidget(page);

    // Created in the order of the design, which is also the tab order.
    const auto place = [this](auto* widget, int id, const QRect& geometry) {
        widget->setObjectName(QStringLiteral("control%1").arg(id));
        widget->setGeometry(geometry);
        controls_[id] = widget;
        return widget;
    };
    mainStatus_ = place(new QLabel(QStringLiteral("state1"), page), IDC_STATUS_MAIN, Dlu(7, 308, 220, 10));
    progressStatus_ =
        place(new CStatusLine(QStringLiteral("state2"), page), IDC_STATUS_PROGRESS, Dlu(230, 308, 150, 10));
    progressStatus_->onActivate = [this] { ShowFailures(); };
    banner_ = place(new QLabel(page), IDC_BANNER, Dlu(160, 293, 304, 10));
    site_ = place(new QComboBox(page), IDC_SITE, Dlu(7, 7, 75, 12));
    subType_ = place(new QComboBox(page), IDC_SUB_TYPE, kSubTypeGeometry);
    address_ = place(new CComboBox2(page), IDC_ADDRESS, Dlu(150, 7, 210, 12));
    getAlbums_ = place(new QPushButton(QStringLiteral("获取相册"), page), IDC_GET_ALBUMS, Dlu(366, 6, 47, 14));
    getAlbums_->setDefault(true);
    download_ = place(new QPushButton(QStringLiteral("下载"), page), IDC_DOWNLOAD, Dlu(417, 6, 47, 14));
    download_->setEnabled(false);

    (new QLabel(QStringLiteral("保存路径:"), page))->setGeometry(Dlu(7, 24, 36, 10));
    savePath_ = place(new CComboBox2(page), IDC_SAVE_PATH, Dlu(44, 23, 316, 12));
    chooseFolder_ = place(new QPushButton(QStringLiteral("设置"), page), IDC_CHOOSE_FOLDER, Dlu(366, 22, 47, 14));
    openFolder_ = place(new QPushButton(QStringLiteral("打开"), page), IDC_OPEN_FOLDER, Dlu(417, 22, 47, 14));

    albumGroup_ = place(new QGroupBox(QStringLiteral("相册列表"), page), IDC_ALBUM_GROUP, Dlu(7, 38, 457, 251));
    grid_ = place(new CMyGridCtrl(controller_->session().albums, controller_->programFolder(), page), IDC_GRID,
                  Dlu(9, 48, 453, 237));
    selectAll_ = place(new QCheckBox(QStringLiteral("全选"), page), IDC_SELECT_ALL, Dlu(9, 293, 32, 10));
    pictureModeBox_ = place(new QCheckBox(QStringLiteral("预览图"), page), IDC_PICTURE_MODE, Dlu(44, 293, 42, 10));
    find_ = place(new CLinkLabel(QStringLiteral("查找"), page), IDC_FIND, Dlu(90, 293, 20, 10));
    filter_ = place(new CLinkLabel(QStringLiteral("筛选"), page), IDC_FILTER, Dlu(112, 293, 20, 10));
    export_ = place(new CLinkLabel(QStringLiteral("导出"), page), IDC_EXPORT, Dlu(134, 293, 20, 10));

    progress_ = new QProgressBar(page);
    progress_->setObjectName(QStringLiteral("downloadProgress"));
    progress_->setGeometry(Dlu(384, 308, 80, 10));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    connect(getAlbums_, &QPushButton::clicked, this, [this] { OnGetAlbums(); });
    connect(address_->lineEdit(), &QLineEdit::returnPressed, this, [this] { OnGetAlbums(); });
    connect(download_, &QPushButton::clicked, this, [this] { OnDownload(); });
    connect(pictureModeBox_, &QCheckBox::clicked, this, [this](bool checked) { OnPictureMode(checked); });
    connect(chooseFolder_, &QPushButton::clicked, this, [this] { ChooseSaveFolder(); });
    connect(openFolder_, &QPushButton::clicked, this, [this] { OpenSaveFolder(); });
    connect(site_, qOverload<int>(&QComboBox::activated), this, [this] { ApplySiteSelection(); });
    connect(address_, &CComboBox2::editChanged, this, [this] { RecogniseAddress(); });
    connect(address_, &CComboBox2::entryPicked, this, [this] { RecogniseAddress(); });
    connect(selectAll_, &QCheckBox::clicked, this, [this](bool checked) { grid_->SelectAll(checked); });
    connect(grid_, &CMyGridCtrl::gridReset, this, [this] { selectAll_->setChecked(false); });
    connect(find_, &QLabel::linkActivated, this, [this] { grid_->OpenFind(); });
    connect(filter_, &QLabel::linkActivated, this, [this] { OnFilter(); });
    connect(export_, &QLabel::linkActivated, this, [this] { grid_->ExportCsvWithDialog(); });
    // The status line takes focus only as a link; it comes last, as it stands.
    QWidget::setTabOrder(export_, progressStatus_);

    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void CLumoraDlg::FillStartupTexts() {
    banner_->setText(QStringLiteral("Lumora %1  提示：粘贴相册空间地址后点“获取相册”，在列表中点选相册，再点“下载”")
                         .arg(QCoreApplication::applicationVersion()));

    QString address;
    if (options_.address) {
        address = *options_.address;
    } else if (const QClipboard* clipboard = QGuiApplication::clipboard()) {
        address = clipboard->text().trimmed();
    }
    if (!address.isEmpty() && address.size() < 200) address_->setEditText(address);

    savePath_->setEditText(ToQString(Utf8ToWide(DefaultSaveFolder().string())));
    const SettingsBlock& settings = controller_->settings();
    address_->SetKnownEntries(HistoryEntries(settings, HistoryKind::Address));
    savePath_->SetKnownEntries(HistoryEntries(settings, HistoryKind::SaveFolder));
    const std::u16string lastFolder = HistoryText(settings, HistoryKind::SaveFolder, 0);
    if (!lastFolder.empty()) savePath_->setEditText(ToQString(lastFolder));
}

void CLumoraDlg::Start() {
    if (options_.splash) {
        splash_ = new CSplashScreenEx(this, CSplashScreenEx::FadeIn | CSplashScreenEx::FadeOut |
                                                CSplashScreenEx::CentreScreen);
        splash_->SetBitmap(DrawSplashPicture(), kSplashKeyColour);
        splash_->SetText(QStringLiteral("Lumora %1\n正在启动，请稍候……").arg(QCoreApplication::applicationVersion()));
        QFont font = splash_->font();
        font.setPointSize(10);
        splash_->SetTextFont(font);
        splash_->SetTextColour(Qt::white);
        splash_->SetTextRect(QRect(QPoint(30, 50), QPoint(290, 159)));
        splash_->SetTextFormat(Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap);
        connect(splash_, &CSplashScreenEx::escapePressed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        splash_->Show();
    }
    startupWorker_ = std::thread([this] {
        std::vector<QString> names;
        for (const SiteEntry& site : SiteTable()) names.push_back(QString::fromUtf16(site.displayName));
        QMetaObject::invokeMethod(this, [this] { StartupDone(); }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(this, [this, names] { SitesLoaded(names); }, Qt::QueuedConnection);
    });
    hide();
}

void CLumoraDlg::StartupDone() {
    if (ready_ || shutDown_) return;
    // The window first: with the splash gone and nothing shown, the
    // application would count its last window as closed.
    show();
    if (splash_) splash_->HideAndDestroy();
    ready_ = true;
    controller_->SetReady();
    // The user's settings file is there but could not be read: say so once.
    if (!controller_->settingsProblem().empty()) MessageBox(controller_->SettingsProblemText());
}

void CLumoraDlg::SitesLoaded(const std::vector<QString>& names) {
    site_->clear();
    for (const QString& name : names) site_->addItem(name);
    site_->setCurrentIndex(kPhotoCommunitySite);
    // Laid out before the address is recognised: the other way round the
    // layout would put the sub-type back to its default after recognition
    // had chosen it.
    ApplySiteSelection();
    RecogniseAddress();
}

void CLumoraDlg::RecogniseAddress() {
    const std::optional<SiteRecognition> found =
        lumora::RecogniseAddress(ToU16(address_->currentText()), site_->currentIndex());
    if (!found) return;
    site_->setCurrentIndex(found->site);
    ApplySiteSelection();
    if (found->site == kQqFamilySite) subType_->setCurrentIndex(found->subType);
}

void CLumoraDlg::ApplySiteSelection() {
    // The window's site index is always the photo community's (the
    // controller keeps it); the site box only changes what is shown.
    QRect address = address_->geometry();
    if (site_->currentIndex() != kQqFamilySite) {
        subType_->hide();
        address.setLeft(kSubTypeGeometry.left());
    } else {
        subType_->clear();
        for (const char16_t* text : QqAlbumKindTexts()) subType_->addItem(QString::fromUtf16(text));
        subType_->show();
        address.setLeft(kSubTypeGeometry.left() + kSubTypeGeometry.width() + 3);
        subType_->setCurrentIndex(kQzoneAlbum);
    }
    address_->setGeometry(address);
}

CSplashScreenEx* CLumoraDlg::splash() const {
    return splash_;
}

QWidget* CLumoraDlg::control(int id) const {
    auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

// ---- Commands ----

void CLumoraDlg::OnGetAlbums() {
    SiteSession& session = controller_->session();
    if (session.ready != 1 || shutDown_) return;
    const bool starting = session.getAlbumsState == GET_IDLE;
    // The controller joins the last worker when it starts the next one; the
    // last one may still be finishing and waiting for this thread.
    if (starting && getList_.busy) {
        getList_.clickPending = true;
        return;
    }
    controller_->OnGetAlbumsClicked();
    if (starting) Watch(getList_, false);
}

void CLumoraDlg::OnDownload() {
    if (shutDown_) return;
    const bool starting = controller_->session().downloadState == DOWN_IDLE;
    if (starting && downList_.busy) {
        downList_.clickPending = true;
        return;
    }
    controller_->OnDownloadClicked();
    if (starting) {
        Watch(downList_, true);
        progress_->setValue(0);
        progressTimer_->start();
    }
}

void CLumoraDlg::Watch(RunWatch& run, bool download) {
    if (run.watcher.joinable()) run.watcher.join();
    run.busy = true;
    run.watcher = std::thread([this, download] {
        if (download) {
            controller_->WaitForDownload();
        } else {
            controller_->WaitForGetAlbums();
        }
        QMetaObject::invokeMethod(this, [this, download] { RunEnded(download); }, Qt::QueuedConnection);
    });
}

void CLumoraDlg::RunEnded(bool download) {
    RunWatch& run = download ? downList_ : getList_;
    run.busy = false;
    const bool again = run.clickPending && !shutDown_;
    run.clickPending = false;
    if (download) {
        progressTimer_->stop();
        UpdateProgress();
        const DownloadReport report = controller_->lastReport();
        std::size_t failed = 0;
        bool downloaded = false;
        for (const AlbumOutcome& album : report.albums) {
            failed += album.failures.size();
            downloaded = downloaded || (!album.listFileOnly && album.listed > 0);
        }
        if (downloaded) {
            // A stopped run's list is not the whole story: its line stays plain.
            const bool link = failed > 0 && !report.stopped;
            QString text = QStringLiteral("本次下载失败%1张图片").arg(failed);
            if (link) text += QStringLiteral("（点击查看）");
            progressStatus_->setText(text);
            progressStatus_->SetLink(link);
        }
    }
    if (again) download ? OnDownload() : OnGetAlbums();
}

void CLumoraDlg::ShowFailures() {
    if (shutDown_ || busy()) return;
    CDlgFailures dialog(controller_->LastFailures(), this);
    if (dialog.exec() == CDlgFailures::kRetry) RetryFailures();
}

void CLumoraDlg::RetryFailures() {
    const SiteSession& session = controller_->session();
    // The controller starts nothing while a run goes; nothing is watched then.
    if (shutDown_ || busy() || session.downloadState != DOWN_IDLE || session.getAlbumsState != GET_IDLE) return;
    controller_->OnRetryFailuresClicked();
    Watch(downList_, true);
    progress_->setValue(0);
    progressTimer_->start();
}

void CLumoraDlg::UpdateProgress() {
    const int total = static_cast<int>(controller_->jobSize());
    const int done = controller_->completedCount();
    progress_->setRange(0, std::max(total, 1));
    progress_->setValue(std::clamp(done, 0, std::max(total, 0)));
}

void CLumoraDlg::OnPictureMode(bool checked) {
    if (redisplayState_ != 0) {
        const bool stop = desktop_.Ask(this, QStringLiteral("模式转换未完成,是否中断?"), QStringLiteral("提示"));
        // The redisplay may have ended while the question was open; a stop
        // left pending then would block every later switch.
        if (stop && redisplayState_ == 1) redisplayState_ = 2;
        pictureModeBox_->setChecked(!checked);
        return;
    }
    if (checked) grid_->HideFind();
    find_->setEnabled(!checked);
    filter_->setEnabled(!checked);
    redisplayState_ = 1;
    pictureMode_ = checked;
    grid_->ResetGrid(pictureMode_);
    StartRedisplay();
}

void CLumoraDlg::StartRedisplay() {
    redisplayState_ = 1;
    redisplayNext_ = 0;
    redisplayTimer_->start();
}

void CLumoraDlg::RedisplayAlbums(std::size_t limit) {
    const std::size_t count = controller_->session().albums.size();
    for (std::size_t shown = 0; shown < limit && redisplayNext_ < count && redisplayState_ != 2; ++shown) {
        grid_->ShowAlbum(redisplayNext_++);
    }
    if (redisplayNext_ >= count || redisplayState_ == 2) FinishRedisplay();
}

void CLumoraDlg::FinishRedisplay() {
    redisplayTimer_->stop();
    grid_->viewport()->update();
    redisplayState_ = 0;
    grid_->clearFilterKeyword();
}

void CLumoraDlg::OnFilter() {
    if (!grid_->OpenFilter()) return;
    // The filtered redisplay runs at once and replaces one under way.
    redisplayTimer_->stop();
    StartRedisplay();
    RedisplayAlbums(std::numeric_limits<std::size_t>::max());
}

void CLumoraDlg::ChooseSaveFolder() {
    QString folder = desktop_.PickFolder(this, QStringLiteral("请选择文件保存目录："), savePath_->currentText());
    if (folder.isEmpty()) return;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    savePath_->setEditText(folder);
    controller_->OfferSaveFolderToHistory(ToU16(folder));
}

void CLumoraDlg::OpenSaveFolder() {
    const std::u16string saveFolder = ToU16(savePath_->currentText());
    if (controller_->downloadBusy()) {
        // The member's folder of the running download; its albums are inside.
        const SiteSession& session = controller_->session();
        desktop_.OpenFolder(ToQString(WithTrailingSlash(saveFolder) + session.spaceName + session.subFolderName));
    } else if (!saveFolder.empty()) {
        desktop_.OpenFolder(ToQString(saveFolder));
    }
}

void CLumoraDlg::DropPath(const QString& path) {
    QString folder = path.left(kDroppedPathLimit);
    const qsizetype lastDot = folder.lastIndexOf(QLatin1Char('.'));
    const qsizetype lastSlash = folder.lastIndexOf(QLatin1Char('/'));
    // A dropped file stands for its folder.
    if (lastDot > lastSlash) {
        if (lastSlash < 0) return;
        folder.truncate(lastSlash);
    }
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    savePath_->setEditText(folder);
    controller_->OfferSaveFolderToHistory(ToU16(folder));
}

void CLumoraDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CLumoraDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    DropPath(urls.first().toLocalFile());
    event->acceptProposedAction();
}

// ---- Menu ----

void CLumoraDlg::UpdateMenuStates(QMenu* menu) {
    const std::uint16_t flags = controller_->CurrentNameRules().optionFlags;
    for (QAction* action : menu->actions()) {
        if (MenuActionId(action) == ID_SKIP_SAVED) {
            // Read afresh: the command line may have changed it.
            action->setChecked(controller_->CurrentAppSettings().skipSaved);
            continue;
        }
        const OptionSwitch* option = FindOptionByMenuId(MenuActionId(action));
        if (!option) continue;
        action->setChecked((flags & option->bit) != 0);
        action->setEnabled(IsOptionEnabled(option->menuId, controller_->session().siteIndex));
    }
}

void CLumoraDlg::OnMenuCommand(int id) {
    if (id < ID_FIRST_COMMAND || id > ID_LAST_COMMAND) return;
    if (FindOptionByMenuId(id)) {
        // A greyed switch belongs to another site and cannot be changed here.
        if (!IsOptionEnabled(id, controller_->session().siteIndex)) return;
        NameRules rules = controller_->CurrentNameRules();
        ToggleOption(rules.optionFlags, id);
        controller_->UpdateNameRules(rules);
        return;
    }
    if (IsLoginCommand(id)) {
        OpenLoginBrowser(id);
        return;
    }
    switch (id) {
    case ID_SKIP_SAVED: {
        AppSettings settings = controller_->CurrentAppSettings();
        settings.skipSaved = !settings.skipSaved;
        StoreAppSettings(settings);
        break;
    }
    case ID_DOWNLOAD_SETTINGS:
        RunDownloadSettings();
        break;
    case ID_NAME_SETTINGS:
        RunNameSettings();
        break;
    case ID_ABOUT: {
        CAboutDlg about(this);
        about.exec();
        break;
    }
    default:
        break;
    }
}

void CLumoraDlg::RunDownloadSettings() {
    // The dialog edits a copy: values that failed its check and were then
    // abandoned must not reach the next download.
    DownloadParams params = controller_->CurrentDownloadParams();
    AppSettings settings = controller_->CurrentAppSettings();
    CDlgDownSet dialog(params, settings.retries, desktop_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    controller_->UpdateDownloadParams(params);
    // Another process may have changed the other settings meanwhile.
    const unsigned retries = settings.retries;
    settings = controller_->CurrentAppSettings();
    settings.retries = retries;
    StoreAppSettings(settings);
}

bool CLumoraDlg::StoreAppSettings(const AppSettings& settings) {
    // The controller says so when the save fails.
    return controller_->UpdateAppSettings(settings);
}

void CLumoraDlg::RunNameSettings() {
    NameRules rules = controller_->CurrentNameRules();
    CDlgSaveSet dialog(rules, desktop_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The switches are not the dialog's: keep whatever they are now.
    rules.optionFlags = controller_->CurrentNameRules().optionFlags;
    controller_->UpdateNameRules(rules);
}

void CLumoraDlg::OpenLoginBrowser(int id) {
    // One login browser at a time: opening one closes the previous.
    const std::u16string page = LoginStartPage(id, ToU16(address_->currentText()), subType_->currentIndex());
    lumora::gui::OpenLoginBrowser(this, ToQString(page));
}

// ---- Shut-down ----

void CLumoraDlg::closeEvent(QCloseEvent* event) {
    BeginShutdown();
    // Closed from inside a call that a worker waits for (a message box, say):
    // that call has to return first, so the rest waits for the destructor.
    if (guiCallDepth_ == 0) FinishShutdown();
    QMainWindow::closeEvent(event);
}

void CLumoraDlg::BeginShutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    hide();
    if (splash_) splash_->close();
    redisplayTimer_->stop();
    progressTimer_->stop();

    // From here on no worker waits for this thread; calls already waiting
    // are let go by FinishShutdown.
    closing_ = true;
    SiteSession& session = controller_->session();
    if (session.getAlbumsState != GET_IDLE) session.getAlbumsState = GET_STOP;
    if (session.downloadState != DOWN_IDLE) controller_->OnDownloadClicked();
}

void CLumoraDlg::FinishShutdown() {
    while (callsInFlight_ > 0 || busy()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (std::thread* thread : {&getList_.watcher, &downList_.watcher, &startupWorker_}) {
        if (thread->joinable()) thread->join();
    }
}

bool CLumoraDlg::WaitUntilIdle(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ready_ || busy() || redisplayState_ != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    QCoreApplication::processEvents();
    return true;
}

// ---- WindowPort ----

template <typename T, typename Work>
T CLumoraDlg::AskGui(Work work, T fallback) {
    if (QThread::currentThread() == thread()) return work();
    // Counted before the check, so that Shutdown either sees this call or
    // this call sees Shutdown's flag.
    ++callsInFlight_;
    if (closing_) {
        --callsInFlight_;
        return fallback;
    }
    T result = fallback;
    QMetaObject::invokeMethod(
        this,
        [this, &result, &work] {
            if (closing_) return;
            ++guiCallDepth_;
            result = work();
            --guiCallDepth_;
        },
        Qt::BlockingQueuedConnection);
    --callsInFlight_;
    return result;
}

void CLumoraDlg::TellGui(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
    } else if (!closing_) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
}

void CLumoraDlg::ApplyItemText(int controlId, const QString& text) {
    QWidget* widget = control(controlId);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label == progressStatus_) progressStatus_->SetLink(false);
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(text);
    }
}

QString CLumoraDlg::ItemText(int controlId) const {
    QWidget* widget = control(controlId);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
    return {};
}

void CLumoraDlg::SetItemText(int controlId, const std::u16string& text) {
    TellGui([this, controlId, text = ToQString(text)] { ApplyItemText(controlId, text); });
}

std::u16string CLumoraDlg::GetItemText(int controlId) {
    return AskGui<std::u16string>([this, controlId] { return ToU16(ItemText(controlId)); }, {});
}

void CLumoraDlg::EnableItem(int controlId, bool enabled) {
    TellGui([this, controlId, enabled] {
        if (QWidget* widget = control(controlId)) widget->setEnabled(enabled);
    });
}

void CLumoraDlg::ShowItem(int controlId, bool visible) {
    TellGui([this, controlId, visible] {
        if (QWidget* widget = control(controlId)) widget->setVisible(visible);
    });
}

bool CLumoraDlg::IsItemVisible(int controlId) {
    // Whether the control itself is shown, also while the window is hidden.
    return AskGui<bool>(
        [this, controlId] {
            QWidget* widget = control(controlId);
            return widget && !widget->isHidden();
        },
        false);
}

void CLumoraDlg::SetCheck(int controlId, bool checked) {
    TellGui([this, controlId, checked] {
        if (auto* box = qobject_cast<QAbstractButton*>(control(controlId))) box->setChecked(checked);
    });
}

int CLumoraDlg::GetSelection(int controlId) {
    return AskGui<int>(
        [this, controlId] {
            auto* combo = qobject_cast<QComboBox*>(control(controlId));
            return combo ? combo->currentIndex() : -1;
        },
        -1);
}

void CLumoraDlg::MessageBox(const std::u16string& text) {
    AskGui<bool>(
        [this, &text] {
            desktop_.Message(this, ToQString(text), CDesktop::ProgramCaption());
            return true;
        },
        false);
}

void CLumoraDlg::ResetGrid() {
    TellGui([this] {
        // A new list: whatever the redisplay was showing is gone.
        if (redisplayState_ != 0) FinishRedisplay();
        grid_->ClearThumbnails();
        grid_->ResetGrid(pictureMode_);
    });
}

void CLumoraDlg::ShowAlbum(std::size_t position) {
    TellGui([this, position] { grid_->ShowAlbum(position); });
}

void CLumoraDlg::RefreshGrid() {
    TellGui([this] { grid_->viewport()->update(); });
}

std::vector<std::size_t> CLumoraDlg::PickedAlbumPositions() {
    return AskGui<std::vector<std::size_t>>([this] { return grid_->PickedAlbumPositions(); }, {});
}

void CLumoraDlg::OpenFolder(const std::u16string& folder) {
    TellGui([this, folder = ToQString(folder)] { desktop_.OpenFolder(folder); });
}

void CLumoraDlg::HistoryAdded(int controlId, const std::u16string& text) {
    TellGui([this, controlId, text = ToQString(text)] {
        if (auto* combo = qobject_cast<CComboBox2*>(control(controlId))) combo->AddKnownEntry(text);
    });
}

long CLumoraDlg::DownloadFinished(unsigned, unsigned) {
    // The album's end needs nothing of the window; answering at once keeps
    // the scheduler from waiting on the GUI thread.
    return 1;
}
