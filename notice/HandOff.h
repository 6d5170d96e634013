#pragma once

#include <QSocketNotifier>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// A worker thread's road to the user-interface thread: the worker hands over a step and
// waits until that thread has run it. The step is announced through a descriptor that the
// user-interface thread's event loop watches, so steps run between its other events and
// only while it waits for events. Once the channel is stopped (on the user-interface
// thread), a waiting worker is let go at once and a step not yet run never runs, so the
// user-interface thread never waits on a worker that waits on it.
namespace notice {

class HandOffChannel {
public:
    // Made on the user-interface thread; it outlives the worker that uses it.
    HandOffChannel();
    ~HandOffChannel();
    HandOffChannel(const HandOffChannel&) = delete;
    HandOffChannel& operator=(const HandOffChannel&) = delete;

    // Worker side: false when the channel was stopped before the step ran.
    bool handOff(std::function<void()> step);
    // Worker side: pauses, and true when the channel was stopped meanwhile.
    bool pause(std::chrono::milliseconds length);
    // Polls readable once the channel is stopped, for a worker that waits on descriptors.
    int stopDescriptor() const { return stopFd_; }

    // User-interface side.
    void stop();
    bool stopped() const { return stopped_.load(); }

private:
    void runPendingStep();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> pending_;
    std::uint64_t handed_ = 0;
    std::uint64_t done_ = 0;
    std::atomic<bool> stopped_{false};
    int stopFd_ = -1;
    int stepFd_ = -1;
    std::unique_ptr<QSocketNotifier> stepNotifier_;
    // Gone with the channel: a step may end the worker, and with it this channel.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    bool runningStep_ = false;
};

} // namespace notice
