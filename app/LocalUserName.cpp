#include "app/LocalUserName.h"

#include "platform/SystemInfo.h"

namespace app {

namespace {

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string capitalizeName(std::string name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        name[i] = i == 0 ? asciiUpper(name[i]) : asciiLower(name[i]);
    return name;
}

std::string localUserName() {
    constexpr std::size_t maxLength = 256;
    std::string name = platform::userName();
    name = name.substr(0, name.find('\0'));
    if (name.size() > maxLength) name.resize(maxLength);
    return capitalizeName(std::move(name));
}

} // namespace app
