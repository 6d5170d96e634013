#pragma once

#include <cstddef>
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

} // namespace session
