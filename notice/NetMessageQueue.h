#pragma once

#include "notice/NTLib.h"

#include <deque>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace work {
class WorkPool;
}

// Messenger-service notices sent without holding up the user-interface thread: each send
// (its name lookup and Samba's client) runs on the work pool, and its outcome comes back
// on the user-interface thread once known. Sends go one at a time in the order they were
// asked for; a send asked for while another runs waits for it, so two clients never
// talk at once.
namespace notice {

class NetMessageQueue {
public:
    using Sender = std::function<bool(const std::string& recipient, const std::string& text,
                                      std::stop_token stop)>;

    explicit NetMessageQueue(work::WorkPool& pool, Sender sender = SendNetMessage);
    // The running send is told to stop (its client is killed) and the waiting ones are
    // dropped; no outcome is reported after this.
    ~NetMessageQueue();
    NetMessageQueue(const NetMessageQueue&) = delete;
    NetMessageQueue& operator=(const NetMessageQueue&) = delete;

    // `delivered` runs on the user-interface thread with the sender's result, never
    // inside this call.
    void send(std::string recipient, std::string text, std::function<void(bool)> delivered);

    // Tests send through a stand-in for Samba's client.
    void setSender(Sender sender) { sender_ = std::move(sender); }
    bool idle() const { return !running_ && waiting_.empty(); }

private:
    struct Message {
        std::string recipient;
        std::string text;
        std::function<void(bool)> delivered;
    };
    void startNext();

    work::WorkPool& pool_;
    Sender sender_;
    std::deque<Message> waiting_;
    std::optional<std::uint64_t> running_;
};

} // namespace notice
