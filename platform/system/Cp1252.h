#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

// The program's texts are Windows-1252 bytes on the wire and in its stored files;
// the toolkit works in UTF-16. These two functions are the only crossing between them.
namespace platform {

// Every byte maps to one character; the five bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same number, so any byte
// string survives a round trip.
QString fromCp1252(std::string_view bytes);

// Characters with no Windows-1252 byte become "?".
std::string toCp1252(const QString& text);

// None when a character has no Windows-1252 byte: for names, which must stay the names
// their owners gave, or not be shown at all.
std::optional<std::string> toCp1252Exactly(const QString& text);

} // namespace platform
