// The integer vector: a growable, contiguous buffer of 64-bit words with a
// length and a capacity.  Record and buffer always come from malloc (never the
// arena) and are released only by zeq_vec_free.  Every operation is exported
// under zeq_vec_* and under the short vec_* name.
//
// Capacities: 8 from zeq_vec_new, max(n, 1) from zeq_vec_with_capacity, the
// source length (8 when empty) from copy and slice.  Growth doubles the
// capacity once for every added element that finds the buffer full; nothing
// ever shrinks it.
#include "core/core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace zeq;

namespace {

constexpr int64_t kDefaultCap = 8;
constexpr uint64_t kWord = sizeof(int64_t);
// Largest buffer size that malloc can ever hand out (it refuses anything
// above PTRDIFF_MAX); beyond it the out-of-memory path is taken directly.
constexpr uint64_t kMaxBytes = static_cast<uint64_t>(PTRDIFF_MAX);

uint64_t buffer_bytes(uint64_t slots) noexcept {
    uint64_t bytes = mul_sat(slots, kWord);
    if (ZEQ_UNLIKELY(bytes > kMaxBytes)) fatal_out_of_memory(bytes);
    return bytes;
}

// A new record with an uninitialised buffer of `cap` slots (cap >= 1).
ZeqVec *make(int64_t cap, int64_t len) noexcept {
    auto *v = static_cast<ZeqVec *>(checked_malloc(sizeof(ZeqVec)));
    v->data = static_cast<int64_t *>(checked_malloc(buffer_bytes(static_cast<uint64_t>(cap))));
    v->cap = cap;
    v->len = len;
    return v;
}

// Doubles the capacity until it holds `need` slots (one doubling per element
// that would find the buffer full, applied in one reallocation).  A doubling
// that would overflow saturates into the out-of-memory path.
__attribute__((noinline)) void grow_to(ZeqVec *v, uint64_t need) noexcept {
    uint64_t cap = v->cap > 0 ? static_cast<uint64_t>(v->cap) : 1;
    while (cap < need) cap = mul_sat(cap, 2);
    uint64_t bytes = buffer_bytes(cap);
    v->data = static_cast<int64_t *>(checked_realloc(v->data, bytes));
    v->cap = static_cast<int64_t>(cap);
}

inline void reserve_one(ZeqVec *v) noexcept {
    if (ZEQ_UNLIKELY(v->len >= v->cap)) grow_to(v, static_cast<uint64_t>(v->len) + 1);
}

// Folds the elements with `op` (associative and commutative) in four
// independent lanes, which the compiler turns into vector or interleaved
// scalar instructions, and combines the lanes at the end.
template <class Op>
inline int64_t reduce(const ZeqVec *v, int64_t init, Op op) noexcept {
    const int64_t *a = v->data;
    int64_t n = v->len;
    int64_t r0 = init, r1 = init, r2 = init, r3 = init;
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        r0 = op(r0, a[i]);
        r1 = op(r1, a[i + 1]);
        r2 = op(r2, a[i + 2]);
        r3 = op(r3, a[i + 3]);
    }
    for (; i < n; ++i) r0 = op(r0, a[i]);
    return op(op(r0, r1), op(r2, r3));
}

// Wrapping arithmetic, done on unsigned words.
inline int64_t wrap_add(int64_t x, int64_t y) noexcept {
    return static_cast<int64_t>(static_cast<uint64_t>(x) + static_cast<uint64_t>(y));
}
inline int64_t wrap_mul(int64_t x, int64_t y) noexcept {
    return static_cast<int64_t>(static_cast<uint64_t>(x) * static_cast<uint64_t>(y));
}
inline int64_t smaller(int64_t x, int64_t y) noexcept { return y < x ? y : x; }
inline int64_t larger(int64_t x, int64_t y) noexcept { return y > x ? y : x; }

// Sort: an in-place MSD radix sort (American flag sort) on the bytes of the
// word with its sign bit flipped, so that unsigned byte order is signed
// order.  Buckets below kRadixLimit go to std::sort.  Each level costs one
// counting pass and one permutation pass, at most eight levels, no extra
// memory.  For 64-bit words the one ascending order is also the stable one.

// Smaller buckets go to std::sort: a 256-bucket pass does not pay off.
constexpr int64_t kRadixLimit = 1024;

inline uint64_t sort_key(int64_t x) noexcept {
    return static_cast<uint64_t>(x) ^ (uint64_t{1} << 63);
}

inline unsigned digit(int64_t x, int shift) noexcept {
    return static_cast<unsigned>(sort_key(x) >> shift) & 0xFF;
}

// Branchless partition for a level with two occupied buckets: elements whose
// digit is `low` first.
void partition_two(int64_t *a, int64_t n, int shift, unsigned low) noexcept {
    int64_t j = 0;
    for (int64_t i = 0; i < n; ++i) {
        int64_t x = a[i];
        a[i] = a[j];
        a[j] = x;
        j += digit(x, shift) == low;
    }
}

