#include "chat/SpeedBar.h"

#include <QFont>
#include <QImage>
#include <QPainter>

namespace chat {

SpeedBar::SpeedBar(QWidget* parent) : QFrame(parent) {
    setFixedHeight(56);
    setAutoFillBackground(true);
    setContentsMargins(2, 2, 2, 2);
}

void SpeedBar::setWallpaper(const QPixmap& wallpaper) {
    wallpaper_ = palette().color(QPalette::Button).rgb() == qRgb(0, 0, 0) ? QPixmap() : wallpaper;
    update();
}

void SpeedBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(2, 2, -2, -2);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (!wallpaper_.isNull()) {
        painter.setClipRect(inside);
        painter.drawTiledPixmap(inside, wallpaper_);
        painter.setClipping(false);
    }
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QRect outer = rect().adjusted(0, 0, -1, -1);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    // Lowered outside, raised inside.
    painter.setPen(dark);
    painter.drawLine(outer.topLeft(), outer.topRight());
    painter.drawLine(outer.topLeft(), outer.bottomLeft());
    painter.setPen(light);
    painter.drawLine(outer.bottomLeft(), outer.bottomRight());
    painter.drawLine(outer.topRight(), outer.bottomRight());
    painter.setPen(light);
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.drawLine(inner.topLeft(), inner.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(inner.bottomLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomRight());
}

QIcon greyUntilHovered(const QPixmap& glyph) {
    QIcon icon;
    if (glyph.isNull()) return icon;
    QImage grey = glyph.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int g = qGray(row[x]);
            row[x] = qRgba(g, g, g, qAlpha(row[x]));
        }
    }
    const QPixmap greyPixmap = QPixmap::fromImage(grey);
    icon.addPixmap(greyPixmap, QIcon::Normal);
    icon.addPixmap(greyPixmap, QIcon::Disabled);
    icon.addPixmap(glyph, QIcon::Active);
    icon.addPixmap(glyph, QIcon::Selected);
    return icon;
}

QToolButton* makeSpeedButton(QWidget* parent, const QString& objectName, const QString& caption,
                             const QString& glyphPath, int left, int top) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(caption);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIcon(greyUntilHovered(QPixmap(glyphPath)));
    button->setIconSize(QSize(32, 32));
    button->setGeometry(left, top, 70, 50);
    button->setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, QColor(0, 0, 128));
    button->setPalette(palette);
    // Transparent: the bar's wallpaper shows behind the flat buttons.
    button->setAttribute(Qt::WA_NoSystemBackground);
    button->setAutoFillBackground(false);
    return button;
}

} // namespace chat
