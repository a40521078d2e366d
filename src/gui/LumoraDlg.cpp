#include "gui/LumoraDlg.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <thread>

#include "app/ControlIds.h"
#include "app/LoginPages.h"
#include "app/OptionFlags.h"
#include "app/SiteCheck.h"
#include "app/SiteTable.h"
#include "base/FailureText.h"
#include "base/Trim.h"
#include "download/FolderPath.h"
#include "gui/AlbumGrid.h"
#include "gui/Artwork.h"
#include "gui/BackgroundRun.h"
#include "gui/ComboBox2.h"
#include "gui/Desktop.h"
#include "gui/DesktopNotice.h"
#include "gui/DlgFailures.h"
#include "gui/GuiText.h"
#include "gui/MainMenu.h"
#include "gui/SplashScreenEx.h"
#include "gui/StatusLine.h"
#include "gui/WindowBridge.h"
#include "gui/WindowPlace.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

using namespace lumora;

namespace {

// The window starts at the size of its design (471 x 323 dialog units) and
// grows from there; the design's control sizes are the least they get.
constexpr double kPixelsPerUnit = 1.75;
constexpr int kDialogWidth = 471;
constexpr int kDialogHeight = 323;

int Px(int units) { return static_cast<int>(units * kPixelsPerUnit + 0.5); }

// Albums shown per step of a redisplay; the window stays responsive between steps.
constexpr std::size_t kRedisplayBatch = 12;
constexpr int kProgressPollMs = 200;
// A download or retry that took longer than this ends with a desktop
// notification when the window is not the active one.
constexpr double kNoticeAfterSeconds = 30;
// History texts stop short of this many units (the history field's size).
constexpr int kDroppedPathLimit = 512;

// A save folder as the download gets it: "~" stands for the home folder,
// and any other relative path is taken under it, not under whatever folder
// the program was started in.
QString AbsoluteSaveFolder(const QString& text) {
    if (text.isEmpty() || QDir::isAbsolutePath(text)) return text;
    const QString home = QDir::homePath();
    if (text == QLatin1String("~")) return home + QLatin1Char('/');
    if (text.startsWith(QLatin1String("~/"))) return home + text.mid(1);
    return QDir(home).filePath(text);
}

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
    : options_(std::move(options)),
      desktop_(options_.desktop ? *options_.desktop : DefaultDesktop()),
      runLog_(DefaultRunLogPath()),
      bridge_(std::make_unique<CWindowBridge>(*this)),
      view_(*bridge_) {
    const std::filesystem::path folder = options_.programFolder.empty() ? ProgramFolder() : options_.programFolder;
    controller_ = std::make_unique<MainController>(view_, folder);
    windowSettings_ = LoadWindowSettings(folder);
    controller_->runListeners().Add(runLog_);
    controller_->runListeners().Add(currentAlbum_);
    controller_->runListeners().Add(runProgress_);

    setWindowIcon(QIcon(QPixmap::fromImage(DrawProgramIcon(256))));
    BuildMenu();
    setWindowTitle(QStringLiteral("太平洋摄影部落 Lumora"));
    BuildControls();
    RestoreWindowState();
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
    if (savedCheckStop_) *savedCheckStop_ = true;
    BeginShutdown();
    FinishShutdown();
    // The grid's thumbnail fetches read the controller's album list.
    delete grid_;
    grid_ = nullptr;
    controller_.reset();
    bridge_.reset();
}

void CLumoraDlg::BuildControls() {
    auto* page = new QWidget(this);
    setCentralWidget(page);

    // Created in the order of the design, which is also the tab order.
    const auto place = [this](auto* widget, int id) {
        widget->setObjectName(QStringLiteral("control%1").arg(id));
        controls_[id] = widget;
        return widget;
    };
    const auto sized = [](QWidget* widget, int width, int height) {
        widget->setMinimumSize(Px(width), Px(height));
        return widget;
    };
    mainStatus_ = place(new QLabel(QStringLiteral("就绪"), page), IDC_STATUS_MAIN);
    progressStatus_ =
        place(new CStatusLine(QStringLiteral("粘贴相册空间地址，再点“获取相册”"), page), IDC_STATUS_PROGRESS);
    progressStatus_->onActivate = [this] { ShowFailures(); };
    banner_ = place(new QLabel(page), IDC_BANNER);
    site_ = place(new QComboBox(page), IDC_SITE);
    subType_ = place(new QComboBox(page), IDC_SUB_TYPE);
    address_ = place(new CComboBox2(page), IDC_ADDRESS);
    getAlbums_ = place(new QPushButton(QStringLiteral("获取相册"), page), IDC_GET_ALBUMS);
    getAlbums_->setDefault(true);
    download_ = place(new QPushButton(QStringLiteral("下载"), page), IDC_DOWNLOAD);
    download_->setEnabled(false);

    auto* saveLabel = new QLabel(QStringLiteral("保存路径:"), page);
    savePath_ = place(new CComboBox2(page), IDC_SAVE_PATH);
    chooseFolder_ = place(new QPushButton(QStringLiteral("设置"), page), IDC_CHOOSE_FOLDER);
    openFolder_ = place(new QPushButton(QStringLiteral("打开"), page), IDC_OPEN_FOLDER);

    albumGroup_ = place(new QGroupBox(QStringLiteral("相册列表"), page), IDC_ALBUM_GROUP);
    grid_ = place(new CMyGridCtrl(controller_->session().albums, controller_->programFolder(), albumGroup_), IDC_GRID);
    selectAll_ = place(new QCheckBox(QStringLiteral("全选"), page), IDC_SELECT_ALL);
    pictureModeBox_ = place(new QCheckBox(QStringLiteral("预览图"), page), IDC_PICTURE_MODE);
    find_ = place(new CLinkLabel(QStringLiteral("查找"), page), IDC_FIND);
    filter_ = place(new CLinkLabel(QStringLiteral("筛选"), page), IDC_FILTER);
    export_ = place(new CLinkLabel(QStringLiteral("导出"), page), IDC_EXPORT);

    progress_ = new QProgressBar(page);
    progress_->setObjectName(QStringLiteral("downloadProgress"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    // The design's sizes are the least each control gets; the address and
    // save folder boxes take the extra width, the album table the rest.
    sized(site_, 75, 12);
    sized(subType_, 62, 12);
    sized(address_, 120, 12);
    for (QPushButton* button : {getAlbums_, download_, chooseFolder_, openFolder_}) sized(button, 47, 14);
    sized(savePath_, 120, 12);
    sized(grid_, 300, 120);
    progress_->setFixedSize(Px(80), Px(10));
    mainStatus_->setMinimumWidth(Px(120));

    auto* rows = new QVBoxLayout(page);
    rows->setContentsMargins(Px(7), Px(6), Px(7), Px(4));
    rows->setSpacing(Px(3));
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(site_);
    addressRow->addWidget(subType_);
    addressRow->addWidget(address_, 1);
    addressRow->addWidget(getAlbums_);
    addressRow->addWidget(download_);
    rows->addLayout(addressRow);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(saveLabel);
    folderRow->addWidget(savePath_, 1);
    folderRow->addWidget(chooseFolder_);
    folderRow->addWidget(openFolder_);
    rows->addLayout(folderRow);
    auto* groupRows = new QVBoxLayout(albumGroup_);
    groupRows->setContentsMargins(Px(2), Px(4), Px(2), Px(2));
    groupRows->addWidget(grid_);
    rows->addWidget(albumGroup_, 1);
    auto* toolRow = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{selectAll_, pictureModeBox_, find_, filter_, export_}) {
        toolRow->addWidget(widget);
    }
    toolRow->addSpacing(Px(6));
    toolRow->addWidget(banner_, 1);
    toolRow->addStretch();  // holds the tools together once the banner is hidden
    rows->addLayout(toolRow);
    runProgressLine_ = new QLabel(page);
    runProgressLine_->setObjectName(QStringLiteral("runProgress"));
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(mainStatus_);
    statusRow->addWidget(runProgressLine_);
    // The second line takes the room the first leaves, so a long outcome is read whole.
    statusRow->addWidget(progressStatus_, 1);
    statusRow->addWidget(progress_);
    rows->addLayout(statusRow);
    BuildQueueControls(page, addressRow, folderRow, toolRow);

    address_->lineEdit()->installEventFilter(this);
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
    connect(grid_, &CMyGridCtrl::exported, this, [this](const QString& text) {
        progressStatus_->SetLink(false);
        progressStatus_->setText(text);
    });
    connect(find_, &QLabel::linkActivated, this, [this] { grid_->OpenFind(); });
    connect(filter_, &QLabel::linkActivated, this, [this] { OnFilter(); });
    connect(export_, &QLabel::linkActivated, this, [this] { grid_->ExportCsvWithDialog(); });
    AddShortcuts();
    AddSiteCheck();
    // The status line takes focus only as a link; it comes last, as it stands.
    QWidget::setTabOrder(export_, progressStatus_);

    resize(Px(kDialogWidth), Px(kDialogHeight));
}

void CLumoraDlg::AddSiteCheck() {
    for (QAction* top : menuBar()->actions()) {
        if (top->menu() && top->text() == QStringLiteral("帮助")) {
            connect(top->menu()->addAction(QStringLiteral("检查网站格式")), &QAction::triggered, this,
                    [this] { CheckSiteFormat(); });
            connect(top->menu()->addAction(QStringLiteral("检查已下载的相册")), &QAction::triggered, this,
                    [this] { CheckSavedAlbums(); });
        }
    }
}

void CLumoraDlg::CheckSiteFormat() {
    const std::u16string address(lumora::TrimBlanks(ToU16(address_->currentText()), u" \t\r\n\u3000\u00A0"));
    if (!lumora::HasWebScheme(address)) {
        ShowMessage(QStringLiteral("请输入相册地址（以 http:// 或 https:// 开头）"));
        return;
    }
    const auto retries = static_cast<std::uint8_t>(controller_->CurrentAppSettings().retries);
    // Two pages may take a while: the window stays usable, and a closed one is told nothing.
    std::thread([self = QPointer<CLumoraDlg>(this), address, retries] {
        const lumora::SiteCheckReport report = lumora::CheckSite(address, retries);
        std::u16string text;
        for (const std::u16string& line : report.lines) text += line + u"\n";
        text += report.verdict;
        QMetaObject::invokeMethod(
            qApp,
            [self, text] {
                if (self) self->ShowMessage(ToQString(text));
            },
            Qt::QueuedConnection);
    }).detach();
}

void CLumoraDlg::AddShortcuts() {
    // The keys are listed in the help menu, beside "版本信息"; an entry does what its key does. The
    // key after a tab only shows there: the shortcut itself stays one QShortcut, which an open
    // menu does not take Esc from.
    QMenu* keys = nullptr;
    for (QAction* top : menuBar()->actions()) {
        if (top->menu() && top->text() == QStringLiteral("帮助")) {
            top->menu()->addSeparator();
            keys = top->menu()->addMenu(QStringLiteral("快捷键"));
        }
    }
    const auto add = [this, keys](const QKeySequence& sequence, const QString& entry, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
        if (keys) {
            QAction* listed = keys->addAction(entry + QLatin1Char('\t') + sequence.toString(QKeySequence::NativeText));
            connect(listed, &QAction::triggered, this, action);
        }
    };
    // Each does what clicking its control does, and only while that control can be clicked.
    const auto addFor = [this, add](const QKeySequence& sequence, QWidget* control, const QString& entry,
                                    const QString& tip, auto action) {
        add(sequence, entry, [control, action] {
            if (control->isEnabled()) action();
        });
        control->setToolTip(tip);
    };
    addFor(QKeySequence(Qt::Key_F5), getAlbums_, QStringLiteral("获取相册"),
           QStringLiteral("获取相册列表 (F5)；获取中按 Esc 终止"), [this] { getAlbums_->click(); });
    addFor(QKeySequence(Qt::CTRL | Qt::Key_D), download_, QStringLiteral("下载"),
           QStringLiteral("下载选中的相册 (Ctrl+D)；下载中按 Esc 终止"), [this] { download_->click(); });
    // Esc stops whatever runs, as a second click on its button does.
    add(QKeySequence(Qt::Key_Escape), QStringLiteral("终止获取或下载"), [this] {
        const SiteSession& session = controller_->session();
        if (session.getAlbumsState == GET_RUNNING) OnGetAlbums();
        if (session.downloadState == DOWN_RUNNING || session.downloadState == DOWN_ALBUM_DONE) OnDownload();
    });
    addFor(QKeySequence(Qt::CTRL | Qt::Key_F), find_, QStringLiteral("查找"),
           QStringLiteral("在相册列表中查找 (Ctrl+F)"), [this] { grid_->OpenFind(); });
    addFor(QKeySequence(Qt::CTRL | Qt::Key_E), export_, QStringLiteral("导出"),
           QStringLiteral("把相册列表导出为 CSV 文件 (Ctrl+E)"), [this] { grid_->ExportCsvWithDialog(); });
    // The album table is one stop of the Tab order: arrows move in it,
    // Space picks, Ctrl+A picks all.
    grid_->setTabKeyNavigation(false);
}

void CLumoraDlg::RestoreWindowState() {
    grid_->SetListColumnWidths(windowSettings_.columnWidths);
    if (windowSettings_.geometry) PlaceWindow(this, *windowSettings_.geometry);
}

void CLumoraDlg::FillStartupTexts() {
    banner_->setText(QStringLiteral("Lumora %1  提示：粘贴相册空间地址后点“获取相册”，在列表中点选相册，再点“下载”")
                         .arg(QCoreApplication::applicationVersion()));

    QString address;
    if (options_.address) {
        address = *options_.address;
    } else if (const QClipboard* clipboard = QGuiApplication::clipboard()) {
        // Only an address: whatever else was copied last is no input of ours.
        address = clipboard->text().trimmed();
        if (!HasWebScheme(ToU16(address))) address.clear();
    }
    if (!address.isEmpty() && address.size() < 200) address_->setEditText(address);

    savePath_->setEditText(ToQString(Utf8ToWide(DefaultSaveFolder().string())));
    const SettingsBlock& settings = controller_->settings();
    address_->SetKnownEntries(HistoryEntries(settings, HistoryKind::Address));
    savePath_->SetKnownEntries(HistoryEntries(settings, HistoryKind::SaveFolder));
    // The folder last typed or chosen, else the newest of the history.
    std::u16string lastFolder = windowSettings_.saveFolder;
    if (lastFolder.empty()) lastFolder = HistoryText(settings, HistoryKind::SaveFolder, 0);
    if (!lastFolder.empty()) savePath_->setEditText(ToQString(lastFolder));
    startSaveFolder_ = savePath_->currentText();
    startKeptFolder_ = windowSettings_.saveFolder;
}

void CLumoraDlg::Start() {
    if (options_.splash) {
        splash_ = new CSplashScreenEx(
            this, CSplashScreenEx::FadeIn | CSplashScreenEx::FadeOut | CSplashScreenEx::CentreScreen);
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
        // One call: the window is ready with its site box filled.
        QMetaObject::invokeMethod(
            this,
            [this, names] {
                SitesLoaded(names);
                StartupDone();
            },
            Qt::QueuedConnection);
    });
    hide();
}

void CLumoraDlg::StartupDone() {
    if (ready_ || shutDown_) return;
    // The window first: with the splash gone and nothing shown, the
    // application would count its last window as closed.
    if (windowSettings_.maximized) {
        showMaximized();
    } else {
        show();
    }
    if (splash_) splash_->HideAndDestroy();
    ready_ = true;
    controller_->SetReady();
    // Nothing would be kept (settings, history, download record): said once, now.
    const std::u16string folder = Utf8ToWide(controller_->programFolder().string());
    if (const Result<void> usable = CreateFolderPath(folder); !usable) {
        ShowMessage(ToQString(u"无法写入程序文件夹：" + folder + u"（" + FailureText(usable.failure()) +
                              u"）。设置、历史和下载记录都不会被保存。"));
    }
    // The user's settings file is there but could not be read: say so once.
    const SettingsStore& store = controller_->settingsStore();
    if (store.problem()) ShowMessage(ToQString(store.ProblemText()));
    emit stateChanged();
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
    // controller keeps it); the site box only changes what is shown. The
    // address box takes the sub-type box's room while it is hidden.
    if (site_->currentIndex() != kQqFamilySite) {
        subType_->hide();
    } else {
        subType_->clear();
        for (const char16_t* text : QqAlbumKindTexts()) subType_->addItem(QString::fromUtf16(text));
        subType_->show();
        subType_->setCurrentIndex(kQzoneAlbum);
    }
}

CSplashScreenEx* CLumoraDlg::splash() const { return splash_; }

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
    if (!starting) {
        controller_->StopGetAlbums();
        return;
    }
    if (controller_->GetAlbums({ToU16(address_->currentText()), site_->currentIndex()})) {
        listedAddress_ = std::u16string(TrimBlanks(ToU16(address_->currentText()), u" \t\r\n\u3000\u00A0"));
        Follow(getList_, false);
    }
}

