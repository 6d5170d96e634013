#pragma once

// The desktop's session message bus, as the toolkit reaches it (the tray icon of a
// StatusNotifierItem host, desktop notifications, accessibility).
namespace platform {

// The address the toolkit is given when the desktop has no session bus: a file that is
// never a socket, so every attempt to connect fails at once.
inline constexpr const char* noSessionBusAddress = "unix:path=/dev/null";

// Without a bus address in the environment and without the user's bus socket in
// $XDG_RUNTIME_DIR, the bus library would start a bus of its own for the display
// ("autolaunch"), whose daemons outlive the program. This points the toolkit at
// noSessionBusAddress instead, so the program runs as on a desktop without a bus.
// Call once, before the toolkit starts and before any thread does; a desktop that has a
// bus is left as it is. Returns whether the address was set.
bool keepSessionBusFromAutolaunching();

// Whether there is a session bus worth asking: an address other than "no bus" (ours, or the
// "disabled:" that desktops and test harnesses write), or the user's bus socket. Asking
// the toolkit for the bus starts a thread of its own, so without one it is not asked.
bool sessionBusReachable();

} // namespace platform
