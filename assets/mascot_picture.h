#pragma once
// Norvane's mascot, a cow's head, drawn in code: the still picture on the "About" tab, the
// sprite the animation turns, and the program's icon.

#include <QColor>
#include <QIcon>
#include <QImage>

class QPainter;

namespace assets {

// The light grey the mascot stands on.
QColor MascotBackground();
// The mascot, 75 x 75 pixels on MascotBackground(), in 256 colours.
QImage MascotPicture();
// Draws the mascot into the square of `size` pixels at the painter's origin, over whatever is
// there; every picture and icon of the mascot is drawn by this.
void DrawMascot(QPainter& painter, double size);
// The program's icon: the mascot's head in 32 x 32 and 16 x 16 pixels, 16 colours.
QIcon NorvaneIcon();

}  // namespace assets
