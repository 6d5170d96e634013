#include "session/ByteScan.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace session {
namespace {

using BuildFunction = void (*)(std::uint64_t* words, const char* data, std::size_t from,
                               std::size_t to, char c, std::size_t readable);

void buildPortable(std::uint64_t* words, const char* data, std::size_t from, std::size_t to, char c,
                   std::size_t readable) {
    std::size_t i = from & ~std::size_t{15};
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; i < to && i + 16 <= readable; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
        words[i >> 6] |= static_cast<std::uint64_t>(mask) << (i & 63);
    }
#else
    (void)readable;
#endif
    for (; i < to; ++i)
        if (data[i] == c) words[i >> 6] |= std::uint64_t{1} << (i & 63);
}

#if defined(__x86_64__)
// Thirty-two bytes per step where the processor has them.
[[gnu::target("avx2")]] void buildWide(std::uint64_t* words, const char* data, std::size_t from,
                                       std::size_t to, char c, std::size_t readable) {
    std::size_t i = from & ~std::size_t{31};
    const __m256i wanted = _mm256_set1_epi8(c);
    for (; i < to && i + 32 <= readable; i += 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const auto mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, wanted)));
        words[i >> 6] |= static_cast<std::uint64_t>(mask) << (i & 63);
    }
    for (; i < to; ++i)
        if (data[i] == c) words[i >> 6] |= std::uint64_t{1} << (i & 63);
}
#endif

BuildFunction chooseBuild() {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) return buildWide;
#endif
    return buildPortable;
}

} // namespace

void ByteMap::build(const char* data, std::size_t from, std::size_t to, char c,
                    std::size_t readable) {
    static const BuildFunction chosen = chooseBuild();
    std::memset(words_, 0, sizeof words_);
    chosen(words_, data, from, to, c, readable);
}

} // namespace session
