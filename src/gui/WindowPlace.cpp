#include "gui/WindowPlace.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

lumora::WindowGeometry NormalGeometry(const QWidget* window) {
    const QRect normal = window->isMaximized() ? window->normalGeometry() : window->geometry();
    return {normal.x(), normal.y(), normal.width(), normal.height()};
}

void PlaceWindow(QWidget* window, const lumora::WindowGeometry& kept) {
    const QRect place(kept.x, kept.y, kept.width, kept.height);
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(place)) {
            window->setGeometry(place);
            return;
        }
    }
    window->resize(place.size());
}
