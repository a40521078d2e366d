#include "gui/login/DlgWebOpen.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include <algorithm>

#include "gui/login/BrowserPane.h"

namespace lumora::gui {

namespace {

// Client-area layout at opening; resizing moves only the right and bottom edges.
constexpr int kMargin = 6;
constexpr int kRowHeight = 24;
constexpr int kButtonWidth = 75;
constexpr int kBoxToButton = 5;
constexpr int kBrowserTop = kMargin + kRowHeight + kMargin;
constexpr int kInitialWidth = 960;
constexpr int kInitialHeight = 680;

QPointer<CDlgWebOpen>& Current() {
    static QPointer<CDlgWebOpen> current;
    return current;
}

}  // namespace

CDlgWebOpen::CDlgWebOpen(const QString& startAddress, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("登录成功后手动关闭对话框"));
    setObjectName(QStringLiteral("dialog133"));
    setSizeGripEnabled(true);
    setMinimumSize(320, 200);

    label_ = new QLabel(QStringLiteral("网址："), this);
    label_->adjustSize();
    label_->move(kMargin, kMargin + (kRowHeight - label_->height()) / 2);

    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("control1001"));
    address_->setGeometry(label_->x() + label_->width() + 2, kMargin, 100, kRowHeight);

    open_ = new QPushButton(QStringLiteral("打开"), this);
    open_->setObjectName(QStringLiteral("control1026"));
    open_->setDefault(true);
    open_->setGeometry(0, kMargin, kButtonWidth, kRowHeight);
    connect(open_, &QPushButton::clicked, this, &CDlgWebOpen::OnOpen);

    BrowserPane pane = CreateBrowserPane(this);
    browser_ = pane.widget;
    browser_->setObjectName(QStringLiteral("control1025"));
    browser_->move(0, kBrowserTop);
    navigate_ = std::move(pane.navigate);

    QSize size(kInitialWidth, kInitialHeight);
    if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    }
    resize(size.expandedTo(minimumSize()));

    if (!startAddress.isEmpty()) {
        address_->setText(startAddress);
        navigate_(startAddress);
    } else {
        address_->setText(QGuiApplication::clipboard()->text());
    }
}

void CDlgWebOpen::OnOpen() { navigate_(address_->text()); }

void CDlgWebOpen::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    browser_->resize(std::max(0, w - browser_->x()), std::max(0, h - browser_->y()));
    open_->move(w - open_->width(), open_->y());
    address_->resize(std::max(0, open_->x() - kBoxToButton - address_->x()), address_->height());
}

void CDlgWebOpen::keyPressEvent(QKeyEvent* event) {
    // An Enter the page did not use (a login form's, say) must not reach the
    // default button: that would reload the start page over the login.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget* focus = focusWidget();
    if (enter && focus && browser_->isAncestorOf(focus)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

CDlgWebOpen* OpenLoginBrowser(QWidget* owner, const QString& startAddress) {
    QPointer<CDlgWebOpen>& current = Current();
    delete current.data();
    auto* dialog = new CDlgWebOpen(startAddress, owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    current = dialog;
    dialog->show();
    return dialog;
}

CDlgWebOpen* CurrentLoginBrowser() { return Current().data(); }

int RunLoginBrowser(QWidget* owner, const QString& startAddress) {
    if (QThread::currentThread() != qApp->thread()) {
        int result = QDialog::Rejected;
        QMetaObject::invokeMethod(
            qApp, [&] { result = RunLoginBrowser(owner, startAddress); }, Qt::BlockingQueuedConnection);
        return result;
    }
    CDlgWebOpen dialog(startAddress, owner);
    return dialog.exec();
}

}  // namespace lumora::gui
