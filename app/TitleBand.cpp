#include "app/TitleBand.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

namespace app {

namespace {

constexpr int gradientSteps = 32;
const QString titleFamily = QStringLiteral("Arial Narrow");

// The title's face is a narrow one; a machine without it gets the narrow face it has.
QFont titleFont(int pointSize) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(titleFamily, {QStringLiteral("Liberation Sans Narrow"),
                                                 QStringLiteral("DejaVu Sans Condensed"),
                                                 QStringLiteral("Nimbus Sans Narrow")});
        return true;
    }();
    (void)substituted;
    QFont font(titleFamily, pointSize, QFont::Bold);
    font.setStretch(QFont::Condensed);
    return font;
}

// Text that reads from bottom to top, its cell's top-left corner at (x, y) as the turned
// text sees it: the letters run upward from y and their tops face x.
void drawTurnedText(QPainter& painter, int x, int y, const QString& text) {
    painter.save();
    painter.translate(x, y);
    painter.rotate(-90);
    painter.drawText(QPoint(0, painter.fontMetrics().ascent()), text);
    painter.restore();
}

} // namespace

int titleBandGreen(int i, int steps) {
    if (steps <= 1) return 255;
    return 255 - (255 - 63) * i / (steps - 1);
}

void drawTitleBand(QPainter& painter, const QRect& R, const QPalette& palette) {
    painter.save();
    const int left = R.left();
    const int top = R.top();
    const int right = left + R.width();
    const int bottom = top + R.height();

    // The gradient leaves room at the right for the band's raised edge.
    const int gradientRight = right - 3;
    const int steps = std::min(gradientSteps, R.height());
    if (steps > 0) {
        const int stepHeight = R.height() / steps;
        for (int i = 0; i < steps; ++i)
            painter.fillRect(QRect(QPoint(left, top + i * stepHeight),
                                   QPoint(gradientRight - 1, top + (i + 1) * stepHeight - 1)),
                             QColor(0, titleBandGreen(i, steps), 0));
        painter.fillRect(
            QRect(QPoint(left, top + steps * stepHeight), QPoint(gradientRight - 1, bottom - 1)),
            QColor(0, 63, 0));
    }
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(right - 2, top, right - 2, bottom - 1);
    painter.setPen(palette.color(QPalette::Light));
    painter.drawLine(right - 1, top, right - 1, bottom - 1);

    painter.setClipRect(R);
    painter.setPen(Qt::white);
    painter.setFont(titleFont(16));
    const QString title = QStringLiteral("Falavox");
    drawTurnedText(painter, left - 1, bottom - 5, title);
    const int W = painter.fontMetrics().horizontalAdvance(title);
    painter.setFont(titleFont(10));
    drawTurnedText(painter, left - 1, bottom - W - 8, QStringLiteral("©"));
    painter.restore();
}

} // namespace app
