#include "session/AsciiText.h"

namespace session {

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiUpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = asciiUpper(c);
    return result;
}

void capitalizeNameInto(std::string_view name, std::string& out) {
    out.assign(name);
    if (out.empty()) return;
    out[0] = asciiUpper(out[0]);
    for (std::size_t i = 1; i < out.size(); ++i)
        out[i] = asciiLower(out[i]);
}

std::string capitalizeName(std::string_view name) {
    std::string result;
    capitalizeNameInto(name, result);
    return result;
}

bool sameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

std::string_view copyText(std::string_view text, long index, long count) {
    if (count <= 0) return {};
    if (index < 1) index = 1;
    const auto start = static_cast<std::size_t>(index - 1);
    if (start >= text.size()) return {};
    return text.substr(start, static_cast<std::size_t>(count));
}

} // namespace session
