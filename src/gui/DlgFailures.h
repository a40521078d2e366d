// "失败的图片": the last run's failed pictures, one row each (album, file,
// address, reason), with "重试失败的图片", "复制列表" and "关闭". Trying
// again is the window's job: the dialog only closes with kRetry.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

#include "download/DownloadArchive.h"
#include "settings/WindowSettings.h"

class QLabel;
class QTableWidget;

class CDlgFailures : public QDialog {
    Q_OBJECT

public:
    // The result of exec() when "重试失败的图片" was pressed.
    static constexpr int kRetry = 2;

    explicit CDlgFailures(const std::vector<lumora::FailedPicture>& failures, QWidget* parent = nullptr);

    // The rows as tab-separated lines, one per picture.
    QString ListText() const;
    // "复制列表": puts ListText() onto the clipboard and says "已复制N行".
    void CopyList();

    // The place, size and column widths kept from the last time it was open.
    void RestoreState(const lumora::ListWindowState& state);
    lumora::ListWindowState State() const;

private:
    std::vector<QStringList> rows_;
    QTableWidget* table_ = nullptr;
    QLabel* copied_ = nullptr;
};
