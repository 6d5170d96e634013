#include "platform/system/SessionBus.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The bus library takes $XDG_RUNTIME_DIR/bus only when it is a socket of this user's.
bool userBusSocketExists() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    const std::string path = std::string(runtime) + "/bus";
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

} // namespace

bool keepSessionBusFromAutolaunching() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if ((address && *address) || userBusSocketExists()) return false;
    return ::setenv("DBUS_SESSION_BUS_ADDRESS", noSessionBusAddress, 1) == 0;
}

bool sessionBusReachable() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) return userBusSocketExists();
    const std::string_view given(address);
    return given != noSessionBusAddress && given != "disabled:";
}

} // namespace platform