void radix_sort(int64_t *a, int64_t n, int shift) noexcept {
    int64_t count[256];
    unsigned occupied, low;
    for (;;) {
        if (n < kRadixLimit) {
            std::sort(a, a + n);
            return;
        }
        std::fill(count, count + 256, 0);
        for (int64_t i = 0; i < n; ++i) ++count[digit(a[i], shift)];
        occupied = 0;
        low = 0;
        for (unsigned b = 0; b < 256; ++b)
            if (count[b] && occupied++ == 0) low = b;
        if (occupied > 1) break;
        // One bucket: this byte is the same everywhere, look at the next.
        if (shift == 0) return;
        shift -= 8;
    }

    int64_t head[256], tail[256];
    for (int64_t b = 0, sum = 0; b < 256; ++b) {
        head[b] = sum;
        sum += count[b];
        tail[b] = sum;
    }
    if (occupied == 2) {
        partition_two(a, n, shift, low);
    } else {
        // Follow cycles: take the element at a bucket's head, put it where
        // it belongs, carry the displaced one on, until the cycle closes.
        for (unsigned b = 0; b < 256; ++b) {
            while (head[b] < tail[b]) {
                int64_t x = a[head[b]];
                unsigned d = digit(x, shift);
                while (d != b) {
                    std::swap(x, a[head[d]++]);
                    d = digit(x, shift);
                }
                a[head[b]++] = x;
            }
        }
    }
    if (shift == 0) return;
    int64_t start = 0;
    for (unsigned b = 0; b < 256; ++b) {
        if (count[b] > 1) radix_sort(a + start, count[b], shift - 8);
        start += count[b];
    }
}

// Whole-vector entry: input that is already ascending or descending is
// finished in one pass; otherwise the radix sort starts at the highest byte
// in which the words differ.
void sort_words(int64_t *a, int64_t n) noexcept {
    int64_t i = 1;
    while (i < n && a[i - 1] <= a[i]) ++i;
    if (i == n) return;
    if (i == 1) {
        while (i < n && a[i - 1] >= a[i]) ++i;
        if (i == n) {
            std::reverse(a, a + n);
            return;
        }
    }
    uint64_t diff = 0;
    for (int64_t j = 1; j < n; ++j) diff |= static_cast<uint64_t>(a[j] ^ a[0]);
    int top_bit = 63 - __builtin_clzll(diff);  // diff != 0: not all equal
    radix_sort(a, n, top_bit / 8 * 8);
}

}  // namespace

extern "C" ZeqVec *zeq_vec_new(void) noexcept { return make(kDefaultCap, 0); }

extern "C" ZeqVec *zeq_vec_with_capacity(int64_t n) noexcept { return make(n > 1 ? n : 1, 0); }

extern "C" ZeqVec *zeq_vec_push(ZeqVec *v, int64_t value) noexcept {
    reserve_one(v);
    v->data[v->len++] = value;
    return v;
}

extern "C" int64_t zeq_vec_pop(ZeqVec *v) noexcept {
    if (v->len == 0) return 0;
    return v->data[--v->len];
}

extern "C" int64_t zeq_vec_get(const ZeqVec *v, int64_t index) noexcept { return v->data[index]; }

extern "C" void zeq_vec_set(ZeqVec *v, int64_t index, int64_t value) noexcept {
    v->data[index] = value;
}

extern "C" int64_t zeq_vec_len(const ZeqVec *v) noexcept { return v->len; }

extern "C" int64_t zeq_vec_cap(const ZeqVec *v) noexcept { return v->cap; }

extern "C" void zeq_vec_free(ZeqVec *v) noexcept {
    std::free(v->data);
    std::free(v);
}

extern "C" void zeq_vec_clear(ZeqVec *v) noexcept { v->len = 0; }

extern "C" void zeq_vec_reverse(ZeqVec *v) noexcept {
    int64_t *a = v->data;
    int64_t n = v->len;
    for (int64_t i = 0; i < n / 2; ++i) std::swap(a[i], a[n - 1 - i]);
}

extern "C" int64_t zeq_vec_index_of(const ZeqVec *v, int64_t value) noexcept {
    const int64_t *a = v->data;
    int64_t n = v->len;
    for (int64_t i = 0; i < n; ++i)
        if (a[i] == value) return i;
    return -1;
}

extern "C" int64_t zeq_vec_contains(const ZeqVec *v, int64_t value) noexcept {
    return zeq_vec_index_of(v, value) >= 0;
}

extern "C" void zeq_vec_swap(ZeqVec *v, int64_t i, int64_t j) noexcept {
    std::swap(v->data[i], v->data[j]);
}

extern "C" void zeq_vec_sort(ZeqVec *v) noexcept {
    if (v->len >= 2) sort_words(v->data, v->len);
}

extern "C" void zeq_vec_dedup(ZeqVec *v) noexcept {
    int64_t n = v->len;
    if (n < 2) return;
    int64_t *a = v->data;
    int64_t kept = 1;
    for (int64_t i = 1; i < n; ++i)
        if (a[i] != a[kept - 1]) a[kept++] = a[i];
    v->len = kept;
}

