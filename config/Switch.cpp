#include "config/Switch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace config {

TSwitch::TSwitch(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TSwitch::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
    emit toggled(on_);
}

void TSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    setOn(!on_);
}

void TSwitch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        setOn(!on_);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const QColor shadow = pal.color(QPalette::Shadow);

    // The slot, sunk into the face, centred across and running most of the height.
    const QRect slot(width() / 2 - 7, 4, 14, height() - 8);
    p.fillRect(slot, dark.darker(130));
    p.setPen(shadow);
    p.drawLine(slot.topLeft(), slot.topRight());
    p.drawLine(slot.topLeft(), slot.bottomLeft());
    p.setPen(light);
    p.drawLine(slot.bottomLeft(), slot.bottomRight());
    p.drawLine(slot.topRight(), slot.bottomRight());

    // The lever: a raised block filling the upper half when on, the lower half when off.
    const int half = (slot.height() - 2) / 2;
    QRect lever(slot.left() + 1, on_ ? slot.top() + 1 : slot.bottom() - half, slot.width() - 2,
                half);
    p.fillRect(lever, face);
    p.setPen(light);
    p.drawLine(lever.topLeft(), lever.topRight());
    p.drawLine(lever.topLeft(), lever.bottomLeft());
    p.setPen(shadow);
    p.drawLine(lever.bottomLeft(), lever.bottomRight());
    p.drawLine(lever.topRight(), lever.bottomRight());
    // Grip lines across the lever.
    p.setPen(dark);
    for (int i = 0; i < 3; ++i) {
        int y = lever.center().y() - 3 + i * 3;
        p.drawLine(lever.left() + 3, y, lever.right() - 3, y);
    }
    // A lamp beside the slot shows the state at a glance.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(shadow);
    p.setBrush(on_ ? QColor(0, 192, 0) : QColor(96, 96, 96));
    p.drawEllipse(QRectF(slot.right() + 5, height() / 2.0 - 3, 6, 6));
}

} // namespace config