void CLumoraDlg::OnDownload() {
    if (shutDown_) return;
    const bool starting = controller_->session().downloadState == DOWN_IDLE;
    if (starting && downList_.busy) {
        downList_.clickPending = true;
        return;
    }
    if (!starting) {
        controller_->StopDownload();
        return;
    }
    const std::vector<std::size_t> picked = grid_->PickedAlbumPositions();
    pickedAlbums_ = picked.size();
    // The run gets the box's folder; what it gets is what the user sees.
    const QString folder = savePath_->currentText();
    const QString absolute = AbsoluteSaveFolder(folder);
    if (absolute != folder) savePath_->setEditText(absolute);
    KeepSaveFolder(absolute);
    controller_->Download(controller_->OrderFor(picked, ToU16(absolute)));
    Follow(downList_, true);
}

void CLumoraDlg::Follow(RunWatch& run, bool download) {
    run.busy = true;
    // Whatever the last run left in the bar is not this run's.
    progress_->setRange(0, 1);
    progress_->setValue(0);
    runProgressLine_->clear();
    if (!download) return;
    progressTimer_->start();
}

void CLumoraDlg::RunFinished(bool download) {
    if (shutDown_) return;
    RunWatch& run = download ? downList_ : getList_;
    run.busy = false;
    const bool again = run.clickPending;
    run.clickPending = false;
    if (download) {
        progressTimer_->stop();
        UpdateProgress();
        ShowDownloadOutcome();
        NoticeLongRunEnded();
    }
    if (again) download ? OnDownload() : OnGetAlbums();
    emit stateChanged();
}

