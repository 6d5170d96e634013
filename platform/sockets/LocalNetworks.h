#pragma once

#include <cstdint>
#include <vector>

// The IPv4 networks this computer is on: one entry per address of an interface that is up,
// loopback left out. Addresses in network byte order.
namespace platform {

struct LocalNetwork {
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    // Where the interface has none, its network's ("address | ~netmask").
    std::uint32_t broadcast = 0;
    bool broadcasts = false;
    bool multicasts = false;

    bool holds(std::uint32_t other) const { return (other & netmask) == (address & netmask); }
};

std::vector<LocalNetwork> localNetworks();

} // namespace platform
