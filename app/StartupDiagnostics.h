#pragma once

#include <QtGlobal>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// What the program says on its error stream when it cannot start, so that whoever
// started it from a terminal or a session log learns why in plain words: no display to
// show a window on, or a port that another program holds.
namespace app {

// The exit code of a copy that found no display to open a window on.
inline constexpr int noDisplayExitCode = 1;

// Why no window can possibly be opened, or empty when the toolkit may try: no platform
// was chosen (QT_QPA_PLATFORM or "-platform") and neither an X11 nor a Wayland display
// is named in the environment.
std::string missingDisplayReason(int argc, char** argv);

// While it lives, a display the toolkit cannot open ends the program with one line on
// the error stream and noDisplayExitCode, instead of the toolkit's abort and core dump.
// What the toolkit says meanwhile is held back and passed on once the application
// object exists (finish()), so a successful start loses none of its warnings.
class ToolkitStartGuard {
public:
    ToolkitStartGuard();
    ToolkitStartGuard(const ToolkitStartGuard&) = delete;
    ToolkitStartGuard& operator=(const ToolkitStartGuard&) = delete;
    ~ToolkitStartGuard();

    void finish();

private:
    QtMessageHandler previous_;
    bool finished_ = false;
};

// A process that has a listening TCP socket open.
struct ListeningProcess {
    pid_t Pid;
    std::string Name;
};

// Who listens on a TCP port (IPv4 or IPv6) in this network namespace, from /proc: the
// owners' user ids of the listening sockets and the processes that hold them. A
// process of another user cannot be seen without privileges: its owner still is.
struct PortListeners {
    std::vector<uid_t> Owners;
    std::vector<ListeningProcess> Processes;
};
PortListeners portListeners(std::uint16_t port);

// The lines a copy that could not listen writes on its error stream: the socket
// layer's message on one line and, when something listens on the port, who does.
std::vector<std::string> listenFailureLines(const std::string& socketMessage, std::uint16_t port,
                                            const PortListeners& holders);

} // namespace app
