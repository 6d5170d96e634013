#pragma once

#include <QString>

class QWidget;

namespace ui {

// Brings one of the program's windows forward and gives it the keyboard. On Wayland only
// the desktop decides that: a window comes forward with an activation token the desktop
// handed out (`token`, given for a notification that was clicked, or the one the program
// was started or its tray icon clicked with). Without one it asks for the user's
// attention, which an X11 desktop shows its own way (an urgent mark, a taskbar
// highlight); the toolkit has no such request for Wayland. Under X11 the window manager
// is asked as for a request of the user's: call it only for windows the user asked for.
void bringForward(QWidget* window, const QString& token = {});

// Keeps the desktop's activation token for the next window the program brings forward
// (the chat window opened by accepting from a notification); nothing without one.
void keepActivationToken(const QString& token);

} // namespace ui
