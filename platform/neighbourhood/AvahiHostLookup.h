#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The IPv4 addresses (network byte order) the Avahi daemon finds for the first of
// `hostNames` (UTF-8, full names such as "box.local") that it can resolve; the names are
// asked at once. None without a daemon or when nothing answers within `bound`.
std::vector<std::uint32_t> avahiHostLookup(const std::vector<std::string>& hostNames,
                                           std::chrono::milliseconds bound);

} // namespace platform
