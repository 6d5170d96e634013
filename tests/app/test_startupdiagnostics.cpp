// What a copy that cannot start says on its error stream: who holds the port it could
// not listen on, and one plain line instead of the toolkit's abort when no display opens.
#include "app/StartupDiagnostics.h"

#include <QLoggingCategory>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A TCP socket of this process listening on a loopback port the system picked.
class LoopbackSocket {
public:
    explicit LoopbackSocket(int family) : fd_(::socket(family, SOCK_STREAM, 0)) {
        sockaddr_storage address{};
        socklen_t length;
        if (family == AF_INET6) {
            auto* six = reinterpret_cast<sockaddr_in6*>(&address);
            six->sin6_family = AF_INET6;
            six->sin6_addr = in6addr_loopback;
            length = sizeof *six;
        } else {
            auto* four = reinterpret_cast<sockaddr_in*>(&address);
            four->sin_family = AF_INET;
            four->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *four;
        }
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (fd_ < 0 || ::bind(fd_, raw, length) != 0 || ::listen(fd_, 1) != 0 ||
            ::getsockname(fd_, raw, &length) != 0)
            throw std::runtime_error("no loopback socket");
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(raw)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(raw)->sin_port);
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    ~LoopbackSocket() { ::close(fd_); }

    int fd() const { return fd_; }
    std::uint16_t port() const { return port_; }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

TEST(PortListeners, namesThisProcessForItsListenerOverIPv4AndIPv6) {
    for (const int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family == AF_INET ? "IPv4" : "IPv6");
        LoopbackSocket listener(family);
        const app::PortListeners found = app::portListeners(listener.port());
        ASSERT_EQ(found.Processes.size(), 1u);
        EXPECT_EQ(found.Processes[0].Pid, ::getpid());
        // The kernel keeps the first 15 bytes of a program's name.
        EXPECT_EQ(found.Processes[0].Name,
                  std::string(program_invocation_short_name).substr(0, 15));
        EXPECT_EQ(found.Owners, std::vector<uid_t>{::getuid()});
    }
}

// A connection that came in on the port stays open after its listener has closed: the
// connection does not make its process a holder of the port.
TEST(PortListeners, anOpenConnectionOnThePortIsNoListener) {
    std::optional<LoopbackSocket> listener(std::in_place, AF_INET);
    const std::uint16_t port = listener->port();
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int accepted = ::accept(listener->fd(), nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    listener.reset();

    const app::PortListeners found = app::portListeners(port);
    EXPECT_TRUE(found.Owners.empty());
    EXPECT_TRUE(found.Processes.empty());
    ::close(accepted);
    ::close(client);
}

TEST(ListenFailureLines, sayTheSocketErrorOnOneLineAndWhoHoldsThePort) {
    const std::string error = "Error 10048 in function Bind\r\nAddress already in use";
    const std::string first =
        "cannot listen on TCP port 2200: Error 10048 in function Bind: Address already in use";
    struct Case {
        app::PortListeners holders;
        std::optional<std::string> second;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{{1000}, {{4321, "falavox"}, {4400, "nc"}}},
         "TCP port 2200 is held by falavox (pid 4321), nc (pid 4400)"},
        {{{0}, {}},
         "TCP port 2200 is held by a program of user root (only that user or root can tell "
         "which one)"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = app::listenFailureLines(error, 2200, c.holders);
        ASSERT_EQ(lines.size(), c.second ? 2u : 1u);
        EXPECT_EQ(lines[0], first);
        if (c.second) {
            EXPECT_EQ(lines[1], *c.second);
        }
    }
}

std::vector<QString> passedOn;
void recordMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    passedOn.push_back(text);
}

TEST(ToolkitStartGuard, warningsOfASuccessfulStartArePassedOnAfterwards) {
    const QtMessageHandler outer = qInstallMessageHandler(recordMessage);
    passedOn.clear();
    {
        app::ToolkitStartGuard guard;
        qWarning("XDG_RUNTIME_DIR not set");
        EXPECT_TRUE(passedOn.empty());
        guard.finish();
    }
    qInstallMessageHandler(outer);
    EXPECT_EQ(passedOn, std::vector<QString>{QStringLiteral("XDG_RUNTIME_DIR not set")});
}

TEST(ToolkitStartGuardDeathTest, aPlatformThatCannotStartEndsWithThePluginsReason) {
    EXPECT_EXIT(
        {
            app::ToolkitStartGuard guard;
            qWarning("QStandardPaths: XDG_RUNTIME_DIR not set");
            const QLoggingCategory xcb("qt.qpa.xcb");
            qCWarning(xcb) << "could not connect to display :77";
            qFatal("This application failed to start because no Qt platform plugin could be "
                   "initialized.\n\nAvailable platform plugins are: xcb.");
        },
        testing::ExitedWithCode(app::noDisplayExitCode),
        "^falavox: cannot open a window on the display: could not connect to display :77\n$");
}

} // namespace
