#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A worker thread's road to the user-interface thread: the worker hands over a step and
// waits until that thread has run it. Once the channel is stopped (on the user-interface
// thread), a waiting worker is let go at once and any step still queued does nothing when
// its turn comes, so the user-interface thread never waits on a worker that waits on it.
namespace notice {

class HandOffChannel {
public:
    // Steps run on the thread of the context object, between its other events.
    explicit HandOffChannel(QObject* context);
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
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t handed = 0;
        std::uint64_t done = 0;
        std::atomic<bool> stopped{false};
    };

    QObject* context_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::atomic<bool>& stopped_ = shared_->stopped;
    int stopFd_ = -1;
};

} // namespace notice
