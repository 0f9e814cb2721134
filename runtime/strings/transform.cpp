// The null-tolerant text services: prefix and suffix tests, search and
// counting, trimming, substrings, replacement, case change, repetition,
// reversal, padding, and splitting into / joining from a ZeqVec.
//
// Two kinds of result length: trim, substr and split segments keep the exact
// number of bytes produced (explicit); replace, case change, repeat,
// reverse, pad and join end their buffer with a NUL and take the length up
// to the first NUL of the buffer (measured).  Services documented to return
// their argument return the very record they were given.
//
// A record with null data, or a negative length, reads as empty text.
#include "core/core.h"
#include "strings/search_core.h"

#include <algorithm>
#include <cstring>

using namespace zeq;

namespace {

struct Text {
    const unsigned char *p;
    int64_t n;
};
inline Text text_of(const ZeqString *s) noexcept {
    if (!s->data || s->len <= 0) return {reinterpret_cast<const unsigned char *>(""), 0};
    return {reinterpret_cast<const unsigned char *>(s->data), s->len};
}

inline bool is_space(unsigned char c) noexcept { return c == 9 || c == 10 || c == 13 || c == 32; }

inline ZeqString *itself(const ZeqString *s) noexcept { return const_cast<ZeqString *>(s); }

// Total size of a result, ending the process when it cannot be held.
inline int64_t checked_size(uint64_t total) noexcept {
    if (total >= static_cast<uint64_t>(INT64_MAX)) fatal_out_of_memory(total == UINT64_MAX ? total : total + 1);
    return static_cast<int64_t>(total);
}

// Measured length: the bytes before the first NUL of a filled buffer.
inline ZeqString *measured(ZeqString *r) noexcept {
    if (const void *z = std::memchr(r->data, 0, static_cast<size_t>(r->len)))
        r->len = r->cap = static_cast<const char *>(z) - r->data;
    return r;
}

inline ZeqString *copy_range(const unsigned char *p, int64_t from, int64_t to) noexcept {
    return string_copy(reinterpret_cast<const char *>(p) + from, to - from);
}

// ASCII letters lo..lo + 25 get delta added; every other byte is kept.
ZeqString *map_case(const ZeqString *s, unsigned char lo, unsigned char delta) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n == 0) return itself(s);
    ZeqString *r = string_alloc(t.n);
    auto *out = reinterpret_cast<unsigned char *>(r->data);
    using search::V16;
    const V16 vlo = search::splat(lo), v26 = search::splat(26), vd = search::splat(delta);
    int64_t i = 0;
    for (; i + 16 <= t.n; i += 16) {
        V16 v = search::load16(t.p + i);
        v += (v - vlo < v26) & vd;
        std::memcpy(out + i, &v, 16);
    }
    for (; i < t.n; ++i) {
        unsigned char c = t.p[i];
        out[i] = static_cast<unsigned char>(static_cast<unsigned char>(c - lo) < 26 ? c + delta : c);
    }
    return measured(r);
}

ZeqString *pad(const ZeqString *s, int64_t width, unsigned char fill, bool left) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n >= width) return itself(s);
    ZeqString *r = string_alloc(checked_size(static_cast<uint64_t>(width)));
    char *out = r->data;
    int64_t gap = width - t.n;
    if (left) {
        std::memset(out, fill, static_cast<size_t>(gap));
        if (t.n) std::memcpy(out + gap, t.p, static_cast<size_t>(t.n));
    } else {
        if (t.n) std::memcpy(out, t.p, static_cast<size_t>(t.n));
        std::memset(out + t.n, fill, static_cast<size_t>(gap));
    }
    return measured(r);
}

inline unsigned char fill_of(const ZeqString *fill) noexcept {
    return fill && fill->data && fill->len > 0 ? static_cast<unsigned char>(fill->data[0]) : ' ';
}

}  // namespace

// ---------------------------------------------------------------------------
// Tests and searches

extern "C" int64_t zeq_string_starts_with(const ZeqString *s, const ZeqString *prefix) noexcept {
    if (!s || !prefix) return 0;
    Text t = text_of(s), p = text_of(prefix);
    if (p.n > t.n) return 0;
    return p.n == 0 || std::memcmp(t.p, p.p, static_cast<size_t>(p.n)) == 0 ? 1 : 0;
}

