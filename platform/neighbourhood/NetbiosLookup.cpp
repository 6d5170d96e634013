#include "platform/neighbourhood/NetbiosLookup.h"

#include "platform/neighbourhood/NetbiosNameQuery.h"
#include "platform/sockets/LocalNetworks.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::uint16_t freshTransactionId() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<std::uint16_t>(generator());
}

} // namespace

std::vector<std::uint32_t> interfaceBroadcastAddresses() {
    std::vector<std::uint32_t> result;
    for (const LocalNetwork& network : localNetworks())
        if (network.broadcasts &&
            std::find(result.begin(), result.end(), network.broadcast) == result.end())
            result.push_back(network.broadcast);
    return result;
}

std::vector<std::uint32_t> netbiosLookup(const std::string& name, std::chrono::milliseconds bound) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + bound;
    const std::optional<std::string> encoded = netbios::encodeName(name);
    if (!encoded) return {};
    const std::vector<std::uint32_t> broadcasts = interfaceBroadcastAddresses();
    if (broadcasts.empty()) return {};
    Descriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) return {};
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);

    const std::uint16_t id = freshTransactionId();
    const std::string query = netbios::nameQuery(id, *encoded);
    bool sent = false;
    for (const std::uint32_t broadcast : broadcasts) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(netbios::nameServicePort);
        to.sin_addr.s_addr = broadcast;
        if (::sendto(socket.get(), query.data(), query.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
            sent = true;
    }
    if (!sent) return {};

    // Other computers' traffic may arrive on the port too: anything that is not the
    // answer is dropped and the wait goes on until the bound.
    std::array<std::uint8_t, 1500> packet{};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return {};
        pollfd waiting{socket.get(), POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return {};
        const ssize_t received = ::recv(socket.get(), packet.data(), packet.size(), 0);
        if (received < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return {};
        }
        std::vector<std::uint32_t> addresses = netbios::readNameQueryResponse(
            packet.data(), static_cast<std::size_t>(received), id, *encoded);
        if (!addresses.empty()) return addresses;
    }
}

} // namespace platform
