#include "gui/SplashScreenEx.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

CSplashScreenEx::CSplashScreenEx(QWidget* owner, unsigned style, int timeoutMs)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      owner_(owner),
      style_(style),
      timeoutMs_(timeoutMs) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("splash"));
    setFocusPolicy(Qt::StrongFocus);
    resize(320, 200);
}

void CSplashScreenEx::SetBitmap(const QImage& picture, const QColor& keyColour) {
    if (picture.isNull()) return;
    picture_ = picture;
    setFixedSize(picture.size());
    const QPixmap pixmap = QPixmap::fromImage(picture);
    setMask(pixmap.createMaskFromColor(keyColour, Qt::MaskInColor));
    Centre();
}

void CSplashScreenEx::SetText(const QString& text) {
    text_ = text;
    update();
}

void CSplashScreenEx::SetTextFont(const QFont& font) { font_ = font; }

void CSplashScreenEx::SetTextColour(const QColor& colour) { textColour_ = colour; }

void CSplashScreenEx::SetTextRect(const QRect& rect) { textRect_ = rect; }

void CSplashScreenEx::SetTextFormat(int alignmentFlags) { textFormat_ = alignmentFlags; }

void CSplashScreenEx::Centre() {
    QRect area;
    if ((style_ & CentreOwner) && owner_) {
        area = owner_->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) move(area.center() - rect().center());
}

void CSplashScreenEx::Show() {
    if (style_ & (CentreScreen | CentreOwner)) Centre();
    if (style_ & FadeIn) setWindowOpacity(0.0);
    show();
    raise();
    setFocus();
    if (style_ & FadeIn) Fade(1.0, 500);
    if (timeoutMs_ > 0) QTimer::singleShot(timeoutMs_, this, [this] { HideAndDestroy(); });
}

void CSplashScreenEx::Fade(double to, int durationMs) {
    if (fade_) fade_->stop();
    fade_ = new QPropertyAnimation(this, "windowOpacity", this);
    fade_->setDuration(durationMs);
    fade_->setEndValue(to);
    fade_->start(QAbstractAnimation::DeleteWhenStopped);
}

void CSplashScreenEx::HideAndDestroy() {
    if (closing_) return;
    closing_ = true;
    if ((style_ & FadeOut) && isVisible()) {
        Fade(0.0, 200);
        connect(fade_, &QPropertyAnimation::finished, this, &QWidget::close);
    } else {
        close();
    }
}

void CSplashScreenEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!picture_.isNull()) painter.drawImage(0, 0, picture_);
    if (text_.isEmpty()) return;
    painter.setFont(font_);
    painter.setPen(textColour_);
    painter.drawText(textRect_.isValid() ? textRect_ : rect(), textFormat_, text_);
}

void CSplashScreenEx::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    if (style_ & HideOnInput) HideAndDestroy();
}

void CSplashScreenEx::mousePressEvent(QMouseEvent*) {
    if (style_ & HideOnInput) HideAndDestroy();
}
