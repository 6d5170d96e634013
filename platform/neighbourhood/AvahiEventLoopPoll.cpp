#include "platform/neighbourhood/AvahiEventLoopPoll.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <avahi-common/timeval.h>
#include <climits>
#include <memory>
#include <poll.h>
#include <utility>

// The library's opaque types, as this poll makes them.
struct AvahiWatch {
    int fd = -1;
    AvahiWatchEvent wanted{};
    AvahiWatchEvent happened{};
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
};

struct AvahiTimeout {
    QTimer* timer = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
};

namespace platform {
namespace {

// What the descriptor has now, among what the watch waits for; errors and hang-ups
// always count.
AvahiWatchEvent eventsNow(const AvahiWatch& watch) {
    pollfd ready{watch.fd, 0, 0};
    if (watch.wanted & AVAHI_WATCH_IN) ready.events |= POLLIN;
    if (watch.wanted & AVAHI_WATCH_OUT) ready.events |= POLLOUT;
    if (::poll(&ready, 1, 0) <= 0) return AvahiWatchEvent{};
    int events = 0;
    if (ready.revents & POLLIN) events |= AVAHI_WATCH_IN;
    if (ready.revents & POLLOUT) events |= AVAHI_WATCH_OUT;
    if (ready.revents & POLLERR) events |= AVAHI_WATCH_ERR;
    if (ready.revents & POLLHUP) events |= AVAHI_WATCH_HUP;
    return static_cast<AvahiWatchEvent>(events);
}

// The notifier or timer whose signal runs now, if any: the callback it runs may free
// its own watch or time-out.
thread_local const QObject* signalling = nullptr;

// A notifier or timer let go from inside its own signal is deleted once the event loop is
// back; any other at once.
void letGo(QObject* object) {
    if (object == signalling)
        object->deleteLater();
    else
        delete object;
}

// Runs `callback` as the signal of `sender`.
template <class F> void asSignalOf(const QObject* sender, F callback) {
    const QObject* outer = std::exchange(signalling, sender);
    callback();
    signalling = outer;
}

void dispatch(AvahiWatch* watch, const QObject* sender) {
    const AvahiWatchEvent events = eventsNow(*watch);
    if (events == 0) return;
    watch->happened = events;
    // The callback may free the watch: nothing of it is touched afterwards.
    asSignalOf(sender, [&] { watch->callback(watch, watch->fd, events, watch->userdata); });
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event) {
    watch->wanted = event;
    // A hang-up or an error also makes the descriptor readable.
    watch->readable->setEnabled((event & AVAHI_WATCH_IN) != 0);
    watch->writable->setEnabled((event & AVAHI_WATCH_OUT) != 0);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent event, AvahiWatchCallback callback,
                     void* userdata) {
    auto watch = std::make_unique<AvahiWatch>();
    watch->fd = fd;
    watch->callback = callback;
    watch->userdata = userdata;
    watch->readable = new QSocketNotifier(fd, QSocketNotifier::Read);
    watch->writable = new QSocketNotifier(fd, QSocketNotifier::Write);
    AvahiWatch* raw = watch.get();
    QObject::connect(watch->readable, &QSocketNotifier::activated,
                     [raw, notifier = watch->readable] { dispatch(raw, notifier); });
    QObject::connect(watch->writable, &QSocketNotifier::activated,
                     [raw, notifier = watch->writable] { dispatch(raw, notifier); });
    watchUpdate(raw, event);
    return watch.release();
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch) {
    return watch->happened;
}

void watchFree(AvahiWatch* watch) {
    watch->readable->setEnabled(false);
    watch->writable->setEnabled(false);
    letGo(watch->readable);
    letGo(watch->writable);
    delete watch;
}

void timeoutUpdate(AvahiTimeout* timeout, const timeval* due) {
    if (due == nullptr) {
        timeout->timer->stop();
        return;
    }
    // How far the time lies ahead, in whole milliseconds rounded up; one passed is due now.
    const AvahiUsec ahead = -avahi_age(due);
    const AvahiUsec ms = ahead > 0 ? (ahead + 999) / 1000 : 0;
    timeout->timer->start(static_cast<int>(std::min<AvahiUsec>(ms, INT_MAX)));
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const timeval* due, AvahiTimeoutCallback callback,
                         void* userdata) {
    auto timeout = std::make_unique<AvahiTimeout>();
    timeout->callback = callback;
    timeout->userdata = userdata;
    timeout->timer = new QTimer;
    timeout->timer->setSingleShot(true);
    AvahiTimeout* raw = timeout.get();
    // The callback may free or renew the time-out: nothing of it is touched afterwards.
    QObject::connect(timeout->timer, &QTimer::timeout, [raw, timer = timeout->timer] {
        asSignalOf(timer, [raw] { raw->callback(raw, raw->userdata); });
    });
    timeoutUpdate(raw, due);
    return timeout.release();
}

void timeoutFree(AvahiTimeout* timeout) {
    timeout->timer->stop();
    letGo(timeout->timer);
    delete timeout;
}

} // namespace

AvahiEventLoopPoll::AvahiEventLoopPoll() {
    api_.userdata = this;
    api_.watch_new = watchNew;
    api_.watch_update = watchUpdate;
    api_.watch_get_events = watchGetEvents;
    api_.watch_free = watchFree;
    api_.timeout_new = timeoutNew;
    api_.timeout_update = timeoutUpdate;
    api_.timeout_free = timeoutFree;
}

} // namespace platform
