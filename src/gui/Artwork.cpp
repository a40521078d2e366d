#include "gui/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// A photo print: white border, sky, sun and two hills.
void DrawPrint(QPainter& painter, const QRectF& frame, qreal angle, const QColor& sky) {
    painter.save();
    painter.translate(frame.center());
    painter.rotate(angle);
    const QRectF card(-frame.width() / 2, -frame.height() / 2, frame.width(), frame.height());
    const qreal border = frame.width() * 0.07;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(card.translated(border * 0.3, border * 0.5), border, border);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(card, border, border);

    const QRectF scene = card.adjusted(border, border, -border, -border * 2.2);
    QLinearGradient skyFill(scene.topLeft(), scene.bottomLeft());
    skyFill.setColorAt(0, sky.lighter(130));
    skyFill.setColorAt(1, sky);
    painter.setBrush(skyFill);
    painter.drawRect(scene);

    painter.setBrush(QColor(255, 214, 92));
    const qreal sun = scene.width() * 0.16;
    painter.drawEllipse(QPointF(scene.right() - sun * 1.6, scene.top() + sun * 1.5), sun, sun);

    painter.setClipRect(scene);
    QPainterPath hills;
    hills.moveTo(scene.left(), scene.bottom());
    hills.lineTo(scene.left() + scene.width() * 0.35, scene.top() + scene.height() * 0.45);
    hills.lineTo(scene.left() + scene.width() * 0.6, scene.top() + scene.height() * 0.75);
    hills.lineTo(scene.left() + scene.width() * 0.78, scene.top() + scene.height() * 0.55);
    hills.lineTo(scene.right(), scene.bottom());
    hills.closeSubpath();
    painter.setBrush(QColor(46, 139, 87));
    painter.drawPath(hills);
    painter.restore();
}

// A round badge with a downward arrow: the "download" in the icon.
void DrawArrowBadge(QPainter& painter, const QPointF& centre, qreal radius) {
    painter.setPen(QPen(Qt::white, radius * 0.12));
    painter.setBrush(QColor(230, 92, 44));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const qreal w = radius * 0.22;
    painter.drawRect(QRectF(centre.x() - w, centre.y() - radius * 0.55, 2 * w, radius * 0.6));
    QPainterPath head;
    head.moveTo(centre.x() - radius * 0.5, centre.y() + radius * 0.02);
    head.lineTo(centre.x() + radius * 0.5, centre.y() + radius * 0.02);
    head.lineTo(centre.x(), centre.y() + radius * 0.58);
    head.closeSubpath();
    painter.drawPath(head);
}

}  // namespace

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0, QColor(38, 120, 178));
    tile.setColorAt(1, QColor(22, 72, 120));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);

    DrawPrint(painter, QRectF(s * 0.14, s * 0.16, s * 0.5, s * 0.46), -12, QColor(120, 170, 220));
    DrawPrint(painter, QRectF(s * 0.3, s * 0.24, s * 0.54, s * 0.5), 8, QColor(90, 160, 230));
    DrawArrowBadge(painter, QPointF(s * 0.72, s * 0.72), s * 0.17);
    return image;
}

QImage DrawSplashPicture() {
    constexpr int kWidth = 320;
    constexpr int kHeight = 200;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kSplashKeyColour);
    QPainter painter(&image);

    // The outline is drawn without smoothing: a blended edge pixel would
    // miss the key colour and stay as a pink fringe around the window.
    QPainterPath card;
    card.addRoundedRect(QRectF(0, 0, kWidth, kHeight), 18, 18);
    QLinearGradient fill(0, 0, kWidth, kHeight);
    fill.setColorAt(0, QColor(28, 86, 140));
    fill.setColorAt(1, QColor(16, 44, 78));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(card);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(card);
    painter.setBrush(QColor(255, 255, 255, 18));
    painter.drawEllipse(QPointF(kWidth * 0.85, kHeight * 0.1), 120, 120);
    painter.drawImage(QRectF(236, 112, 72, 72), DrawProgramIcon(144));

    QFont title = painter.font();
    title.setPixelSize(26);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(30, 10, 260, 38), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Lumora"));
    painter.setPen(QColor(255, 255, 255, 90));
    painter.drawLine(QPointF(30, 46), QPointF(290, 46));

    // Smoothed drawing near the corners may have blended into the key colour:
    // put it back, unblended, everywhere outside the card.
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath outside;
    outside.addRect(QRectF(0, 0, kWidth, kHeight));
    painter.fillPath(outside.subtracted(card), kSplashKeyColour);
    return image;
}