extern "C" void zeq_vec_fill(ZeqVec *v, int64_t value) noexcept {
    int64_t *a = v->data;
    int64_t n = v->len;
    for (int64_t i = 0; i < n; ++i) a[i] = value;
}

extern "C" ZeqVec *zeq_vec_copy(const ZeqVec *v) noexcept {
    int64_t n = v->len;
    ZeqVec *r = make(n > 0 ? n : kDefaultCap, n);
    if (n > 0) std::memcpy(r->data, v->data, static_cast<size_t>(n) * kWord);
    return r;
}

extern "C" int64_t zeq_vec_sum(const ZeqVec *v) noexcept { return reduce(v, 0, wrap_add); }

extern "C" int64_t zeq_vec_product(const ZeqVec *v) noexcept { return reduce(v, 1, wrap_mul); }

extern "C" int64_t zeq_vec_min(const ZeqVec *v) noexcept { return reduce(v, INT64_MAX, smaller); }

extern "C" int64_t zeq_vec_max(const ZeqVec *v) noexcept { return reduce(v, INT64_MIN, larger); }

extern "C" ZeqVec *zeq_vec_slice(const ZeqVec *v, int64_t start, int64_t end) noexcept {
    int64_t s = start > 0 ? start : 0;
    int64_t e = end < v->len ? end : v->len;
    int64_t n = e > s ? e - s : 0;
    ZeqVec *r = make(n > 0 ? n : kDefaultCap, n);
    if (n > 0) std::memcpy(r->data, v->data + s, static_cast<size_t>(n) * kWord);
    return r;
}

extern "C" void zeq_vec_extend(ZeqVec *dst, const ZeqVec *src) noexcept {
    // The count is taken before any growth, so extending a vector with itself
    // appends one copy of what it held when the call began.
    int64_t n = src->len;
    if (n <= 0) return;
    uint64_t need = add_sat(static_cast<uint64_t>(dst->len), static_cast<uint64_t>(n));
    if (need > static_cast<uint64_t>(dst->cap)) grow_to(dst, need);
    // Read src->data only now: when src is dst the buffer may have moved.
    // Source [0, n) and destination [len, len + n) never overlap.
    std::memcpy(dst->data + dst->len, src->data, static_cast<size_t>(n) * kWord);
    dst->len += n;
}

extern "C" int64_t zeq_vec_remove(ZeqVec *v, int64_t index) noexcept {
    int64_t n = v->len;
    if (index < 0 || index >= n) return 0;
    int64_t *a = v->data;
    int64_t value = a[index];
    std::memmove(a + index, a + index + 1, static_cast<size_t>(n - index - 1) * kWord);
    v->len = n - 1;
    return value;
}

extern "C" void zeq_vec_insert(ZeqVec *v, int64_t index, int64_t value) noexcept {
    int64_t p = index > 0 ? index : 0;
    if (p > v->len) p = v->len;
    reserve_one(v);
    int64_t *a = v->data;
    std::memmove(a + p + 1, a + p, static_cast<size_t>(v->len - p) * kWord);
    a[p] = value;
    ++v->len;
}

ZEQ_ALIAS(vec_new, zeq_vec_new);
ZEQ_ALIAS(vec_with_capacity, zeq_vec_with_capacity);
ZEQ_ALIAS(vec_push, zeq_vec_push);
ZEQ_ALIAS(vec_pop, zeq_vec_pop);
ZEQ_ALIAS(vec_get, zeq_vec_get);
ZEQ_ALIAS(vec_set, zeq_vec_set);
ZEQ_ALIAS(vec_len, zeq_vec_len);
ZEQ_ALIAS(vec_cap, zeq_vec_cap);
ZEQ_ALIAS(vec_free, zeq_vec_free);
ZEQ_ALIAS(vec_clear, zeq_vec_clear);
ZEQ_ALIAS(vec_reverse, zeq_vec_reverse);
ZEQ_ALIAS(vec_contains, zeq_vec_contains);
ZEQ_ALIAS(vec_index_of, zeq_vec_index_of);
ZEQ_ALIAS(vec_swap, zeq_vec_swap);
ZEQ_ALIAS(vec_sort, zeq_vec_sort);
ZEQ_ALIAS(vec_dedup, zeq_vec_dedup);
ZEQ_ALIAS(vec_fill, zeq_vec_fill);
ZEQ_ALIAS(vec_copy, zeq_vec_copy);
ZEQ_ALIAS(vec_sum, zeq_vec_sum);
ZEQ_ALIAS(vec_product, zeq_vec_product);
ZEQ_ALIAS(vec_min, zeq_vec_min);
ZEQ_ALIAS(vec_max, zeq_vec_max);
ZEQ_ALIAS(vec_slice, zeq_vec_slice);
ZEQ_ALIAS(vec_extend, zeq_vec_extend);
ZEQ_ALIAS(vec_remove, zeq_vec_remove);
ZEQ_ALIAS(vec_insert, zeq_vec_insert);
