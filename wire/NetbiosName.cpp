#include "wire/NetbiosName.h"

#include "text/AsciiText.h"

namespace wire {
namespace {

constexpr std::size_t encodedLength = 2 * (netbiosNameLength + 1);

} // namespace

std::string encodeNetbiosName(const NetbiosName& name) {
    std::string padded =
        text::asciiUpperCase(std::string_view(name.name).substr(0, netbiosNameLength));
    padded.resize(netbiosNameLength, ' ');
    padded.push_back(static_cast<char>(name.suffix));
    std::string out(1, static_cast<char>(encodedLength));
    for (const char c : padded) {
        const auto byte = static_cast<std::uint8_t>(c);
        out.push_back(static_cast<char>('A' + (byte >> 4)));
        out.push_back(static_cast<char>('A' + (byte & 0x0F)));
    }
    out.push_back('\0');
    return out;
}

std::optional<NetbiosName> readNetbiosName(ByteReader& in) {
    if (in.byte() != encodedLength) return std::nullopt;
    const std::string_view letters = in.take(encodedLength);
    if (!in.ok()) return std::nullopt;
    std::string raw;
    for (std::size_t i = 0; i < encodedLength; i += 2) {
        const auto high = static_cast<unsigned char>(letters[i] - 'A');
        const auto low = static_cast<unsigned char>(letters[i + 1] - 'A');
        if (high > 15 || low > 15) return std::nullopt;
        raw.push_back(static_cast<char>(high << 4 | low));
    }
    // A scope, if any, follows as further labels up to the empty root label.
    for (std::uint8_t label = in.byte(); in.ok() && label != 0; label = in.byte()) {
        if (label > 63) return std::nullopt;
        in.skip(label);
    }
    if (!in.ok()) return std::nullopt;
    NetbiosName name;
    name.suffix = static_cast<std::uint8_t>(raw[netbiosNameLength]);
    name.name = raw.substr(0, netbiosNameLength);
    while (!name.name.empty() && name.name.back() == ' ')
        name.name.pop_back();
    return name;
}

} // namespace wire
