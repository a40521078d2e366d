#include "gui/DlgQueue.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/RunnerLock.h"
#include "base/FailureText.h"
#include "gui/BackgroundRun.h"
#include "gui/Desktop.h"
#include "gui/DialogParts.h"
#include "gui/DlgFailures.h"
#include "gui/GuiText.h"

namespace {

constexpr int kFolderColumn = 2;

bool SameRow(const lumora::QueuedOrder& a, const lumora::QueuedOrder& b) {
    return a.id == b.id && a.spaceName == b.spaceName && a.albums.size() == b.albums.size() &&
           a.saveFolder == b.saveFolder && a.state == b.state && a.total == b.total && a.done == b.done &&
           a.failed == b.failed && a.note == b.note;
}

QStringList Cells(const lumora::QueuedOrder& order, bool runnerActive) {
    // A kill leaves an order "下载中" until the next run takes it again.
    lumora::OrderState state = order.state;
    if (state == lumora::OrderState::Running && !runnerActive) state = lumora::OrderState::Waiting;
    return {order.spaceName.empty() ? ToQString(order.address) : ToQString(order.spaceName),
            order.albums.empty() ? QStringLiteral("全部相册") : QStringLiteral("%1个相册").arg(order.albums.size()),
            ToQString(order.saveFolder),
            QString::fromUtf16(lumora::OrderStateText(state)),
            QStringLiteral("%1/%2").arg(order.done).arg(order.total),
            QString::number(order.failed),
            ToQString(order.note)};
}

}  // namespace

CDlgQueue::CDlgQueue(const std::filesystem::path& programFolder, CBackgroundRun& run, CDesktop& desktop,
                     QWidget* parent)
    : QDialog(parent), programFolder_(programFolder), run_(run), desktop_(desktop) {
    setWindowTitle(QStringLiteral("下载队列"));
    if (auto opened = lumora::OrderQueue::Open(programFolder / lumora::kArchiveFileName)) {
        queue_ = std::move(*opened);
    }
    const QStringList headers = {QStringLiteral("空间"), QStringLiteral("相册"),      QStringLiteral("保存到"),
                                 QStringLiteral("状态"), QStringLiteral("完成/总数"), QStringLiteral("失败"),
                                 QStringLiteral("备注")};
    table_ = MakeRowTable(this, headers, QStringLiteral("queueTable"), kFolderColumn);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (auto [column, width] : {std::pair{0, 140}, {1, 80}, {3, 60}, {4, 80}, {5, 50}, {6, 200}}) {
        table_->setColumnWidth(column, width);
    }

    startPause_ = new QPushButton(QStringLiteral("开始"), this);
    startPause_->setObjectName(QStringLiteral("queueStart"));
    remove_ = new QPushButton(QStringLiteral("移除"), this);
    remove_->setObjectName(QStringLiteral("queueRemove"));
    up_ = new QPushButton(QStringLiteral("上移"), this);
    up_->setObjectName(QStringLiteral("queueUp"));
    down_ = new QPushButton(QStringLiteral("下移"), this);
    down_->setObjectName(QStringLiteral("queueDown"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("queueStatus"));
    for (QPushButton* button : {startPause_, remove_, up_, down_, close}) button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {startPause_, remove_, up_, down_}) buttons->addWidget(button);
    buttons->addWidget(status_, 1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(860, 360);

    connect(startPause_, &QPushButton::clicked, this, [this] { StartOrPause(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(up_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { ShowFailuresOf(row); });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(&run_, &CBackgroundRun::changed, this, [this] { Refresh(); });
    connect(&run_, &CBackgroundRun::status, this, [this](const QString& text) {
        if (run_.kind() == CBackgroundRun::Kind::Queue || run_.waiting()) Say(text);
    });
    connect(&run_, &CBackgroundRun::finished, this, [this](bool sync, const QString& summary, bool) {
        if (!sync) Say(summary);
        Refresh();
    });
    // Another program may run the queue: its rows are followed too.
    refresh_ = new QTimer(this);
    refresh_->setInterval(1000);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (isVisible()) Refresh();
    });
    refresh_->start();
    if (!queue_) Say(QStringLiteral("下载记录打不开：队列无法读取"));
    Refresh();
}

CDlgQueue::~CDlgQueue() = default;

void CDlgQueue::Say(const QString& text) { status_->setText(text); }

void CDlgQueue::Refresh() {
    if (!queue_) return;
    auto orders = queue_->Orders();
    if (!orders) return;  // busy elsewhere for longer than the wait: the next tick reads it
    const bool runnerActive = run_.running() || lumora::RunnerLock::IsHeld(programFolder_);
    const std::int64_t selected = SelectedId();
    const bool sameIds =
        orders->size() == shown_.size() && std::equal(orders->begin(), orders->end(), shown_.begin(),
                                                      [](const auto& a, const auto& b) { return a.id == b.id; });
    if (!sameIds) table_->setRowCount(static_cast<int>(orders->size()));
    for (int row = 0; row < static_cast<int>(orders->size()); ++row) {
        const lumora::QueuedOrder& order = (*orders)[row];
        if (sameIds && SameRow(order, shown_[row])) continue;
        const QStringList cells = Cells(order, runnerActive);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            item->setData(Qt::UserRole, static_cast<qlonglong>(order.id));
            table_->setItem(row, column, item);
        }
    }
    shown_ = std::move(*orders);
    if (!sameIds) SelectId(selected);
    UpdateButtons();
}

std::vector<std::int64_t> CDlgQueue::RowIds() const {
    std::vector<std::int64_t> ids;
    for (const lumora::QueuedOrder& order : shown_) ids.push_back(order.id);
    return ids;
}

std::int64_t CDlgQueue::SelectedId() const {
    const QList<QTableWidgetItem*> picked = table_->selectedItems();
    return picked.isEmpty() ? 0 : picked.front()->data(Qt::UserRole).toLongLong();
}

void CDlgQueue::SelectId(std::int64_t id) {
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (table_->item(row, 0) && table_->item(row, 0)->data(Qt::UserRole).toLongLong() == id) {
            table_->selectRow(row);
            return;
        }
    }
    table_->clearSelection();
}

