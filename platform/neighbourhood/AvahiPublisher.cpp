#include "platform/neighbourhood/AvahiPublisher.h"

#include "platform/neighbourhood/AvahiDaemon.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

namespace platform {
namespace {

const QString service = QStringLiteral("org.freedesktop.Avahi");
const QString serverInterface = QStringLiteral("org.freedesktop.Avahi.Server");
const QString groupInterface = QStringLiteral("org.freedesktop.Avahi.EntryGroup");

// The daemon's states and its entry groups', as its signals carry them.
constexpr int serverRegistering = 1;
constexpr int serverRunning = 2;
constexpr int serverCollision = 3;
constexpr int groupCollision = 3;

// Each new name is tried this often at most when the names are taken on this host.
constexpr int maxNameAttempts = 20;

} // namespace

std::string falavoxServiceName(const std::string& hostName) {
    std::string name = "Falavox " + hostName;
    if (name.size() <= maxServiceNameBytes) return name;
    // Cut back to the start of a character, never inside one.
    std::size_t end = maxServiceNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    name.resize(end);
    return name;
}

AvahiPublisher::AvahiPublisher(std::uint16_t port) : bus_(avahiBus()), port_(port) {
    // A computer without a system bus announces nothing.
    if (!bus_.isConnected()) return;
    bus_.connect(service, QStringLiteral("/"), serverInterface, QStringLiteral("StateChanged"),
                 this, SLOT(onServerState(int)));
    bus_.connect(service, QString(), groupInterface, QStringLiteral("StateChanged"), this,
                 SLOT(onGroupState(QDBusMessage)));
    // A daemon that starts, or starts again, is asked anew: its groups die with it.
    daemonWatch_.setConnection(bus_);
    daemonWatch_.addWatchedService(service);
    connect(&daemonWatch_, &QDBusServiceWatcher::serviceRegistered, this, [this] { daemonCame(); });
    connect(&daemonWatch_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { daemonWent(); });
    daemonCame();
}

AvahiPublisher::~AvahiPublisher() {
    // Freeing the group withdraws the service.
    if (!group_.isEmpty()) {
        QDBusMessage free =
            QDBusMessage::createMethodCall(service, group_, groupInterface, QStringLiteral("Free"));
        bus_.send(free);
    }
}

void AvahiPublisher::call(const QString& path, const QString& interface, const QString& method,
                          const QList<QVariant>& arguments, Replied replied) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    // A daemon that is not running is waited for, not started.
    message.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, generation = daemonGeneration_, replied = std::move(replied)] {
                watcher->deleteLater();
                if (generation == daemonGeneration_) replied(watcher->reply());
            });
}

void AvahiPublisher::daemonCame() {
    daemonWent();
    call(QStringLiteral("/"), serverInterface, QStringLiteral("GetState"), {},
         [this](const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                 onServerState(reply.arguments().first().toInt());
         });
}

void AvahiPublisher::daemonWent() {
    ++daemonGeneration_;
    group_.clear();
    announcing_ = false;
    added_ = false;
}

void AvahiPublisher::onServerState(int state) {
    if (state == serverRunning) {
        announce();
    } else if (state == serverRegistering || state == serverCollision) {
        // The daemon is renaming the host: the service goes again once it runs.
        withdraw();
    }
}

void AvahiPublisher::onGroupState(const QDBusMessage& message) {
    if (group_.isEmpty() || message.path() != group_ || message.arguments().isEmpty()) return;
    if (message.arguments().first().toInt() != groupCollision) return;
    // Another computer has the service's name: take the next one ("name #2") and announce
    // again.
    withdraw();
    announcing_ = true;
    rename([this] {
        announcing_ = false;
        announce();
    });
}

// Each step is asked for once the one before has been answered: the host's name (for
// the service's), a group, the service in it, then its publication.
void AvahiPublisher::announce() {
    if (announcing_ || added_) return;
    announcing_ = true;
    if (serviceName_.empty()) {
        call(QStringLiteral("/"), serverInterface, QStringLiteral("GetHostName"), {},
             [this](const QDBusMessage& reply) {
                 announcing_ = false;
                 if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                     return;
                 serviceName_ =
                     falavoxServiceName(reply.arguments().first().toString().toStdString());
                 announce();
             });
        return;
    }
    if (group_.isEmpty()) {
        call(QStringLiteral("/"), serverInterface, QStringLiteral("EntryGroupNew"), {},
             [this](const QDBusMessage& reply) {
                 announcing_ = false;
                 if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                     return;
                 group_ = reply.arguments().first().value<QDBusObjectPath>().path();
                 if (!group_.isEmpty()) announce();
             });
        return;
    }
    addService(1);
}

void AvahiPublisher::addService(int attempt) {
    const QList<QVariant> arguments{-1,
                                    -1,
                                    0u,
                                    QString::fromStdString(serviceName_),
                                    QString::fromLatin1(falavoxServiceType),
                                    QString(),
                                    QString(),
                                    QVariant::fromValue<quint16>(port_),
                                    QVariant::fromValue(QList<QByteArray>())};
    call(group_, groupInterface, QStringLiteral("AddService"), arguments,
         [this, attempt](const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage) {
                 added_ = true;
                 announcing_ = false;
                 call(group_, groupInterface, QStringLiteral("Commit"), {},
                      [](const QDBusMessage&) {});
                 return;
             }
             // A name already taken on this host is refused at once; one taken elsewhere
             // comes back later as the group's collision.
             if (reply.errorName() == QStringLiteral("org.freedesktop.Avahi.CollisionError") &&
                 attempt < maxNameAttempts) {
                 rename([this, attempt] { addService(attempt + 1); });
                 return;
             }
             announcing_ = false;
         });
}

void AvahiPublisher::withdraw() {
    if (group_.isEmpty() || !added_) return;
    added_ = false;
    call(group_, groupInterface, QStringLiteral("Reset"), {}, [](const QDBusMessage&) {});
}

void AvahiPublisher::rename(std::function<void()> then) {
    call(QStringLiteral("/"), serverInterface, QStringLiteral("GetAlternativeServiceName"),
         {QString::fromStdString(serviceName_)},
         [this, then = std::move(then)](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 announcing_ = false;
                 return;
             }
             serviceName_ = reply.arguments().first().toString().toStdString();
             then();
         });
}

} // namespace platform
