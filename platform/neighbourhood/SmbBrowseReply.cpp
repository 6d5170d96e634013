#include "platform/neighbourhood/SmbBrowseReply.h"

namespace platform::smbbrowse {
namespace {

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += c;
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A field back as it was; none when an escape is broken.
std::optional<std::string> unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<Entry> entryOf(std::string_view line) {
    const std::size_t first = line.find('\t');
    if (first != 1) return std::nullopt;
    const std::size_t second = line.find('\t', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    // The kinds are written as their own letters.
    if (std::string_view("WSFP").find(line[0]) == std::string_view::npos) return std::nullopt;
    Entry entry;
    entry.kind = static_cast<Kind>(line[0]);
    auto name = unescaped(line.substr(first + 1, second - first - 1));
    auto comment = unescaped(line.substr(second + 1));
    if (!name || !comment) return std::nullopt;
    entry.name = std::move(*name);
    entry.comment = std::move(*comment);
    return entry;
}

} // namespace

std::string entryLine(const Entry& entry) {
    std::string line(1, static_cast<char>(entry.kind));
    line += '\t';
    appendEscaped(line, entry.name);
    line += '\t';
    appendEscaped(line, entry.comment);
    line += '\n';
    return line;
}

std::optional<std::vector<Entry>> readReply(std::string_view reply) {
    std::vector<Entry> entries;
    while (!reply.empty()) {
        const std::size_t end = reply.find('\n');
        if (end == std::string_view::npos) return std::nullopt; // cut off inside a line
        const std::string_view line = reply.substr(0, end);
        reply.remove_prefix(end + 1);
        if (line == endLine.substr(0, endLine.size() - 1)) return entries;
        if (std::optional<Entry> entry = entryOf(line)) entries.push_back(std::move(*entry));
    }
    return std::nullopt;
}

} // namespace platform::smbbrowse
