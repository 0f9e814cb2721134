// Checked arrays: fixed-length blocks of 64-bit words laid out as
// [cap, len, element 0, ..., element len - 1], referred to by the address of
// the first word.  Compiled code creates them; the library only reads them,
// writes single elements in place with a bounds test, and builds new arrays
// (push, pop, concat, slice) from zeq_alloc without touching the inputs.
#include "core/core.h"

#include <cstring>

using namespace zeq;

namespace {

constexpr uint64_t kWord = sizeof(int64_t);
constexpr int64_t kHeaderWords = 2;

inline int64_t length(const int64_t *arr) noexcept { return arr[1]; }
inline int64_t *elements(int64_t *arr) noexcept { return arr + kHeaderWords; }
inline const int64_t *elements(const int64_t *arr) noexcept { return arr + kHeaderWords; }

// A new array of n elements (content left to the caller) with both header
// words set to n.  The word count is computed saturated, so a length that
// cannot be represented reaches the out-of-memory path instead of wrapping.
int64_t *make(uint64_t n) noexcept {
    uint64_t bytes = mul_sat(add_sat(n, kHeaderWords), kWord);
    if (ZEQ_UNLIKELY(n > static_cast<uint64_t>(INT64_MAX) || bytes > static_cast<uint64_t>(PTRDIFF_MAX)))
        fatal_out_of_memory(bytes);
    auto *arr = static_cast<int64_t *>(zeq_alloc(bytes));
    arr[0] = static_cast<int64_t>(n);
    arr[1] = static_cast<int64_t>(n);
    return arr;
}

inline void copy_words(int64_t *dst, const int64_t *src, int64_t n) noexcept {
    if (n > 0) std::memcpy(dst, src, static_cast<size_t>(n) * kWord);
}

// Negative lengths in a hand-made header count as empty.
inline uint64_t count(const int64_t *arr) noexcept {
    int64_t n = length(arr);
    return n > 0 ? static_cast<uint64_t>(n) : 0;
}

}  // namespace

extern "C" int64_t zeq_array_len(const int64_t *arr) noexcept { return length(arr); }

extern "C" int64_t zeq_array_get_safe(const int64_t *arr, int64_t index) noexcept {
    int64_t n = length(arr);
    if (ZEQ_UNLIKELY(index < 0 || index >= n)) zeq_panic_bounds(index, n);
    return elements(arr)[index];
}

extern "C" void zeq_array_set_safe(int64_t *arr, int64_t index, int64_t value) noexcept {
    int64_t n = length(arr);
    if (ZEQ_UNLIKELY(index < 0 || index >= n)) zeq_panic_bounds(index, n);
    elements(arr)[index] = value;
}

extern "C" int64_t *zeq_array_push(const int64_t *arr, int64_t value) noexcept {
    uint64_t n = count(arr);
    int64_t *r = make(n + 1);
    copy_words(elements(r), elements(arr), static_cast<int64_t>(n));
    elements(r)[n] = value;
    return r;
}

extern "C" int64_t *zeq_array_pop(int64_t *arr) noexcept {
    uint64_t n = count(arr);
    if (n == 0) return arr;
    int64_t *r = make(n - 1);
    copy_words(elements(r), elements(arr), static_cast<int64_t>(n - 1));
    return r;
}

extern "C" int64_t *zeq_array_concat(const int64_t *a, const int64_t *b) noexcept {
    uint64_t na = count(a), nb = count(b);
    int64_t *r = make(add_sat(na, nb));
    copy_words(elements(r), elements(a), static_cast<int64_t>(na));
    copy_words(elements(r) + na, elements(b), static_cast<int64_t>(nb));
    return r;
}

extern "C" int64_t *zeq_array_slice(const int64_t *arr, int64_t start, int64_t end) noexcept {
    int64_t s = start > 0 ? start : 0;
    int64_t e = end < length(arr) ? end : length(arr);
    if (s >= e) return make(0);
    int64_t *r = make(static_cast<uint64_t>(e - s));
    copy_words(elements(r), elements(arr) + s, e - s);
    return r;
}
