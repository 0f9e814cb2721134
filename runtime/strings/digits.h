// Decimal digits of 64-bit integers, written digit pairs at a time: shared
// by the builder and the number conversions.
#pragma once

#include <cstdint>
#include <cstring>

namespace zeq {
namespace digits {

// Two decimal digits for every value 0..99.
inline constexpr char kDigitPairs[201] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

inline constexpr uint64_t kPow10[20] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

// Number of decimal digits of v (1 for 0).  t = floor(log2(v)) * 1233 / 4096
// is floor(log10(v)) or one less (t <= 18), so one comparison settles it.
inline unsigned decimal_digits(uint64_t v) noexcept {
    unsigned t = (static_cast<unsigned>(63 - __builtin_clzll(v | 1)) * 1233u) >> 12;
    return t + 1 + (v >= kPow10[t + 1] ? 1u : 0u);
}

// Writes the decimal digits of v (below 10^8) so that the last one ends just
// before `end`, with 32-bit arithmetic.
inline void write_small(char *end, uint32_t v) noexcept {
    while (v >= 100) {
        uint32_t pair = (v % 100) * 2;
        v /= 100;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (v >= 10) {
        end[-2] = kDigitPairs[v * 2];
        end[-1] = kDigitPairs[v * 2 + 1];
    } else {
        end[-1] = static_cast<char>('0' + v);
    }
}

// Writes exactly eight digits of v (below 10^8), zeros in front included.
inline void write_eight(char *out, uint32_t v) noexcept {
    uint32_t hi = v / 10000, lo = v % 10000;
    uint32_t a = hi / 100, b = hi % 100, c = lo / 100, d = lo % 100;
    std::memcpy(out + 0, kDigitPairs + a * 2, 2);
    std::memcpy(out + 2, kDigitPairs + b * 2, 2);
    std::memcpy(out + 4, kDigitPairs + c * 2, 2);
    std::memcpy(out + 6, kDigitPairs + d * 2, 2);
}

// Writes the decimal digits of v so that the last one ends just before
// `end`: eight digits at a time from the right while v has more than eight.
inline void write_digits(char *end, uint64_t v) noexcept {
    while (v >= 100000000) {
        uint64_t q = v / 100000000;
        end -= 8;
        write_eight(end, static_cast<uint32_t>(v - q * 100000000));
        v = q;
    }
    write_small(end, static_cast<uint32_t>(v));
}

}  // namespace digits
}  // namespace zeq
