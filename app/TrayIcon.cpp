#include "app/TrayIcon.h"

#include "app/StatusNotifierHostWatch.h"
#include "app/TrayStandInWindow.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace app {
namespace {

// Whether an X11 notification area that embeds icons runs: it owns the screen's tray
// selection.
bool embeddingTrayPresent() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return false;
    xcb_connection_t* connection = x11->connection();
    const QByteArray name = QByteArrayLiteral("_NET_SYSTEM_TRAY_S0");
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (!atom) return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

} // namespace

TrayIcon::TrayIcon(Backend backend, QObject* parent) : QObject(parent), backend_(backend) {
    connect(&animation_, &QTimer::timeout, this, &TrayIcon::nextFrame);
    trayGone_.setSingleShot(true);
    trayGone_.setInterval(trayGoneGraceMs);
    connect(&trayGone_, &QTimer::timeout, this, &TrayIcon::trayGoneForGood);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setHostProbe(std::function<bool()> probe) {
    hostProbe_ = std::move(probe);
}

bool TrayIcon::hostPresent() const {
    return hostProbe_ ? hostProbe_() : StatusNotifierHostWatch::hostPresent();
}

bool TrayIcon::wantsSystemTray() const {
    switch (backend_) {
    case Backend::SystemTray:
        return true;
    case Backend::Window:
        return false;
    case Backend::Automatic:
        break;
    }
    // The toolkit asks the bus whether a StatusNotifierItem host exists once for the
    // whole run: asked before the tray has started, it would never show the icon there.
    // So the program asks itself, and the toolkit is not asked until there is a tray. On
    // X11 that may also be a notification area that embeds icons, which the toolkit
    // finds each time it is asked (GNOME has none: its tray, where there is one, is a
    // host on the bus that may come while the program runs).
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return (embeddingTrayPresent() || hostPresent()) &&
               QSystemTrayIcon::isSystemTrayAvailable();
    return hostPresent();
}

bool TrayIcon::usesStandInWindow() const {
    return active_ && window_ && window_->isVisible();
}

void TrayIcon::activate() {
    if (active_) return;
    active_ = true;
    if (backend_ == Backend::Automatic && !hosts_) {
        hosts_ = new StatusNotifierHostWatch(this);
        connect(hosts_, &StatusNotifierHostWatch::changed, this, &TrayIcon::hostsChanged);
    }
    showChosen();
}

void TrayIcon::showChosen() {
    trayGone_.stop();
    if (wantsSystemTray()) {
        if (!trayIcon_) {
            hostDrawsMenu_ = hostPresent();
            trayIcon_ = std::make_unique<QSystemTrayIcon>();
        }
        applyToShown();
        trayIcon_->show();
        if (window_) window_->hide();
    } else {
        if (!window_) {
            window_ = std::make_unique<TrayStandInWindow>();
            // While a dialog has the window set aside, its close box ends nothing.
            connect(window_.get(), &TrayStandInWindow::closeRequested, this, [this] {
                if (active_) emit closeRequested();
            });
        }
        applyToShown();
        window_->setEnabled(true);
        window_->show();
        // An icon whose tray has gone is dropped: a tray that comes later gets a new one
        // that registers with it afresh.
        trayIcon_.reset();
        exported_ = nullptr;
        hiddenItems_.clear();
    }
}

void TrayIcon::hostsChanged() {
    if (!active_ || backend_ != Backend::Automatic) return;
    const bool onTray = trayIcon_ && trayIcon_->isVisible();
    if (wantsSystemTray()) {
        if (!onTray) showChosen();
        trayGone_.stop();
    } else if (onTray) {
        // A panel that restarts is gone only for a moment; the icon waits for it.
        if (!trayGone_.isActive()) trayGone_.start();
    }
}

void TrayIcon::trayGoneForGood() {
    if (active_ && !wantsSystemTray()) showChosen();
}

void TrayIcon::deactivate() {
    active_ = false;
    trayGone_.stop();
    if (trayIcon_) trayIcon_->hide();
    if (window_) window_->hide();
}

void TrayIcon::deactivateKeepingPlace() {
    active_ = false;
    trayGone_.stop();
    if (trayIcon_) trayIcon_->hide();
    if (window_ && window_->isVisible())
        window_->setEnabled(false);
    else if (window_)
        window_->hide();
}

void TrayIcon::setHint(const QString& hint) {
    hint_ = hint;
    applyToShown();
}

void TrayIcon::setMenu(QMenu* menu) {
    menu_ = menu;
    applyToShown();
}

void TrayIcon::setIcon(const QIcon& icon) {
    icon_ = icon;
    applyToShown();
}

void TrayIcon::startAnimation(const QList<QIcon>& frames, int intervalMs) {
    if (frames.isEmpty()) return;
    frames_ = frames;
    frame_ = 0;
    animation_.start(intervalMs);
    applyIcon();
}

void TrayIcon::stopAnimation() {
    animation_.stop();
    applyIcon();
}

void TrayIcon::nextFrame() {
    frame_ = (frame_ + 1) % static_cast<int>(frames_.size());
    applyIcon();
}

QIcon TrayIcon::shownIcon() const {
    return isAnimating() ? frames_[frame_] : icon_;
}

void TrayIcon::applyIcon() {
    if (trayIcon_) trayIcon_->setIcon(shownIcon());
    if (window_) window_->setIcon(shownIcon());
}

void TrayIcon::hideExportedItems() {
    if (!exported_) return;
    for (QAction* item : exported_->actions()) {
        if (!item->isVisible()) continue;
        hiddenItems_.append(item);
        item->setVisible(false);
    }
}

void TrayIcon::showExportedItems() {
    for (const QPointer<QAction>& item : std::as_const(hiddenItems_))
        if (item) item->setVisible(true);
    hiddenItems_.clear();
}

void TrayIcon::applyToShown() {
    const QString shownHint = hint_.left(maxHintLength);
    if (trayIcon_) {
        trayIcon_->setIcon(shownIcon());
        trayIcon_->setToolTip(shownHint);
        if (!hostDrawsMenu_) {
            trayIcon_->setContextMenu(menu_);
        } else if (menu_) {
            showExportedItems();
            exported_ = menu_;
            trayIcon_->setContextMenu(menu_);
        } else {
            hideExportedItems();
        }
    }
    if (window_) {
        window_->setIcon(shownIcon());
        window_->setHint(shownHint);
        window_->setMenu(menu_);
    }
}

} // namespace app
