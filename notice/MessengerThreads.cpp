#include "notice/MessengerThreads.h"

#include "notice/Messenger.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>

namespace notice {

TSignalThread::TSignalThread(TMainMessenger& messenger, int readyDescriptor)
    : messenger_(messenger), channel_(),
      thread_([this, readyDescriptor] { Execute(readyDescriptor); }) {}

TSignalThread::~TSignalThread() {
    channel_.stop();
    thread_.join();
}

void TSignalThread::Execute(int readyDescriptor) {
    // Named, so that a look at the process tells the workers apart.
    ::pthread_setname_np(::pthread_self(), "mailslot-reader");
    TMainMessenger* messenger = &messenger_;
    while (!channel_.stopped()) {
        pollfd waits[2] = {{readyDescriptor, POLLIN, 0}, {channel_.stopDescriptor(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            // Nothing but a signal is expected here; a lasting failure must not spin.
            if (errno != EINTR && channel_.pause(std::chrono::milliseconds(1))) break;
            continue;
        }
        if (channel_.stopped()) break;
        // An error waiting on the socket is cleared by the read step's receive too.
        if (waits[0].revents != 0 && !channel_.handOff([messenger] { messenger->ReadMessage(); }))
            break;
    }
}

TTimerThread::TTimerThread(TMainMessenger& messenger)
    : messenger_(messenger), channel_(), thread_([this] { Execute(); }) {}

TTimerThread::~TTimerThread() {
    channel_.stop();
    thread_.join();
}

void TTimerThread::Execute() {
    ::pthread_setname_np(::pthread_self(), "mailslot-ticker");
    TMainMessenger* messenger = &messenger_;
    while (channel_.handOff([messenger] { messenger->DoTimer(); })) {
        if (channel_.pause(std::chrono::milliseconds(messenger->Interval()))) break;
    }
}

} // namespace notice
