// The string builder: a growable byte buffer in malloc memory (never the
// arena) that compiled code appends text to and turns into a ZeqString.
//
// Invariant after every operation: len < cap and data[len] == NUL.  The
// buffer only grows, by doubling, until what an operation appends and the
// closing NUL fit.  Each operation keeps its own growth trigger (most grow
// when cap <= len + n; zeq_sb_push_escaped grows while cap < len + 3 before
// each input byte) and doubles as many times as it takes, so even a
// builder of capacity 1 never overflows.
#include "digits.h"
#include "strings_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zeq;
using zeq::digits::decimal_digits;
using zeq::digits::write_digits;

namespace {

constexpr int64_t kDefaultCapacity = 1024;
constexpr int64_t kMinimumCapacity = 64;

inline bool usable(const ZeqString *s) noexcept { return s && s->data; }

// Doubles the capacity until it reaches `need` bytes (content and NUL), then
// reallocates once.  Sizes that would not fit in a signed 64-bit capacity end
// the process through the out-of-memory path instead of wrapping.
__attribute__((noinline)) void grow_to(ZeqStringBuilder *b, uint64_t need) noexcept {
    uint64_t cap = static_cast<uint64_t>(b->cap);
    if (cap == 0) cap = 1;  // only a hand-made record can have capacity 0
    while (cap < need) cap = mul_sat(cap, 2);
    if (ZEQ_UNLIKELY(cap > static_cast<uint64_t>(INT64_MAX))) fatal_out_of_memory(cap);
    b->data = static_cast<char *>(checked_realloc(b->data, cap));
    b->cap = static_cast<int64_t>(cap);
}

// Makes room for n more bytes and the NUL: the capacity doubles while
// cap <= len + n.  The sum saturates, so no length can wrap it round to a
// small size.
inline void reserve(ZeqStringBuilder *b, uint64_t n) noexcept {
    uint64_t need = add_sat(static_cast<uint64_t>(b->len), n);
    if (ZEQ_UNLIKELY(need >= static_cast<uint64_t>(b->cap))) grow_to(b, add_sat(need, 1));
}

// Copies n bytes; short runs with a few overlapping fixed-size moves.
inline void copy_bytes(char *out, const char *in, uint64_t n) noexcept {
    if (n <= 16) {
        if (n >= 8) {
            std::memcpy(out, in, 8);
            std::memcpy(out + n - 8, in + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(out, in, 4);
            std::memcpy(out + n - 4, in + n - 4, 4);
        } else if (n) {
            out[0] = in[0];
            out[n / 2] = in[n / 2];
            out[n - 1] = in[n - 1];
        }
        return;
    }
    std::memcpy(out, in, n);
}

// Offset of p inside the builder's buffer, or -1 when p lies outside it (a
// source that is the builder's own content must follow the buffer when it
// moves).  Compared as integers: p may belong to any other object.
inline int64_t offset_in_buffer(const ZeqStringBuilder *b, const void *p) noexcept {
    uint64_t off = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(b->data);
    return off < static_cast<uint64_t>(b->cap) ? static_cast<int64_t>(off) : -1;
}

// Appends n bytes (n >= 0) and the NUL; returns the new length.  The bytes
// may be part of the builder's own buffer.
inline int64_t append(ZeqStringBuilder *b, const char *bytes, uint64_t n) noexcept {
    int64_t inside = offset_in_buffer(b, bytes);
    reserve(b, n);
    const int64_t len = b->len + static_cast<int64_t>(n);
    char *out = b->data + b->len;
    if (ZEQ_UNLIKELY(inside >= 0)) {
        std::memmove(out, b->data + inside, n);
        out[n] = '\0';
        b->len = len;
        return len;
    }
    copy_bytes(out, bytes, n);
    out[n] = '\0';
    b->len = len;
    return len;
}

ZeqStringBuilder *make_builder(int64_t capacity) noexcept {
    auto *b = static_cast<ZeqStringBuilder *>(checked_malloc(sizeof(ZeqStringBuilder)));
    b->data = static_cast<char *>(checked_malloc(static_cast<uint64_t>(capacity)));
    b->data[0] = '\0';
    b->len = 0;
    b->cap = capacity;
    return b;
}

// Output size of one byte under each escaping scheme.
inline unsigned escaped_size_full(unsigned char c) noexcept {
    return (c == '\t' || c == '\n' || c == '\r' || c == '"' || c == '\\') ? 2 : 1;
}
inline unsigned escaped_size_quotes(unsigned char c) noexcept {
    return (c == '"' || c == '\\') ? 2 : 1;
}

}  // namespace

extern "C" ZeqStringBuilder *zeq_sb_new(void) noexcept { return make_builder(kDefaultCapacity); }

extern "C" ZeqStringBuilder *zeq_sb_with_capacity(int64_t capacity) noexcept {
    return make_builder(capacity <= 0 ? kMinimumCapacity : capacity);
}

extern "C" int64_t zeq_sb_push(ZeqStringBuilder *b, const ZeqString *s) noexcept {
    if (!b || !usable(s)) return 0;
    if (s->len <= 0) return b->len;
    return append(b, s->data, static_cast<uint64_t>(s->len));
}

extern "C" int64_t zeq_sb_push_range(ZeqStringBuilder *b, const ZeqString *s, int64_t start,
                                     int64_t end) noexcept {
    if (!b || !usable(s) || start >= end) return 0;
    int64_t from = start < 0 ? 0 : start;
    int64_t to = end < s->len ? end : s->len;
    if (from >= to) return b->len;
    return append(b, s->data + from, static_cast<uint64_t>(to - from));
}

extern "C" int64_t sb_push_cstr(ZeqStringBuilder *b, const char *text) noexcept {
    if (!b || !text) return 0;
    return append(b, text, std::strlen(text));
}

extern "C" int64_t zeq_sb_push_char(ZeqStringBuilder *b, int32_t c) noexcept {
    if (!b) return 0;
    // Doubles while cap < len + 2 (as many times as needed).
    reserve(b, 1);
    char *out = b->data + b->len;
    out[0] = static_cast<char>(c);
    out[1] = '\0';
    return ++b->len;
}

extern "C" int64_t zeq_sb_push_int(ZeqStringBuilder *b, int64_t value) noexcept {
    if (!b) return 0;
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    unsigned sign = value < 0 ? 1 : 0;
    unsigned n = sign + decimal_digits(magnitude);
    reserve(b, n);
    char *out = b->data + b->len;
    out[0] = '-';  // overwritten by the first digit when there is no sign
    write_digits(out + n, magnitude);
    out[n] = '\0';
    b->len += n;
    return b->len;
}

extern "C" int64_t zeq_sb_push_f64(ZeqStringBuilder *b, double value) noexcept {
    if (!b) return 0;
    char tmp[32];
    int n = format_f64_g9(value, tmp);
    return append(b, tmp, static_cast<uint64_t>(n));
}

extern "C" int64_t zeq_sb_push_hex(ZeqStringBuilder *b, int64_t value) noexcept {
    if (!b) return 0;
    char tmp[32];
    int n = std::snprintf(tmp, sizeof tmp, "0x%lx", static_cast<unsigned long>(value));
    if (n < 0) n = 0;
    return append(b, tmp, static_cast<uint64_t>(n));
}

extern "C" int64_t zeq_sb_push_bool(ZeqStringBuilder *b, int64_t value) noexcept {
    if (!b) return 0;
    return value ? append(b, "true", 4) : append(b, "false", 5);
}

namespace {

// Escapes tab, line feed, carriage return, double quote and backslash.  The
// growth trigger doubles the capacity, before each input byte, while
// cap < len + 3.  Lengths only grow, so the capacity that trigger reaches is
// the smallest doubling with cap >= (length before the last byte) + 3: the
// output size is counted first and the buffer grown once to that capacity.
int64_t escape_full(ZeqStringBuilder *b, const unsigned char *in, int64_t n) noexcept {
    uint64_t out_size = 0;
    for (int64_t i = 0; i < n; ++i) out_size += escaped_size_full(in[i]);
    uint64_t before_last =
        add_sat(static_cast<uint64_t>(b->len), out_size - escaped_size_full(in[n - 1]));
    uint64_t need = add_sat(before_last, 3);
    if (need > static_cast<uint64_t>(b->cap)) grow_to(b, need);
    char *out = b->data + b->len;
    for (int64_t i = 0; i < n; ++i) {
        unsigned char c = in[i];
        char e;
        switch (c) {
            case '\t': e = 't'; break;
            case '\n': e = 'n'; break;
            case '\r': e = 'r'; break;
            case '"': e = '"'; break;
            case '\\': e = '\\'; break;
            default: *out++ = static_cast<char>(c); continue;
        }
        out[0] = '\\';
        out[1] = e;
        out += 2;
    }
    *out = '\0';
    b->len += static_cast<int64_t>(out_size);
    return b->len;
}

// Escapes only the double quote and the backslash.  Its growth trigger
// (cap < len + 2 before each output byte) ends at the smallest doubling with
// room for the whole output and its NUL, so the buffer is grown once.
int64_t escape_quotes(ZeqStringBuilder *b, const unsigned char *in, int64_t n) noexcept {
    uint64_t out_size = 0;
    for (int64_t i = 0; i < n; ++i) out_size += escaped_size_quotes(in[i]);
    reserve(b, out_size);
    char *out = b->data + b->len;
    for (int64_t i = 0; i < n; ++i) {
        unsigned char c = in[i];
        if (c == '"' || c == '\\') *out++ = '\\';
        *out++ = static_cast<char>(c);
    }
    *out = '\0';
    b->len += static_cast<int64_t>(out_size);
    return b->len;
}

using Escape = int64_t (*)(ZeqStringBuilder *, const unsigned char *, int64_t) noexcept;

// Runs an escape over s.  A source inside the builder's own buffer is
// escaped from a private copy: the output may move the buffer and, for a view
// that reaches past the content, overwrite the source while it is read.
int64_t push_escaped_with(ZeqStringBuilder *b, const ZeqString *s, Escape escape) noexcept {
    if (!b || !usable(s)) return 0;
    const int64_t n = s->len;
    if (n <= 0) return b->len;
    const auto *in = reinterpret_cast<const unsigned char *>(s->data);
    if (ZEQ_LIKELY(offset_in_buffer(b, in) < 0)) return escape(b, in, n);
    auto *copy = static_cast<unsigned char *>(checked_malloc(static_cast<uint64_t>(n)));
    std::memcpy(copy, in, static_cast<size_t>(n));
    int64_t len = escape(b, copy, n);
    std::free(copy);
    return len;
}

}  // namespace

extern "C" int64_t zeq_sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) noexcept {
    return push_escaped_with(b, s, escape_full);
}

