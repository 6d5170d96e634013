#pragma once

#include "session/NotificationService.h"

#include <QDBusConnection>
#include <optional>

namespace session {

// The notification service of the session bus (org.freedesktop.Notifications). A bus
// that is not connected, or one where no server owns the name, is no service: nothing
// is posted and nothing is reported. A server is never started on the program's behalf.
class DBusNotificationService : public NotificationService {
    Q_OBJECT
public:
    explicit DBusNotificationService(QDBusConnection bus = QDBusConnection::sessionBus(),
                                     QObject* parent = nullptr);

    void notify(const NotificationRequest& request,
                std::function<void(quint32 id)> posted) override;
    void close(quint32 id) override;

private slots:
    void onActionInvoked(quint32 id, const QString& key);
    void onActivationToken(quint32 id, const QString& token);
    void onNotificationClosed(quint32 id, quint32 reason);

private:
    void send(const NotificationRequest& request, bool markup,
              std::function<void(quint32 id)> posted);

    QDBusConnection bus_;
    std::optional<bool> bodyMarkup_; // what the server said it reads, once asked
};

} // namespace session
