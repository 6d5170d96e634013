#include "ui/WindowActivation.h"

#include <QApplication>
#include <QWidget>

namespace ui {

void keepActivationToken(const QString& token) {
    // The toolkit's Wayland window hands this variable to the compositor with its next
    // activation request and clears it, so a token is used once, by one window.
    if (!token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

void bringForward(QWidget* window, const QString& token) {
    if (!window) return;
    keepActivationToken(token);
    window->raise();
    window->activateWindow();
    // Cleared by the toolkit as soon as the window is active; stays (the taskbar or the
    // workspace marks it) where the window system kept the keyboard elsewhere.
    QApplication::alert(window);
}

} // namespace ui
