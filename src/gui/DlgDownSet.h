// The download-parameter dialog: threads, time-out and the picture size
// window of one site, the retry count of transient failures, the bandwidth
// limit and the pause between requests to one host. It edits the values it
// is given; the caller decides what to keep. Edits are named "control1002"
// (threads), "control1003" (time-out), "control1000" (minimum),
// "control1001" (maximum), "control1004" (retries), "control1005" (limit),
// "control1006" (pause), the OK button "control1023".
#pragma once

#include <QDialog>

#include "settings/AppSettings.h"
#include "settings/SettingsBlock.h"

class CDesktop;
class QLineEdit;

class CDlgDownSet : public QDialog {
    Q_OBJECT

public:
    // Edits the retries, the limit and the pause of `app`.
    CDlgDownSet(lumora::DownloadParams& params, lumora::AppSettings& app, CDesktop& desktop, QWidget* parent = nullptr);

    // "确 定": when the four numbers and the other three pass the check,
    // stores them and closes with OK; otherwise says "参数错误" with the
    // field that is wrong, changes nothing and stays open.
    void OnOk();

private:
    lumora::DownloadParams& params_;
    lumora::AppSettings& app_;
    CDesktop& desktop_;
    QLineEdit* threads_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QLineEdit* minimum_ = nullptr;
    QLineEdit* maximum_ = nullptr;
    QLineEdit* retryCount_ = nullptr;
    QLineEdit* limitRate_ = nullptr;
    QLineEdit* requestDelay_ = nullptr;
};
