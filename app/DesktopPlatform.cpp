#include "app/DesktopPlatform.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace app {
namespace {

bool isSet(const EnvironmentReader& environment, const char* name) {
    const std::optional<std::string> value = environment(name);
    return value && !value->empty();
}

// XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME"); names are compared
// without regard to case.
bool desktopIsGnome(const EnvironmentReader& environment) {
    std::istringstream names(environment("XDG_CURRENT_DESKTOP").value_or(""));
    for (std::string name; std::getline(names, name, ':');) {
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (name == "GNOME") return true;
    }
    return false;
}

} // namespace

std::string preferredPlatform(const EnvironmentReader& environment, int argc, char** argv) {
    if (isSet(environment, "QT_QPA_PLATFORM")) return {};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return {};
    const bool wayland = isSet(environment, "WAYLAND_DISPLAY") ||
                         environment("XDG_SESSION_TYPE").value_or("") == "wayland";
    if (wayland && isSet(environment, "DISPLAY") && desktopIsGnome(environment)) return "xcb";
    return {};
}

void choosePlatform(int argc, char** argv) {
    const std::string platform = preferredPlatform(
        [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            if (!value) return std::nullopt;
            return std::string(value);
        },
        argc, argv);
    if (!platform.empty()) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));
}

} // namespace app
