#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace session {

// Index of the first `c` in the `n` bytes at `p`, or `n` when there is none. Received
// lines are short, and a library search costs more to start than it saves on them: this
// looks at sixteen bytes per step from the first byte on, and never reads past `n`.
inline std::size_t findByte(const char* p, std::size_t n, char c) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i)
        if (p[i] == c) return i;
    return n;
}

// Where one byte value stands in a buffer of up to 1024 bytes, found in one pass: the
// line assembly scans a whole receive for its LFs at once and then steps from line end to
// line end without looking at the bytes again.
class ByteMap {
public:
    static constexpr std::size_t kSize = 1024;

    // Marks every `c` in [from, to) of `data`, whose first `readable` bytes may be read.
    void build(const char* data, std::size_t from, std::size_t to, char c, std::size_t readable);

    // The first marked index in [from, to), or `to` when there is none.
    std::size_t next(std::size_t from, std::size_t to) const {
        if (from >= to) return to;
        std::size_t w = from >> 6;
        const std::size_t last = (to - 1) >> 6;
        std::uint64_t bits = words_[w] & (~std::uint64_t{0} << (from & 63));
        for (;;) {
            if (bits) {
                const std::size_t at = (w << 6) + static_cast<std::size_t>(__builtin_ctzll(bits));
                return at < to ? at : to;
            }
            if (w == last) return to;
            bits = words_[++w];
        }
    }

private:
    std::uint64_t words_[kSize / 64];
};

} // namespace session
