#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(int capacity)
    : capacity_(capacity > 0 ? capacity : defaultCapacity),
      storage_(std::make_unique<char[]>(static_cast<std::size_t>(capacity_))) {}

int TBuffer::Append(const char* data, int count) {
    const int room = capacity_ - fillCount_;
    if (room <= 0 || count <= 0) return 0;
    const int taken = std::min(room, count);
    std::memcpy(storage_.get() + fillCount_, data, static_cast<std::size_t>(taken));
    fillCount_ += taken;
    return taken;
}

const char* TBuffer::PeekData(int& count) const {
    count = fillCount_ - readOffset_;
    if (count <= 0) {
        count = 0;
        return nullptr;
    }
    return storage_.get() + readOffset_;
}

int TBuffer::Consume(int count) {
    const int unread = fillCount_ - readOffset_;
    if (unread <= 0 || count <= 0) return 0;
    const int taken = std::min(unread, count);
    readOffset_ += taken;
    if (readOffset_ == fillCount_) readOffset_ = fillCount_ = 0;
    return taken;
}

} // namespace net
