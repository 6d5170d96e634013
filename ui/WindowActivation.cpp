#include "ui/WindowActivation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace ui {
namespace {

// Asks the X11 window manager to activate `window` as the user's own request (a request
// whose source is the user, as a taskbar's click is), so that the window manager's guard
// against programs that take the keyboard uninvited does not refuse it. The toolkit's own
// activation names the program as the source, with the time of its last input event,
// which a window manager turns down when the user has been working elsewhere since.
void activateOnX11(QWidget* window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window->windowHandle()) return;
    xcb_connection_t* connection = x11->connection();
    static constexpr char activeWindow[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(activeWindow)),
                        activeWindow),
        nullptr);
    if (!atom) return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window->windowHandle()->winId());
    message.type = atom->atom;
    message.data.data32[0] = 2; // the user asked for it
    message.data.data32[1] = XCB_CURRENT_TIME;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

} // namespace

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
    if (QGuiApplication::platformName() == QLatin1String("xcb")) activateOnX11(window);
    // Cleared by the toolkit as soon as the window is active; stays (the taskbar or the
    // workspace marks it) where the window system kept the keyboard elsewhere.
    QApplication::alert(window);
}

} // namespace ui