void CLumoraDlg::NoticeLongRunEnded() {
    // Someone who went elsewhere during a long run learns that it ended, and how.
    if (runProgress_.Elapsed() <= kNoticeAfterSeconds || isActiveWindow()) return;
    Notice().Show(QStringLiteral("Lumora：") + mainStatus_->text(),
                  progressStatus_->text() + QLatin1Char('\n') + runProgressLine_->text());
}

CDesktopNotice& CLumoraDlg::Notice() {
    if (!notice_) {
        notice_ = new CDesktopNotice(QDBusConnection::sessionBus(), this);
        connect(notice_, &CDesktopNotice::clicked, this, [this] {
            if (isMinimized()) showNormal();
            raise();
            activateWindow();
        });
    }
    return *notice_;
}

void CLumoraDlg::ShowDownloadOutcome() {
    const DownloadReport report = controller_->lastReport();
    if (mainStatus_->text() == QStringLiteral("下载完毕")) mainStatus_->setText(DownloadDoneText(report));
    const std::optional<OutcomeLine> line = DownloadOutcomeLine(report, pickedAlbums_);
    if (!line) return;
    progressStatus_->setText(line->text);
    progressStatus_->SetLink(line->link);
}

void CLumoraDlg::ShowFailures() {
    if (shutDown_ || busy()) return;
    CDlgFailures dialog(controller_->LastFailures(), this);
    dialog.RestoreState(windowSettings_.failures);
    const int answer = dialog.exec();
    if (const ListWindowState state = dialog.State(); state != windowSettings_.failures) {
        windowSettings_.failures = state;
        SaveWindowSettings();
    }
    if (answer == CDlgFailures::kRetry) RetryFailures();
}

