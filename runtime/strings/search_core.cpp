// The forward substring search, with 32-byte (AVX2) and 64-byte (AVX-512BW)
// forms of the candidate filter, the widest the processor offers chosen once
// per process.
#include "search_core.h"

#include <immintrin.h>

namespace zeq::search {

namespace {

// 64 starts per step: first, middle and last pattern bytes compared at once.
__attribute__((target("avx2"))) int64_t find_from_avx2(const unsigned char *t, int64_t n,
                                                       const unsigned char *p, int64_t m,
                                                       int64_t from) noexcept {
    const int64_t mid = m / 2, end = m - 1, last = n - m;
    const __m256i va = _mm256_set1_epi8(static_cast<char>(p[0]));
    const __m256i vb = _mm256_set1_epi8(static_cast<char>(p[mid]));
    const __m256i vc = _mm256_set1_epi8(static_cast<char>(p[end]));
#define ZEQ_BLOCK(q)                                                                               \
    _mm256_and_si256(                                                                              \
        _mm256_and_si256(                                                                          \
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)), va),       \
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>((q) + mid)), vb)), \
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>((q) + end)), vc))
    int64_t i = from;
    for (; i + 63 <= last; i += 64) {
        __m256i lo = ZEQ_BLOCK(t + i), hi = ZEQ_BLOCK(t + i + 32);
        if (__builtin_expect(_mm256_testz_si256(_mm256_or_si256(lo, hi), _mm256_or_si256(lo, hi)), 1))
            continue;
        uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(lo)) |
                        (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hi))) << 32);
        for (; mask; mask &= mask - 1) {
            int64_t s = i + __builtin_ctzll(mask);
            if (inner_equal(t + s, p, m)) return s;
        }
    }
    return find_from_sse2(t, n, p, m, i);
#undef ZEQ_BLOCK
}

// 128 starts per step with 64-byte vectors and mask registers.
__attribute__((target("avx512bw"))) int64_t find_from_avx512(const unsigned char *t, int64_t n,
                                                           const unsigned char *p, int64_t m,
                                                           int64_t from) noexcept {
    const int64_t mid = m / 2, end = m - 1, last = n - m;
    const __m512i va = _mm512_set1_epi8(static_cast<char>(p[0]));
    const __m512i vb = _mm512_set1_epi8(static_cast<char>(p[mid]));
    const __m512i vc = _mm512_set1_epi8(static_cast<char>(p[end]));
#define ZEQ_MASK(q)                                                                        \
    _mm512_mask_cmpeq_epi8_mask(                                                           \
        _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(q), va),     \
                                    _mm512_loadu_si512((q) + mid), vb),                    \
        _mm512_loadu_si512((q) + end), vc)
    int64_t i = from;
    auto verify = [&](int64_t base, uint64_t mask) noexcept -> int64_t {
        for (; mask; mask &= mask - 1) {
            int64_t s = base + __builtin_ctzll(mask);
            if (inner_equal(t + s, p, m)) return s;
        }
        return -1;
    };
    for (; i + 127 <= last; i += 128) {
        uint64_t lo = ZEQ_MASK(t + i), hi = ZEQ_MASK(t + i + 64);
        if (__builtin_expect((lo | hi) == 0, 1)) continue;
        if (int64_t s = verify(i, lo); s >= 0) return s;
        if (int64_t s = verify(i + 64, hi); s >= 0) return s;
    }
    for (; i + 63 <= last; i += 64)
        if (uint64_t k = ZEQ_MASK(t + i))
            if (int64_t s = verify(i, k); s >= 0) return s;
#undef ZEQ_MASK
    return find_from_sse2(t, n, p, m, i);
}

// The widest form the processor offers, decided on first use
// (0 unknown, 1 SSE2, 2 AVX2, 3 AVX-512BW).
int g_search_level = 0;
int search_level() noexcept {
    int level = __atomic_load_n(&g_search_level, __ATOMIC_RELAXED);
    if (__builtin_expect(level == 0, 0)) {
        __builtin_cpu_init();
        level = __builtin_cpu_supports("avx512bw") ? 3 : __builtin_cpu_supports("avx2") ? 2 : 1;
        __atomic_store_n(&g_search_level, level, __ATOMIC_RELAXED);
    }
    return level;
}

}  // namespace

int64_t find_from(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m,
                  int64_t from) noexcept {
    if (m < 2 || from > n - m) return find_from_sse2(t, n, p, m, from);
    switch (search_level()) {
        case 3: return find_from_avx512(t, n, p, m, from);
        case 2: return find_from_avx2(t, n, p, m, from);
        default: return find_from_sse2(t, n, p, m, from);
    }
}

}  // namespace zeq::search
