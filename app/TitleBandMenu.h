#pragma once

#include <QMenu>
#include <functional>

namespace app {

// A pop-up menu with a band down its left side, painted by the owner. The items start to
// the right of the band; submenus opened from it have no band of their own. A band of
// width 0 leaves the menu plain.
class TitleBandMenu : public QMenu {
    Q_OBJECT
public:
    using BandPainter = std::function<void(QPainter& painter, const QRect& band)>;

    explicit TitleBandMenu(QWidget* parent = nullptr);

    void setBandWidth(int width);
    int bandWidth() const { return bandWidth_; }

    // Called on every paint of the menu while the band is wider than 0, with the band's
    // rectangle: the menu's left edge, the band's width, the menu's full height.
    void setBandPainter(BandPainter painter) { painter_ = std::move(painter); }

    QRect bandRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int bandWidth_ = 0;
    BandPainter painter_;
};

} // namespace app
