#include "session/LineAssembler.h"

#include "net/EventSocket.h"
#include "session/ByteScan.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace session {
namespace {

// Lines are short: sixteen bytes per step, reading (never using) up to fifteen bytes past
// the line while they still lie inside the buffer, beats a library call.
void copyLine(char* to, const char* from, std::size_t length, const char* bufferEnd) {
#if defined(__SSE2__)
    std::size_t i = 0;
    for (; i < length && from + i + 16 <= bufferEnd; i += 16)
        _mm_store_si128(reinterpret_cast<__m128i*>(to + i),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    if (i < length) std::memcpy(to + i, from + i, length - i);
#else
    (void)bufferEnd;
    std::memcpy(to, from, length);
#endif
}

} // namespace

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
    ++generation_;
    compact();
    const std::size_t room = kCapacity - fill_;
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
    ++generation_;
    handOnCompleteLines(all);
}

bool LineAssembler::linesWaiting() const {
    const std::size_t pending = fill_ - start_;
    return pending >= kCapacity || std::memchr(buffer_.data() + start_, '\n', pending) != nullptr;
}

void LineAssembler::receive(net::TCustomEventSocket& socket) {
    receive([&socket](char* buffer, int size) { return socket.Receive(buffer, size); });
}

void LineAssembler::handOn(std::size_t begin, std::size_t length) {
    // A copy of its own on this call's stack: a nested event may refill the buffer while
    // the callback still looks at the line.
    alignas(16) char line[kBufferSize + 16];
    copyLine(line, buffer_.data() + begin, length, buffer_.data() + buffer_.size());
    onLine_(std::string_view(line, length));
}

void LineAssembler::handOnCompleteLines(bool all) {
    ByteMap lineEnds;
    std::uint64_t mapped = generation_;
    lineEnds.build(buffer_.data(), start_, fill_, '\n', buffer_.size());
    const auto turnEnds = std::chrono::steady_clock::now() + kTurnBudget;
    bool handedOne = false;
    for (;;) {
        // Members only: a nested event during the previous line may have moved the data.
        if (mapped != generation_) {
            mapped = generation_;
            lineEnds.build(buffer_.data(), start_, fill_, '\n', buffer_.size());
        }
        const std::size_t begin = start_;
        const std::size_t lf = lineEnds.next(begin, fill_);
        if (lf == fill_ && fill_ - begin < kCapacity) return;
        if (handedOne && !all && std::chrono::steady_clock::now() >= turnEnds) return;
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
    }
}

} // namespace session
