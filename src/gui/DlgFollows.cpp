#include "gui/DlgFollows.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

#include "app/QueueRunner.h"
#include "base/FailureText.h"
#include "download/DownloadArchive.h"
#include "gui/BackgroundRun.h"
#include "gui/Desktop.h"
#include "gui/DialogParts.h"
#include "gui/GuiText.h"

namespace {

constexpr int kFolderColumn = 2;

QString SyncTime(std::int64_t at) {
    if (at == 0) return QStringLiteral("从未检查");
    return QDateTime::fromSecsSinceEpoch(at).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

QString FindingText(const lumora::FollowedMember& member) {
    return member.lastSyncAt == 0 ? QString() : ToQString(lumora::SyncFindingText(member.lastFinding));
}

CDlgFollows::CDlgFollows(const std::filesystem::path& programFolder, CBackgroundRun& run, CDesktop& desktop,
                         QWidget* parent)
    : QDialog(parent), run_(run), desktop_(desktop) {
    setWindowTitle(QStringLiteral("关注的空间"));
    if (auto opened = lumora::FollowList::Open(programFolder / lumora::kArchiveFileName)) {
        follows_ = std::move(*opened);
    }
    const QStringList headers = {QStringLiteral("地址"), QStringLiteral("空间"), QStringLiteral("保存到"),
                                 QStringLiteral("上次检查"), QStringLiteral("结果")};
    table_ = MakeRowTable(this, headers, QStringLiteral("followTable"), kFolderColumn);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (auto [column, width] : {std::pair{0, 220}, {1, 110}, {3, 125}, {4, 240}})
        table_->setColumnWidth(column, width);

    check_ = new QPushButton(QStringLiteral("检查更新"), this);
    check_->setObjectName(QStringLiteral("followCheck"));
    check_->setToolTip(QStringLiteral("下载选中的空间（未选中时为全部）的新相册和已知相册中的新图片"));
    unfollow_ = new QPushButton(QStringLiteral("取消关注"), this);
    unfollow_->setObjectName(QStringLiteral("followRemove"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("followStatus"));
    for (QPushButton* button : {check_, unfollow_, close}) button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(check_);
    buttons->addWidget(unfollow_);
    buttons->addWidget(status_, 1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(860, 320);

    connect(check_, &QPushButton::clicked, this, [this] { CheckForUpdates(); });
    connect(unfollow_, &QPushButton::clicked, this, [this] { UnfollowSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(&run_, &CBackgroundRun::changed, this, [this] { Refresh(); });
    connect(&run_, &CBackgroundRun::status, this, [this](const QString& text) {
        if (run_.kind() == CBackgroundRun::Kind::Sync || run_.waiting()) status_->setText(text);
    });
    connect(&run_, &CBackgroundRun::finished, this, [this](bool sync, const QString& summary, bool) {
        if (sync) status_->setText(summary);
        Refresh();
    });
    if (!follows_) status_->setText(QStringLiteral("下载记录打不开：关注列表无法读取"));
    Refresh();
}

CDlgFollows::~CDlgFollows() = default;

void CDlgFollows::Refresh() {
    if (!follows_) return;
    auto members = follows_->Members();
    if (!members) return;
    std::set<QString> selected;
    for (const lumora::FollowedMember& member : Selected()) selected.insert(ToQString(member.address));
    table_->setRowCount(static_cast<int>(members->size()));
    for (int row = 0; row < static_cast<int>(members->size()); ++row) {
        const lumora::FollowedMember& m = (*members)[row];
        const QStringList cells = {ToQString(m.address), ToQString(m.spaceName), ToQString(m.saveFolder),
                                   SyncTime(m.lastSyncAt), FindingText(m)};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            table_->setItem(row, column, item);
        }
    }
    shown_ = std::move(*members);
    table_->clearSelection();
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (selected.contains(table_->item(row, 0)->text())) {
            table_->selectionModel()->select(table_->model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    UpdateButtons();
}

std::vector<lumora::FollowedMember> CDlgFollows::Selected() const {
    std::vector<lumora::FollowedMember> picked;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (index.row() < static_cast<int>(shown_.size())) picked.push_back(shown_[index.row()]);
    }
    return picked;
}

void CDlgFollows::UpdateButtons() {
    check_->setEnabled(!run_.running() && !run_.waiting() && !shown_.empty());
    unfollow_->setEnabled(!Selected().empty());
}

void CDlgFollows::CheckForUpdates() {
    if (run_.running()) return;
    StartOrOfferToWait(run_, desktop_, this, CBackgroundRun::Kind::Sync, Selected());
    UpdateButtons();
}

void CDlgFollows::UnfollowSelected() {
    if (!follows_) return;
    for (const lumora::FollowedMember& member : Selected()) {
        if (auto removed = follows_->Unfollow(member.address); !removed) {
            status_->setText(ToQString(lumora::FailureText(removed.failure())));
        }
    }
    Refresh();
}
