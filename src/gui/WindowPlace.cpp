#include "gui/WindowPlace.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QTableWidget>
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

void RestoreListWindow(QWidget* window, QTableWidget* table, const lumora::ListWindowState& state, int stretchColumn) {
    if (state.geometry) PlaceWindow(window, *state.geometry);
    if (state.columnWidths.size() != static_cast<std::size_t>(table->columnCount())) return;
    for (int column = 0; column < table->columnCount(); ++column) {
        if (column != stretchColumn) table->setColumnWidth(column, state.columnWidths[column]);
    }
}

lumora::ListWindowState ListWindowStateOf(const QWidget* window, const QTableWidget* table) {
    lumora::ListWindowState state;
    state.geometry = NormalGeometry(window);
    for (int column = 0; column < table->columnCount(); ++column)
        state.columnWidths.push_back(table->columnWidth(column));
    return state;
}
