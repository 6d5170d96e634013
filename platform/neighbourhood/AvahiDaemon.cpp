#include "platform/neighbourhood/AvahiDaemon.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QTimer>
#include <arpa/inet.h>

namespace platform {
namespace {

const QString service = QStringLiteral("org.freedesktop.Avahi");
const QString serverInterface = QStringLiteral("org.freedesktop.Avahi.Server2");
const QString domainBrowserInterface = QStringLiteral("org.freedesktop.Avahi.DomainBrowser");
const QString serviceBrowserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");

// The daemon's "any interface" and "any protocol", and its IPv4.
constexpr int anyInterface = -1;
constexpr int anyProtocol = -1;
constexpr int ipv4 = 0;
// A domain browser of the kind that lists browse domains.
constexpr int browseDomainsKind = 0;
// A resolution that wants neither the service's text records nor its host's addresses.
constexpr unsigned noTextNoAddress = 4u | 8u;

// A call to the daemon, which is not started for it: a computer without a running
// daemon finds nothing at once.
QDBusMessage daemonCall(const QString& path, const QString& interface, const QString& method,
                        const QList<QVariant>& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    call.setAutoStartService(false);
    return call;
}

} // namespace

QDBusConnection avahiBus() {
    qRegisterMetaType<QDBusMessage>();
    qRegisterMetaType<QDBusError>();
    qRegisterMetaType<QDBusArgument>();
    qRegisterMetaType<QDBusObjectPath>();
    qRegisterMetaType<QDBusSignature>();
    qRegisterMetaType<QDBusVariant>();
    // Text records come as an array of byte arrays.
    qDBusRegisterMetaType<QList<QByteArray>>();
    return QDBusConnection::systemBus();
}

struct AvahiDaemon::Browser {
    QString interface;
    Found found;
    Settled settled;
    QString path;
};

AvahiDaemon::AvahiDaemon() : bus_(avahiBus()) {
    if (!bus_.isConnected()) return;
    // The daemon sends each browser's reports to the client that made it; they are told
    // apart by the browser's path. Browsers are prepared first and started once their
    // path is known, so no report comes before it.
    for (const QString& interface : {domainBrowserInterface, serviceBrowserInterface}) {
        bus_.connect(service, QString(), interface, QStringLiteral("ItemNew"), this,
                     SLOT(onItemNew(QDBusMessage)));
        bus_.connect(service, QString(), interface, QStringLiteral("AllForNow"), this,
                     SLOT(onSettled(QDBusMessage)));
        bus_.connect(service, QString(), interface, QStringLiteral("Failure"), this,
                     SLOT(onSettled(QDBusMessage)));
    }
}

AvahiDaemon::~AvahiDaemon() {
    while (!browsers_.empty())
        stop(browsers_.begin()->first);
}

AvahiDaemon::Id AvahiDaemon::browseDomains(const QString& inDomain, Found found, Settled settled) {
    return browse(QStringLiteral("DomainBrowserPrepare"),
                  {anyInterface, anyProtocol, inDomain, browseDomainsKind, 0u}, std::move(found),
                  std::move(settled));
}

AvahiDaemon::Id AvahiDaemon::browseServices(const QString& type, const QString& domain, Found found,
                                            Settled settled) {
    // IPv4 only: invitations are IPv4.
    return browse(QStringLiteral("ServiceBrowserPrepare"), {anyInterface, ipv4, type, domain, 0u},
                  std::move(found), std::move(settled));
}

AvahiDaemon::Id AvahiDaemon::browse(const QString& method, const QList<QVariant>& arguments,
                                    Found found, Settled settled) {
    const Id id = nextId_++;
    const QString interface = method.startsWith(QStringLiteral("Domain")) ? domainBrowserInterface
                                                                          : serviceBrowserInterface;
    browsers_[id] = {interface, std::move(found), std::move(settled), QString()};
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, this, [this, id] { settle(id, false); });
        return id;
    }
    auto* made = new QDBusPendingCallWatcher(
        bus_.asyncCall(daemonCall(QStringLiteral("/"), serverInterface, method, arguments)), this);
    connect(made, &QDBusPendingCallWatcher::finished, this, [this, id, interface, made] {
        made->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *made;
        const auto browser = browsers_.find(id);
        if (reply.isError()) {
            settle(id, false);
            return;
        }
        const QString path = reply.value().path();
        if (browser == browsers_.end()) {
            // Stopped before the daemon had made it.
            bus_.send(daemonCall(path, interface, QStringLiteral("Free")));
            return;
        }
        browser->second.path = path;
        byPath_[path] = id;
        auto* started = new QDBusPendingCallWatcher(
            bus_.asyncCall(daemonCall(path, interface, QStringLiteral("Start"))), this);
        connect(started, &QDBusPendingCallWatcher::finished, this, [this, id, started] {
            started->deleteLater();
            if (started->isError()) settle(id, false);
        });
    });
    return id;
}

