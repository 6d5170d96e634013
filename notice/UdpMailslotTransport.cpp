#include "notice/UdpMailslotTransport.h"

#include "notice/MailslotDatagram.h"
#include "platform/sockets/HostLookup.h"
#include "platform/sockets/LocalNetworks.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace notice {
namespace {

const std::string mailslotPrefix = "\\MAILSLOT\\";

sockaddr_in endpoint(std::uint32_t address, std::uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = address;
    where.sin_port = htons(port);
    return where;
}

// Closes a socket on every way out.
struct SocketGuard {
    int fd;
    ~SocketGuard() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

UdpMailslotTransport::UdpMailslotTransport(Options options) : options_(std::move(options)) {
    if (!options_.lookup)
        options_.lookup = [](const std::string& name) {
            return platform::lookupHost(name).addresses;
        };
}

UdpMailslotTransport::~UdpMailslotTransport() {
    closeLocal();
}

bool UdpMailslotTransport::createLocal(const std::string& boxName) {
    closeLocal();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // No address reuse: a port that another program holds means the mailslot exists.
    const sockaddr_in where = endpoint(options_.bindAddress, options_.port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        ::close(fd);
        return false;
    }
    local_ = fd;
    localMailslot_ = mailslotPrefix + boxName;
    return true;
}

void UdpMailslotTransport::closeLocal() {
    if (local_ >= 0) ::close(local_);
    local_ = -1;
}

std::optional<std::string> UdpMailslotTransport::readLocal() {
    if (local_ < 0) return std::nullopt;
    ssize_t got;
    do
        got = ::recv(local_, receiveBuffer_.data(), receiveBuffer_.size(), MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got < 0) return std::nullopt;
    const std::string_view buffer(receiveBuffer_.data(), static_cast<std::size_t>(got));
    std::optional<MailslotDatagram> datagram = parseMailslotDatagram(buffer);
    if (!datagram || !sameMailslotName(datagram->mailslot, localMailslot_)) return std::nullopt;
    return std::move(datagram->message);
}

bool UdpMailslotTransport::write(const std::string& target, const std::string& boxName,
                                 const std::string& message) {
    const std::string mailslot = mailslotPrefix + boxName;
    if (message.size() > maxMailslotMessage(mailslot) || target.empty()) return false;
    SocketGuard sender{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (sender.fd < 0) return false;
    if (target == "*") {
        const int on = 1;
        ::setsockopt(sender.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        // Each broadcast address with the address of the interface it goes out of.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> targets;
        if (options_.broadcastAddresses) {
            for (std::uint32_t address : *options_.broadcastAddresses)
                targets.emplace_back(0, address);
        } else {
            for (const platform::LocalNetwork& network : platform::localNetworks())
                if (network.broadcasts) targets.emplace_back(network.address, network.broadcast);
        }
        // A group write reaches whoever listens; like a mailslot write to "*", it cannot
        // fail for want of receivers.
        for (const auto& [address, broadcast] : targets)
            sendTo(sender.fd, broadcast, address, options_.workgroup, directGroupDatagram, mailslot,
                   message);
        return true;
    }
    const std::vector<std::uint32_t> addresses = options_.lookup(target);
    if (addresses.empty()) return false;
    // Connecting a datagram socket sends nothing; it picks the address this computer
    // uses towards the target, which the datagram names as its source.
    const sockaddr_in where = endpoint(addresses.front(), options_.port);
    sockaddr_in self{};
    socklen_t selfLength = sizeof self;
    if (::connect(sender.fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        ::getsockname(sender.fd, reinterpret_cast<sockaddr*>(&self), &selfLength) != 0)
        return false;
    sendTo(sender.fd, addresses.front(), self.sin_addr.s_addr, target, directUniqueDatagram,
           mailslot, message);
    return true;
}

bool UdpMailslotTransport::sendTo(int socket, std::uint32_t address, std::uint32_t sourceAddress,
                                  const std::string& destination, std::uint8_t type,
                                  const std::string& mailslot, const std::string& message) {
    MailslotDatagram datagram;
    datagram.type = type;
    datagram.id = ++nextId_;
    datagram.sourceAddress = sourceAddress;
    datagram.source = {options_.computerName, 0x00};
    datagram.destination = {destination, 0x00};
    datagram.mailslot = mailslot;
    datagram.message = message;
    const std::optional<std::string> bytes = buildMailslotDatagram(datagram);
    if (!bytes) return false;
    const sockaddr_in where = endpoint(address, options_.port);
    ssize_t sent;
    do
        sent = ::sendto(socket, bytes->data(), bytes->size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&where), sizeof where);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(bytes->size());
}

} // namespace notice
