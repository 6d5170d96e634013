#include "text/AsciiText.h"

namespace text {

std::string asciiUpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = asciiUpper(c);
    return result;
}

void capitalizeNameTo(std::string_view name, char* out) {
    if (name.empty()) return;
    out[0] = asciiUpper(name[0]);
    for (std::size_t i = 1; i < name.size(); ++i)
        out[i] = asciiLower(name[i]);
}

void capitalizeNameInto(std::string_view name, std::string& out) {
    out.resize(name.size());
    capitalizeNameTo(name, out.data());
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
