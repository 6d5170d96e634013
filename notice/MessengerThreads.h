#pragma once

#include "notice/HandOff.h"

#include <thread>

// The messenger's two workers. Each starts when it is made; destroying one asks it to
// stop and waits for its end, which comes at once because a stopped hand-off channel
// lets every wait go.
namespace notice {

class TMainMessenger;

// Waits for a message in the local mailslot and hands its reading over, one message per
// hand-off. It sleeps in the system while nothing arrives.
class TSignalThread {
public:
    TSignalThread(TMainMessenger& messenger, int readyDescriptor);
    ~TSignalThread();
    TSignalThread(const TSignalThread&) = delete;
    TSignalThread& operator=(const TSignalThread&) = delete;

private:
    void Execute(int readyDescriptor);
    TMainMessenger& messenger_;
    HandOffChannel channel_;
    std::thread thread_;
};

// Hands over a tick, then pauses for the messenger's interval, read before each pause.
class TTimerThread {
public:
    explicit TTimerThread(TMainMessenger& messenger);
    ~TTimerThread();
    TTimerThread(const TTimerThread&) = delete;
    TTimerThread& operator=(const TTimerThread&) = delete;

private:
    void Execute();
    TMainMessenger& messenger_;
    HandOffChannel channel_;
    std::thread thread_;
};

} // namespace notice
