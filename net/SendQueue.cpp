#include "net/SendQueue.h"

namespace net {

void SendQueue::Append(const char* data, int count) {
    if (count <= 0) return;
    if (blocks_.empty()) blocks_.push_back(std::make_unique<TBuffer>(blockSize_));
    for (;;) {
        const int taken = blocks_.back()->Append(data, count);
        data += taken;
        count -= taken;
        if (count <= 0) return;
        blocks_.push_back(std::make_unique<TBuffer>(blockSize_));
    }
}

int SendQueue::Gather(iovec* pieces, int maxPieces) const {
    int filled = 0;
    for (const auto& block : blocks_) {
        if (filled == maxPieces) break;
        int count = 0;
        const char* data = block->PeekData(count);
        if (count == 0) continue;
        pieces[filled++] = iovec{const_cast<char*>(data), static_cast<std::size_t>(count)};
    }
    return filled;
}

} // namespace net
