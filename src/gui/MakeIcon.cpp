// lumora-make-icon: writes the program icon as a PNG file at build time.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gui/Artwork.h"

namespace {

// Below 32 pixels the two tilted prints of the full drawing blur into one
// grey patch and the arrow into a dot. The small sizes get the same picture
// reduced to what a few pixels can show: the tile, one upright print with a
// second one peeking out behind it, and a larger badge, every edge on the
// pixel grid. Colours are those of DrawProgramIcon.
QImage DrawSmallIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal s = size;
    // Fractions of the size, rounded to whole pixels.
    auto at = [s](qreal fraction) { return std::round(fraction * s); };
    auto box = [&at](qreal left, qreal top, qreal right, qreal bottom) {
        return QRectF(QPointF(at(left), at(top)), QPointF(at(right), at(bottom)));
    };

    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0, QColor(38, 120, 178));
    tile.setColorAt(1, QColor(22, 72, 120));
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(1, 1, s - 2, s - 2), s * 0.18, s * 0.18);

    const qreal border = std::max<qreal>(1, at(0.0625));
    painter.setBrush(QColor(214, 228, 242));
    painter.drawRect(box(0.125, 0.125, 0.6875, 0.5625));
    const QRectF print = box(0.1875, 0.25, 0.8125, 0.75);
    painter.setBrush(Qt::white);
    painter.drawRect(print);

    const QRectF scene = print.adjusted(border, border, -border, -border);
    QLinearGradient sky(scene.topLeft(), scene.bottomLeft());
    sky.setColorAt(0, QColor(90, 160, 230).lighter(130));
    sky.setColorAt(1, QColor(90, 160, 230));
    painter.setBrush(sky);
    painter.drawRect(scene);

    painter.setBrush(QColor(255, 214, 92));
    const qreal sun = std::max<qreal>(1, s * 0.07);
    painter.drawEllipse(QPointF(scene.right() - sun * 2, scene.top() + sun * 1.5), sun, sun);

    painter.setClipRect(scene);
    QPainterPath hill;
    hill.moveTo(scene.left(), scene.bottom());
    hill.lineTo(scene.left() + scene.width() * 0.4, scene.top() + scene.height() * 0.35);
    hill.lineTo(scene.left() + scene.width() * 0.8, scene.bottom());
    hill.closeSubpath();
    painter.setBrush(QColor(46, 139, 87));
    painter.drawPath(hill);
    painter.setClipping(false);

    // The badge: orange disc with a white rim and a white arrow whose stem
    // covers whole pixels (an odd width is centred on a pixel's middle).
    const qreal stem = std::max<qreal>(2, at(0.125));
    const qreal middle = std::floor(s * 0.72) + (static_cast<int>(stem) % 2 ? 0.5 : 0);
    const QPointF centre(middle, middle);
    // At 16 pixels a white rim would take half of the disc.
    const qreal radius = size < 20 ? 4 : s * 0.1875;
    const qreal rim = size < 20 ? 0 : std::max<qreal>(1, s * 0.04);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, radius + rim, radius + rim);
    painter.setBrush(QColor(230, 92, 44));
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(Qt::white);
    const qreal top = std::round(centre.y() - radius * 0.65);
    const qreal shoulder = std::round(centre.y() + radius * 0.05);
    const qreal tip = centre.y() + radius * 0.7;
    painter.drawRect(QRectF(centre.x() - stem / 2, top, stem, shoulder - top));
    QPainterPath head;
    head.moveTo(centre.x() - radius * 0.65, shoulder);
    head.lineTo(centre.x() + radius * 0.65, shoulder);
    head.lineTo(centre.x(), tip);
    head.closeSubpath();
    painter.drawPath(head);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumora-make-icon SIZE FILE.png\n");
        return 2;
    }
    // Only pictures are drawn: no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "lumora-make-icon: size %s is not 16 to 1024\n", argv[1]);
        return 2;
    }
    const QImage icon = size < 32 ? DrawSmallIcon(size) : DrawProgramIcon(size);
    if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "lumora-make-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
