#pragma once

#include <cstddef>
#include <cstdint>

// The header that DNS packets, multicast DNS and NetBIOS name service alike, begin with:
// the identifier, the flags, then the counts of questions, answers, authorities and
// additional records, each two bytes in network order.
namespace wire::dns {

inline constexpr std::size_t headerSize = 12;

inline constexpr std::uint16_t responseBit = 0x8000;
inline constexpr std::uint16_t opcodeMask = 0x7800;
inline constexpr std::uint16_t rcodeMask = 0x000F;

// The Internet class of a question or a record.
inline constexpr std::uint16_t classIn = 1;

// An answer (QR set) to a standard query (opcode 0), without error (rcode 0).
inline constexpr bool isPlainAnswer(std::uint16_t flags) {
    return (flags & responseBit) != 0 && (flags & opcodeMask) == 0 && (flags & rcodeMask) == 0;
}

} // namespace wire::dns
