#include "notice/ComputerNames.h"

#include "text/AsciiText.h"
#include "text/IniLine.h"
#include "wire/NetbiosName.h"

#include <algorithm>
#include <fstream>

namespace notice {
namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string computerNetbiosName(const std::string& hostName) {
    return text::asciiUpperCase(hostName.substr(0, wire::netbiosNameLength));
}

std::string sambaWorkgroup(const std::string& configPath) {
    std::ifstream file(configPath);
    bool global = true;
    std::string line;
    while (std::getline(file, line)) {
        const text::IniLine read = text::readIniLine(line);
        if (read.kind == text::IniLine::Kind::Section) {
            global = text::sameTextAscii(read.name, "global");
            continue;
        }
        if (!global || read.kind != text::IniLine::Kind::Entry) continue;
        // Samba ignores blanks inside a parameter's name: "work group" is "workgroup".
        std::string key(read.name);
        key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
        const std::string value = trimmed(std::string(read.value));
        if (text::sameTextAscii(key, "workgroup") && !value.empty())
            return computerNetbiosName(value);
    }
    return "WORKGROUP";
}

} // namespace notice
