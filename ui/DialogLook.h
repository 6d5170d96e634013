#pragma once

#include <QFont>
#include <QFrame>
#include <QPalette>
#include <QRect>

// The look the program's windows share: they were laid out at 96 pixels per inch for a
// small sans serif, with panels drawn as one-pixel bevels.
namespace ui {

// The dialogs' 8-point sans serif at 96 dpi; the nearest face this system has stands in
// for it at the same pixel size, so the fixed layouts keep their proportions.
QFont dialogFont();

// A panel drawn as a one-pixel bevel, raised or sunken.
QFrame* bevelPanel(QWidget* parent, const char* name, QFrame::Shadow shadow, QRect geometry);

// An edit's background by role: the window colour when it can be typed in, the button
// face when it cannot, in every state of the palette.
void setEditBackground(QWidget* edit, QPalette::ColorRole role);

} // namespace ui
