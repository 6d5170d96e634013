#include "app/StartupDiagnostics.h"

#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace app {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// ----- the toolkit's messages while it opens the display --------------------------------

struct HeldMessage {
    QtMsgType type;
    std::string category;
    std::string file;
    std::string function;
    int line;
    QString text;
};

std::mutex heldMutex;
std::vector<HeldMessage> heldMessages;

// The platform plugin names its own failure ("could not connect to display :1") in a
// warning before the toolkit gives up with a page about reinstalling; that warning is
// the plain reason.
std::string failureReason(const QString& fatalText) {
    for (const HeldMessage& held : heldMessages)
        if (held.category.rfind("qt.qpa", 0) == 0) return held.text.toStdString();
    const QString firstLine = fatalText.section(QLatin1Char('\n'), 0, 0);
    return firstLine.toStdString();
}

void holdToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    std::lock_guard lock(heldMutex);
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "falavox: cannot open a window on the display: %s\n",
                     failureReason(text).c_str());
        std::fflush(stderr);
        std::_Exit(noDisplayExitCode);
    }
    heldMessages.push_back({type, context.category ? context.category : "",
                            context.file ? context.file : "",
                            context.function ? context.function : "", context.line, text});
}

// ----- /proc --------------------------------------------------------------------------------

struct ListeningSocket {
    unsigned long inode;
    uid_t owner;
};

// Listening sockets on the port from one of /proc/net/tcp and /proc/net/tcp6, whose
// lines read "sl local_address rem_address st queues timer retransmits uid timeout
// inode ...", the local address ending in ":PORT" in hexadecimal and state 0A
// meaning listening.
void readListeningSockets(const char* table, std::uint16_t port,
                          std::vector<ListeningSocket>& found) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the column titles
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        unsigned long uid = 0, timeout = 0, inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        const std::size_t colon = local.rfind(':');
        if (colon == std::string::npos || state != "0A") continue;
        char* end = nullptr;
        const unsigned long localPort = std::strtoul(local.c_str() + colon + 1, &end, 16);
        if (*end != '\0' || localPort != port) continue;
        found.push_back({inode, static_cast<uid_t>(uid)});
    }
}

bool allDigits(const char* name) {
    return *name != '\0' &&
           std::all_of(name, name + std::strlen(name), [](char c) { return c >= '0' && c <= '9'; });
}

std::string processName(const std::string& pidText) {
    std::ifstream in("/proc/" + pidText + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? std::string("?") : name;
}

// Whether one of the process's open files is one of the sockets. A process of
// another user hides its files from an unprivileged reader: that counts as no.
bool holdsOneOf(const std::string& pidText, const std::vector<std::string>& links) {
    const std::string folder = "/proc/" + pidText + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) return false;
    bool holds = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (!allDigits(entry->d_name)) continue;
        char target[64];
        const std::string path = folder + "/" + entry->d_name;
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0) continue;
        if (std::find(links.begin(), links.end(), std::string(target, length)) != links.end()) {
            holds = true;
            break;
        }
    }
    ::closedir(fds);
    return holds;
}

std::string userName(uid_t uid) {
    passwd entry{};
    passwd* result = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr)
        return result->pw_name;
    return "uid " + std::to_string(uid);
}

std::string singleLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            out += ": ";
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            out += ": ";
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string missingDisplayReason(int argc, char** argv) {
    if (isSet("QT_QPA_PLATFORM")) return {};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return {};
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")) return {};
    return "no display to open a window on: neither DISPLAY nor WAYLAND_DISPLAY is set; "
           "start Falavox from a graphical session";
}

ToolkitStartGuard::ToolkitStartGuard() : previous_(qInstallMessageHandler(holdToolkitMessage)) {}

ToolkitStartGuard::~ToolkitStartGuard() {
    finish();
}

void ToolkitStartGuard::finish() {
    if (finished_) return;
    finished_ = true;
    qInstallMessageHandler(previous_);
    std::vector<HeldMessage> held;
    {
        std::lock_guard lock(heldMutex);
        held.swap(heldMessages);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(message.file.c_str(), message.line,
                                         message.function.c_str(), message.category.c_str());
        previous_(message.type, context, message.text);
    }
}

PortListeners portListeners(std::uint16_t port) {
    std::vector<ListeningSocket> sockets;
    readListeningSockets("/proc/net/tcp", port, sockets);
    readListeningSockets("/proc/net/tcp6", port, sockets);

    PortListeners listeners;
    std::vector<std::string> links;
    for (const ListeningSocket& socket : sockets) {
        if (std::find(listeners.Owners.begin(), listeners.Owners.end(), socket.owner) ==
            listeners.Owners.end())
            listeners.Owners.push_back(socket.owner);
        links.push_back("socket:[" + std::to_string(socket.inode) + "]");
    }
    if (links.empty()) return listeners;

    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return listeners;
    while (const dirent* entry = ::readdir(processes)) {
        if (!allDigits(entry->d_name) || !holdsOneOf(entry->d_name, links)) continue;
        listeners.Processes.push_back(
            {static_cast<pid_t>(std::atol(entry->d_name)), processName(entry->d_name)});
    }
    ::closedir(processes);
    return listeners;
}

std::vector<std::string> listenFailureLines(const std::string& socketMessage, std::uint16_t port,
                                            const PortListeners& holders) {
    const std::string portName = "TCP port " + std::to_string(port);
    std::vector<std::string> lines{"cannot listen on " + portName + ": " +
                                   singleLine(socketMessage)};
    if (!holders.Processes.empty()) {
        std::string line = portName + " is held by ";
        for (std::size_t i = 0; i < holders.Processes.size(); ++i) {
            if (i > 0) line += ", ";
            line += holders.Processes[i].Name + " (pid " +
                    std::to_string(holders.Processes[i].Pid) + ")";
        }
        lines.push_back(line);
    } else if (!holders.Owners.empty()) {
        std::string users;
        for (const uid_t owner : holders.Owners)
            users += (users.empty() ? "" : ", ") + userName(owner);
        lines.push_back(portName + " is held by a program of user " + users +
                        " (only that user or root can tell which one)");
    }
    return lines;
}

} // namespace app
