// The display platform the program asks the toolkit for on each kind of desktop.
#include "app/DesktopPlatform.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct PlatformCase {
    const char* name;
    std::map<std::string, std::string> environment;
    std::vector<const char*> arguments;
    const char* platform;
};

class DesktopPlatformTest : public ::testing::TestWithParam<PlatformCase> {};

TEST_P(DesktopPlatformTest, xwaylandOnlyOnGnomeWaylandAndNeverOverTheUsersChoice) {
    const PlatformCase& c = GetParam();
    std::vector<char*> argv{const_cast<char*>("falavox")};
    for (const char* argument : c.arguments)
        argv.push_back(const_cast<char*>(argument));
    const std::string platform = app::preferredPlatform(
        [&](const char* name) -> std::optional<std::string> {
            const auto found = c.environment.find(name);
            if (found == c.environment.end()) return std::nullopt;
            return found->second;
        },
        static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(platform, c.platform);
}

const std::map<std::string, std::string> kGnomeWayland{
    {"XDG_CURRENT_DESKTOP", "GNOME"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}};

std::map<std::string, std::string> with(std::map<std::string, std::string> environment,
                                        const std::string& name, const std::string& value) {
    environment[name] = value;
    return environment;
}

std::map<std::string, std::string> without(std::map<std::string, std::string> environment,
                                           const std::string& name) {
    environment.erase(name);
    return environment;
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, DesktopPlatformTest,
    ::testing::Values(
        PlatformCase{"gnomeWayland", kGnomeWayland, {}, "xcb"},
        PlatformCase{
            "ubuntuGnome", with(kGnomeWayland, "XDG_CURRENT_DESKTOP", "ubuntu:GNOME"), {}, "xcb"},
        PlatformCase{"sessionTypeOnly",
                     with(without(kGnomeWayland, "WAYLAND_DISPLAY"), "XDG_SESSION_TYPE", "wayland"),
                     {},
                     "xcb"},
        PlatformCase{"gnomeWithoutXwayland", without(kGnomeWayland, "DISPLAY"), {}, ""},
        PlatformCase{"gnomeOnX11", without(kGnomeWayland, "WAYLAND_DISPLAY"), {}, ""},
        PlatformCase{"kdeWayland", with(kGnomeWayland, "XDG_CURRENT_DESKTOP", "KDE"), {}, ""},
        PlatformCase{"swayWayland", with(kGnomeWayland, "XDG_CURRENT_DESKTOP", "sway"), {}, ""},
        PlatformCase{"userChoseWayland", with(kGnomeWayland, "QT_QPA_PLATFORM", "wayland"), {}, ""},
        PlatformCase{"userChoseOnTheCommandLine", kGnomeWayland, {"-platform", "wayland"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
