// Numbers to text and back: decimal, hexadecimal, octal and binary text of
// integers, "%.9g" text of doubles, booleans, UTF-8 of a code point, and the
// strtol / strtod readings of a string.
//
// Integers are written digit pairs at a time, never through snprintf.  The
// "%.9g" text is built from a 9-digit decimal mantissa obtained by one
// scaled multiplication in 64-bit-mantissa long double arithmetic; when that
// mantissa lies too close to a rounding boundary for the scaling error to be
// ruled out (about one double in a million), the text comes from snprintf
// itself, so every result is byte-identical to snprintf("%.9g").
#include "core/core.h"
#include "strings/digits.h"
#include "strings/strings_internal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zeq;
using zeq::digits::decimal_digits;
using zeq::digits::kDigitPairs;
using zeq::digits::write_digits;

namespace {

// Writes digits of v in base 2^shift (2, 8 or 16) ending at end[-1]; returns
// the digit count.  Zero gives the single digit "0".
inline int digit_count_pow2(uint64_t v, int shift) noexcept {
    int bits = v ? 64 - __builtin_clzll(v) : 1;
    return (bits + shift - 1) / shift;
}
inline void write_pow2(char *end, uint64_t v, int shift) noexcept {
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    do {
        *--end = "0123456789abcdef"[v & mask];
        v >>= shift;
    } while (v);
}

// "-" when negative, prefix, then the magnitude's digits in base 2^shift.
ZeqString *prefixed(int64_t value, const char *prefix, int shift) noexcept {
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int digits = digit_count_pow2(magnitude, shift);
    int64_t n = (negative ? 1 : 0) + 2 + digits;
    ZeqString *r = string_alloc(n);
    char *out = r->data;
    if (negative) *out++ = '-';
    std::memcpy(out, prefix, 2);
    write_pow2(r->data + n, magnitude, shift);
    return r;
}

ZeqString *unprefixed(uint64_t value, int shift, const char *prefix) noexcept {
    int digits = digit_count_pow2(value, shift);
    int p = prefix ? 2 : 0;
    ZeqString *r = string_alloc(p + digits);
    if (p) std::memcpy(r->data, prefix, 2);
    write_pow2(r->data + p + digits, value, shift);
    return r;
}

// ---------------------------------------------------------------------------
// "%.9g"

// 10^k for k in [-kPowBias, kPowBias], computed once (powl is correctly
// rounded to within an ulp of its 64-bit mantissa).
constexpr int kPowBias = 350;
struct PowTable {
    long double p[2 * kPowBias + 1];
    PowTable() noexcept {
        for (int k = -kPowBias; k <= kPowBias; ++k) p[k + kPowBias] = powl(10.0L, static_cast<long double>(k));
    }
};
inline long double pow10_ld(int k) noexcept {
    static const PowTable table;
    return table.p[k + kPowBias];
}

// Decimal exponent and 9-digit mantissa (100000000..999999999) of the
// positive finite x rounded to 9 significant digits; false when the
// rounding cannot be decided safely.
bool nine_digits(double x, uint32_t &mantissa, int &exponent) noexcept {
    int e2;
    std::frexp(x, &e2);  // x = f * 2^e2 with f in [0.5, 1)
    // floor(log10(x)) is e or e - 1 for this estimate.
    int e = static_cast<int>(std::floor((e2 - 1) * 0.30102999566398120));
    long double v = static_cast<long double>(x) * pow10_ld(8 - e);
    if (v >= 1e9L) {
        ++e;
        v = static_cast<long double>(x) * pow10_ld(8 - e);
    } else if (v < 1e8L) {
        --e;
        v = static_cast<long double>(x) * pow10_ld(8 - e);
    }
    long double whole = floorl(v);
    long double frac = v - whole;
    // The scaled value carries a relative error of a few 2^-64; away from a
    // tie the rounding is certain.
    if (frac > 0.4999995L && frac < 0.5000005L) return false;
    uint64_t m = static_cast<uint64_t>(whole) + (frac >= 0.5L ? 1 : 0);
    if (m < 100000000u) {
        // Near the lower edge of the range: let snprintf decide.
        return false;
    }
    if (m >= 1000000000u) {
        m /= 10;
        ++e;
    }
    mantissa = static_cast<uint32_t>(m);
    exponent = e;
    return true;
}

// Writes the "%.9g" text of value into out (at least 32 bytes); returns its
// length.
int format_g9(double value, char *out) noexcept {
    char *p = out;
    if (std::signbit(value)) *p++ = '-';
    double x = std::fabs(value);
    if (std::isnan(x)) {
        std::memcpy(p, "nan", 3);
        return static_cast<int>(p + 3 - out);
    }
    if (std::isinf(x)) {
        std::memcpy(p, "inf", 3);
        return static_cast<int>(p + 3 - out);
    }
    if (x == 0) {
        *p++ = '0';
        return static_cast<int>(p - out);
    }
    uint32_t m;
    int e;
    if (!nine_digits(x, m, e)) return std::snprintf(out, 32, "%.9g", value);
    char d[9];
    write_digits(d + 9, m);
    int nd = 9;
    while (nd > 1 && d[nd - 1] == '0') --nd;
    if (e < -4 || e >= 9) {
        *p++ = d[0];
        if (nd > 1) {
            *p++ = '.';
            std::memcpy(p, d + 1, static_cast<size_t>(nd - 1));
            p += nd - 1;
        }
        *p++ = 'e';
        *p++ = e < 0 ? '-' : '+';
        unsigned ae = static_cast<unsigned>(e < 0 ? -e : e);
        if (ae >= 100) {
            *p++ = static_cast<char>('0' + ae / 100);
            ae %= 100;
        }
        std::memcpy(p, kDigitPairs + ae * 2, 2);
        p += 2;
    } else if (e >= 0) {
        // e + 1 integer digits, the rest after the point.
        std::memcpy(p, d, static_cast<size_t>(e + 1));
        p += e + 1;
        if (nd > e + 1) {
            *p++ = '.';
            std::memcpy(p, d + e + 1, static_cast<size_t>(nd - e - 1));
            p += nd - e - 1;
        }
    } else {
        *p++ = '0';
        *p++ = '.';
        for (int k = -1; k > e; --k) *p++ = '0';
        std::memcpy(p, d, static_cast<size_t>(nd));
        p += nd;
    }
    return static_cast<int>(p - out);
}

// ---------------------------------------------------------------------------
// Reading numbers

// The bytes a parse may read: up to the first NUL, never past len.
inline int64_t readable(const ZeqString *s) noexcept {
    if (!s || !s->data || s->len <= 0) return 0;
    const void *z = std::memchr(s->data, 0, static_cast<size_t>(s->len));
    return z ? static_cast<const char *>(z) - s->data : s->len;
}

inline bool c_space(unsigned char c) noexcept { return c == ' ' || (c >= 9 && c <= 13); }

}  // namespace

