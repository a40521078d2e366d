// The start-up splash: a borderless window shaped by its picture (pixels of
// the key colour are cut away), with a text, optional fades and ways to
// dismiss it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRect>
#include <QWidget>

class CSplashScreenEx : public QWidget {
    Q_OBJECT

public:
    enum Style : unsigned {
        FadeIn = 0x01,   // 500 ms
        FadeOut = 0x02,  // 200 ms
        Shadow = 0x04,   // left to the window system here
        CentreScreen = 0x08,
        CentreOwner = 0x10,
        HideOnInput = 0x20,  // any click or key hides it
    };

    // `owner` is only used for centring.
    CSplashScreenEx(QWidget* owner, unsigned style, int timeoutMs = 0);

    // Sets the picture, sizes the window to it and cuts away `keyColour`.
    void SetBitmap(const QImage& picture, const QColor& keyColour);
    void SetText(const QString& text);
    void SetTextFont(const QFont& font);
    void SetTextColour(const QColor& colour);
    void SetTextRect(const QRect& rect);
    void SetTextFormat(int alignmentFlags);

    QString text() const { return text_; }

    void Show();
    // Hides (fading out if asked) and deletes itself afterwards.
    void HideAndDestroy();

signals:
    // Escape was pressed: the program is to end at once.
    void escapePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Centre();
    void Fade(double to, int durationMs);

    QWidget* owner_;
    unsigned style_;
    int timeoutMs_;
    QImage picture_;
    QString text_;
    QFont font_;
    QColor textColour_ = Qt::white;
    QRect textRect_;
    int textFormat_ = Qt::AlignVCenter | Qt::TextWordWrap;
    bool closing_ = false;
    // Clears itself when the animation deletes itself on stopping.
    QPointer<QPropertyAnimation> fade_;
};
