#include "notice/HandOff.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace notice {

HandOffChannel::HandOffChannel(QObject* context)
    : context_(context), stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HandOffChannel::~HandOffChannel() {
    if (stopFd_ >= 0) ::close(stopFd_);
}

bool HandOffChannel::handOff(std::function<void()> step) {
    std::uint64_t ticket;
    {
        std::lock_guard lock(shared_->mutex);
        ticket = ++shared_->handed;
    }
    // The queued call holds the shared state, not the channel: it may run after the
    // worker and its channel are gone, and then only finds the stop flag set.
    QMetaObject::invokeMethod(
        context_,
        [shared = shared_, ticket, step = std::move(step)] {
            if (!shared->stopped.load()) step();
            std::lock_guard lock(shared->mutex);
            shared->done = ticket;
            shared->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [&] { return shared_->done >= ticket || shared_->stopped.load(); });
    return shared_->done >= ticket && !shared_->stopped.load();
}

bool HandOffChannel::pause(std::chrono::milliseconds length) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, length, [&] { return shared_->stopped.load(); });
}

void HandOffChannel::stop() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped.store(true);
    }
    shared_->changed.notify_all();
    if (stopFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    }
}

} // namespace notice
