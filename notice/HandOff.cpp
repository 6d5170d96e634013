#include "notice/HandOff.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace notice {
namespace {

void signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

} // namespace

HandOffChannel::HandOffChannel()
    : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      stepFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      stepNotifier_(std::make_unique<QSocketNotifier>(stepFd_, QSocketNotifier::Read)) {
    QObject::connect(stepNotifier_.get(), &QSocketNotifier::activated,
                     [this] { runPendingStep(); });
}

HandOffChannel::~HandOffChannel() {
    // The channel may end inside the notifier's own signal, when a step ends its worker;
    // the notifier is let go of after that signal has returned.
    if (runningStep_) {
        stepNotifier_->setEnabled(false);
        QObject::disconnect(stepNotifier_.get(), nullptr, nullptr, nullptr);
        stepNotifier_.release()->deleteLater();
    }
    stepNotifier_.reset();
    ::close(stepFd_);
    ::close(stopFd_);
}

bool HandOffChannel::handOff(std::function<void()> step) {
    std::unique_lock lock(mutex_);
    if (stopped_.load()) return false;
    const std::uint64_t ticket = ++handed_;
    pending_ = std::move(step);
    signal(stepFd_);
    changed_.wait(lock, [&] { return done_ >= ticket || stopped_.load(); });
    return done_ >= ticket;
}

void HandOffChannel::runPendingStep() {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t read = ::read(stepFd_, &count, sizeof count);
    std::function<void()> step;
    std::uint64_t ticket;
    {
        std::lock_guard lock(mutex_);
        if (!pending_ || stopped_.load()) return;
        step = std::move(pending_);
        pending_ = nullptr;
        ticket = handed_;
    }
    // Run unlocked: the step may stop this very channel (a handler that deactivates), or
    // end it.
    const std::weak_ptr<int> alive = alive_;
    step();
    if (alive.expired()) return;
    std::lock_guard lock(mutex_);
    done_ = ticket;
    changed_.notify_all();
}

bool HandOffChannel::pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, length, [&] { return stopped_.load(); });
}

void HandOffChannel::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_.store(true);
        pending_ = nullptr;
    }
    changed_.notify_all();
    signal(stopFd_);
}

} // namespace notice
