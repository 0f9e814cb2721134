// The byte-string search family: compiled zeq code that reaches
// the runtime only through the exported functions of zeq.h.
//
// Every string argument is a valid record (the contract has no null tests).
// Each service has one body under its zeq_ name (or its only name) and is
// exported a second time under its short name.
//
// Speed without changing a result:
//  - substring searches are the runtime's zeq_string_index_of,
//    zeq_string_last_index_of and zeq_string_count (a vector filter on the
//    pattern's first, middle and last bytes, then a block compare of each
//    candidate), applied to a record that views the text from the search's
//    start; results are those of the position-by-position scan;
//  - the Knuth-Morris-Pratt scan, while no partial match is in progress
//    (state 0), jumps with that search to the next place holding the
//    pattern's first (up to) sixteen bytes and resumes in the state those bytes
//    reach; the scan stays linear, and the table, its reading with
//    zeq_vec_get and its release stay as they are;
//  - counting services are single passes over 16-byte vectors;
//  - rewrites append runs of bytes to the builder instead of one zeq_chr
//    string per byte; NUL bytes of the input are left out exactly where the
//    one-byte strings would have been empty.
#include "strings_table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// 16-byte vectors (SSE2 is part of the x86-64 baseline)

typedef unsigned char V16 __attribute__((vector_size(16)));
typedef char V16c __attribute__((vector_size(16)));

