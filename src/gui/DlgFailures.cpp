#include "gui/DlgFailures.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/GuiText.h"
#include "gui/WindowPlace.h"

namespace {

// Tabs and line breaks inside a field would split the copied line, and a
// table row, so they become spaces.
QString OneLine(const std::u16string& text) {
    QString line = ToQString(text);
    for (QChar& c : line) {
        if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
    }
    return line;
}

constexpr int kFileColumn = 1;

QString FilePath(const lumora::FailedPicture& failure) {
    if (!failure.fileName.empty() && failure.fileName.front() == u'/') return OneLine(failure.fileName);
    return OneLine(failure.albumFolder + failure.fileName);
}

}  // namespace

CDlgFailures::CDlgFailures(const std::vector<lumora::FailedPicture>& failures, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("失败的图片"));
    for (const lumora::FailedPicture& failure : failures) {
        rows_.push_back(
            {OneLine(failure.albumTitle), FilePath(failure), OneLine(failure.address), OneLine(failure.reason)});
    }

    const QStringList headers = {QStringLiteral("相册"), QStringLiteral("文件"), QStringLiteral("地址"),
                                 QStringLiteral("原因")};
    table_ = new QTableWidget(static_cast<int>(rows_.size()), static_cast<int>(headers.size()), this);
    table_->setObjectName(QStringLiteral("failureTable"));
    table_->setHorizontalHeaderLabels(headers);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    // Paths and addresses differ at their ends more than at their starts.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        for (int column = 0; column < headers.size(); ++column) {
            auto* item = new QTableWidgetItem(rows_[row][column]);
            item->setToolTip(rows_[row][column]);
            table_->setItem(row, column, item);
        }
    }
    // The file gets what the album, the address and the reason leave over.
    const auto fitColumn = [this](int column, int least, int most) {
        table_->resizeColumnToContents(column);
        table_->setColumnWidth(column, std::clamp(table_->columnWidth(column), least, most));
    };
    fitColumn(0, 80, 160);
    fitColumn(3, 80, 220);
    table_->setColumnWidth(2, 260);
    table_->horizontalHeader()->setSectionResizeMode(kFileColumn, QHeaderView::Stretch);

    auto* retry = new QPushButton(QStringLiteral("重试失败的图片"), this);
    retry->setObjectName(QStringLiteral("retryFailures"));
    auto* copy = new QPushButton(QStringLiteral("复制列表"), this);
    copy->setObjectName(QStringLiteral("copyFailures"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("closeFailures"));
    // Enter closes; a retry starts a download and is only ever asked for.
    close->setDefault(true);
    retry->setAutoDefault(false);
    copy->setAutoDefault(false);
    retry->setEnabled(!rows_.empty());
    copy->setEnabled(!rows_.empty());
    connect(retry, &QPushButton::clicked, this, [this] { done(kRetry); });
    connect(copy, &QPushButton::clicked, this, [this] { CopyList(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(retry);
    buttons->addWidget(copy);
    copied_ = new QLabel(this);
    copied_->setObjectName(QStringLiteral("copiedFailures"));
    buttons->addWidget(copied_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(900, 380);
}

QString CDlgFailures::ListText() const {
    QString text;
    for (const QStringList& row : rows_) text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}

void CDlgFailures::CopyList() {
    QApplication::clipboard()->setText(ListText());
    copied_->setText(QStringLiteral("已复制%1行").arg(rows_.size()));
}

void CDlgFailures::RestoreState(const lumora::ListWindowState& state) {
    RestoreListWindow(this, table_, state, kFileColumn);
}

lumora::ListWindowState CDlgFailures::State() const { return ListWindowStateOf(this, table_); }
