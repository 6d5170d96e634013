#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The NetBIOS name service's query for a computer's name: the request a client
// broadcasts on UDP port 137 and the reading of a positive answer. Kept apart from the
// sockets so that every byte a peer may send can be tried against the reader alone.
namespace platform::netbios {

inline constexpr std::uint16_t nameServicePort = 137;

// The encoded NAME<suffix> (wire/NetbiosName.h) that the query asks for; none for an
// empty name or one longer than a NetBIOS name may be.
std::optional<std::string> encodeName(std::string_view name, std::uint8_t suffix = 0x00);

// A broadcast query for the NB record of an encoded name, with the caller's
// transaction id.
std::string nameQuery(std::uint16_t id, const std::string& encodedName);

// The IPv4 addresses (network byte order) a positive answer to that query gives, each
// once, in the order given; none for anything else: another id, another name, a
// request, a negative answer, or bytes that end early or do not add up.
std::vector<std::uint32_t> readNameQueryResponse(const std::uint8_t* data, std::size_t size,
                                                 std::uint16_t id, const std::string& encodedName);

} // namespace platform::netbios
