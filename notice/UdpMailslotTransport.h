#pragma once

#include "notice/MailslotTransport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Mailslots over the NetBIOS datagram service: the local mailslot is a UDP socket bound to
// the datagram port on all of the computer's IPv4 addresses, a write to a computer is a
// direct datagram to its name at its address, and "*" is a group datagram to the
// workgroup's name on the broadcast address of each interface that has one.
namespace notice {

class UdpMailslotTransport : public MailslotTransport {
public:
    struct Options {
        std::string computerName;            // NetBIOS name of this computer
        std::string workgroup = "WORKGROUP"; // group that "*" reaches
        std::uint16_t port = 138;            // the datagram service's port
        std::uint32_t bindAddress = 0;       // network byte order; 0: every address
        // Where "*" goes, in network byte order; unset: each interface's broadcast address.
        std::optional<std::vector<std::uint32_t>> broadcastAddresses;
        // IPv4 addresses of a computer by name, network byte order; unset: the program's
        // host lookup.
        std::function<std::vector<std::uint32_t>(const std::string&)> lookup;
    };

    explicit UdpMailslotTransport(Options options);
    ~UdpMailslotTransport() override;
    UdpMailslotTransport(const UdpMailslotTransport&) = delete;
    UdpMailslotTransport& operator=(const UdpMailslotTransport&) = delete;

    bool createLocal(const std::string& boxName) override;
    void closeLocal() override;
    int localReadyDescriptor() const override { return local_; }
    std::optional<std::string> readLocal() override;
    bool write(const std::string& target, const std::string& boxName,
               const std::string& message) override;

private:
    bool sendTo(int socket, std::uint32_t address, std::uint32_t sourceAddress,
                const std::string& destination, std::uint8_t type, const std::string& mailslot,
                const std::string& message);

    Options options_;
    int local_ = -1;
    std::string localMailslot_;
    std::uint16_t nextId_ = 0;
    // The largest UDP payload, so that no datagram is ever cut and misread; kept, since
    // clearing 64 KiB for every message would cost more than the rest of its reading.
    std::vector<char> receiveBuffer_ = std::vector<char>(65536);
};

} // namespace notice
