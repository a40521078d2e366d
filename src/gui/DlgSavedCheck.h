// "检查已下载的相册": the report of a check of the saved pictures, a line per
// problem and the summary, with "修复" (fetch those pictures again) and
// "关闭". Repairing is the window's job: the dialog only closes with kRepair.
#pragma once

#include <QDialog>

#include "app/SavedPictureCheck.h"

class QPlainTextEdit;

class CDlgSavedCheck : public QDialog {
    Q_OBJECT

public:
    // The result of exec() when "修复" was pressed.
    static constexpr int kRepair = 2;

    explicit CDlgSavedCheck(const lumora::SavedPictureReport& report, QWidget* parent = nullptr);

    QString ReportText() const;

private:
    QPlainTextEdit* text_ = nullptr;
};