extern "C" int64_t sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) noexcept {
    return push_escaped_with(b, s, escape_quotes);
}

extern "C" int64_t zeq_sb_len(const ZeqStringBuilder *b) noexcept { return b->len; }

extern "C" int64_t zeq_sb_clear(ZeqStringBuilder *b) noexcept {
    b->len = 0;
    b->data[0] = '\0';
    return 0;
}

extern "C" ZeqString *zeq_sb_build(const ZeqStringBuilder *b) noexcept {
    if (!b) return string_empty();
    return string_copy(b->data, b->len);
}

// The content read as a comma-separated list: 1 when some element starts with
// the item followed by a comma or the end of the content.
extern "C" int64_t zeq_sb_contains(const ZeqStringBuilder *b, const ZeqString *item) noexcept {
    if (!b || !usable(item) || !b->data) return 0;
    int64_t n = b->len;
    int64_t m = item->len;
    if (m <= 0 || n <= 0 || n < m) return 0;
    const char *data = b->data;
    int64_t i = 0;
    for (;;) {
        // i <= n - m holds here: i = 0, or one past a comma below n - m.
        if (std::memcmp(data + i, item->data, static_cast<size_t>(m)) == 0 &&
            (i + m >= n || data[i + m] == ','))
            return 1;
        const void *comma = std::memchr(data + i, ',', static_cast<size_t>(n - i));
        if (!comma) return 0;
        int64_t c = static_cast<const char *>(comma) - data;
        if (c >= n - m) return 0;
        i = c + 1;
    }
}

extern "C" int64_t zeq_sb_println(const ZeqStringBuilder *b) noexcept {
    std::puts(b && b->data ? b->data : "");
    return 0;
}

extern "C" int64_t zeq_sb_free(ZeqStringBuilder *b) noexcept {
    if (!b) return 0;
    std::free(b->data);
    std::free(b);
    return 0;
}

ZEQ_ALIAS(sb_new, zeq_sb_new);
ZEQ_ALIAS(sb_with_capacity, zeq_sb_with_capacity);
ZEQ_ALIAS(sb_push, zeq_sb_push);
ZEQ_ALIAS(sb_push_range, zeq_sb_push_range);
ZEQ_ALIAS(sb_push_char, zeq_sb_push_char);
ZEQ_ALIAS(sb_push_int, zeq_sb_push_int);
ZEQ_ALIAS(sb_len, zeq_sb_len);
ZEQ_ALIAS(sb_clear, zeq_sb_clear);
ZEQ_ALIAS(sb_build, zeq_sb_build);
ZEQ_ALIAS(sb_contains, zeq_sb_contains);
ZEQ_ALIAS(sb_println, zeq_sb_println);
ZEQ_ALIAS(sb_free, zeq_sb_free);
