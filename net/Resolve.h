#pragma once

#include <cstdint>
#include <string>

// Turning the texts of a socket's settings into numbers. Each raises ESocketException
// with a message that names the text it could not use. Texts are Windows-1252 bytes.
namespace net {

// A dotted IPv4 address or a host name; the result is in network byte order. A host
// name blocks until the system answers.
std::uint32_t SocketResolveHost(const std::string& text);

// A decimal number or a service name; the result is in host byte order (the low 16 bits
// of the number read).
std::uint16_t SocketResolvePort(const std::string& port, const std::string& protocol);

// A protocol number or name ("tcp" is 6).
int SocketResolveProto(const std::string& text);

// Blanks and control characters removed from both ends.
std::string TrimBlanks(const std::string& text);

} // namespace net
