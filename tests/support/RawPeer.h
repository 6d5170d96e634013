#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// A plain POSIX TCP endpoint on loopback, the other side of a connection under test.
// All waits are bounded.
class RawListener {
public:
    RawListener(); // 127.0.0.1, an ephemeral port
    ~RawListener();
    std::uint16_t port() const { return port_; }
    // Accepts one caller; -1 when none came in time.
    int accept(int timeoutMs = 5000);

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Connects to 127.0.0.1:port; the descriptor, or -1.
int rawConnect(std::uint16_t port);

// Reads until `count` bytes arrived, the peer closed, or the time ran out.
std::string rawRead(int fd, std::size_t count, int timeoutMs = 5000);
// Reads everything until the peer closes (or the time runs out); `closed` tells which.
std::string rawReadUntilClosed(int fd, bool& closed, int timeoutMs = 5000);
void rawWrite(int fd, const std::string& bytes);
void rawClose(int fd);
// Closes with a reset instead of an orderly end.
void rawReset(int fd);

// The local port of a socket descriptor.
std::uint16_t localPortOf(int fd);

// A port that nothing listens on right now at the given loopback address, so that tests
// and benchmarks never depend on a fixed port another program may hold.
std::uint16_t freeLoopbackPort(const char* address = "127.0.0.1");

} // namespace testsupport
