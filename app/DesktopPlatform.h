#pragma once

#include <functional>
#include <optional>
#include <string>

// Which of the toolkit's display platforms the program runs on.
namespace app {

// Reads one environment variable; nullopt when it is not set.
using EnvironmentReader = std::function<std::optional<std::string>(const char* name)>;

// The platform the program asks the toolkit for, or empty to leave the choice to the
// toolkit. On a GNOME Wayland session with XWayland it is X11 ("xcb"): GNOME's compositor
// draws no title bars for Wayland windows, and the ones the toolkit draws itself there
// cut long titles and offer to maximise fixed-size windows, while through XWayland the
// windows get GNOME's own title bars, buttons and dialog placement. A platform the user
// chose (QT_QPA_PLATFORM or "-platform") always stands.
std::string preferredPlatform(const EnvironmentReader& environment, int argc, char** argv);

// Hands preferredPlatform() of the process's environment to the toolkit; call before the
// application object exists.
void choosePlatform(int argc, char** argv);

} // namespace app
