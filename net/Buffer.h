#pragma once

#include <cstddef>
#include <memory>

namespace net {

// One block of a socket's send queue: bytes are appended at its end and handed to the
// system from its start. When everything written has been handed over, the block is
// empty again and takes a whole `Capacity` anew.
class TBuffer {
public:
    static constexpr int defaultCapacity = 1514;

    // A capacity of 0 or less means the default.
    explicit TBuffer(int capacity);

    int Capacity() const { return capacity_; }
    int FillCount() const { return fillCount_; }
    int ReadOffset() const { return readOffset_; }

    // Copies as many of the bytes as fit; returns how many it took (0 when full).
    int Append(const char* data, int count);
    // Where the unread bytes start and how many there are; null and 0 when none.
    const char* PeekData(int& count) const;
    // Marks up to `count` unread bytes as handed over; returns how many it marked.
    int Consume(int count);

private:
    int capacity_;
    std::unique_ptr<char[]> storage_;
    int fillCount_ = 0;
    int readOffset_ = 0;
};

} // namespace net