namespace zeq {
int format_f64_g9(double value, char *out) noexcept { return format_g9(value, out); }
}  // namespace zeq

// ---------------------------------------------------------------------------
// Integers to text

extern "C" ZeqString *zeq_int_to_string(int64_t value) noexcept {
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int64_t n = (negative ? 1 : 0) + decimal_digits(magnitude);
    ZeqString *r = string_alloc(n);
    r->data[0] = '-';  // overwritten by the first digit when there is no sign
    write_digits(r->data + n, magnitude);
    return r;
}

extern "C" ZeqString *zeq_int_to_hex(int64_t value) noexcept {
    return unprefixed(static_cast<uint64_t>(value), 4, nullptr);
}

extern "C" ZeqString *zeq_to_hex(int64_t value) noexcept { return prefixed(value, "0x", 4); }

extern "C" ZeqString *zeq_to_octal(int64_t value) noexcept {
    // Octal digits are 3 bits, not a power-of-two nibble: write them here.
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int bits = magnitude ? 64 - __builtin_clzll(magnitude) : 1;
    int digits = (bits + 2) / 3;
    int64_t n = (negative ? 1 : 0) + 2 + digits;
    ZeqString *r = string_alloc(n);
    char *out = r->data;
    if (negative) *out++ = '-';
    out[0] = '0';
    out[1] = 'o';
    char *end = r->data + n;
    do {
        *--end = static_cast<char>('0' + (magnitude & 7));
        magnitude >>= 3;
    } while (magnitude);
    return r;
}

extern "C" ZeqString *zeq_int_to_bin(int64_t value) noexcept {
    return unprefixed(static_cast<uint64_t>(value), 1, nullptr);
}

extern "C" ZeqString *zeq_to_binary(int64_t value) noexcept {
    return unprefixed(static_cast<uint64_t>(value), 1, "0b");
}

extern "C" ZeqString *zeq_f64_to_string(double value) noexcept {
    char tmp[32];
    int n = format_g9(value, tmp);
    return string_copy(tmp, n);
}

extern "C" ZeqString *zeq_bool_to_string(int64_t value) noexcept {
    return (value & 0xff) ? string_copy("true", 4) : string_copy("false", 5);
}

extern "C" char *zeq_char_to_string(int32_t code) noexcept {
    auto *out = static_cast<unsigned char *>(zeq_alloc(5));
    int n;
    if (code <= 127) {
        out[0] = static_cast<unsigned char>(code);
        n = 1;
    } else {
        uint32_t cp = static_cast<uint32_t>(code);
        if (cp <= 0x7FF) {
            out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            n = 2;
        } else if (cp <= 0xFFFF) {
            out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            n = 3;
        } else {
            out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            n = 4;
        }
        out[n - 1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
    out[n] = 0;
    return reinterpret_cast<char *>(out);
}

// ---------------------------------------------------------------------------
// Text to numbers

extern "C" int64_t zeq_parse_int(const ZeqString *s) noexcept {
    const int64_t n = readable(s);
    if (n == 0) return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(s->data);
    int64_t i = 0;
    while (i < n && c_space(p[i])) ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
    // Magnitude limit: 2^63 for negative values, 2^63 - 1 otherwise.
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    bool overflow = false;
    for (; i < n && static_cast<unsigned>(p[i] - '0') < 10; ++i) {
        unsigned digit = p[i] - '0';
        if (v > (limit - digit) / 10) overflow = true;
        else v = v * 10 + digit;
    }
    if (overflow) return negative ? INT64_MIN : INT64_MAX;
    return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

extern "C" double zeq_parse_f64(const ZeqString *s) noexcept {
    const int64_t n = readable(s);
    if (n == 0) return 0.0;
    // strtod needs a NUL-terminated text: a bounded copy, so that nothing
    // beyond the string is ever read.
    char local[128];
    char *text = local;
    if (n >= static_cast<int64_t>(sizeof local)) text = static_cast<char *>(checked_malloc(static_cast<uint64_t>(n) + 1));
    std::memcpy(text, s->data, static_cast<size_t>(n));
    text[n] = '\0';
    int saved = errno;
    double r = std::strtod(text, nullptr);
    errno = saved;
    if (text != local) std::free(text);
    return r;
}

ZEQ_ALIAS(int_to_string, zeq_int_to_string);
ZEQ_ALIAS(zeq_fast_i2s, zeq_int_to_string);
