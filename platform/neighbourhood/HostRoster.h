#pragma once

#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Who named which host, for the answers to the direct multicast DNS query. Any machine on
// the link may answer, as often and from as many addresses as it likes, and name any
// host: the hosts that answer for themselves are believed first, and what one sender says
// of others is kept only a little of, so that neither memory nor the list can be taken
// over by one machine.
namespace platform {

class HostRoster {
public:
    // A host answers for itself when one of the addresses the answer gives it is the
    // address the answer came from. One such host per sender: a computer has one name.
    static constexpr std::size_t maxOwnPerSender = 1;
    // A responder may also answer for a few others (a printer it serves, a guest system
    // it runs); more than that from one sender is not kept.
    static constexpr std::size_t maxOthersPerSender = 4;
    // All senders together: four subnets of 254 computers each answering for itself,
    // and a quarter as many hosts answered for by others. Beyond these the roster keeps
    // nothing more, so what it holds stays under a fixed bound.
    static constexpr std::size_t maxOwn = 1024;
    static constexpr std::size_t maxOthers = 256;

    // One answer's hosts, from `sender` (IPv4, network byte order).
    void add(std::uint32_t sender, const std::vector<mdns::ServiceHost>& hosts);

    // The hosts that answered for themselves, in the order their senders first answered.
    std::vector<std::string> ownHosts() const;
    // The hosts named by others: each sender's first, then each sender's second, and so
    // on, so that one sender's many come after everyone's few.
    std::vector<std::string> othersHosts() const;

private:
    struct Sender {
        std::vector<std::string> own;
        std::vector<std::string> others;
    };
    std::vector<Sender> senders_;
    std::map<std::uint32_t, std::size_t> senderIndex_;
    std::size_t ownCount_ = 0;
    std::size_t othersCount_ = 0;
};

} // namespace platform