inline V16 load16(const unsigned char *p) noexcept {
    V16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store16(unsigned char *p, V16 v) noexcept { std::memcpy(p, &v, sizeof v); }
inline V16 splat(unsigned char c) noexcept { return V16{} + c; }
// One bit per lane: bit i set when lane i of the mask is all ones.
inline unsigned bits(V16 mask) noexcept {
    return static_cast<unsigned>(__builtin_ia32_pmovmskb128(reinterpret_cast<V16c>(mask)));
}
// Sum of the 16 lanes.
inline int64_t lane_sum(V16 v) noexcept {
    int64_t s = 0;
    for (int i = 0; i < 16; ++i) s += v[i];
    return s;
}
inline V16 reversed(V16 v) noexcept {
#if defined(__clang__)
    return __builtin_shufflevector(v, v, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
#else
    return __builtin_shuffle(v, V16{15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
#endif
}

inline const unsigned char *bytes_of(const ZeqString *s) noexcept {
    return reinterpret_cast<const unsigned char *>(s->data);
}

inline bool is_space(unsigned char c) noexcept { return c == 9 || c == 10 || c == 13 || c == 32; }
inline V16 space_mask(V16 v) noexcept {
    return (v == splat(9)) | (v == splat(10)) | (v == splat(13)) | (v == splat(32));
}

// A byte argument matches a byte only when it is that unsigned value.
inline bool is_byte(int64_t value) noexcept { return value >= 0 && value <= 255; }

// ---------------------------------------------------------------------------
// Substring search: the runtime's zeq_string_index_of, applied to a record
// that views the text from a start position.

// First start s >= from with text[s, s + m) == pattern (m >= 1), or -1.
int64_t find_from(const ZeqString *text, const ZeqString *pattern, int64_t from) noexcept {
    if (from > text->len - pattern->len) return -1;
    ZeqString view{text->data + from, text->len - from, text->len - from};
    int64_t at = zeq_string_index_of(&view, pattern);
    return at < 0 ? -1 : at + from;
}

// ---------------------------------------------------------------------------
// Counting kernels

int64_t count_equal(const unsigned char *p, int64_t n, unsigned char c) noexcept {
    int64_t total = 0, i = 0;
    const V16 vc = splat(c);
    while (n - i >= 16) {
        int64_t blocks = (n - i) / 16;
        if (blocks > 255) blocks = 255;  // lanes count to at most 255
        V16 acc{};
        for (int64_t k = 0; k < blocks; ++k, i += 16) acc -= (load16(p + i) == vc);
        total += lane_sum(acc);
    }
    for (; i < n; ++i) total += p[i] == c;
    return total;
}

int64_t count_different(const unsigned char *a, const unsigned char *b, int64_t n) noexcept {
    int64_t total = 0, i = 0;
    while (n - i >= 16) {
        int64_t blocks = (n - i) / 16;
        if (blocks > 255) blocks = 255;
        V16 acc{};
        for (int64_t k = 0; k < blocks; ++k, i += 16) acc -= (load16(a + i) != load16(b + i));
        total += lane_sum(acc);
    }
    for (; i < n; ++i) total += a[i] != b[i];
    return total;
}

// Positions i where a word starts: a non-whitespace byte at 0, or one that
// follows a whitespace byte.
int64_t count_word_starts(const unsigned char *p, int64_t n) noexcept {
    if (n <= 0) return 0;
    int64_t total = is_space(p[0]) ? 0 : 1;
    int64_t i = 1;
    while (n - i >= 16) {
        int64_t blocks = (n - i) / 16;
        if (blocks > 255) blocks = 255;
        V16 acc{};
        for (int64_t k = 0; k < blocks; ++k, i += 16)
            acc -= space_mask(load16(p + i - 1)) & ~space_mask(load16(p + i));
        total += lane_sum(acc);
    }
    for (; i < n; ++i) total += is_space(p[i - 1]) && !is_space(p[i]);
    return total;
}

// ---------------------------------------------------------------------------
// Rewrites

[[noreturn]] void out_of_memory(uint64_t requested) noexcept {
    std::fprintf(stderr, "[zeq] FATAL: out of memory (%zu bytes requested)\n",
                 static_cast<size_t>(requested));
    std::exit(1);
}

// A result of `length` bytes needs length + 1 bytes with its NUL, and its
// length must be a signed 64-bit value: anything beyond is out of memory.
void check_result_size(uint64_t length, bool overflowed) noexcept {
    if (overflowed || length >= static_cast<uint64_t>(INT64_MAX))
        out_of_memory(overflowed || length == UINT64_MAX ? UINT64_MAX : length + 1);
}

ZeqString *finish(ZeqStringBuilder *b) noexcept {
    ZeqString *result = zeq_sb_build(b);
    zeq_sb_free(b);
    return result;
}

// Appends src bytes [from, to) without their NUL bytes, a run at a time.
void push_without_nul(ZeqStringBuilder *b, const ZeqString *src, int64_t from,
                      int64_t to) noexcept {
    const char *d = src->data;
    while (from < to) {
        const void *z = std::memchr(d + from, 0, static_cast<size_t>(to - from));
        int64_t end = z ? static_cast<const char *>(z) - d : to;
        if (end > from) zeq_sb_push_range(b, src, from, end);
        from = end + 1;
    }
}

// Bytes transformed a chunk at a time in a local buffer, then appended
// without their NUL bytes.
constexpr int64_t kChunk = 16384;

struct Chunk {
    unsigned char bytes[kChunk + 1];
    // Appends the first `count` bytes of the buffer.
    void flush(ZeqStringBuilder *b, int64_t count) noexcept {
        bytes[count] = 0;
        ZeqString view{reinterpret_cast<char *>(bytes), count, count};
        push_without_nul(b, &view, 0, count);
    }
};

// ASCII letters of one case to the other: bytes lo..lo+25 get delta added.
ZeqString *map_case(const ZeqString *text, unsigned char lo, signed char delta) noexcept {
    const int64_t n = text->len;
    const unsigned char *in = bytes_of(text);
    ZeqStringBuilder *b = zeq_sb_with_capacity(n + 1);
    Chunk chunk;
    const V16 vlo = splat(lo), v26 = splat(26), vdelta = splat(static_cast<unsigned char>(delta));
    for (int64_t at = 0; at < n; at += kChunk) {
        int64_t count = n - at < kChunk ? n - at : kChunk;
        const unsigned char *src = in + at;
        int64_t i = 0;
        for (; i + 16 <= count; i += 16) {
            V16 v = load16(src + i);
            store16(chunk.bytes + i, v + ((v - vlo < v26) & vdelta));
        }
        for (; i < count; ++i) {
            unsigned char c = src[i];
            chunk.bytes[i] =
                static_cast<unsigned char>(static_cast<unsigned char>(c - lo) < 26 ? c + delta : c);
        }
        chunk.flush(b, count);
    }
    return finish(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// Knuth-Morris-Pratt

extern "C" ZeqVec *build_kmp_table_str(const ZeqString *pattern) noexcept {
    ZeqVec *table = zeq_vec_new();
    const int64_t m = pattern->len;
    if (m <= 0) return table;
    for (int64_t i = 0; i < m; ++i) zeq_vec_push(table, 0);
    if (m == 1) return table;
    const unsigned char *p = bytes_of(pattern);
    int64_t i = 1, k = 0;
    while (i < m) {
        if (p[i] == p[k]) {
            ++k;
            zeq_vec_set(table, i, k);
            ++i;
        } else if (k > 0) {
            k = zeq_vec_get(table, k - 1);
        } else {
            zeq_vec_set(table, i, 0);
            ++i;
        }
    }
    return table;
}

extern "C" int64_t zeq_kmp_search(const ZeqString *text, const ZeqString *pattern) noexcept {
    const int64_t n = text->len, m = pattern->len;
    if (m == 0) return 0;
    if (m > n) return -1;
    ZeqVec *table = build_kmp_table_str(pattern);
    const unsigned char *t = bytes_of(text), *p = bytes_of(pattern);
    const int64_t lead = m < 16 ? m : 16;
    const ZeqString head{pattern->data, lead, lead};
    int64_t result = -1;
    int64_t j = 0, k = 0;
    while (j < n) {
        if (k == 0) {
            // State 0: no partial match.  Every occurrence starting at j or
            // later starts with the pattern's first `lead` bytes, so the scan
            // resumes after the next place holding them, in state `lead`.
            int64_t c = find_from(text, &head, j);
            if (c < 0) break;
            if (lead == m) {
                result = c;
                break;
            }
            j = c + lead;
            k = lead;
        } else if (t[j] == p[k]) {
            if (k + 1 == m) {
                result = j - k;
                break;
            }
            ++k;
            ++j;
        } else {
            k = zeq_vec_get(table, k - 1);  // the same text byte is compared again
        }
    }
    zeq_vec_free(table);
    return result;
}

extern "C" bool str_match_at(const ZeqString *text, const ZeqString *pattern,
                             int64_t pos) noexcept {
    const int64_t m = pattern->len;
    if (m <= 0) return true;
    return std::memcmp(text->data + pos, pattern->data, static_cast<size_t>(m)) == 0;
}

// ---------------------------------------------------------------------------
// Naive searches

extern "C" int64_t zeq_str_find(const ZeqString *text, const ZeqString *pattern) noexcept {
    const int64_t n = text->len, m = pattern->len;
    if (m == 0) return 0;
    if (m > n) return -1;
    return find_from(text, pattern, 0);
}

extern "C" int64_t zeq_str_rfind(const ZeqString *text, const ZeqString *pattern) noexcept {
    const int64_t n = text->len, m = pattern->len;
    if (m == 0) return n;
    if (n < m) return -1;
    return zeq_string_last_index_of(text, pattern);
}

extern "C" int64_t zeq_str_count(const ZeqString *text, const ZeqString *pattern) noexcept {
    const int64_t n = text->len, m = pattern->len;
    if (m == 0) return n + 1;
    if (m > n) return 0;
    return zeq_string_count(text, pattern);
}

extern "C" int64_t zeq_str_contains(const ZeqString *text, const ZeqString *pattern) noexcept {
    const int64_t n = text->len, m = pattern->len;
    if (m == 0) return 1;
    if (m > n) return 0;
    return find_from(text, pattern, 0) >= 0 ? 1 : 0;
}

extern "C" int64_t zeq_str_starts_with(const ZeqString *text, const ZeqString *prefix) noexcept {
    if (prefix->len > text->len) return 0;
    return str_match_at(text, prefix, 0) ? 1 : 0;
}

extern "C" int64_t zeq_str_ends_with(const ZeqString *text, const ZeqString *suffix) noexcept {
    if (suffix->len > text->len) return 0;
    return str_match_at(text, suffix, text->len - suffix->len) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Byte scans

extern "C" int64_t zeq_str_find_byte(const ZeqString *text, int32_t byte) noexcept {
    const int64_t n = text->len;
    if (n <= 0 || !is_byte(byte)) return -1;
    const void *hit = std::memchr(text->data, byte, static_cast<size_t>(n));
    return hit ? static_cast<const char *>(hit) - text->data : -1;
}

extern "C" int64_t str_rfind_byte(const ZeqString *text, int64_t byte) noexcept {
    const int64_t n = text->len;
    if (n <= 0 || !is_byte(byte)) return -1;
    const void *hit = memrchr(text->data, static_cast<int>(byte), static_cast<size_t>(n));
    return hit ? static_cast<const char *>(hit) - text->data : -1;
}

extern "C" int64_t zeq_str_count_byte(const ZeqString *text, int32_t byte) noexcept {
    const int64_t n = text->len;
    if (n < 1 || !is_byte(byte)) return 0;
    return count_equal(bytes_of(text), n, static_cast<unsigned char>(byte));
}

extern "C" int64_t zeq_token_count(const ZeqString *text, int32_t separator) noexcept {
    const int64_t n = text->len;
    if (n <= 0) return 0;
    if (!is_byte(separator)) return 1;
    return 1 + count_equal(bytes_of(text), n, static_cast<unsigned char>(separator));
}

extern "C" bool zeq_is_palindrome(const ZeqString *text) noexcept {
    const int64_t n = text->len;
    if (n < 2) return true;
    const unsigned char *p = bytes_of(text);
    const int64_t half = n / 2;
    int64_t i = 0;
    for (; i + 16 <= half; i += 16) {
        V16 front = load16(p + i);
        V16 back = reversed(load16(p + n - 16 - i));
        if (bits(front == back) != 0xffffu) return false;
    }
    for (; i < half; ++i)
        if (p[i] != p[n - 1 - i]) return false;
    return true;
}

extern "C" int64_t zeq_str_hamming(const ZeqString *a, const ZeqString *b) noexcept {
    if (a->len != b->len) return -1;
    if (a->len <= 0) return 0;
    return count_different(bytes_of(a), bytes_of(b), a->len);
}

extern "C" int64_t zeq_word_count(const ZeqString *text) noexcept {
    return count_word_starts(bytes_of(text), text->len);
}

// ---------------------------------------------------------------------------
// Rewrites

extern "C" ZeqString *zeq_str_reverse(const ZeqString *text) noexcept {
    const int64_t n = text->len;
    const unsigned char *in = bytes_of(text);
    ZeqStringBuilder *b = zeq_sb_with_capacity(n > 0 ? n + 1 : 1);
    Chunk chunk;
    // Output chunk c holds the input bytes [n - (c + 1) * kChunk, n - c * kChunk)
    // from last to first.
    for (int64_t end = n; end > 0; end -= kChunk) {
        int64_t count = end < kChunk ? end : kChunk;
        const unsigned char *src = in + end - count;  // reversed into chunk[0, count)
        int64_t i = 0;
        for (; i + 16 <= count; i += 16)
            store16(chunk.bytes + i, reversed(load16(src + count - 16 - i)));
        for (; i < count; ++i) chunk.bytes[i] = src[count - 1 - i];
        chunk.flush(b, count);
    }
    return finish(b);
}

extern "C" ZeqString *zeq_str_to_upper(const ZeqString *text) noexcept {
    return map_case(text, 'a', -32);
}

extern "C" ZeqString *zeq_str_to_lower(const ZeqString *text) noexcept {
    return map_case(text, 'A', 32);
}

extern "C" ZeqString *zeq_str_replace(const ZeqString *text, const ZeqString *needle,
                                      const ZeqString *replacement) noexcept {
    const int64_t n = text->len, m = needle->len;
    if (m > n) return const_cast<ZeqString *>(text);
    int64_t at = m == 0 ? 0 : find_from(text, needle, 0);
    if (at < 0) return const_cast<ZeqString *>(text);
    uint64_t length;
    bool overflowed = __builtin_add_overflow(static_cast<uint64_t>(n - m),
                                             static_cast<uint64_t>(replacement->len), &length);
    check_result_size(length, overflowed);
    ZeqString *head = slice(text, 0, at);
    ZeqString *tail = slice(text, at + m, n);
    ZeqString *front = zeq_string_concat(head, replacement);
    ZeqString *result = zeq_string_concat(front, tail);
    // The intermediate strings are released (a no-op in arena mode).
    zeq_string_free(front);
    zeq_string_free(tail);
    zeq_string_free(head);
    return result;
}

extern "C" ZeqString *zeq_str_replace_all(const ZeqString *text, const ZeqString *needle,
                                          const ZeqString *replacement) noexcept {
    const int64_t n = text->len, m = needle->len, r = replacement->len;
    if (m == 0) return const_cast<ZeqString *>(text);
    if (r > m && m <= n) {
        // At most n / m replacements each add r - m bytes; when even that
        // bound may not fit, count the replacements to know the exact size.
        uint64_t growth = 0, bound = 0;
        bool big = __builtin_mul_overflow(static_cast<uint64_t>(n / m),
                                          static_cast<uint64_t>(r - m), &growth) ||
                   __builtin_add_overflow(growth, static_cast<uint64_t>(n), &bound) ||
                   bound >= static_cast<uint64_t>(INT64_MAX);
        if (big) {
            uint64_t exact = 0;
            bool overflowed = __builtin_mul_overflow(static_cast<uint64_t>(zeq_string_count(text, needle)),
                                                     static_cast<uint64_t>(r - m), &growth) ||
                              __builtin_add_overflow(growth, static_cast<uint64_t>(n), &exact);
            check_result_size(exact, overflowed);
        }
    }
    ZeqStringBuilder *b = zeq_sb_with_capacity(n > 0 ? n + 1 : 1);
    int64_t run = 0;  // start of the bytes not yet appended
    if (m <= n) {
        for (int64_t at = find_from(text, needle, 0); at >= 0; at = find_from(text, needle, run)) {
            push_without_nul(b, text, run, at);
            zeq_sb_push(b, replacement);
            run = at + m;
        }
    }
    push_without_nul(b, text, run, n);
    return finish(b);
}

extern "C" ZeqString *zeq_str_trim(const ZeqString *text) noexcept {
    const int64_t n = text->len;
    const unsigned char *p = bytes_of(text);
    int64_t i = 0, j = n;
    while (i < n && is_space(p[i])) ++i;
    while (j > i && is_space(p[j - 1])) --j;
    if (i < j) return slice(text, i, j);
    return finish(zeq_sb_with_capacity(1));
}

extern "C" ZeqString *zeq_str_repeat(const ZeqString *text, int64_t count) noexcept {
    if (count < 1) return const_cast<ZeqString *>(&zeq_str_0);
    const int64_t n = text->len;
    if (n <= 0) return finish(zeq_sb_with_capacity(1));
    uint64_t length;
    bool overflowed =
        __builtin_mul_overflow(static_cast<uint64_t>(n), static_cast<uint64_t>(count), &length);
    check_result_size(length, overflowed);
    ZeqStringBuilder *b = zeq_sb_with_capacity(static_cast<int64_t>(length + 1));
    if (n > kChunk / 2) {
        for (int64_t k = 0; k < count; ++k) zeq_sb_push(b, text);
        return finish(b);
    }
    // Short texts: a local tile of several copies, appended whole.
    Chunk tile;
    int64_t copies = kChunk / n;
    if (copies > count) copies = count;
    for (int64_t k = 0; k < copies; ++k)
        std::memcpy(tile.bytes + k * n, text->data, static_cast<size_t>(n));
    const int64_t tile_len = copies * n;
    tile.bytes[tile_len] = 0;
    ZeqString view{reinterpret_cast<char *>(tile.bytes), tile_len, tile_len};
    for (int64_t k = count / copies; k > 0; --k) zeq_sb_push(b, &view);
    if (int64_t rest = count % copies) zeq_sb_push_range(b, &view, 0, rest * n);
    return finish(b);
}

// ---------------------------------------------------------------------------
// Second names

ZEQ_PROGRAM_ALIAS(kmp_search_str, zeq_kmp_search);
ZEQ_PROGRAM_ALIAS(str_find, zeq_str_find);
ZEQ_PROGRAM_ALIAS(str_rfind, zeq_str_rfind);
ZEQ_PROGRAM_ALIAS(str_count, zeq_str_count);
ZEQ_PROGRAM_ALIAS(str_find_byte, zeq_str_find_byte);
ZEQ_PROGRAM_ALIAS(str_count_byte, zeq_str_count_byte);
ZEQ_PROGRAM_ALIAS(str_token_count, zeq_token_count);
ZEQ_PROGRAM_ALIAS(str_is_palindrome, zeq_is_palindrome);
ZEQ_PROGRAM_ALIAS(str_hamming, zeq_str_hamming);
ZEQ_PROGRAM_ALIAS(str_word_count, zeq_word_count);
ZEQ_PROGRAM_ALIAS(str_reverse, zeq_str_reverse);
ZEQ_PROGRAM_ALIAS(str_replace_all, zeq_str_replace_all);
ZEQ_PROGRAM_ALIAS(str_to_upper, zeq_str_to_upper);
ZEQ_PROGRAM_ALIAS(str_to_lower, zeq_str_to_lower);
ZEQ_PROGRAM_ALIAS(str_trim, zeq_str_trim);
ZEQ_PROGRAM_ALIAS(str_repeat, zeq_str_repeat);
