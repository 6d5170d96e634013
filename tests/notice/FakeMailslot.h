#pragma once

#include "notice/MailslotTransport.h"

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A mailslot transport without a network: the local mailslot is one end of a datagram
// socket pair that the test writes messages into, and writes are recorded. Shared state
// lives in a Record the test keeps after handing the transport to the messenger.
struct FakeMailslotRecord {
    struct Write {
        std::string target, boxName, message;
    };
    std::vector<Write> writes;
    std::vector<std::string> createdBoxes;
    std::set<std::string> unreachable; // targets whose remote mailslot cannot be opened
    bool slotTaken = false;            // the local mailslot exists already
    std::atomic<int> reads{0};
    int inject = -1; // the test's end of the pair, while the local mailslot exists

    // One whole message into the local mailslot; false when it is not open.
    bool deliver(const std::string& message) const {
        return inject >= 0 && ::send(inject, message.data(), message.size(), 0) ==
                                  static_cast<ssize_t>(message.size());
    }
};

class FakeMailslot : public notice::MailslotTransport {
public:
    explicit FakeMailslot(std::shared_ptr<FakeMailslotRecord> record)
        : record_(std::move(record)) {}
    ~FakeMailslot() override { closeLocal(); }

    bool createLocal(const std::string& boxName) override {
        if (record_->slotTaken) return false;
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
        local_ = pair[0];
        record_->inject = pair[1];
        record_->createdBoxes.push_back(boxName);
        return true;
    }
    void closeLocal() override {
        if (local_ < 0) return;
        ::close(local_);
        ::close(record_->inject);
        local_ = record_->inject = -1;
    }
    int localReadyDescriptor() const override { return local_; }
    std::optional<std::string> readLocal() override {
        ++record_->reads;
        std::string buffer(65536, '\0');
        const ssize_t got = ::recv(local_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got < 0) return std::nullopt;
        buffer.resize(static_cast<std::size_t>(got));
        return buffer;
    }
    bool write(const std::string& target, const std::string& boxName,
               const std::string& message) override {
        if (record_->unreachable.count(target)) return false;
        record_->writes.push_back({target, boxName, message});
        return true;
    }

private:
    std::shared_ptr<FakeMailslotRecord> record_;
    int local_ = -1;
};
