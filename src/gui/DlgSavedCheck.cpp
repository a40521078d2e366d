#include "gui/DlgSavedCheck.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/GuiText.h"

CDlgSavedCheck::CDlgSavedCheck(const lumora::SavedPictureReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("检查已下载的相册"));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("savedCheckReport"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QString lines;
    for (const std::u16string& line : lumora::SavedPictureReportLines(report)) lines += ToQString(line) + '\n';
    text_->setPlainText(lines);

    auto* repair = new QPushButton(QStringLiteral("修复"), this);
    repair->setObjectName(QStringLiteral("repairPictures"));
    repair->setToolTip(QStringLiteral("重新下载缺失或已损坏的图片，保存为原来的文件名"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("closeSavedCheck"));
    // Enter closes; a repair starts a download and is only ever asked for.
    close->setDefault(true);
    repair->setAutoDefault(false);
    repair->setEnabled(!lumora::RepairRows(report).empty());
    connect(repair, &QPushButton::clicked, this, [this] { done(kRepair); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(repair);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    resize(760, 360);
}

QString CDlgSavedCheck::ReportText() const { return text_->toPlainText(); }
