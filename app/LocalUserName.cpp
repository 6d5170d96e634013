#include "app/LocalUserName.h"

#include "platform/system/SystemInfo.h"
#include "text/AsciiText.h"

namespace app {

std::string localUserName() {
    // The system gives at most platform::userNameMaxLength bytes.
    const std::string name = platform::userName();
    return text::capitalizeName(name.substr(0, name.find('\0')));
}

} // namespace app
