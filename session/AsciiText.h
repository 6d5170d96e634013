#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers of the session protocol. Names travel as Windows-1252 bytes and are
// compared and capitalised with ASCII-only case rules, so that both sides agree on a
// name whatever their locale: accented letters keep their case.
namespace session {

char asciiUpper(char c);
char asciiLower(char c);
std::string asciiUpperCase(std::string_view text);

// First character upper case, all others lower case; an empty name stays empty.
std::string capitalizeName(std::string_view name);
void capitalizeNameInto(std::string_view name, std::string& out);

bool sameTextAscii(std::string_view a, std::string_view b);

// At most `count` characters of `text` from the 1-based position `index`; nothing when
// the count is 0 or less or the position lies behind the text. A position before the
// first character counts as the first.
std::string_view copyText(std::string_view text, long index, long count);

} // namespace session
