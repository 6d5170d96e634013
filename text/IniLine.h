#pragma once

#include <string_view>

// The one reading of a line of a sectioned key=value file: the chat window's placement
// file and Samba's configuration alike. Names are compared with sameTextAscii, the
// program's case rule, so that a key matches whatever the locale.
namespace text {

struct IniLine {
    enum class Kind { Other, Section, Entry };
    Kind kind = Kind::Other;
    // Section: the name between the brackets; Entry: the key. Without surrounding blanks.
    std::string_view name;
    // Entry: everything after the first '=', as written.
    std::string_view value;
};

// "[Name]" (anything after the closing bracket ignored) is a section header; "Key=Value"
// an entry; blank lines, lines starting with ';' or '#' and lines without a key are other
// lines. Blanks around the line are no part of it.
IniLine readIniLine(std::string_view line);

} // namespace text
