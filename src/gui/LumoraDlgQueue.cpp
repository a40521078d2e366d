// The main window's part in the queue and in following: "加入队列",
// "关注此空间", the links to the two list windows, and the end of a
// background run.
#include <QApplication>
#include <QDBusConnection>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "app/Orders.h"
#include "base/FailureText.h"
#include "base/Trim.h"
#include "gui/AlbumGrid.h"
#include "gui/BackgroundRun.h"
#include "gui/ComboBox2.h"
#include "gui/DesktopNotice.h"
#include "gui/DlgFollows.h"
#include "gui/DlgQueue.h"
#include "gui/GuiText.h"
#include "gui/LumoraDlg.h"
#include "gui/StatusLine.h"
#include "gui/WindowPlace.h"
#include "web/Address.h"

using namespace lumora;

namespace {

std::u16string WithoutTrailingSlash(std::u16string name) {
    while (!name.empty() && name.back() == u'/') name.pop_back();
    return name;
}

}  // namespace

void CLumoraDlg::BuildQueueControls(QWidget* page, QHBoxLayout* addressRow, QHBoxLayout* folderRow,
                                    QHBoxLayout* toolRow) {
    background_ = std::make_unique<CBackgroundRun>(controller_->programFolder());
    connect(background_.get(), &CBackgroundRun::finished, this,
            [this](bool sync, const QString& summary, bool) { BackgroundRunEnded(sync, summary); });
    addToQueue_ = new QPushButton(QStringLiteral("加入队列"), page);
    addToQueue_->setObjectName(QStringLiteral("addToQueue"));
    addToQueue_->setToolTip(QStringLiteral("把选中的相册放进下载队列，稍后在“下载队列”中开始；重启后队列仍在"));
    addToQueue_->setEnabled(false);
    followSpace_ = new QPushButton(QStringLiteral("关注此空间"), page);
    followSpace_->setObjectName(QStringLiteral("followSpace"));
    followSpace_->setToolTip(QStringLiteral("关注地址栏中的空间：“检查更新”时只下载新相册和新图片"));
    for (QPushButton* button : {addToQueue_, followSpace_}) button->setMinimumSize(download_->minimumSize());
    addressRow->addWidget(addToQueue_);
    folderRow->addWidget(followSpace_);
    queueLink_ = new CLinkLabel(QStringLiteral("下载队列"), page);
    queueLink_->setObjectName(QStringLiteral("queueLink"));
    followsLink_ = new CLinkLabel(QStringLiteral("关注的空间"), page);
    followsLink_->setObjectName(QStringLiteral("followsLink"));
    toolRow->insertWidget(5, queueLink_);
    toolRow->insertWidget(6, followsLink_);

    // "加入队列" can be clicked exactly when "下载" can.
    download_->installEventFilter(this);
    connect(addToQueue_, &QPushButton::clicked, this, [this] { AddPickedToQueue(); });
    connect(followSpace_, &QPushButton::clicked, this, [this] { FollowThisSpace(); });
    connect(queueLink_, &QLabel::linkActivated, this, [this] { OpenQueue(); });
    connect(followsLink_, &QLabel::linkActivated, this, [this] { OpenFollows(); });
}

std::u16string CLumoraDlg::SpaceAddress() const {
    // The member listed last, unless the box holds another one now.
    const std::u16string typed(TrimBlanks(ToU16(address_->currentText()), u" \t\r\n\u3000\u00A0"));
    return listedAddress_.empty() || (!typed.empty() && typed != listedAddress_) ? typed : listedAddress_;
}

