// A window's place and size as kept in "lumora.ini", and back.
#pragma once

#include "settings/WindowSettings.h"

class QTableWidget;
class QWidget;

// The normal (not maximised) place and size of a window.
lumora::WindowGeometry NormalGeometry(const QWidget* window);
// Puts the window at a kept place; a place on a screen that is gone is no
// place, and the window then keeps only the size.
void PlaceWindow(QWidget* window, const lumora::WindowGeometry& kept);

// A list window's kept place and its table's kept column widths; the column
// that stretches keeps taking what the others leave.
void RestoreListWindow(QWidget* window, QTableWidget* table, const lumora::ListWindowState& state, int stretchColumn);
lumora::ListWindowState ListWindowStateOf(const QWidget* window, const QTableWidget* table);
