#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QDBusMessage;

// Browsing through the Avahi daemon, spoken to over the system bus without ever waiting
// for it: each request is sent and its reply and the browsers' reports come back on the
// event loop of the thread that made this object. A daemon busy with a flood of
// announcements answers late, and only the answers are late: the thread goes on serving
// its other events meanwhile. Without a daemon (or a system bus) every browse ends at
// once, having found nothing.
namespace platform {

// The system bus, where the Avahi daemon is. The toolkit's own D-Bus types are registered
// on the calling thread first: left to be registered on first use, they may be half
// registered while the toolkit's D-Bus thread delivers a reply, which is then lost with a
// warning ("invalid type").
QDBusConnection avahiBus();

class AvahiDaemon : public QObject {
    Q_OBJECT

public:
    AvahiDaemon();
    ~AvahiDaemon() override;
    AvahiDaemon(const AvahiDaemon&) = delete;
    AvahiDaemon& operator=(const AvahiDaemon&) = delete;

    // One thing a browser found: a domain (in `domain`), or a service with the interface
    // and protocol it was seen on.
    struct Item {
        int interface = -1;
        int protocol = -1;
        QString name, type, domain;
    };

    using Id = std::uint64_t;
    using Found = std::function<void(const Item&)>;
    // False when the daemon could not be reached at all (no daemon, no system bus).
    using Settled = std::function<void(bool reached)>;

    // Browses the domains that `inDomain` announces (empty: the daemon's own, "local" and
    // the wide-area domains it was given), or the services of `type` in `domain`. `found`
    // runs for each item, and `settled` once, when the daemon has reported all it knows
    // for now or the browse has failed; items found later are still reported. Neither
    // runs inside this call, nor after stop(id) or the end of this object.
    Id browseDomains(const QString& inDomain, Found found, Settled settled);
    Id browseServices(const QString& type, const QString& domain, Found found, Settled settled);
    void stop(Id id);

    // The host that publishes `service`, IPv4 only, and only its name: its addresses are
    // looked up when it is invited. `resolved` gets an empty name when it is not found
    // within `timeout`. `resolved` runs unless `context` has ended first.
    void resolveService(const Item& service, std::chrono::milliseconds timeout,
                        const QObject* context, std::function<void(const QString&)> resolved);

    // The IPv4 addresses (network byte order) of the first of `hostNames` that the daemon
    // resolves within `bound`, asked for all at once; a later name counts only once every
    // earlier one has failed. Blocks the calling thread, which need run no event loop.
    static std::vector<std::uint32_t> resolveHostNames(const std::vector<std::string>& hostNames,
                                                       std::chrono::milliseconds bound);

private slots:
    void onItemNew(const QDBusMessage& message);
    void onSettled(const QDBusMessage& message);

private:
    struct Browser;
    Id browse(const QString& method, const QList<QVariant>& arguments, Found found,
              Settled settled);
    void settle(Id id, bool reached);

    QDBusConnection bus_;
    Id nextId_ = 1;
    std::map<Id, Browser> browsers_;
    // The daemon's object path of each browser it has made for one of ours.
    std::map<QString, Id> byPath_;
};

} // namespace platform
