#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Multicast DNS asked directly, without the Avahi daemon: a one-shot query for the
// services of some types in "local", sent from a port other than 5353, which every
// responder answers with a packet of its own sent to that port, and the reading of such
// an answer. Kept apart from the socket so that every byte a peer may send can be tried
// against the reader alone.
namespace platform::mdns {

inline constexpr std::uint16_t port = 5353;
inline constexpr char groupAddress[] = "224.0.0.251";

// A query with the caller's id for the PTR records of each service type ("_falavox._tcp")
// in "local". Types whose labels are empty or longer than 63 bytes are left out.
std::string serviceQuery(std::uint16_t id, const std::vector<std::string>& serviceTypes);

// A host named by an answer, with the IPv4 addresses (network byte order) that the same
// answer's address records give it.
struct ServiceHost {
    std::string name;
    std::vector<std::uint32_t> addresses;
    bool operator==(const ServiceHost&) const = default;
};

// An answer names few addresses per host; more are not kept.
inline constexpr std::size_t maxAddressesPerHost = 4;

// The hosts named by the SRV records of an answer to that query: each record owned by an
// instance of one of the types in "local" gives its target, in the text form Avahi uses
// (labels joined by dots, '.' and '\' in a label escaped with a backslash and every byte
// other than a letter, digit, '-' or '_' written "\DDD"), without the final dot, with the
// addresses of the answer's A records owned by that name (letter case aside). Each host
// once, in the answer's order. None for anything else: another id, a query, an error, or
// bytes that end early or do not add up.
std::vector<ServiceHost> readServiceHosts(const std::uint8_t* data, std::size_t size,
                                          std::uint16_t id,
                                          const std::vector<std::string>& serviceTypes);

} // namespace platform::mdns
