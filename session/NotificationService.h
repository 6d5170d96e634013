#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace session {

// One desktop notification as the program posts it. `actions` alternates an action's
// key and its label; the key "default" is the action of clicking the notification
// itself. The texts are plain text: the service escapes them where its server reads
// markup.
struct NotificationRequest {
    QString summary;
    QString body;
    QStringList actions;
    bool critical = false;
    int expireMs = -1; // -1: the server decides
};

// The desktop's notification service. Posting never waits for the desktop: the id a
// notification gets arrives later, and without a service it never arrives and nothing
// else happens either.
class NotificationService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void notify(const NotificationRequest& request,
                        std::function<void(quint32 id)> posted) = 0;
    virtual void close(quint32 id) = 0;

signals:
    // The user picked one of a notification's actions.
    void actionInvoked(quint32 id, const QString& key);
    // The desktop's permission to bring a window forward, sent just before the action
    // it belongs to.
    void activationToken(quint32 id, const QString& token);
    // The notification is gone from the desktop, however it went.
    void closed(quint32 id);
};

} // namespace session
