#pragma once

#include "wire/NetbiosName.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Mailslot messages between computers travel as NetBIOS datagrams (UDP port 138) whose
// user data is an SMB transaction naming the mailslot \MAILSLOT\<box>. These functions
// build and read such datagrams as plain bytes; they know nothing of sockets.
namespace notice {

inline constexpr std::uint16_t netbiosDatagramPort = 138;
inline constexpr std::uint8_t directUniqueDatagram = 0x10;
inline constexpr std::uint8_t directGroupDatagram = 0x11;
inline constexpr std::uint8_t broadcastDatagram = 0x12;

// The datagram service carries at most this many bytes of user data in one datagram;
// anything longer would need fragments, which many receivers never reassemble.
inline constexpr std::size_t maxDatagramUserData = 512;

// The sender's and the receiver's names, as the datagram service carries them.
using wire::NetbiosName;

struct MailslotDatagram {
    std::uint8_t type = directUniqueDatagram;
    std::uint16_t id = 0;
    std::uint32_t sourceAddress = 0; // network byte order
    NetbiosName source;
    NetbiosName destination;
    std::string mailslot; // "\MAILSLOT\<box>"
    std::string message;  // the mailslot message, byte for byte
};

// The largest message that fits one datagram for a mailslot of that name.
std::size_t maxMailslotMessage(std::string_view mailslot);

// The whole datagram, or nothing when the message does not fit one datagram.
std::optional<std::string> buildMailslotDatagram(const MailslotDatagram& datagram);

// Any bytes at all: a datagram that is not a whole, unfragmented NetBIOS datagram carrying
// a mailslot write gives nothing.
std::optional<MailslotDatagram> parseMailslotDatagram(std::string_view bytes);

// Mailslot names compare without regard to ASCII letter case.
bool sameMailslotName(std::string_view a, std::string_view b);

} // namespace notice
