// The program's pictures, drawn in code: the icon and the splash picture.
#pragma once

#include <QColor>
#include <QImage>

// Pixels of this colour are cut out of the splash window's shape.
inline const QColor kSplashKeyColour(212, 120, 120);

// The program icon, square, `size` pixels wide, transparent background.
QImage DrawProgramIcon(int size);

// The splash background: a rounded card on the key colour, with room for the
// splash text in the rectangle (30, 50)-(291, 160).
QImage DrawSplashPicture();