void CDlgQueue::UpdateButtons() {
    const bool queueRunning = run_.running() && run_.kind() == CBackgroundRun::Kind::Queue;
    startPause_->setText(queueRunning ? QStringLiteral("暂停") : QStringLiteral("开始"));
    startPause_->setEnabled(queueRunning || (!run_.running() && !run_.waiting()));
    const bool picked = SelectedId() != 0;
    for (QPushButton* button : {remove_, up_, down_}) button->setEnabled(picked);
}

void CDlgQueue::StartOrPause() {
    if (run_.running()) {
        if (run_.kind() == CBackgroundRun::Kind::Queue) run_.Pause();
        return;
    }
    StartOrOfferToWait(run_, desktop_, this, CBackgroundRun::Kind::Queue);
    UpdateButtons();
}

void CDlgQueue::RemoveSelected() {
    const std::int64_t id = SelectedId();
    if (!queue_ || id == 0) return;
    if (auto removed = queue_->Remove(id); !removed) Say(ToQString(lumora::FailureText(removed.failure())));
    Refresh();
}

void CDlgQueue::MoveSelected(int step) {
    const std::int64_t id = SelectedId();
    if (!queue_ || id == 0) return;
    if (auto moved = queue_->Move(id, step); !moved) Say(ToQString(lumora::FailureText(moved.failure())));
    Refresh();
    SelectId(id);
}

void CDlgQueue::ShowFailuresOf(int row) {
    if (!queue_ || row < 0 || row >= static_cast<int>(shown_.size())) return;
    lumora::QueuedOrder order = shown_[row];
    CDlgFailures failures(queue_->Failures(order.id), this);
    if (failures.exec() != CDlgFailures::kRetry) return;
    // The order runs again: what it saved is skipped, so only its failures are fetched.
    order.state = lumora::OrderState::Waiting;
    if (auto kept = queue_->Update(order); !kept) return Say(ToQString(lumora::FailureText(kept.failure())));
    Refresh();
    if (!run_.running()) StartOrOfferToWait(run_, desktop_, this, CBackgroundRun::Kind::Queue);
}
