#pragma once

#include "wire/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// NetBIOS names as packets of the name and datagram services carry them.
namespace wire {

// A name has at most this many characters; a suffix byte after them names the service.
inline constexpr std::size_t netbiosNameLength = 15;

struct NetbiosName {
    std::string name; // without its padding blanks
    std::uint8_t suffix = 0;
    bool operator==(const NetbiosName&) const = default;
};

// The 34 bytes that stand for a name in a packet: a length byte of 32, the name's
// first-level encoding (the name upper-cased and cut or padded with blanks to 15
// characters, then the suffix byte, each byte written as two letters 'A' + nibble), and
// the empty scope's zero byte. An empty name is sent as blanks.
std::string encodeNetbiosName(const NetbiosName& name);

// An encoded name and the scope labels after it; none, with the reader failed or not, for
// bytes that are no such name.
std::optional<NetbiosName> readNetbiosName(ByteReader& in);

} // namespace wire
