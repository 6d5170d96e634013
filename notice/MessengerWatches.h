#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// What makes the messenger act while it is active: a message waiting in its mailslot and
// the ticks of its interval. Both are watched by the user-interface thread's event loop
// itself, so every step runs there between its other events, and nothing of the
// messenger waits on another thread. Each ends when it is destroyed, also from inside one
// of its own steps (a handler that deactivates the messenger).
namespace notice {

class TMainMessenger;

// Reads one message each time the mailslot's descriptor polls readable; a burst is read
// one message per turn of the event loop.
class MailslotWatch {
public:
    MailslotWatch(TMainMessenger& messenger, int readyDescriptor);
    ~MailslotWatch();
    MailslotWatch(const MailslotWatch&) = delete;
    MailslotWatch& operator=(const MailslotWatch&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    // Gone with the watch, so that a step can tell whether it ended it.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    bool stepping_ = false;
};

// Ticks at once, then again each time the messenger's interval, read after every tick,
// has passed.
class MessengerTicker {
public:
    explicit MessengerTicker(TMainMessenger& messenger);
    ~MessengerTicker();
    MessengerTicker(const MessengerTicker&) = delete;
    MessengerTicker& operator=(const MessengerTicker&) = delete;

private:
    std::unique_ptr<QTimer> timer_;
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    bool stepping_ = false;
};

} // namespace notice
