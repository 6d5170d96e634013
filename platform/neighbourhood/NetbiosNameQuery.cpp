#include "platform/neighbourhood/NetbiosNameQuery.h"

#include "text/AsciiText.h"

#include <algorithm>

namespace platform::netbios {
namespace {

constexpr std::size_t headerSize = 12;
constexpr std::uint16_t typeNB = 0x0020;
constexpr std::uint16_t classIN = 0x0001;
constexpr std::uint16_t responseBit = 0x8000;
constexpr std::uint16_t opcodeMask = 0x7800;
constexpr std::uint16_t rcodeMask = 0x000F;

void put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

// A bounds-checked reader: every read past the end fails, and the reader then stays
// failed, so a packet that ends early is told from one that does not add up only by the
// caller's own checks.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool failed() const { return failed_; }
    std::size_t offset() const { return offset_; }

    std::uint16_t u16() {
        if (!has(2)) return 0;
        const std::uint16_t value =
            static_cast<std::uint16_t>(data_[offset_] << 8 | data_[offset_ + 1]);
        offset_ += 2;
        return value;
    }

    std::uint32_t u32Raw() {
        if (!has(4)) return 0;
        std::uint32_t value = 0;
        auto* bytes = reinterpret_cast<std::uint8_t*>(&value);
        std::copy_n(data_ + offset_, 4, bytes);
        offset_ += 4;
        return value;
    }

    std::string_view bytes(std::size_t count) {
        if (!has(count)) return {};
        std::string_view view(reinterpret_cast<const char*>(data_ + offset_), count);
        offset_ += count;
        return view;
    }

    void skip(std::size_t count) { bytes(count); }

private:
    bool has(std::size_t count) {
        if (failed_ || size_ - offset_ < count) failed_ = true;
        return !failed_;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    bool failed_ = false;
};

// An owner name: the encoded name written out in full or, where `questionEchoed`, a
// two-byte pointer to the question's copy of it (offset 12), the only place an answer
// may point to.
bool readOwnerName(Reader& in, const std::string& encodedName, bool questionEchoed) {
    const std::string_view head = in.bytes(1);
    if (in.failed()) return false;
    const auto first = static_cast<std::uint8_t>(head[0]);
    if ((first & 0xC0) == 0xC0) {
        const std::string_view low = in.bytes(1);
        return !in.failed() && questionEchoed && first == 0xC0 &&
               static_cast<std::uint8_t>(low[0]) == headerSize;
    }
    const std::string_view rest = in.bytes(encodedName.size() - 1);
    return !in.failed() && head[0] == encodedName[0] &&
           rest == std::string_view(encodedName).substr(1);
}

} // namespace

std::optional<std::string> encodeName(std::string_view name, std::uint8_t suffix) {
    if (name.empty() || name.size() > 15) return std::nullopt;
    std::string padded = text::asciiUpperCase(name);
    padded.resize(15, ' ');
    padded.push_back(static_cast<char>(suffix));
    std::string out(1, static_cast<char>(32));
    for (const char c : padded) {
        const auto byte = static_cast<std::uint8_t>(c);
        out.push_back(static_cast<char>('A' + (byte >> 4)));
        out.push_back(static_cast<char>('A' + (byte & 0x0F)));
    }
    out.push_back('\0');
    return out;
}

std::string nameQuery(std::uint16_t id, const std::string& encodedName) {
    std::string out;
    put16(out, id);
    put16(out, 0x0110); // a query, recursion desired, broadcast
    put16(out, 1);      // one question
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    out += encodedName;
    put16(out, typeNB);
    put16(out, classIN);
    return out;
}

std::vector<std::uint32_t> readNameQueryResponse(const std::uint8_t* data, std::size_t size,
                                                 std::uint16_t id, const std::string& encodedName) {
    std::vector<std::uint32_t> addresses;
    if (data == nullptr || encodedName.empty()) return addresses;
    Reader in(data, size);
    const std::uint16_t answerId = in.u16();
    const std::uint16_t flags = in.u16();
    const std::uint16_t questions = in.u16();
    const std::uint16_t answers = in.u16();
    in.skip(4); // authority and additional counts
    if (in.failed() || answerId != id || !(flags & responseBit) || (flags & opcodeMask) != 0 ||
        (flags & rcodeMask) != 0 || answers == 0)
        return addresses;
    // A positive answer carries no question; one that echoes ours is skipped over.
    for (std::uint16_t i = 0; i < questions; ++i) {
        if (!readOwnerName(in, encodedName, false)) return addresses;
        in.skip(4);
    }
    if (!readOwnerName(in, encodedName, questions > 0)) return addresses;
    const std::uint16_t type = in.u16();
    const std::uint16_t klass = in.u16();
    in.skip(4); // time to live
    const std::uint16_t length = in.u16();
    if (in.failed() || type != typeNB || klass != classIN || length % 6 != 0) return addresses;
    for (std::uint16_t entry = 0; entry < length / 6; ++entry) {
        in.skip(2); // the name's flags: group or unique, node type
        const std::uint32_t address = in.u32Raw();
        if (in.failed()) return {};
        if (address != 0 &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    return addresses;
}

} // namespace platform::netbios