extern "C" int64_t zeq_string_ends_with(const ZeqString *s, const ZeqString *suffix) noexcept {
    if (!s || !suffix) return 0;
    Text t = text_of(s), p = text_of(suffix);
    if (p.n > t.n) return 0;
    return p.n == 0 || std::memcmp(t.p + t.n - p.n, p.p, static_cast<size_t>(p.n)) == 0 ? 1 : 0;
}

extern "C" int64_t zeq_string_index_of(const ZeqString *s, const ZeqString *needle) noexcept {
    if (!s || !needle) return -1;
    Text t = text_of(s), p = text_of(needle);
    if (p.n == 0) return 0;
    if (p.n > t.n) return -1;
    return search::find_from(t.p, t.n, p.p, p.n, 0);
}

extern "C" int64_t zeq_string_contains(const ZeqString *s, const ZeqString *needle) noexcept {
    if (!s || !needle) return 0;
    return zeq_string_index_of(s, needle) >= 0 ? 1 : 0;
}

extern "C" int64_t zeq_string_last_index_of(const ZeqString *s, const ZeqString *needle) noexcept {
    if (!s || !needle) return -1;
    Text t = text_of(s), p = text_of(needle);
    if (p.n == 0) return t.n;
    return search::rfind(t.p, t.n, p.p, p.n);
}

extern "C" int64_t zeq_string_count(const ZeqString *s, const ZeqString *needle) noexcept {
    if (!s || !needle) return 0;
    Text t = text_of(s), p = text_of(needle);
    if (p.n == 0 || p.n > t.n) return 0;
    return search::count(t.p, t.n, p.p, p.n);
}

extern "C" int64_t zeq_string_is_empty(const ZeqString *s) noexcept {
    return !s || text_of(s).n == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Trimming and substrings (explicit lengths)

extern "C" ZeqString *zeq_string_trim(const ZeqString *s) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n == 0) return itself(s);
    int64_t i = 0, j = t.n;
    while (i < j && is_space(t.p[i])) ++i;
    while (j > i && is_space(t.p[j - 1])) --j;
    return copy_range(t.p, i, j);
}

extern "C" ZeqString *zeq_string_trim_left(const ZeqString *s) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n == 0 || !is_space(t.p[0])) return itself(s);
    int64_t i = 1;
    while (i < t.n && is_space(t.p[i])) ++i;
    return copy_range(t.p, i, t.n);
}

extern "C" ZeqString *zeq_string_trim_right(const ZeqString *s) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n == 0 || !is_space(t.p[t.n - 1])) return itself(s);
    int64_t j = t.n - 1;
    while (j > 0 && is_space(t.p[j - 1])) --j;
    return copy_range(t.p, 0, j);
}

extern "C" ZeqString *zeq_string_substr(const ZeqString *s, int64_t start, int64_t count) noexcept {
    if (!s || !s->data || start < 0 || count < 0) return string_empty();
    Text t = text_of(s);
    if (start > t.n) return string_empty();
    int64_t end = count > t.n - start ? t.n : start + count;
    return copy_range(t.p, start, end);
}

// ---------------------------------------------------------------------------
// Rewrites (measured lengths)

extern "C" ZeqString *zeq_string_replace(const ZeqString *s, const ZeqString *needle,
                                         const ZeqString *replacement) noexcept {
    if (!s || !needle || !replacement) return itself(s);
    Text t = text_of(s), p = text_of(needle), r = text_of(replacement);
    if (p.n == 0 || p.n > t.n) return itself(s);
    int64_t first = search::find_from(t.p, t.n, p.p, p.n, 0);
    if (first < 0) return itself(s);
    uint64_t total = static_cast<uint64_t>(t.n);
    if (r.n != p.n) {
        uint64_t matches = static_cast<uint64_t>(search::count(t.p, t.n, p.p, p.n));
        if (r.n > p.n)
            total = add_sat(total, mul_sat(matches, static_cast<uint64_t>(r.n - p.n)));
        else
            total -= matches * static_cast<uint64_t>(p.n - r.n);
    }
    ZeqString *result = string_alloc(checked_size(total));
    unsigned char *out = reinterpret_cast<unsigned char *>(result->data);
    int64_t run = 0;
    for (int64_t at = first; at >= 0; at = search::find_from(t.p, t.n, p.p, p.n, run)) {
        std::memcpy(out, t.p + run, static_cast<size_t>(at - run));
        out += at - run;
        if (r.n) std::memcpy(out, r.p, static_cast<size_t>(r.n));
        out += r.n;
        run = at + p.n;
    }
    std::memcpy(out, t.p + run, static_cast<size_t>(t.n - run));
    return measured(result);
}

