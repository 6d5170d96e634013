#pragma once

#include <chrono>
#include <functional>
#include <memory>

struct AvahiClient;
struct AvahiPoll;
struct AvahiSimplePoll;

// One conversation with the Avahi daemon on the calling thread: a client over a poll of
// its own, run until the caller has what it waited for or its time is up. A client is
// not shared between threads, so each lookup and each enumeration makes its own.
namespace platform {

class AvahiSession {
public:
    using Clock = std::chrono::steady_clock;

    // None when no daemon answers (or there is no system bus): callers then find nothing.
    static std::unique_ptr<AvahiSession> open();
    ~AvahiSession();
    AvahiSession(const AvahiSession&) = delete;
    AvahiSession& operator=(const AvahiSession&) = delete;

    AvahiClient* client() const { return client_; }
    // Where other sockets of the same conversation are watched.
    const AvahiPoll* poll() const;

    // Dispatches the daemon's answers until `done` holds, the daemon goes away or the
    // deadline passes; true when `done` held.
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline);

private:
    AvahiSession(AvahiSimplePoll* poll, AvahiClient* client) : poll_(poll), client_(client) {}

    AvahiSimplePoll* poll_;
    AvahiClient* client_;
};

} // namespace platform
