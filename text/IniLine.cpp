#include "text/IniLine.h"

namespace text {
namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

IniLine readIniLine(std::string_view line) {
    const std::string_view body = trimmed(line);
    if (body.empty() || body.front() == ';' || body.front() == '#') return {};
    if (body.front() == '[') {
        const std::string_view inside = body.substr(1);
        return {IniLine::Kind::Section, trimmed(inside.substr(0, inside.find(']'))), {}};
    }
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view key = trimmed(body.substr(0, equals));
    if (key.empty()) return {};
    // The value is taken from the line itself, so that blanks at its end stay its own.
    const std::size_t valueAt = line.find('=') + 1;
    return {IniLine::Kind::Entry, key, line.substr(valueAt)};
}

} // namespace text
