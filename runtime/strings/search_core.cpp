// The forward substring search, with a 32-byte-vector form of the candidate
// filter chosen once per process when the processor offers AVX2.
#include "strings/search_core.h"

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

// Whether to use the AVX2 form: decided on first use (0 unknown, 1 no, 2 yes).
int g_search_avx2 = 0;
bool use_avx2() noexcept {
    int known = __atomic_load_n(&g_search_avx2, __ATOMIC_RELAXED);
    if (__builtin_expect(known == 0, 0)) {
        __builtin_cpu_init();
        known = __builtin_cpu_supports("avx2") ? 2 : 1;
        __atomic_store_n(&g_search_avx2, known, __ATOMIC_RELAXED);
    }
    return known == 2;
}

}  // namespace

int64_t find_from(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m,
                  int64_t from) noexcept {
    if (m >= 2 && use_avx2()) return from > n - m ? -1 : find_from_avx2(t, n, p, m, from);
    return find_from_sse2(t, n, p, m, from);
}

}  // namespace zeq::search
