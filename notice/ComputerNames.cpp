#include "notice/ComputerNames.h"

#include "text/AsciiText.h"
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
    std::string section = "global";
    std::string line;
    while (std::getline(file, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            section = text::asciiUpperCase(trimmed(line.substr(1, line.find(']') - 1)));
            section = section == "GLOBAL" ? "global" : section;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (section != "global" || equals == std::string::npos) continue;
        std::string key = text::asciiUpperCase(trimmed(line.substr(0, equals)));
        key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
        const std::string value = trimmed(line.substr(equals + 1));
        if (key == "WORKGROUP" && !value.empty()) return computerNetbiosName(value);
    }
    return "WORKGROUP";
}

} // namespace notice
