#include "session/DBusNotificationService.h"

#include "session/NotificationIcon.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace session {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// A call that never starts a server: without one running, the desktop has none.
QDBusMessage call(const QString& method) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setAutoStartService(false);
    return message;
}

// Calls `method` without waiting; `done` gets the reply, never an error.
void callAsync(QDBusConnection& bus, QObject* context, const QDBusMessage& message,
               std::function<void(const QDBusMessage& reply)> done) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, done = std::move(done)] {
                         watcher->deleteLater();
                         const QDBusMessage reply = watcher->reply();
                         if (reply.type() == QDBusMessage::ReplyMessage) done(reply);
                     });
}

} // namespace

DBusNotificationService::DBusNotificationService(QDBusConnection bus, QObject* parent)
    : NotificationService(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected()) return;
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(quint32, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                 SLOT(onActivationToken(quint32, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(onNotificationClosed(quint32, quint32)));
}

void DBusNotificationService::notify(const NotificationRequest& request,
                                     std::function<void(quint32 id)> posted) {
    if (!bus_.isConnected()) return;
    if (bodyMarkup_) {
        send(request, *bodyMarkup_, std::move(posted));
        return;
    }
    // A server that reads markup in the body would show a caller's "<b>" as bold, or
    // lose text after a "<"; what it reads decides whether the text is escaped.
    callAsync(bus_, this, call(QStringLiteral("GetCapabilities")),
              [this, request, posted = std::move(posted)](const QDBusMessage& reply) mutable {
                  const QStringList capabilities = reply.arguments().value(0).toStringList();
                  bodyMarkup_ = capabilities.contains(QStringLiteral("body-markup"));
                  send(request, *bodyMarkup_, std::move(posted));
              });
}

void DBusNotificationService::send(const NotificationRequest& request, bool markup,
                                   std::function<void(quint32 id)> posted) {
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<uchar>(request.critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("falavox"));
    QDBusMessage message = call(QStringLiteral("Notify"));
    static const QString icon = programNotificationIcon();
    message << QStringLiteral("Falavox") << quint32(0) << icon << request.summary
            << (markup ? request.body.toHtmlEscaped() : request.body) << request.actions << hints
            << qint32(request.expireMs);
    callAsync(bus_, this, message, [posted = std::move(posted)](const QDBusMessage& reply) {
        bool ok = false;
        const quint32 id = reply.arguments().value(0).toUInt(&ok);
        if (ok && posted) posted(id);
    });
}

void DBusNotificationService::close(quint32 id) {
    if (!bus_.isConnected()) return;
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    bus_.send(message);
}

void DBusNotificationService::onActionInvoked(quint32 id, const QString& key) {
    emit actionInvoked(id, key);
}

void DBusNotificationService::onActivationToken(quint32 id, const QString& token) {
    emit activationToken(id, token);
}

void DBusNotificationService::onNotificationClosed(quint32 id, quint32) {
    emit closed(id);
}

} // namespace session
