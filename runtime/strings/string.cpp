// The string record: construction, access, concatenation, slicing,
// comparison, hashing, release and the foreign-call string group.
#include "core/core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zeq {

ZeqString *string_alloc_slow(int64_t n) noexcept {
    StringMemory m = alloc_string_memory_slow(add_sat(static_cast<uint64_t>(n), 1));
    m.bytes[n] = '\0';
    return fill_record(m, n);
}

ZeqString *string_copy_slow(const char *bytes, int64_t n) noexcept {
    ZeqString *s = string_alloc_slow(n);
    if (n > 0) std::memcpy(s->data, bytes, static_cast<size_t>(n));
    return s;
}

ZeqString *string_copy_long(StringMemory m, const char *bytes, int64_t n) noexcept {
    std::memcpy(m.bytes, bytes, static_cast<size_t>(n));
    m.bytes[n] = '\0';
    return fill_record(m, n);
}

}  // namespace zeq

using namespace zeq;

namespace {

inline bool usable(const ZeqString *s) noexcept { return s && s->data; }
inline int64_t usable_len(const ZeqString *s) noexcept { return usable(s) ? s->len : 0; }

// One-byte strings keep a two-byte buffer (the byte and a NUL) and measure
// their length up to the first NUL, so byte 0 gives an empty string.
ZeqString *one_byte(unsigned char byte) noexcept {
    auto [bytes, s] = alloc_string_memory(2);
    bytes[0] = static_cast<char>(byte);
    bytes[1] = '\0';
    s->data = bytes;
    s->len = s->cap = byte ? 1 : 0;
    return s;
}

ZeqString *concat_parts(const ZeqString *const *parts, int count) noexcept {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) total = add_sat(total, static_cast<uint64_t>(usable_len(parts[i])));
    if (total > static_cast<uint64_t>(INT64_MAX)) fatal_out_of_memory(total);
    ZeqString *r = string_alloc(static_cast<int64_t>(total));
    char *out = r->data;
    for (int i = 0; i < count; ++i) {
        int64_t n = usable_len(parts[i]);
        if (n > 0) {
            std::memcpy(out, parts[i]->data, static_cast<size_t>(n));
            out += n;
        }
    }
    return r;
}

// Position of the first differing byte among the first n, or n.
int64_t first_difference(const unsigned char *a, const unsigned char *b, int64_t n) noexcept {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return i + (__builtin_ctzll(x ^ y) >> 3);
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return i;
    return n;
}

}  // namespace

extern "C" ZeqString *zeq_string_new(const char *bytes, int64_t n) noexcept {
    if (n < 0 || !bytes) n = 0;
    return string_copy(bytes, n);
}

extern "C" ZeqString *zeq_string_from_cstr(const char *text) noexcept {
    if (!text) return string_empty();
    return string_copy(text, static_cast<int64_t>(std::strlen(text)));
}

extern "C" ZeqString *zeq_chr(int64_t code) noexcept {
    return one_byte(static_cast<unsigned char>(code));
}

extern "C" ZeqString *char_to_string(int32_t code) noexcept {
    return one_byte(static_cast<unsigned char>(code));
}

extern "C" ZeqString *zeq_str_char_at_str(const ZeqString *s, int64_t index) noexcept {
    if (!usable(s) || index < 0 || index >= s->len) return string_empty();
    return one_byte(static_cast<unsigned char>(s->data[index]));
}

extern "C" ZeqString *zeq_string_concat(const ZeqString *a, const ZeqString *b) noexcept {
    if (!usable(a) || !usable(b)) return string_empty();
    const ZeqString *parts[] = {a, b};
    return concat_parts(parts, 2);
}

extern "C" ZeqString *zeq_string_concat3(const ZeqString *a, const ZeqString *b,
                                         const ZeqString *c) noexcept {
    const ZeqString *parts[] = {a, b, c};
    return concat_parts(parts, 3);
}

extern "C" ZeqString *zeq_string_concat5(const ZeqString *a, const ZeqString *b,
                                         const ZeqString *c, const ZeqString *d,
                                         const ZeqString *e) noexcept {
    const ZeqString *parts[] = {a, b, c, d, e};
    return concat_parts(parts, 5);
}

extern "C" ZeqString *zeq_string_concat7(const ZeqString *a, const ZeqString *b,
                                         const ZeqString *c, const ZeqString *d,
                                         const ZeqString *e, const ZeqString *f,
                                         const ZeqString *g) noexcept {
    const ZeqString *parts[] = {a, b, c, d, e, f, g};
    return concat_parts(parts, 7);
}

extern "C" ZeqString *zeq_string_slice(const ZeqString *s, int64_t start, int64_t end) noexcept {
    if (!usable(s) || end < start || start < 0 || start > s->len) return string_empty();
    int64_t stop = std::min(end, s->len);
    return string_copy(s->data + start, stop - start);
}

