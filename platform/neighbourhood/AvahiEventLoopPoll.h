#pragma once

#include <avahi-common/watch.h>

// The Avahi client library's poll on the toolkit's event loop of the thread that makes
// it: the library's descriptors are watched by socket notifiers and its time-outs are
// timers, so its callbacks run on that thread between its other events, with no thread of
// their own. The thread must run an event loop for as long as a client uses the poll.
namespace platform {

class AvahiEventLoopPoll {
public:
    AvahiEventLoopPoll();
    AvahiEventLoopPoll(const AvahiEventLoopPoll&) = delete;
    AvahiEventLoopPoll& operator=(const AvahiEventLoopPoll&) = delete;

    const AvahiPoll* get() const { return &api_; }

private:
    AvahiPoll api_{};
};

} // namespace platform
