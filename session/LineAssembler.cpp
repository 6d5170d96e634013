#include "session/LineAssembler.h"

#include "net/EventSocket.h"
#include "net/TurnBudget.h"

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
    const std::size_t room = capacity - fill_;
    if (room > 0) {
        const int got = read(buffer_.data() + fill_, static_cast<int>(room));
        if (got > 0) {
            fill_ += std::min(static_cast<std::size_t>(got), room);
            buffer_[fill_] = '\0';
        }
    }
    handOnCompleteLines(false);
}

void LineAssembler::handOnWaiting(bool all) {
    handOnCompleteLines(all);
}

bool LineAssembler::linesWaiting() const {
    const std::size_t pending = fill_ - start_;
    return pending >= capacity || std::memchr(buffer_.data() + start_, '\n', pending) != nullptr;
}

void LineAssembler::receive(net::TCustomEventSocket& socket) {
    receive([&socket](char* buffer, int size) { return socket.Receive(buffer, size); });
}

void LineAssembler::handOn(std::size_t begin, std::size_t length) {
    // A copy of its own on this call's stack: a nested event may refill the buffer while
    // the callback still looks at the line.
    char line[bufferSize];
    std::memcpy(line, buffer_.data() + begin, length);
    onLine_(std::string_view(line, length));
}

void LineAssembler::handOnCompleteLines(bool all) {
    const auto turnEnds = std::chrono::steady_clock::now() + net::turnBudget;
    bool handedOne = false;
    // The clock is read after every long line but only every few short ones: reading it
    // costs about as much as assembling a short line, while showing a long one costs far
    // more than either.
    std::size_t sinceClock = 0;
    for (;;) {
        // Members only: a nested event during the previous line may have moved the data.
        const std::size_t begin = start_;
        const void* found = std::memchr(buffer_.data() + begin, '\n', fill_ - begin);
        const std::size_t lf =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data())
                  : fill_;
        if (lf == fill_ && fill_ - begin < capacity) return;
        if (handedOne && !all && sinceClock >= 8) {
            sinceClock = 0;
            if (std::chrono::steady_clock::now() >= turnEnds) return;
        }
        handedOne = true;
        if (lf == fill_) {
            const std::size_t pending = fill_ - begin;
            // The buffer is full and holds no LF: pass it on whole rather than wait forever.
            start_ = fill_;
            afterCut_ = true;
            handOn(begin, pending);
            return;
        }
        start_ = lf + 1;
        const std::size_t length = lf - begin;
        const bool endOfCutLine = std::exchange(afterCut_, false) &&
                                  (length == 0 || (length == 1 && buffer_[begin] == '\r'));
        if (!endOfCutLine) handOn(begin, length);
        sinceClock += 1 + length / 64;
    }
}

} // namespace session