extern "C" ZeqString *zeq_string_to_upper(const ZeqString *s) noexcept { return map_case(s, 'a', 0xE0); }

extern "C" ZeqString *zeq_string_to_lower(const ZeqString *s) noexcept { return map_case(s, 'A', 32); }

extern "C" ZeqString *zeq_string_repeat(const ZeqString *s, int64_t count) noexcept {
    if (!s || count <= 0) return string_empty();
    Text t = text_of(s);
    int64_t total = checked_size(mul_sat(static_cast<uint64_t>(t.n), static_cast<uint64_t>(count)));
    ZeqString *r = string_alloc(total);
    if (total == 0) return r;
    // Copy once, then double the copied run until the result is full.
    std::memcpy(r->data, t.p, static_cast<size_t>(t.n));
    for (int64_t done = t.n; done < total;) {
        int64_t step = std::min(done, total - done);
        std::memcpy(r->data + done, r->data, static_cast<size_t>(step));
        done += step;
    }
    return measured(r);
}

extern "C" ZeqString *zeq_string_reverse(const ZeqString *s) noexcept {
    if (!s) return nullptr;
    Text t = text_of(s);
    if (t.n == 0) return itself(s);
    ZeqString *r = string_alloc(t.n);
    auto *out = reinterpret_cast<unsigned char *>(r->data);
    std::reverse_copy(t.p, t.p + t.n, out);
    return measured(r);
}

extern "C" ZeqString *zeq_string_pad_left(const ZeqString *s, int64_t width, int32_t fill) noexcept {
    return pad(s, width, static_cast<unsigned char>(fill), true);
}

extern "C" ZeqString *zeq_string_pad_right(const ZeqString *s, int64_t width, int32_t fill) noexcept {
    return pad(s, width, static_cast<unsigned char>(fill), false);
}

extern "C" ZeqString *zeq_str_pad_left(const ZeqString *s, int64_t width, const ZeqString *fill) noexcept {
    unsigned char byte = fill_of(fill);
    return pad(s, width, byte, true);
}

extern "C" ZeqString *zeq_str_pad_right(const ZeqString *s, int64_t width, const ZeqString *fill) noexcept {
    unsigned char byte = fill_of(fill);
    return pad(s, width, byte, false);
}

// ---------------------------------------------------------------------------
// Split into and join from a ZeqVec of string pointers

extern "C" ZeqVec *zeq_string_split(const ZeqString *s, const ZeqString *separator) noexcept {
    ZeqVec *v = zeq_vec_new();
    if (!s || !s->data) return v;
    if (!separator || !separator->data || separator->len <= 0) {
        zeq_vec_push(v, reinterpret_cast<int64_t>(s));
        return v;
    }
    Text t = text_of(s), p = text_of(separator);
    int64_t cur = 0;
    for (;;) {
        int64_t at = cur + p.n > t.n ? -1 : search::find_from(t.p, t.n, p.p, p.n, cur);
        if (at < 0) {
            zeq_vec_push(v, reinterpret_cast<int64_t>(copy_range(t.p, cur, t.n)));
            return v;
        }
        zeq_vec_push(v, reinterpret_cast<int64_t>(copy_range(t.p, cur, at)));
        cur = at + p.n;
    }
}

extern "C" ZeqString *zeq_string_join(const ZeqVec *v, const ZeqString *separator) noexcept {
    // A null vector joins like an empty one.
    if (!v || v->len <= 0) return string_empty();
    auto item = [v](int64_t i) noexcept { return reinterpret_cast<const ZeqString *>(v->data[i]); };
    int64_t sep = separator && separator->data ? std::max<int64_t>(separator->len, 0) : 0;
    uint64_t total = mul_sat(static_cast<uint64_t>(v->len - 1), static_cast<uint64_t>(sep));
    for (int64_t i = 0; i < v->len; ++i)
        if (const ZeqString *e = item(i); e && e->data) total = add_sat(total, static_cast<uint64_t>(text_of(e).n));
    ZeqString *r = string_alloc(checked_size(total));
    char *out = r->data;
    for (int64_t i = 0; i < v->len; ++i) {
        if (i > 0 && sep > 0) {
            std::memcpy(out, separator->data, static_cast<size_t>(sep));
            out += sep;
        }
        if (const ZeqString *e = item(i); e && e->data) {
            Text t = text_of(e);
            if (t.n) std::memcpy(out, t.p, static_cast<size_t>(t.n));
            out += t.n;
        }
    }
    return measured(r);
}