void CLumoraDlg::AddPickedToQueue() {
    const std::vector<std::size_t> picked = grid_->PickedAlbumPositions();
    if (picked.empty() || listedAddress_.empty()) {
        progressStatus_->SetLink(false);
        progressStatus_->setText(QStringLiteral("请先获取相册并选中要加入队列的相册"));
        return;
    }
    if (savePath_->currentText().trimmed().isEmpty()) {
        progressStatus_->SetLink(false);
        progressStatus_->setText(QStringLiteral("请先设置保存路径"));
        return;
    }
    QueuedOrder order;
    order.address = listedAddress_;
    order.spaceName = WithoutTrailingSlash(controller_->session().spaceName);
    order.saveFolder = ToU16(savePath_->currentText());
    for (std::size_t position : picked) {
        if (std::optional<ST_PERLISTRECORD> album = controller_->session().albums.at(position)) {
            order.albums.push_back({album->address, album->title});
        }
    }
    auto queue = OrderQueue::Open(controller_->programFolder() / kArchiveFileName);
    Result<std::int64_t> added = queue ? (*queue)->Add(order) : Result<std::int64_t>(queue.failure());
    progressStatus_->SetLink(false);
    if (!added) {
        progressStatus_->setText(QStringLiteral("无法加入队列：") + ToQString(FailureText(added.failure())));
        return;
    }
    progressStatus_->setText(
        QStringLiteral("已加入队列：%1个相册（第%2号订单），在“下载队列”中开始").arg(order.albums.size()).arg(*added));
    if (queueDialog_) queueDialog_->Refresh();
}

void CLumoraDlg::FollowThisSpace() {
    const std::u16string address = SpaceAddress();
    progressStatus_->SetLink(false);
    if (!HasWebScheme(address)) {
        progressStatus_->setText(QStringLiteral("相册地址无效：请输入以 http:// 或 https:// 开头的网址"));
        return;
    }
    if (savePath_->currentText().trimmed().isEmpty()) {
        progressStatus_->setText(QStringLiteral("请先设置保存路径"));
        return;
    }
    auto follows = FollowList::Open(controller_->programFolder() / kArchiveFileName);
    Result<bool> added =
        follows ? (*follows)->Follow(address, ToU16(savePath_->currentText())) : Result<bool>(follows.failure());
    if (!added) {
        progressStatus_->setText(QStringLiteral("无法关注：") + ToQString(FailureText(added.failure())));
        return;
    }
    progressStatus_->setText((*added ? QStringLiteral("已关注：") : QStringLiteral("已关注，保存文件夹已更改：")) +
                             ToQString(address));
    if (followsDialog_) followsDialog_->Refresh();
}

void CLumoraDlg::ShowListWindow(QDialog* dialog, QTableWidget* table, ListWindowState WindowSettings::*kept,
                                bool made) {
    if (made) {
        RestoreListWindow(dialog, table, windowSettings_.*kept, 2);
        connect(dialog, &QDialog::finished, this, [this, dialog, table, kept] {
            windowSettings_.*kept = ListWindowStateOf(dialog, table);
            SaveWindowSettings();
        });
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void CLumoraDlg::OpenQueue() {
    const bool made = !queueDialog_;
    if (made) queueDialog_ = new CDlgQueue(controller_->programFolder(), *background_, desktop_, this);
    queueDialog_->Refresh();
    ShowListWindow(queueDialog_, queueDialog_->table(), &WindowSettings::queue, made);
}

void CLumoraDlg::OpenFollows() {
    const bool made = !followsDialog_;
    if (made) followsDialog_ = new CDlgFollows(controller_->programFolder(), *background_, desktop_, this);
    followsDialog_->Refresh();
    ShowListWindow(followsDialog_, followsDialog_->table(), &WindowSettings::follows, made);
}

void CLumoraDlg::BackgroundRunEnded(bool sync, const QString& summary) {
    if (shutDown_) return;
    // Someone elsewhere learns what the check or the queue brought.
    const QWidget* active = QApplication::activeWindow();
    if (active && (active == this || active->parentWidget() == this)) return;
    Notice().Show(sync ? QStringLiteral("Lumora：检查更新完毕") : QStringLiteral("Lumora：下载队列已结束"), summary);
}
