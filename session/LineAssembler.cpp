#include "session/LineAssembler.h"

#include "net/EventSocket.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace session {

LineAssembler::LineAssembler(LineFunction onLine) : onLine_(std::move(onLine)) {}

void LineAssembler::compact() {
    if (start_ == 0) return;
    const std::size_t pending = fill_ - start_;
    std::memmove(buffer_.data(), buffer_.data() + start_, pending);
    start_ = 0;
    fill_ = pending;
    buffer_[fill_] = '\0';
}

void LineAssembler::receive(const ReadFunction& read) {
    compact();
    const std::size_t room = kCapacity - fill_;
    if (room > 0) {
        const int got = read(buffer_.data() + fill_, static_cast<int>(room));
        if (got > 0) {
            fill_ += std::min(static_cast<std::size_t>(got), room);
            buffer_[fill_] = '\0';
        }
    }
    handOnCompleteLines();
}

void LineAssembler::receive(net::TCustomEventSocket& socket) {
    receive([&socket](char* buffer, int size) { return socket.Receive(buffer, size); });
}

void LineAssembler::handOnCompleteLines() {
    std::string line;
    for (;;) {
        // Members only: a nested event during the previous line may have moved the data.
        const char* begin = buffer_.data() + start_;
        const std::size_t pending = fill_ - start_;
        const void* lf = pending ? std::memchr(begin, '\n', pending) : nullptr;
        if (!lf) {
            if (pending < kCapacity) return;
            // A full buffer without an LF: pass it on whole rather than wait forever.
            line.assign(begin, pending);
            start_ = fill_ = 0;
            buffer_[0] = '\0';
            onLine_(line);
            return;
        }
        const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
        line.assign(begin, length);
        start_ += length + 1;
        if (start_ == fill_) start_ = fill_ = 0;
        onLine_(line);
    }
}

} // namespace session
