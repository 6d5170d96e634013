#pragma once

#include "platform/neighbourhood/LocalNetworks.h"

#include <avahi-common/watch.h>
#include <cstdint>
#include <map>
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
    // Sends the query for the PTR records of `serviceTypes` and reads the answers on
    // `poll` (the session's) until the object ends. None when no query could be sent.
    static std::unique_ptr<MdnsDirectQuery> start(const AvahiPoll* poll,
                                                  const std::vector<std::string>& serviceTypes);
    ~MdnsDirectQuery();
    MdnsDirectQuery(const MdnsDirectQuery&) = delete;
    MdnsDirectQuery& operator=(const MdnsDirectQuery&) = delete;

    // The hosts the answers named so far (full names in Avahi's text form), in the order
    // they came; a host named by several answers is there as often.
    const std::vector<std::string>& hosts() const { return hosts_; }

private:
    MdnsDirectQuery(const AvahiPoll* poll, int socket, std::uint16_t id,
                    std::vector<std::string> serviceTypes, std::vector<LocalNetwork> networks);
    static void onReadable(AvahiWatch*, int, AvahiWatchEvent, void* userdata);
    void readAnswers();

    const AvahiPoll* poll_;
    int socket_;
    std::uint16_t id_;
    std::vector<std::string> serviceTypes_;
    std::vector<LocalNetwork> networks_;
    AvahiWatch* watch_ = nullptr;
    std::vector<std::string> hosts_;
    // How many hosts each responder (by address) has named: one that names thousands
    // cannot take the memory the others need.
    std::map<std::uint32_t, std::size_t> namedBy_;
};

} // namespace platform
