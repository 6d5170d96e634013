#pragma once

#include <QRect>

class QPainter;
class QPalette;

namespace app {

// The tray menu's title band in rectangle `R`: a lime-to-dark-green gradient in 32 steps,
// the raised edge at its right, and "Falavox©" in white reading from bottom to top.
void drawTitleBand(QPainter& painter, const QRect& R, const QPalette& palette);

// The colour of gradient step `i` of `steps`, from lime at 0 to RGB 0,63,0 at the last.
int titleBandGreen(int i, int steps);

} // namespace app
