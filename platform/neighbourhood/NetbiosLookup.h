#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Finding a Windows or Samba computer by its NetBIOS name, where no DNS server knows it:
// a name query broadcast on every IPv4 network this computer is on.
namespace platform {

// The addresses (network byte order) the first positive answer gives for NAME<00>; none
// when no one answers within `bound`, the name cannot be a NetBIOS name, or there is no
// network to ask. Blocks for at most `bound`.
std::vector<std::uint32_t> netbiosLookup(const std::string& name, std::chrono::milliseconds bound);

// The broadcast address (network byte order) of each IPv4 interface that is up, each
// once; loopback has none.
std::vector<std::uint32_t> interfaceBroadcastAddresses();

} // namespace platform
