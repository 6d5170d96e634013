#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include "wire/DnsHeader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace platform::mdns {
namespace {

constexpr std::uint16_t typeA = 1;
constexpr std::uint16_t typePtr = 12;
constexpr std::uint16_t typeSrv = 33;
using wire::dns::classIn;
using wire::dns::headerSize;
constexpr std::size_t maxLabel = 63;
constexpr std::size_t maxName = 255;

using Labels = std::vector<std::string>;

Labels labelsOf(std::string_view dotted) {
    Labels labels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = dotted.find('.', start);
        labels.emplace_back(dotted.substr(start, dot - start));
        if (dot == std::string_view::npos) return labels;
        start = dot + 1;
    }
}

void putUint16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool sameLabel(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t at() const { return at_; }
    void seek(std::size_t at) { at_ = at; }

    std::optional<std::uint16_t> uint16() {
        if (size_ - at_ < 2) return std::nullopt;
        const auto value = static_cast<std::uint16_t>(data_[at_] << 8 | data_[at_ + 1]);
        at_ += 2;
        return value;
    }

    bool skip(std::size_t count) {
        if (size_ - at_ < count) return false;
        at_ += count;
        return true;
    }

    // A name, following compression pointers; the reader ends up after the name's own
    // bytes. Each pointer must point before every place the name has been read from so
    // far (as a pointer to an earlier name does), so that no sequence of them can loop.
    std::optional<Labels> name() {
        Labels labels;
        std::size_t length = 1;
        std::size_t at = at_;
        std::size_t lowest = at_;
        std::optional<std::size_t> end;
        for (;;) {
            if (at >= size_) return std::nullopt;
            const std::uint8_t first = data_[at];
            if ((first & 0xC0) == 0xC0) {
                if (at + 1 >= size_) return std::nullopt;
                const std::size_t target =
                    static_cast<std::size_t>(first & 0x3F) << 8 | data_[at + 1];
                if (!end) end = at + 2;
                if (target >= lowest) return std::nullopt;
                lowest = at = target;
                continue;
            }
            if ((first & 0xC0) != 0) return std::nullopt;
            if (first == 0) break;
            if (size_ - at - 1 < first) return std::nullopt;
            length += first + 1u;
            if (length > maxName) return std::nullopt;
            labels.emplace_back(reinterpret_cast<const char*>(data_ + at + 1), first);
            at += 1u + first;
        }
        at_ = end.value_or(at + 1);
        return labels;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = headerSize;
};

std::string textForm(const Labels& labels) {
    std::string text;
    for (const std::string& label : labels) {
        if (!text.empty()) text.push_back('.');
        for (const char c : label) {
            const auto byte = static_cast<unsigned char>(c);
            const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                               (byte >= '0' && byte <= '9') || byte == '-' || byte == '_';
            if (plain) {
                text.push_back(c);
            } else if (c == '.' || c == '\\') {
                text.push_back('\\');
                text.push_back(c);
            } else {
                text.push_back('\\');
                text.push_back(static_cast<char>('0' + byte / 100));
                text.push_back(static_cast<char>('0' + byte / 10 % 10));
                text.push_back(static_cast<char>('0' + byte % 10));
            }
        }
    }
    return text;
}

// Whether a record's owner is an instance of one of the types in "local".
bool ownedByInstance(const Labels& owner, const std::vector<Labels>& types) {
    return std::any_of(types.begin(), types.end(), [&](const Labels& type) {
        // At least one label of instance name, then the type's labels, then "local".
        if (owner.size() < type.size() + 2 || !sameLabel(owner.back(), "local")) return false;
        return std::equal(type.begin(), type.end(), owner.end() - 1 - type.size(), sameLabel);
    });
}

} // namespace

std::string serviceQuery(std::uint16_t id, const std::vector<std::string>& serviceTypes) {
    std::string questions;
    std::uint16_t count = 0;
    for (const std::string& type : serviceTypes) {
        Labels labels = labelsOf(type);
        labels.push_back("local");
        if (std::any_of(labels.begin(), labels.end(), [](const std::string& label) {
                return label.empty() || label.size() > maxLabel;
            }))
            continue;
        for (const std::string& label : labels) {
            questions.push_back(static_cast<char>(label.size()));
            questions += label;
        }
        questions.push_back('\0');
        putUint16(questions, typePtr);
        putUint16(questions, classIn);
        ++count;
    }
    std::string query;
    putUint16(query, id);
    putUint16(query, 0); // a standard query
    putUint16(query, count);
    for (int section = 0; section < 3; ++section)
        putUint16(query, 0);
    return query + questions;
}

std::vector<ServiceHost> readServiceHosts(const std::uint8_t* data, std::size_t size,
                                          std::uint16_t id,
                                          const std::vector<std::string>& serviceTypes) {
    if (size < headerSize) return {};
    Reader reader(data, size);
    reader.seek(0);
    const auto answerId = reader.uint16();
    const auto flags = reader.uint16();
    const auto questions = reader.uint16();
    const auto answers = reader.uint16();
    const auto authorities = reader.uint16();
    const auto additionals = reader.uint16();
    // An answer (QR set), to a standard query (opcode 0), without error (rcode 0). A cut
    // answer (TC set) is read for what it holds.
    if (answerId != id || !wire::dns::isPlainAnswer(*flags)) return {};
    for (std::uint16_t i = 0; i < *questions; ++i)
        if (!reader.name() || !reader.skip(4)) return {};

    std::vector<Labels> types;
    for (const std::string& type : serviceTypes)
        types.push_back(labelsOf(type));
    std::vector<ServiceHost> hosts;
    // Address records, each with its owner in text form, lowered: matched to the hosts
    // once every record is read, since they may come before or after the SRV records.
    std::vector<std::pair<std::string, std::uint32_t>> addresses;
    const int records = *answers + *authorities + *additionals;
    for (int i = 0; i < records; ++i) {
        const auto owner = reader.name();
        const auto type = reader.uint16();
        const auto recordClass = reader.uint16();
        if (!owner || !type || !recordClass || !reader.skip(4)) return {};
        const auto length = reader.uint16();
        if (!length) return {};
        const std::size_t dataStart = reader.at();
        if (!reader.skip(*length)) return {};
        // The class's top bit is multicast DNS's cache-flush flag.
        if ((*recordClass & 0x7FFF) != classIn) continue;
        if (*type == typeA && *length == 4) {
            std::uint32_t address = 0;
            std::memcpy(&address, data + dataStart, 4);
            addresses.emplace_back(lowered(textForm(*owner)), address);
            continue;
        }
        if (*type != typeSrv || !ownedByInstance(*owner, types)) continue;
        // Priority, weight and port, then the target, which must end within the record.
        if (*length < 7) return {};
        reader.seek(dataStart + 6);
        const auto target = reader.name();
        if (!target || reader.at() != dataStart + *length) return {};
        if (target->empty()) continue; // "." : the service is not offered
        std::string host = textForm(*target);
        if (std::none_of(hosts.begin(), hosts.end(),
                         [&](const ServiceHost& known) { return known.name == host; }))
            hosts.push_back({std::move(host), {}});
    }
    for (ServiceHost& host : hosts) {
        const std::string name = lowered(host.name);
        for (const auto& [owner, address] : addresses)
            if (owner == name && host.addresses.size() < maxAddressesPerHost &&
                std::find(host.addresses.begin(), host.addresses.end(), address) ==
                    host.addresses.end())
                host.addresses.push_back(address);
    }
    return hosts;
}

} // namespace platform::mdns
