#include "notice/NetMessageQueue.h"

#include "work/WorkPool.h"

namespace notice {

NetMessageQueue::NetMessageQueue(work::WorkPool& pool, Sender sender)
    : pool_(pool), sender_(std::move(sender)) {}

NetMessageQueue::~NetMessageQueue() {
    if (running_) pool_.cancel(*running_);
}

void NetMessageQueue::send(std::string recipient, std::string text,
                           std::function<void(bool)> delivered) {
    waiting_.push_back({std::move(recipient), std::move(text), std::move(delivered)});
    if (!running_) startNext();
}

void NetMessageQueue::startNext() {
    if (waiting_.empty()) return;
    Message message = std::move(waiting_.front());
    waiting_.pop_front();
    // The worker gets its own copies: the queue may be gone before it finishes.
    running_ = pool_.run<bool>(
        [sender = sender_, recipient = message.recipient,
         text = message.text](std::stop_token stop) { return sender(recipient, text, stop); },
        [this, delivered = std::move(message.delivered)](std::optional<bool> result) {
            running_.reset();
            // The next send starts first, so that whatever the outcome's handler does
            // (even a new send) finds the queue in order.
            startNext();
            if (delivered) delivered(result.value_or(false));
        });
}

} // namespace notice
