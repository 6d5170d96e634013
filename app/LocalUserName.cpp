#include "app/LocalUserName.h"

#include "platform/SystemInfo.h"
#include "text/AsciiText.h"

namespace app {

std::string localUserName() {
    constexpr std::size_t maxLength = 256;
    std::string name = platform::userName();
    name = name.substr(0, name.find('\0'));
    if (name.size() > maxLength) name.resize(maxLength);
    return text::capitalizeName(name);
}

} // namespace app
