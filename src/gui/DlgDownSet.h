// The download-parameter dialog: threads, time-out and the picture size
// window of one site. It edits the record it is given; the caller decides
// what to keep. Edits are named "control1002" (threads), "control1003"
// (time-out), "control1000" (minimum), "control1001" (maximum), the OK
// button "control1023".
#pragma once

#include <QDialog>

#include "settings/SettingsBlock.h"

class CDesktop;
class QLineEdit;

class CDlgDownSet : public QDialog {
    Q_OBJECT

public:
    CDlgDownSet(lumora::DownloadParams& params, CDesktop& desktop, QWidget* parent = nullptr);

    // "确 定": stores the four numbers, then closes with OK if they pass
    // the check, or says "参数错误" and stays open.
    void OnOk();

private:
    lumora::DownloadParams& params_;
    CDesktop& desktop_;
    QLineEdit* threads_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QLineEdit* minimum_ = nullptr;
    QLineEdit* maximum_ = nullptr;
};
