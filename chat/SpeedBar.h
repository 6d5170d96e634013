#pragma once

#include <QFrame>
#include <QIcon>
#include <QPixmap>
#include <QToolButton>

namespace chat {

// The bar of large flat buttons at the top of the chat window: a lowered outer and a
// raised inner bevel, a wallpaper tiled inside them unless the bar's colour is black.
class SpeedBar : public QFrame {
    Q_OBJECT
public:
    explicit SpeedBar(QWidget* parent = nullptr);

    // An empty pixmap, or a bar whose colour is black, means no wallpaper.
    void setWallpaper(const QPixmap& wallpaper);
    const QPixmap& wallpaper() const { return wallpaper_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap wallpaper_;
};

// A flat 70 x 50 button of the bar, caption under the glyph in navy; its glyph is grey
// until the mouse is over it.
QToolButton* makeSpeedButton(QWidget* parent, const QString& objectName, const QString& caption,
                             const QString& glyphPath, int left, int top);

// The glyph in colour for the hovered and pressed states, grey otherwise.
QIcon greyUntilHovered(const QPixmap& glyph);

} // namespace chat
