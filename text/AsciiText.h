#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program's one set of case rules for Windows-1252 bytes: names on the wire, the
// local user's name, registry keys and value names. Only ASCII letters change case, so
// that both sides of a session agree on a name whatever their locale: accented letters
// keep their case.
namespace text {

// Without branches: names are cased letter by letter, and mixed case mispredicts.
inline char asciiUpper(char c) {
    return static_cast<char>(c - (static_cast<unsigned char>(c - 'a') < 26u) * 32);
}
inline char asciiLower(char c) {
    return static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26u) * 32);
}
std::string asciiUpperCase(std::string_view text);

// First character upper case, all others lower case; an empty name stays empty.
std::string capitalizeName(std::string_view name);
void capitalizeNameInto(std::string_view name, std::string& out);
// The same into `name.size()` bytes at `out`, for callers that keep names in place.
void capitalizeNameTo(std::string_view name, char* out);

bool sameTextAscii(std::string_view a, std::string_view b);

// At most `count` characters of `text` from the 1-based position `index`; nothing when
// the count is 0 or less or the position lies behind the text. A position before the
// first character counts as the first.
inline std::string_view copyText(std::string_view text, long index, long count) {
    if (count <= 0) return {};
    if (index < 1) index = 1;
    const auto start = static_cast<std::size_t>(index - 1);
    if (start >= text.size()) return {};
    return text.substr(start, static_cast<std::size_t>(count));
}

} // namespace text