void CLumoraDlg::RetryFailures() {
    const SiteSession& session = controller_->session();
    // The controller starts nothing while a run goes; nothing is watched then.
    if (shutDown_ || busy() || session.downloadState != DOWN_IDLE || session.getAlbumsState != GET_IDLE) return;
    controller_->RetryFailures(controller_->OrderForRetry());
    pickedAlbums_ = 0;  // a retry takes its albums from the failures
    Follow(downList_, true);
}

void CLumoraDlg::UpdateProgress() {
    const int total = static_cast<int>(controller_->jobSize());
    const int done = controller_->completedCount();
    progress_->setRange(0, std::max(total, 1));
    progress_->setValue(std::clamp(done, 0, std::max(total, 0)));
    runProgressLine_->setText(ToQString(RunProgressText(runProgress_.Figures())));
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
    emit stateChanged();
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
    KeepSaveFolder(folder);
    controller_->OfferSaveFolderToHistory(ToU16(folder));
}

void CLumoraDlg::KeepSaveFolder(const QString& folder) {
    if (ToU16(folder) == windowSettings_.saveFolder) return;
    windowSettings_.saveFolder = ToU16(folder);
    SaveWindowSettings();
}

void CLumoraDlg::SaveWindowSettings() {
    const Result<void> saved = lumora::SaveWindowSettings(controller_->programFolder(), windowSettings_);
    if (saved || windowSaveFailed_) return;
    windowSaveFailed_ = true;
    const std::filesystem::path file = controller_->programFolder() / kAppSettingsFileName;
    ShowMessage(
        ToQString(u"设置保存失败：" + Utf8ToWide(file.string()) + u"（" + FailureText(saved.failure()) + u"）"));
}

