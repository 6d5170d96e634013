#include "platform/neighbourhood/AvahiHostLookup.h"

#include "platform/neighbourhood/AvahiSession.h"

#include <avahi-client/lookup.h>
#include <memory>

namespace platform {
namespace {

struct NameResolution {
    std::vector<std::uint32_t> addresses;
    bool pending = true;
};

void onHostResolved(AvahiHostNameResolver* resolver, AvahiIfIndex, AvahiProtocol,
                    AvahiResolverEvent event, const char*, const AvahiAddress* address,
                    AvahiLookupResultFlags, void* userdata) {
    auto* resolution = static_cast<NameResolution*>(userdata);
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr && address->proto == AVAHI_PROTO_INET)
        resolution->addresses.push_back(address->data.ipv4.address);
    resolution->pending = false;
    avahi_host_name_resolver_free(resolver);
}

} // namespace

std::vector<std::uint32_t> avahiHostLookup(const std::vector<std::string>& hostNames,
                                           std::chrono::milliseconds bound) {
    const auto deadline = AvahiSession::Clock::now() + bound;
    // Before the session, which frees the resolvers still waiting when it ends.
    std::vector<std::unique_ptr<NameResolution>> resolutions;
    const std::unique_ptr<AvahiSession> session = AvahiSession::open();
    if (!session) return {};
    for (const std::string& name : hostNames) {
        auto resolution = std::make_unique<NameResolution>();
        // Asked for IPv4 addresses only: otherwise a host's link-local IPv6 address may be
        // the one that comes back, and invitations are IPv4.
        if (avahi_host_name_resolver_new(session->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                         name.c_str(), AVAHI_PROTO_INET,
                                         static_cast<AvahiLookupFlags>(0), onHostResolved,
                                         resolution.get()) != nullptr)
            resolutions.push_back(std::move(resolution));
    }
    // The first name in the caller's order that has an answer wins; a later name's answer
    // is used only once every earlier name has failed.
    std::vector<std::uint32_t> found;
    session->runUntil(
        [&] {
            for (const auto& resolution : resolutions) {
                if (!resolution->addresses.empty()) {
                    found = resolution->addresses;
                    return true;
                }
                if (resolution->pending) return false;
            }
            return true;
        },
        deadline);
    return found;
}

} // namespace platform
