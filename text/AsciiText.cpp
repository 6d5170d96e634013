#include "text/AsciiText.h"

namespace text {

std::string asciiUpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = asciiUpper(c);
    return result;
}

void capitalizeNameInto(std::string_view name, std::string& out) {
    out.clear();
    out.append(name.data(), name.size());
    const std::size_t n = out.size();
    if (n == 0) return;
    char* p = out.data();
    p[0] = asciiUpper(p[0]);
    for (std::size_t i = 1; i < n; ++i)
        p[i] = asciiLower(p[i]);
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

} // namespace text
