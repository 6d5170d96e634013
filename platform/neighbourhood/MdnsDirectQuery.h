#pragma once

#include "platform/neighbourhood/HostRoster.h"
#include "platform/sockets/LocalNetworks.h"

#include <QSocketNotifier>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The computers of "local" asked for directly, beside the Avahi daemon's browse: one
// multicast DNS query on every IPv4 network that multicasts, answered by each responder
// with a packet of its own. The daemon keeps what the network announces in one cache
// and reports a browse's services in its own order, so one peer announcing thousands of
// services fills that cache and keeps the daemon busy past a scan's bound, and the real
// computers behind it go unseen; their own answers to this query still arrive, at once,
// each from its own address.
namespace platform {

class MdnsDirectQuery {
public:
    // Sends the query for the PTR records of `serviceTypes`; the answers are read as they
    // come, on the event loop of the calling thread. None when no query could be sent.
    static std::unique_ptr<MdnsDirectQuery> start(const std::vector<std::string>& serviceTypes);
    ~MdnsDirectQuery();
    MdnsDirectQuery(const MdnsDirectQuery&) = delete;
    MdnsDirectQuery& operator=(const MdnsDirectQuery&) = delete;

    // Reads what has arrived, a bounded number of packets, so that a sender that never
    // stops cannot hold the caller.
    void readAnswers(int maxPackets);

    // Who named which host so far (full names in Avahi's text form).
    const HostRoster& roster() const { return roster_; }

private:
    MdnsDirectQuery(int socket, std::uint16_t id, std::vector<std::string> serviceTypes,
                    std::vector<LocalNetwork> networks);

    int socket_;
    std::uint16_t id_;
    std::vector<std::string> serviceTypes_;
    std::vector<LocalNetwork> networks_;
    QSocketNotifier readable_;
    HostRoster roster_;
};

} // namespace platform
