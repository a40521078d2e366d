#include "gui/AboutDlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "gui/Artwork.h"

CAboutDlg::CAboutDlg(const std::filesystem::path& runLog, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Lumora"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* caption = new QLabel(QStringLiteral("Lumora 相册批量下载"), frame);
    QFont big = caption->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    caption->setFont(big);
    auto* framed = new QHBoxLayout(frame);
    framed->addWidget(caption);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(DrawProgramIcon(64)));
    auto* version = new QLabel(QStringLiteral("版本 %1").arg(QCoreApplication::applicationVersion()), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    auto* line = new QLabel(QStringLiteral("粘贴会员的相册空间地址，一次下载选中的全部相册。"), this);
    // A path is shown as it is, never read as markup.
    auto* log = new QLabel(QStringLiteral("运行日志：%1").arg(QFile::decodeName(runLog.c_str())), this);
    log->setObjectName(QStringLiteral("aboutRunLog"));
    log->setTextFormat(Qt::PlainText);
    log->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(line);
    texts->addWidget(log);
    texts->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(body);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
