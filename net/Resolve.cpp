#include "net/Resolve.h"

#include "net/SocketException.h"
#include "net/SocketLibrary.h"
#include "platform/system/Cp1252.h"

#include <netinet/in.h>

namespace net {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Leading blanks skipped, then digits up to the first other character; no digits read
// as 0. Like the system's own reading, larger numbers simply wrap.
std::uint32_t decimalReading(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::uint32_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return value;
}

// Messages carry user texts, which are Windows-1252; exception messages are UTF-8.
std::string utf8FromCp1252(const std::string& text) {
    return platform::fromCp1252(text).toUtf8().toStdString();
}

} // namespace

std::string TrimBlanks(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

std::uint32_t SocketResolveHost(const std::string& text) {
    if (text.empty() || text.size() > 256)
        throw ESocketException("SocketResolveHost: '" + utf8FromCp1252(text) +
                               "' Invalid Hostname.");
    const std::string host = TrimBlanks(text);
    platform::SocketLibrary& library = socketLibrary();
    if (!host.empty() && isDigit(host[0])) {
        const std::uint32_t address = library.inet_addr(host);
        if (address == INADDR_NONE && host != "255.255.255.255")
            throw ESocketException("SocketResolveHost: '" + utf8FromCp1252(text) +
                                   "' Invalid IP address.");
        return address;
    }
    const auto entry = library.gethostbyname(host);
    if (!entry || entry->empty())
        throw ESocketException("SocketResolveHost: Cannot convert host address '" +
                               utf8FromCp1252(text) + "'");
    return entry->front();
}

std::uint16_t SocketResolvePort(const std::string& port, const std::string& protocol) {
    if (port.empty() || port.size() >= 32)
        throw ESocketException("SocketResolvePort: Invalid Port.");
    if (isDigit(port[0])) return static_cast<std::uint16_t>(decimalReading(port));
    const std::string name = TrimBlanks(port);
    const std::string proto = TrimBlanks(protocol);
    platform::SocketLibrary& library = socketLibrary();
    const auto found = library.getservbyname(name, proto.empty() ? nullptr : proto.c_str());
    if (!found)
        throw ESocketException("SocketResolvePort: Cannot convert port '" + utf8FromCp1252(port) +
                               "'");
    return library.networkToHost16(*found);
}

int SocketResolveProto(const std::string& text) {
    if (text.empty() || text.size() >= 32)
        throw ESocketException("SocketResolveProto: Invalid Protocol.");
    const std::string proto = TrimBlanks(text);
    if (!proto.empty() && isDigit(proto[0])) return static_cast<int>(decimalReading(proto));
    const auto found = socketLibrary().getprotobyname(proto);
    if (!found)
        throw ESocketException("SocketResolveProto: Cannot convert protocol '" +
                               utf8FromCp1252(proto) + "'");
    return *found;
}

} // namespace net
