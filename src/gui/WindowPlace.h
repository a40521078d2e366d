// A window's place and size as kept in "lumora.ini", and back.
#pragma once

#include "settings/WindowSettings.h"

class QWidget;

// The normal (not maximised) place and size of a window.
lumora::WindowGeometry NormalGeometry(const QWidget* window);
// Puts the window at a kept place; a place on a screen that is gone is no
// place, and the window then keeps only the size.
void PlaceWindow(QWidget* window, const lumora::WindowGeometry& kept);
