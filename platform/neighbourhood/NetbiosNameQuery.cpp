#include "platform/neighbourhood/NetbiosNameQuery.h"

#include "wire/Bytes.h"
#include "wire/DnsHeader.h"
#include "wire/NetbiosName.h"

#include <algorithm>
#include <cstring>

namespace platform::netbios {
namespace {

using wire::ByteReader;
using wire::putBig16;

using wire::dns::classIn;
using wire::dns::headerSize;
constexpr std::uint16_t typeNB = 0x0020;

// An owner name: the encoded name written out in full or, where `questionEchoed`, a
// two-byte pointer to the question's copy of it (offset 12), the only place an answer
// may point to.
bool readOwnerName(ByteReader& in, const std::string& encodedName, bool questionEchoed) {
    const std::string_view head = in.take(1);
    if (!in.ok()) return false;
    const auto first = static_cast<std::uint8_t>(head[0]);
    if ((first & 0xC0) == 0xC0) {
        const std::string_view low = in.take(1);
        return in.ok() && questionEchoed && first == 0xC0 &&
               static_cast<std::uint8_t>(low[0]) == headerSize;
    }
    const std::string_view rest = in.take(encodedName.size() - 1);
    return in.ok() && head[0] == encodedName[0] && rest == std::string_view(encodedName).substr(1);
}

} // namespace

std::optional<std::string> encodeName(std::string_view name, std::uint8_t suffix) {
    if (name.empty() || name.size() > wire::netbiosNameLength) return std::nullopt;
    return wire::encodeNetbiosName({std::string(name), suffix});
}

std::string nameQuery(std::uint16_t id, const std::string& encodedName) {
    std::string out;
    putBig16(out, id);
    putBig16(out, 0x0110); // a query, recursion desired, broadcast
    putBig16(out, 1);      // one question
    putBig16(out, 0);
    putBig16(out, 0);
    putBig16(out, 0);
    out += encodedName;
    putBig16(out, typeNB);
    putBig16(out, classIn);
    return out;
}

std::vector<std::uint32_t> readNameQueryResponse(const std::uint8_t* data, std::size_t size,
                                                 std::uint16_t id, const std::string& encodedName) {
    std::vector<std::uint32_t> addresses;
    if (data == nullptr || encodedName.empty()) return addresses;
    ByteReader in(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::uint16_t answerId = in.big16();
    const std::uint16_t flags = in.big16();
    const std::uint16_t questions = in.big16();
    const std::uint16_t answers = in.big16();
    in.skip(4); // authority and additional counts
    if (!in.ok() || answerId != id || !wire::dns::isPlainAnswer(flags) || answers == 0)
        return addresses;
    // A positive answer carries no question; one that echoes ours is skipped over.
    for (std::uint16_t i = 0; i < questions; ++i) {
        if (!readOwnerName(in, encodedName, false)) return addresses;
        in.skip(4);
    }
    if (!readOwnerName(in, encodedName, questions > 0)) return addresses;
    const std::uint16_t type = in.big16();
    const std::uint16_t klass = in.big16();
    in.skip(4); // time to live
    const std::uint16_t length = in.big16();
    if (!in.ok() || type != typeNB || klass != classIn || length % 6 != 0) return addresses;
    for (std::uint16_t entry = 0; entry < length / 6; ++entry) {
        in.skip(2); // the name's flags: group or unique, node type
        const std::string_view raw = in.take(4);
        if (!in.ok()) return {};
        std::uint32_t address = 0; // kept in network byte order
        std::memcpy(&address, raw.data(), 4);
        if (address != 0 &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    return addresses;
}

} // namespace platform::netbios
