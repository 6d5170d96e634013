#include "app/TrayIcon.h"

#include "app/TrayStandInWindow.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>

namespace app {

namespace {

// The toolkit shows its icon through a StatusNotifierItem host whenever one has
// registered with the watcher on the session bus (it asks the same question); such a host
// draws the exported menu itself.
bool statusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return false;
    // A plain property read: an interface object would introspect the watcher and keep
    // what it learnt for the life of the process.
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace

TrayIcon::TrayIcon(Backend backend, QObject* parent) : QObject(parent), backend_(backend) {
    connect(&animation_, &QTimer::timeout, this, &TrayIcon::nextFrame);
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::wantsSystemTray() const {
    switch (backend_) {
    case Backend::SystemTray:
        return true;
    case Backend::Window:
        return false;
    case Backend::Automatic:
        break;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::usesStandInWindow() const {
    return active_ && window_ && window_->isVisible();
}

void TrayIcon::activate() {
    if (active_) return;
    active_ = true;
    if (wantsSystemTray()) {
        if (!trayIcon_) {
            hostDrawsMenu_ = statusNotifierHostPresent();
            trayIcon_ = std::make_unique<QSystemTrayIcon>();
        }
        applyToShown();
        trayIcon_->show();
    } else {
        if (!window_) {
            window_ = std::make_unique<TrayStandInWindow>();
            connect(window_.get(), &TrayStandInWindow::closeRequested, this,
                    &TrayIcon::closeRequested);
        }
        applyToShown();
        window_->show();
    }
}

void TrayIcon::deactivate() {
    active_ = false;
    if (trayIcon_) trayIcon_->hide();
    if (window_) window_->hide();
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