void CLumoraDlg::OpenSaveFolder() {
    const std::u16string saveFolder = ToU16(AbsoluteSaveFolder(savePath_->currentText()));
    if (const std::u16string album = currentAlbum_.folder(); !album.empty()) {
        ShowFolder(ToQString(album));  // the album being downloaded
    } else if (controller_->downloadBusy()) {
        // The member's folder of the running download; its albums are inside.
        const SiteSession& session = controller_->session();
        ShowFolder(ToQString(WithTrailingSlash(saveFolder) + session.spaceName + session.subFolderName));
    } else if (!saveFolder.empty()) {
        ShowFolder(ToQString(saveFolder));
    }
}

void CLumoraDlg::ShowFolder(const QString& folder) { desktop_.OpenFolder(this, folder); }

void CLumoraDlg::DropPath(const QString& path) {
    QString folder = path.left(kDroppedPathLimit);
    const qsizetype lastDot = folder.lastIndexOf(QLatin1Char('.'));
    const qsizetype lastSlash = folder.lastIndexOf(QLatin1Char('/'));
    // A dropped file stands for its folder. What is there says which it is
    // ("v1.2" may well be a folder); only for a name that is not there does
    // a "." in its last part make it a file.
    const QFileInfo dropped(folder);
    const bool isFile = dropped.exists() ? !dropped.isDir() : lastDot > lastSlash;
    if (isFile) {
        if (lastSlash < 0) return;
        folder.truncate(lastSlash);
    }
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    savePath_->setEditText(folder);
    KeepSaveFolder(folder);
    controller_->OfferSaveFolderToHistory(ToU16(folder));
}

