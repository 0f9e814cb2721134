// The byte-search kernels behind every substring search of the runtime
// (index_of, last_index_of, contains, count, replace, both splitters) and,
// through those exported services, of the compiled search family.
//
// A start s is a candidate when the text has the pattern's first, middle and
// last bytes at s, s + m / 2 and s + m - 1.  Blocks of 32 starts are filtered
// at once with 16-byte vectors (SSE2 is part of the x86-64 baseline), then
// each candidate's remaining bytes are compared.  Results are those of the
// position-by-position scan: first match, last match, non-overlapping
// left-to-right matches.
#pragma once

#include <cstdint>
#include <cstring>
#include <string.h>

namespace zeq::search {

typedef unsigned char V16 __attribute__((vector_size(16)));
typedef char V16c __attribute__((vector_size(16)));

#define ZEQ_KERNEL inline __attribute__((always_inline))

ZEQ_KERNEL V16 load16(const unsigned char *p) noexcept {
    V16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
ZEQ_KERNEL V16 splat(unsigned char c) noexcept { return V16{} + c; }
// One bit per lane: bit i set when lane i of the mask is all ones.
ZEQ_KERNEL unsigned bits(V16 mask) noexcept {
    return static_cast<unsigned>(__builtin_ia32_pmovmskb128(reinterpret_cast<V16c>(mask)));
}

// The three bytes that make a candidate.
struct Filter {
    int64_t mid, end;  // offsets of the middle and last byte
    unsigned char a, b, c;
    V16 va, vb, vc;
    Filter(const unsigned char *p, int64_t m) noexcept
        : mid(m / 2), end(m - 1), a(p[0]), b(p[m / 2]), c(p[m - 1]),
          va(splat(p[0])), vb(splat(p[m / 2])), vc(splat(p[m - 1])) {}
    ZEQ_KERNEL V16 block(const unsigned char *t) const noexcept {
        return (load16(t) == va) & (load16(t + mid) == vb) & (load16(t + end) == vc);
    }
    // Bit k set when start t + k is a candidate (k < 32).
    ZEQ_KERNEL uint32_t block32(const unsigned char *t) const noexcept {
        V16 lo = block(t), hi = block(t + 16);
        if (__builtin_expect(bits(lo | hi) == 0, 1)) return 0;
        return bits(lo) | (bits(hi) << 16);
    }
    ZEQ_KERNEL bool at(const unsigned char *t) const noexcept {
        return t[0] == a && t[mid] == b && t[end] == c;
    }
};

// Bytes 1 .. m - 2 of a candidate (its first and last are known equal).
ZEQ_KERNEL bool inner_equal(const unsigned char *t, const unsigned char *p, int64_t m) noexcept {
    return m <= 2 || (t[1] == p[1] && std::memcmp(t + 2, p + 2, static_cast<size_t>(m - 3)) == 0);
}

// First start s in [from, n - m] with t[s, s + m) == p[0, m), or -1.
// Requires 1 <= m.  Uses 32-byte vectors where the processor has them.
int64_t find_from(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m,
                  int64_t from) noexcept;

// The same with 16-byte vectors only.
inline int64_t find_from_sse2(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m,
                         int64_t from) noexcept {
    if (from > n - m) return -1;
    if (m == 1) {
        const void *hit = std::memchr(t + from, p[0], static_cast<size_t>(n - from));
        return hit ? static_cast<const unsigned char *>(hit) - t : -1;
    }
    const Filter f(p, m);
    const int64_t last = n - m;
    int64_t i = from;
    for (; i + 31 <= last; i += 32) {
        for (uint32_t mask = f.block32(t + i); mask; mask &= mask - 1) {
            int64_t s = i + __builtin_ctz(mask);
            if (inner_equal(t + s, p, m)) return s;
        }
    }
    for (; i <= last; ++i)
        if (f.at(t + i) && inner_equal(t + i, p, m)) return i;
    return -1;
}

// Last start s in [0, n - m] with t[s, s + m) == p[0, m), or -1.
// Requires 1 <= m.
inline int64_t rfind(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m) noexcept {
    if (m > n) return -1;
    if (m == 1) {
        const void *hit = memrchr(t, p[0], static_cast<size_t>(n));
        return hit ? static_cast<const unsigned char *>(hit) - t : -1;
    }
    const Filter f(p, m);
    int64_t i = n - m;  // blocks of starts [i - 31, i], from the end
    for (; i >= 31; i -= 32) {
        const int64_t base = i - 31;
        for (uint32_t mask = f.block32(t + base); mask;) {
            int high = 31 - __builtin_clz(mask);
            if (inner_equal(t + base + high, p, m)) return base + high;
            mask &= ~(1u << high);
        }
    }
    for (; i >= 0; --i)
        if (f.at(t + i) && inner_equal(t + i, p, m)) return i;
    return -1;
}

// Non-overlapping occurrences, left to right.  Requires 1 <= m.
inline int64_t count(const unsigned char *t, int64_t n, const unsigned char *p, int64_t m) noexcept {
    int64_t total = 0;
    for (int64_t pos = find_from(t, n, p, m, 0); pos >= 0; pos = find_from(t, n, p, m, pos + m))
        ++total;
    return total;
}

#undef ZEQ_KERNEL

}  // namespace zeq::search
