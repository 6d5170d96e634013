#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QDBusMessage;

// This copy's announcement on the local network: the `_falavox._tcp` service on the chat
// port, so that other copies list this computer with no other service set up. It lasts
// as long as the object, follows the Avahi daemon through restarts and picks another
// service name when its own is taken. Without a daemon nothing is announced and nothing
// is said. The daemon is spoken to over the system bus without waiting for it, on the
// event loop of the thread that makes the publisher.
namespace platform {

// A DNS-SD service name holds at most 63 bytes of UTF-8; a longer one is refused and
// nothing would be announced.
inline constexpr std::size_t maxServiceNameBytes = 63;

// The name this copy announces itself under: "Falavox " and the host's name, cut to the
// longest whole-character prefix that fits.
std::string falavoxServiceName(const std::string& hostName);

class AvahiPublisher : public QObject {
    Q_OBJECT

public:
    explicit AvahiPublisher(std::uint16_t port);
    ~AvahiPublisher() override;
    AvahiPublisher(const AvahiPublisher&) = delete;
    AvahiPublisher& operator=(const AvahiPublisher&) = delete;

private slots:
    void onServerState(int state);
    void onGroupState(const QDBusMessage& message);

private:
    using Replied = std::function<void(const QDBusMessage& reply)>;
    void call(const QString& path, const QString& interface, const QString& method,
              const QList<QVariant>& arguments, Replied replied);
    void daemonCame();
    void daemonWent();
    void announce();
    void addService(int attempt);
    void withdraw();
    // Takes the next name the daemon offers ("name #2" after "name"), then goes on.
    void rename(std::function<void()> then);

    QDBusConnection bus_;
    QDBusServiceWatcher daemonWatch_;
    std::uint16_t port_;
    std::string serviceName_;
    // The daemon's entry group for the service, once it has made one.
    QString group_;
    // Requests for the announcement are out; the service is in the group.
    bool announcing_ = false;
    bool added_ = false;
    // Counts the daemons met: replies from one that has gone are dropped.
    unsigned daemonGeneration_ = 0;
};

} // namespace platform