void CLumoraDlg::DropAddress(const QString& address) {
    address_->setEditText(address.left(kDroppedPathLimit));
    RecogniseAddress();
}

namespace {

// The web address a drag carries (a link, or text that is one), else empty.
QString DraggedAddress(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    QString text = urls.isEmpty() ? data->text().trimmed() : urls.first().toString();
    return HasWebScheme(ToU16(text)) ? text : QString();
}

}  // namespace

void CLumoraDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() || !DraggedAddress(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CLumoraDlg::dropEvent(QDropEvent* event) {
    if (const QString address = DraggedAddress(event->mimeData()); !address.isEmpty()) {
        DropAddress(address);
        event->acceptProposedAction();
        return;
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    DropPath(urls.first().toLocalFile());
    event->acceptProposedAction();
}

bool CLumoraDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == download_ && event->type() == QEvent::EnabledChange && addToQueue_) {
        addToQueue_->setEnabled(download_->isEnabled());
    }
    // The field would insert a dropped address into the text it holds.
    if (watched == address_->lineEdit() && (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString address = DraggedAddress(drop->mimeData());
        if (address.isEmpty()) return false;
        if (event->type() == QEvent::Drop) DropAddress(address);
        drop->acceptProposedAction();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Shut-down ----

void CLumoraDlg::closeEvent(QCloseEvent* event) {
    BeginShutdown();
    FinishShutdown();
    QMainWindow::closeEvent(event);
}

void CLumoraDlg::BeginShutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (ready_) {
        // What was typed into the save folder box is kept, also without a download.
        // (The box's text at start is not kept for itself: the history may have a newer folder next time.)
        if (savePath_->currentText() != startSaveFolder_ || windowSettings_.saveFolder != startKeptFolder_) {
            windowSettings_.saveFolder = ToU16(savePath_->currentText());
        }
        windowSettings_.geometry = NormalGeometry(this);
        windowSettings_.maximized = isMaximized();
        windowSettings_.columnWidths = grid_->ListColumnWidths();
        // Nobody is left to read a message now; a folder that takes nothing was said at start.
        windowSaveFailed_ = true;
        SaveWindowSettings();
    }
    hide();
    if (background_) {
        background_->CancelWaiting();
        background_->Stop();
    }
    if (splash_) splash_->close();
    redisplayTimer_->stop();
    progressTimer_->stop();
    // Workers waiting for this thread are let go, and none waits any more;
    // so the runs can end while this thread waits for them.
    bridge_->Close();
    controller_->StopRuns();
}

void CLumoraDlg::FinishShutdown() {
    if (background_) background_->Wait();
    controller_->WaitForGetAlbums();
    controller_->WaitForDownload();
    // Their RunFinished calls are not waited for: nothing follows the runs now.
    getList_ = {};
    downList_ = {};
    if (startupWorker_.joinable()) startupWorker_.join();
}

bool CLumoraDlg::Idle() const { return ready_ && !busy() && redisplayState_ == 0; }

bool CLumoraDlg::WaitUntilIdle(int timeoutMs) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &CLumoraDlg::stateChanged, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    while (!Idle() && deadline.isActive()) loop.exec();
    return Idle();
}

// ---- What the bridge does on the GUI thread ----

void CLumoraDlg::SetControlText(int controlId, const QString& text) {
    QWidget* widget = control(controlId);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        // Any text of the controller's is plain.
        if (label == progressStatus_) progressStatus_->SetLink(false);
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(text);
    }
}

void CLumoraDlg::ShowMessage(const QString& text) { desktop_.Message(this, text, CDesktop::ProgramCaption()); }

void CLumoraDlg::ResetAlbumGrid() {
    // A new list: whatever the redisplay was showing is gone.
    if (redisplayState_ != 0) FinishRedisplay();
    grid_->ClearThumbnails();
    grid_->ResetGrid(pictureMode_);
    // Until albums arrive there is nothing to count or to download.
    albumGroup_->setTitle(QStringLiteral("相册列表"));
    download_->setEnabled(false);
}