void AvahiDaemon::stop(Id id) {
    const auto browser = browsers_.find(id);
    if (browser == browsers_.end()) return;
    if (!browser->second.path.isEmpty()) {
        byPath_.erase(browser->second.path);
        bus_.send(
            daemonCall(browser->second.path, browser->second.interface, QStringLiteral("Free")));
    }
    browsers_.erase(browser);
}

void AvahiDaemon::settle(Id id, bool reached) {
    const auto browser = browsers_.find(id);
    if (browser == browsers_.end() || !browser->second.settled) return;
    const Settled settled = std::exchange(browser->second.settled, nullptr);
    settled(reached);
}

void AvahiDaemon::onItemNew(const QDBusMessage& message) {
    const auto path = byPath_.find(message.path());
    if (path == byPath_.end()) return;
    const QList<QVariant> arguments = message.arguments();
    Item item;
    if (message.interface() == domainBrowserInterface && arguments.size() >= 3) {
        item.domain = arguments[2].toString();
    } else if (message.interface() == serviceBrowserInterface && arguments.size() >= 5) {
        item.name = arguments[2].toString();
        item.type = arguments[3].toString();
        item.domain = arguments[4].toString();
    } else {
        return;
    }
    item.interface = arguments[0].toInt();
    item.protocol = arguments[1].toInt();
    // A copy: the report may stop the browser.
    const Found found = browsers_[path->second].found;
    if (found) found(item);
}

void AvahiDaemon::onSettled(const QDBusMessage& message) {
    // A failure may follow "all for now": each browser is settled once.
    if (const auto path = byPath_.find(message.path()); path != byPath_.end())
        settle(path->second, true);
}

void AvahiDaemon::resolveService(const Item& found, std::chrono::milliseconds timeout,
                                 const QObject* context,
                                 std::function<void(const QString&)> resolved) {
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, context, [resolved] { resolved(QString()); });
        return;
    }
    const QDBusMessage call =
        daemonCall(QStringLiteral("/"), serverInterface, QStringLiteral("ResolveService"),
                   {found.interface, found.protocol, found.name, found.type, found.domain, ipv4,
                    noTextNoAddress});
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(call, static_cast<int>(std::max<long long>(1, timeout.count()))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
    connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, resolved] {
        // The host's name is the sixth of the answer's values.
        const QList<QVariant> values = watcher->reply().arguments();
        resolved(!watcher->isError() && values.size() > 5 ? values[5].toString() : QString());
    });
}

std::vector<std::uint32_t> AvahiDaemon::resolveHostNames(const std::vector<std::string>& hostNames,
                                                         std::chrono::milliseconds bound) {
    QDBusConnection bus = avahiBus();
    if (!bus.isConnected()) return {};
    std::vector<QDBusPendingCall> asked;
    for (const std::string& name : hostNames)
        asked.push_back(bus.asyncCall(
            daemonCall(QStringLiteral("/"), serverInterface, QStringLiteral("ResolveHostName"),
                       {anyInterface, anyProtocol, QString::fromStdString(name), ipv4, 0u}),
            static_cast<int>(std::max<long long>(1, bound.count()))));
    for (QDBusPendingCall& call : asked) {
        call.waitForFinished();
        // The address is the fifth of the answer's values.
        const QList<QVariant> values = call.reply().arguments();
        if (call.isError() || values.size() < 5) continue;
        in_addr address{};
        if (::inet_pton(AF_INET, values[4].toString().toLatin1().constData(), &address) == 1)
            return {address.s_addr};
    }
    return {};
}

} // namespace platform
