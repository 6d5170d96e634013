#include "app/TitleBandMenu.h"

#include <QPainter>

namespace app {

TitleBandMenu::TitleBandMenu(QWidget* parent) : QMenu(parent) {}

// The band widens every item by its own width plus one pixel; the items are laid out to
// the right of it.
void TitleBandMenu::setBandWidth(int width) {
    bandWidth_ = std::max(0, width);
    setContentsMargins(bandWidth_ > 0 ? bandWidth_ + 1 : 0, 0, 0, 0);
    update();
}

QRect TitleBandMenu::bandRect() const {
    return QRect(0, 0, bandWidth_, height());
}

void TitleBandMenu::paintEvent(QPaintEvent* event) {
    QMenu::paintEvent(event);
    if (bandWidth_ <= 0 || !painter_) return;
    QPainter painter(this);
    painter_(painter, bandRect());
}

} // namespace app
