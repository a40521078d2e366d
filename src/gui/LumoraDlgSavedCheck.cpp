// The main window's "检查已下载的相册": every picture the archive knows is
// read on a thread of its own, with the count in the status line, and the
// report offers to fetch again what is missing or damaged.
#include <QApplication>
#include <QPointer>

#include <thread>

#include "gui/DlgSavedCheck.h"
#include "gui/GuiText.h"
#include "gui/LumoraDlg.h"
#include "gui/StatusLine.h"

using namespace lumora;

void CLumoraDlg::CheckSavedAlbums() {
    if (shutDown_ || savedCheckStop_) return;  // one check at a time
    savedCheckStop_ = std::make_shared<std::atomic<bool>>(false);
    progressStatus_->SetLink(false);
    progressStatus_->setText(QStringLiteral("正在检查已下载的相册……"));
    std::thread([self = QPointer<CLumoraDlg>(this), folder = controller_->programFolder(), stop = savedCheckStop_] {
        SavedPictureReport report = CheckSavedPictures(
            folder, {},
            [self](std::size_t checked, std::size_t total) {
                const QString text = ToQString(SavedCheckProgressText(checked, total));
                QMetaObject::invokeMethod(
                    qApp,
                    [self, text] {
                        if (self && !self->shutDown_) self->progressStatus_->setText(text);
                    },
                    Qt::QueuedConnection);
            },
            stop.get());
        QMetaObject::invokeMethod(
            qApp,
            [self, report = std::move(report)] {
                if (self) self->ShowSavedCheck(report);
            },
            Qt::QueuedConnection);
    }).detach();
}

void CLumoraDlg::ShowSavedCheck(const SavedPictureReport& report) {
    savedCheckStop_.reset();
    if (shutDown_) return;
    progressStatus_->setText(ToQString(SavedPictureSummary(report)));
    CDlgSavedCheck dialog(report, this);
    if (dialog.exec() != CDlgSavedCheck::kRepair) return;
    const SiteSession& session = controller_->session();
    // The controller starts nothing while a run goes.
    if (shutDown_ || busy() || session.downloadState != DOWN_IDLE || session.getAlbumsState != GET_IDLE) {
        ShowMessage(QStringLiteral("请等当前的获取或下载结束后再修复"));
        return;
    }
    controller_->RepairPictures(controller_->OrderForRepair(RepairRows(report)));
    pickedAlbums_ = 0;  // a repair takes its albums from the report
    Follow(downList_, true);
}
