#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct AvahiClient;
struct AvahiEntryGroup;
struct AvahiTimeout;

// This copy's announcement on the local network: the `_falavox._tcp` service on the chat
// port, so that other copies list this computer with no other service set up. It lasts
// as long as the object, follows the daemon through restarts and picks another service
// name when its own is taken. Without a daemon nothing is announced and nothing is said.
// It is served by the event loop of the thread that makes it.
namespace platform {

class AvahiEventLoopPoll;

// The service type every copy announces itself under, and the first the DNS-SD provider
// browses for.
inline constexpr const char* falavoxServiceType = "_falavox._tcp";

// A DNS-SD service name holds at most 63 bytes of UTF-8; a longer one is refused and
// nothing would be announced.
inline constexpr std::size_t maxServiceNameBytes = 63;

// The name this copy announces itself under: "Falavox " and the host's name, cut to the
// longest whole-character prefix that fits.
std::string falavoxServiceName(const std::string& hostName);

class AvahiPublisher {
public:
    explicit AvahiPublisher(std::uint16_t port);
    ~AvahiPublisher();
    AvahiPublisher(const AvahiPublisher&) = delete;
    AvahiPublisher& operator=(const AvahiPublisher&) = delete;

private:
    // The library's callbacks, which reach the members below.
    struct Callbacks;
    friend struct Callbacks;

    bool connect();
    void announce(AvahiClient* client);
    void takeAlternativeName();
    void forgetGroup();
    void reconnectLater(unsigned seconds);

    std::uint16_t port_;
    std::string serviceName_;
    // The client's poll: the event loop of the thread that made the publisher.
    std::unique_ptr<AvahiEventLoopPoll> poll_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    AvahiTimeout* reconnect_ = nullptr;
};

} // namespace platform
