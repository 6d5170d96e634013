#pragma once

#include "net/Buffer.h"

#include <deque>
#include <memory>
#include <sys/uio.h>

namespace net {

// The ordered blocks of bytes a socket has been asked to send and has not yet handed
// to the system. Bytes are appended at the last block and taken from the first, so
// the queue keeps the order of the calls.
class SendQueue {
public:
    explicit SendQueue(int blockSize = TBuffer::defaultCapacity) : blockSize_(blockSize) {}

    bool empty() const { return blocks_.empty(); }
    std::size_t blockCount() const { return blocks_.size(); }
    const TBuffer& block(std::size_t index) const { return *blocks_[index]; }
    TBuffer& block(std::size_t index) { return *blocks_[index]; }
    TBuffer& front() { return *blocks_.front(); }

    // Copies the bytes in behind everything queued, making new blocks as needed.
    void Append(const char* data, int count);
    void PopFront() { blocks_.pop_front(); }
    void Discard() { blocks_.clear(); }

    // Fills `pieces` with the unread bytes of the first blocks, in order, at most
    // `maxPieces` of them; returns how many it filled.
    int Gather(iovec* pieces, int maxPieces) const;

private:
    int blockSize_;
    std::deque<std::unique_ptr<TBuffer>> blocks_;
};

} // namespace net