// A record without data is empty, whatever its len field says.
extern "C" int64_t zeq_string_len(const ZeqString *s) noexcept {
    return s && s->data ? s->len : 0;
}

extern "C" int64_t zeq_text_len(const ZeqString *s) noexcept { return s->len; }

extern "C" char *zeq_string_as_cstr(const ZeqString *s) noexcept { return s ? s->data : nullptr; }

extern "C" int64_t zeq_string_char_at(const ZeqString *s, int64_t index) noexcept {
    if (!usable(s) || index < 0 || index >= s->len) return 0;
    return static_cast<unsigned char>(s->data[index]);
}

extern "C" int64_t zeq_str_char_at(const ZeqString *s, int64_t index) noexcept {
    if (index < 0 || index >= s->len) return -1;
    return static_cast<unsigned char>(s->data[index]);
}

extern "C" int64_t ord(const ZeqString *s) noexcept {
    if (!usable(s) || s->len <= 0) return 0;
    return static_cast<unsigned char>(s->data[0]);
}

extern "C" int64_t zeq_ord(const char *p) noexcept {
    return p ? static_cast<unsigned char>(*p) : 0;
}

extern "C" int64_t zeq_str_len(const char *p) noexcept {
    return static_cast<int64_t>(std::strlen(p));
}

extern "C" const char *zeq_str_data(const char *p) noexcept { return p; }

extern "C" int64_t zeq_string_eq(const ZeqString *a, const ZeqString *b) noexcept {
    if (a == b) return 1;
    if (!a || !b || a->len != b->len) return 0;
    if (a->len <= 0) return 1;
    if (!a->data || !b->data) return a->data == b->data;
    return std::memcmp(a->data, b->data, static_cast<size_t>(a->len)) == 0;
}

extern "C" int64_t zeq_string_cmp(const ZeqString *a, const ZeqString *b) noexcept {
    if (a == b) return 0;
    if (!usable(a)) return usable(b) ? -1 : 0;
    if (!usable(b)) return 1;
    int64_t n = std::min(a->len, b->len);
    if (n > 0) {
        int c = std::memcmp(a->data, b->data, static_cast<size_t>(n));
        if (c) return c < 0 ? -1 : 1;
    }
    return a->len < b->len ? -1 : (a->len > b->len ? 1 : 0);
}

extern "C" int64_t zeq_str_compare(const ZeqString *a, const ZeqString *b) noexcept {
    int64_t n = std::max<int64_t>(0, std::min(a->len, b->len));
    auto *x = reinterpret_cast<const unsigned char *>(a->data);
    auto *y = reinterpret_cast<const unsigned char *>(b->data);
    int64_t i = first_difference(x, y, n);
    if (i < n) return static_cast<int64_t>(x[i]) - static_cast<int64_t>(y[i]);
    return a->len - b->len;
}

extern "C" int64_t zeq_string_hash(const ZeqString *s) noexcept {
    if (!usable(s)) return 0;
    uint64_t h = 0xcbf29ce484222325ull;
    auto *p = reinterpret_cast<const unsigned char *>(s->data);
    for (int64_t i = 0; i < s->len; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return static_cast<int64_t>(h);
}

extern "C" int64_t zeq_string_free(ZeqString *s) noexcept {
    if (!s || arena_enabled()) return 0;
    std::free(s->data);
    std::free(s);
    return 0;
}

extern "C" ZeqString *zeq_ffi_cstr_to_string(const char *text) noexcept {
    size_t n = text ? std::strlen(text) : 0;
    auto *bytes = static_cast<char *>(checked_malloc(n + 1));
    if (n) std::memcpy(bytes, text, n);
    bytes[n] = '\0';
    auto *s = static_cast<ZeqString *>(checked_malloc(sizeof(ZeqString)));
    s->data = bytes;
    s->len = s->cap = static_cast<int64_t>(n);
    return s;
}

extern "C" const char *zeq_ffi_string_data(const ZeqString *s) noexcept {
    return usable(s) ? s->data : "";
}

extern "C" int64_t zeq_ffi_string_len(const ZeqString *s) noexcept {
    return zeq_string_len(s);
}

extern "C" void zeq_ffi_free_string(ZeqString *s) noexcept {
    if (!s) return;
    std::free(s->data);
    std::free(s);
}

ZEQ_ALIAS(chr, zeq_chr);
ZEQ_ALIAS(slice, zeq_string_slice);
ZEQ_ALIAS(len, zeq_string_len);
ZEQ_ALIAS(str_data, zeq_string_as_cstr);
ZEQ_ALIAS(char_at, zeq_string_char_at);
ZEQ_ALIAS(zeq_str_byte_at, zeq_string_char_at);
ZEQ_ALIAS(byte_at, zeq_string_char_at);
ZEQ_ALIAS(free_string, zeq_string_free);
