#include "gui/DlgFind.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "gui/Desktop.h"

CDlgFind::CDlgFind(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("dialog704");

    // Without a window frame the border is drawn by a frame filling the dialog.
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    auto* title = new QLabel(QStringLiteral("相册搜索"), frame);
    auto* close = new QPushButton(QStringLiteral("×"), frame);
    close->setObjectName("button1699");
    close->setFlat(true);
    close->setAutoDefault(false);
    // Escape does what it does; the keyboard belongs to the keyword.
    close->setFocusPolicy(Qt::NoFocus);
    close->setFixedWidth(close->fontMetrics().height() + 8);

    auto* label = new QLabel(QStringLiteral("关键字:"), frame);
    edit_ = new QLineEdit(frame);
    edit_->setObjectName("edit1639");
    label->setBuddy(edit_);

    matchCase_ = new QCheckBox(QStringLiteral("区分大小写"), frame);
    matchCase_->setObjectName("check1033");
    wholeWord_ = new QCheckBox(QStringLiteral("全字匹配"), frame);
    wholeWord_->setObjectName("check1034");

    previous_ = new QPushButton(QStringLiteral("上一个"), frame);
    previous_->setObjectName("button1701");
    previous_->setAutoDefault(false);
    next_ = new QPushButton(QStringLiteral("下一个"), frame);
    next_->setObjectName("button1006");
    next_->setDefault(true);

    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(title, 1);
    titleRow->addWidget(close);
    auto* keywordRow = new QHBoxLayout;
    keywordRow->addWidget(label);
    keywordRow->addWidget(edit_, 1);
    auto* optionRow = new QHBoxLayout;
    optionRow->addWidget(matchCase_);
    optionRow->addWidget(wholeWord_);
    optionRow->addStretch(1);
    result_ = new QLabel(frame);
    result_->setObjectName("findResult");
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(result_, 1);
    buttonRow->addWidget(previous_);
    buttonRow->addWidget(next_);

    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(8, 4, 8, 8);
    inner->addLayout(titleRow);
    inner->addLayout(keywordRow);
    inner->addLayout(optionRow);
    inner->addLayout(buttonRow);

    connect(close, &QPushButton::clicked, this, &CDlgFind::reject);
    connect(previous_, &QPushButton::clicked, this, [this] { Step(false); });
    connect(next_, &QPushButton::clicked, this, [this] { Step(true); });

    resize(260, sizeHint().height());
}

void CDlgFind::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Typing goes into the keyword at once; Enter then runs the default
    // button ("下一个" or "筛选") through the dialog.
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
}

void CDlgFind::SetFindMode(bool find) {
    findMode_ = find;
    matchCase_->setVisible(find);
    wholeWord_->setVisible(find);
    previous_->setVisible(find);
    next_->setText(find ? QStringLiteral("下一个") : QStringLiteral("筛选"));
    setModal(!find);
}

void CDlgFind::CentreOn(const QWidget* widget) {
    const QWidget* window = widget ? widget->window() : nullptr;
    if (!window) return;
    const QRect area = window->frameGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

QString CDlgFind::CheckedKeyword() {
    const QString keyword = edit_->text().trimmed();
    if (keyword.isEmpty()) {
        QMessageBox::information(this, CDesktop::ProgramCaption(), QStringLiteral("关键字不能为空"));
    }
    return keyword;
}

void CDlgFind::Step(bool forward) {
    const QString keyword = CheckedKeyword();
    if (keyword.isEmpty()) return;
    if (!findMode_) {
        keyword_ = keyword;
        accept();
        return;
    }
    emit findStep(keyword, matchCase_->isChecked(), wholeWord_->isChecked(), forward);
}

void CDlgFind::ShowFound(bool found) { result_->setText(found ? QString() : QStringLiteral("未找到")); }

void CDlgFind::reject() {
    if (findMode_) {
        hide();  // hideEvent hands plain clicks back to toggling
    } else {
        QDialog::reject();
    }
}

void CDlgFind::hideEvent(QHideEvent* event) {
    // The grid's single-row selection lasts exactly as long as the find box
    // is visible, however it was hidden; a minimised main window is not a close.
    if (findMode_ && !event->spontaneous()) emit findHidden();
    QDialog::hideEvent(event);
}

void CDlgFind::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void CDlgFind::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CDlgFind::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
