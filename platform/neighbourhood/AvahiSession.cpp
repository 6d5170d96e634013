#include "platform/neighbourhood/AvahiSession.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>

namespace platform {

std::unique_ptr<AvahiSession> AvahiSession::open() {
    AvahiSimplePoll* poll = avahi_simple_poll_new();
    if (poll == nullptr) return nullptr;
    int error = 0;
    // Without the no-fail flag a missing daemon fails here at once, which is what a
    // bounded lookup wants; the daemon's state changes need no handling of their own,
    // since runUntil reads the client's state after every step.
    AvahiClient* client = avahi_client_new(
        avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0),
        [](AvahiClient*, AvahiClientState, void*) {}, nullptr, &error);
    if (client == nullptr) {
        avahi_simple_poll_free(poll);
        return nullptr;
    }
    return std::unique_ptr<AvahiSession>(new AvahiSession(poll, client));
}

AvahiSession::~AvahiSession() {
    // Freeing the client frees the browsers and resolvers made on it.
    avahi_client_free(client_);
    avahi_simple_poll_free(poll_);
}

const AvahiPoll* AvahiSession::poll() const {
    return avahi_simple_poll_get(poll_);
}

bool AvahiSession::runUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        if (done()) return true;
        if (avahi_client_get_state(client_) == AVAHI_CLIENT_FAILURE) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (avahi_simple_poll_iterate(poll_, static_cast<int>(left.count())) != 0) return false;
    }
}

} // namespace platform
