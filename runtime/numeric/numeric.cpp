// Integer and floating-point functions: pure, stateless, no allocation.
// Integer arithmetic wraps modulo 2^64: it is done on uint64_t and converted
// back, so no signed overflow ever happens in C++.
#include "core/core.h"

#include <cmath>

namespace {

inline uint64_t u(int64_t a) noexcept { return static_cast<uint64_t>(a); }
inline int64_t s(uint64_t a) noexcept { return static_cast<int64_t>(a); }
inline uint64_t magnitude(int64_t a) noexcept { return a < 0 ? 0 - u(a) : u(a); }

}  // namespace

// ---- Integers --------------------------------------------------------------

extern "C" int64_t zeq_abs(int64_t a) noexcept { return s(magnitude(a)); }

extern "C" int64_t zeq_min(int64_t a, int64_t b) noexcept { return a < b ? a : b; }

extern "C" int64_t zeq_max(int64_t a, int64_t b) noexcept { return a > b ? a : b; }

extern "C" int64_t zeq_clamp(int64_t a, int64_t lo, int64_t hi) noexcept {
    if (a < lo) return lo;
    return a < hi ? a : hi;
}

extern "C" int64_t zeq_pow(int64_t base, int64_t exp) noexcept {
    if (exp < 0) return 0;
    uint64_t result = 1;
    uint64_t b = u(base);
    uint64_t e = u(exp);
    while (e) {
        if (e & 1) result *= b;
        e >>= 1;
        if (e) b *= b;
    }
    return s(result);
}

extern "C" int64_t zeq_is_power_of_two(int64_t a) noexcept {
    return a > 0 && (u(a) & (u(a) - 1)) == 0;
}

extern "C" int64_t zeq_next_power_of_two(int64_t a) noexcept {
    if (a < 2) return 1;
    if (a > (int64_t{1} << 62)) return s(uint64_t{1} << 63);
    return s(uint64_t{1} << (64 - __builtin_clzll(u(a) - 1)));
}

extern "C" int64_t zeq_is_prime(int64_t n) noexcept {
    if (n < 2) return 0;
    if (n == 2 || n == 3) return 1;
    uint64_t m = u(n);
    if (m % 2 == 0 || m % 3 == 0) return 0;
    if (m < 25) return 1;
    // Candidates 6j - 1 and 6j + 1.  The loop only reaches k with k^2 <= m <
    // 2^63, so k + 6 < 2^32 and (k + 6)^2 cannot overflow 64 bits.
    for (uint64_t k = 5;; k += 6) {
        if (m % k == 0 || m % (k + 2) == 0) return 0;
        if ((k + 6) * (k + 6) > m) return 1;
    }
}

extern "C" int64_t zeq_popcount(int64_t a) noexcept { return zeq::bit_count(u(a)); }

extern "C" int64_t zeq_clz(int64_t a) noexcept { return a == 0 ? 64 : __builtin_clzll(u(a)); }

extern "C" int64_t zeq_ctz(int64_t a) noexcept { return a == 0 ? 64 : __builtin_ctzll(u(a)); }

extern "C" int64_t zeq_bit_reverse(int64_t a) noexcept {
    uint64_t x = __builtin_bswap64(u(a));
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    return s(x);
}

extern "C" int64_t zeq_gcd_i64(int64_t a, int64_t b) noexcept {
    uint64_t x = magnitude(a);
    uint64_t y = magnitude(b);
    while (y) {
        uint64_t r = x % y;
        x = y;
        y = r;
    }
    return s(x);
}

// ---- Conversions and doubles -----------------------------------------------

extern "C" double zeq_i64_to_f64(int64_t a) noexcept { return static_cast<double>(a); }

extern "C" int64_t zeq_f64_to_i64(double x) noexcept {
    // Range test first (false for NaN): the conversion itself is only defined
    // for values whose truncation fits.
    if (!(x >= -0x1p63 && x < 0x1p63)) return INT64_MIN;
    return static_cast<int64_t>(x);
}

extern "C" double zeq_f64_floor(double x) noexcept { return std::floor(x); }

extern "C" double zeq_f64_ceil(double x) noexcept { return std::ceil(x); }

extern "C" double zeq_f64_round(double x) noexcept { return std::round(x); }

extern "C" double zeq_f64_sqrt(double x) noexcept { return std::sqrt(x); }

extern "C" double zeq_f64_abs(double x) noexcept { return std::fabs(x); }

extern "C" int64_t zeq_f64_is_nan(double x) noexcept { return std::isnan(x); }

extern "C" double zeq_f64_min(double a, double b) noexcept { return a < b ? a : b; }

extern "C" double zeq_f64_max(double a, double b) noexcept { return a > b ? a : b; }

extern "C" double pow_f64(double base, double exponent) noexcept { return std::pow(base, exponent); }

ZEQ_ALIAS(min, zeq_min);
ZEQ_ALIAS(max, zeq_max);
ZEQ_ALIAS(zeq_clamp_i64, zeq_clamp);
ZEQ_ALIAS(zeq_pow_i64, zeq_pow);
ZEQ_ALIAS(zeq_f64_to_int, zeq_f64_to_i64);
