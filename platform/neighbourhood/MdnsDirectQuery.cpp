#include "platform/neighbourhood/MdnsDirectQuery.h"

#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
std::unique_ptr<MdnsDirectQuery>
MdnsDirectQuery::start(const std::vector<std::string>& serviceTypes) {
    std::vector<LocalNetwork> networks = localNetworks();
    networks.erase(std::remove_if(networks.begin(), networks.end(),
                                  [](const LocalNetwork& n) { return !n.multicasts; }),
                   networks.end());
    if (networks.empty()) return nullptr;
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0) return nullptr;
    // Responders on the link answer a query from this port (any but 5353) by unicast.
    const unsigned char ttl = 255;
    ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    const auto id = static_cast<std::uint16_t>(std::random_device{}());
    const std::string query = mdns::serviceQuery(id, serviceTypes);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(mdns::port);
    ::inet_pton(AF_INET, mdns::groupAddress, &group.sin_addr);
    bool sent = false;
    for (const LocalNetwork& network : networks) {
        in_addr from{};
        from.s_addr = network.address;
        if (::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &from, sizeof from) == 0 &&
            ::sendto(socket, query.data(), query.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&group), sizeof group) >= 0)
            sent = true;
    }
    if (!sent) {
        ::close(socket);
        return nullptr;
    }
    return std::unique_ptr<MdnsDirectQuery>(
        new MdnsDirectQuery(socket, id, serviceTypes, std::move(networks)));
}

MdnsDirectQuery::MdnsDirectQuery(int socket, std::uint16_t id,
                                 std::vector<std::string> serviceTypes,
                                 std::vector<LocalNetwork> networks)
    : socket_(socket), id_(id), serviceTypes_(std::move(serviceTypes)),
      networks_(std::move(networks)), readable_(socket, QSocketNotifier::Read) {
    // A few packets each turn of the loop (a full one names a thousand hosts), so that a
    // sender that never stops keeps the user-interface thread's other events waiting a
    // few milliseconds at most.
    QObject::connect(&readable_, &QSocketNotifier::activated, [this] { readAnswers(16); });
}

MdnsDirectQuery::~MdnsDirectQuery() {
    readable_.setEnabled(false);
    ::close(socket_);
}

void MdnsDirectQuery::readAnswers(int maxPackets) {
    // A multicast DNS packet is at most 9000 bytes; a longer one is cut and then fails
    // to add up.
    std::array<std::uint8_t, 9000> packet{};
    for (int turn = 0; turn < maxPackets; ++turn) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t received = ::recvfrom(socket_, packet.data(), packet.size(), 0,
                                            reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (received < 0) {
            if (errno == EINTR) continue;
            return; // nothing more for now
        }
        // Only responders on this computer's own networks answer, from their port.
        const std::uint32_t address = from.sin_addr.s_addr;
        if (from.sin_port != htons(mdns::port) ||
            std::none_of(networks_.begin(), networks_.end(),
                         [&](const LocalNetwork& network) { return network.holds(address); }))
            continue;
        roster_.add(address,
                    mdns::readServiceHosts(packet.data(), static_cast<std::size_t>(received), id_,
                                           serviceTypes_));
    }
}

} // namespace platform
