#include "app/StatusNotifierHostWatch.h"

#include "platform/system/SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace app {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch(QObject* parent) : QObject(parent) {
    if (!platform::sessionBusReachable()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    names_ = new QDBusServiceWatcher(kWatcher, bus,
                                     QDBusServiceWatcher::WatchForRegistration |
                                         QDBusServiceWatcher::WatchForUnregistration,
                                     this);
    connect(names_, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierHostWatch::changed);
    connect(names_, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierHostWatch::changed);
    bus.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostRegistered"),
                this, SLOT(hostEvent()));
    bus.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostUnregistered"),
                this, SLOT(hostEvent()));
}

void StatusNotifierHostWatch::hostEvent() {
    emit changed();
}

bool StatusNotifierHostWatch::hostPresent() {
    if (!platform::sessionBusReachable()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher))
        return false;
    // A plain property read: an interface object would introspect the watcher and keep
    // what it learnt for the life of the process.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace app
