#include "platform/sockets/LocalNetworks.h"

#include <algorithm>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {
namespace {

std::uint32_t ipv4Of(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) return 0;
    sockaddr_in in{};
    std::copy_n(reinterpret_cast<const char*>(address), sizeof in, reinterpret_cast<char*>(&in));
    return in.sin_addr.s_addr;
}

} // namespace

std::vector<LocalNetwork> localNetworks() {
    std::vector<LocalNetwork> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return result;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        LocalNetwork network;
        network.address = ipv4Of(entry->ifa_addr);
        if (network.address == 0) continue;
        network.netmask = ipv4Of(entry->ifa_netmask);
        network.broadcasts = (entry->ifa_flags & IFF_BROADCAST) != 0;
        network.multicasts = (entry->ifa_flags & IFF_MULTICAST) != 0;
        if (network.broadcasts) network.broadcast = ipv4Of(entry->ifa_broadaddr);
        // An address added without a broadcast address still has one: its network's.
        if (network.broadcast == 0) network.broadcast = network.address | ~network.netmask;
        result.push_back(network);
    }
    ::freeifaddrs(list);
    return result;
}

} // namespace platform
