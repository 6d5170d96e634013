#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text of a mailslot message as lines, and back.
namespace notice {

// A line ends at CR LF, at a lone CR or at a lone LF; a zero byte ends the whole text.
// A last line without a line end is a line; a line end at the very end adds no empty
// line; an empty text gives no lines.
std::vector<std::string> splitMessageLines(std::string_view text);

// Each line followed by CR LF, the last one included.
std::string joinMessageLines(const std::vector<std::string>& lines);

} // namespace notice
