#include "gui/DlgDownSet.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/Desktop.h"
#include "gui/DialogParts.h"
#include "gui/GuiText.h"

CDlgDownSet::CDlgDownSet(lumora::DownloadParams& params, lumora::AppSettings& app, CDesktop& desktop, QWidget* parent)
    : QDialog(parent), params_(params), app_(app), desktop_(desktop) {
    setWindowTitle(QStringLiteral("设置"));
    auto* group = new QGroupBox(QStringLiteral("下载参数设置"), this);
    auto* grid = new QGridLayout(group);
    threads_ = AddLabelledEdit(grid, 0, QStringLiteral("线程数(1~15)："), 1002, params.threadCount);
    timeout_ = AddLabelledEdit(grid, 1, QStringLiteral("超时(S, >=10)："), 1003, params.timeoutSeconds);
    minimum_ = AddLabelledEdit(grid, 2, QStringLiteral("图片最小值(K)："), 1000, params.minKB);
    maximum_ = AddLabelledEdit(grid, 3, QStringLiteral("图片最大值(K)："), 1001, params.maxKB);
    retryCount_ = AddLabelledEdit(grid, 4, QStringLiteral("失败重试次数(0~10)："), 1004, app.retries);
    const QString colon = QStringLiteral("：");
    limitRate_ = AddLabelledEdit(grid, 5, ToQString(lumora::kLimitRateField) + colon, 1005, app.limitRateKB);
    requestDelay_ = AddLabelledEdit(grid, 6, ToQString(lumora::kRequestDelayField) + colon, 1006, app.requestDelayMs);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(OkButtonRow(this, [this] { OnOk(); }));
    setFixedSize(sizeHint().expandedTo(QSize(260, 0)));
}

void CDlgDownSet::OnOk() {
    // Both records change only when every field passed.
    lumora::DownloadParams entered = params_;
    std::optional<std::u16string> error = lumora::ApplyDownloadParamsInput(
        entered, ToU16(threads_->text()), ToU16(timeout_->text()), ToU16(minimum_->text()), ToU16(maximum_->text()));
    const std::optional<unsigned> retries = lumora::ParseRetries(ToU16(retryCount_->text()));
    if (!error && !retries) error = lumora::ParamErrorText(lumora::kRetriesField);
    const std::optional<unsigned> limit = lumora::ParseLimitRate(ToU16(limitRate_->text()));
    if (!error && !limit) error = lumora::ParamErrorText(lumora::kLimitRateField);
    const std::optional<unsigned> delay = lumora::ParseRequestDelay(ToU16(requestDelay_->text()));
    if (!error && !delay) error = lumora::ParamErrorText(lumora::kRequestDelayField);
    if (error) {
        desktop_.Message(this, ToQString(*error), CDesktop::ProgramCaption());
        return;
    }
    params_ = entered;
    app_.retries = *retries;
    app_.limitRateKB = *limit;
    app_.requestDelayMs = *delay;
    accept();
}
