// Integer and floating-point functions: edge values, wrap-around, the
// primality walk against a reference, bit functions against loops, and the
// double functions' NaN and signed-zero rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "child.h"
#include "zeq.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

TEST(NumericInteger, AliasesAreTheSameFunctions) {
    EXPECT_TRUE(zeqtest::same_function((void *)&min, (void *)&zeq_min)) << "min";
    EXPECT_TRUE(zeqtest::same_function((void *)&max, (void *)&zeq_max)) << "max";
    EXPECT_TRUE(zeqtest::same_function((void *)&zeq_clamp_i64, (void *)&zeq_clamp)) << "zeq_clamp_i64";
    EXPECT_TRUE(zeqtest::same_function((void *)&zeq_pow_i64, (void *)&zeq_pow)) << "zeq_pow_i64";
    EXPECT_TRUE(zeqtest::same_function((void *)&zeq_f64_to_int, (void *)&zeq_f64_to_i64)) << "zeq_f64_to_int";
}

TEST(NumericInteger, Abs) {
    EXPECT_EQ(zeq_abs(0), 0);
    EXPECT_EQ(zeq_abs(-5), 5);
    EXPECT_EQ(zeq_abs(5), 5);
    EXPECT_EQ(zeq_abs(-INT64_MAX), INT64_MAX);
    EXPECT_EQ(zeq_abs(INT64_MIN), INT64_MIN);
}

TEST(NumericInteger, MinMax) {
    EXPECT_EQ(zeq_min(-1, 1), -1);
    EXPECT_EQ(zeq_min(INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(zeq_max(-1, 1), 1);
    EXPECT_EQ(zeq_max(INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(zeq_max(7, 7), 7);
}

TEST(NumericInteger, Clamp) {
    EXPECT_EQ(zeq_clamp(5, 0, 10), 5);
    EXPECT_EQ(zeq_clamp(-5, 0, 10), 0);
    EXPECT_EQ(zeq_clamp(15, 0, 10), 10);
    EXPECT_EQ(zeq_clamp(10, 0, 10), 10);
    EXPECT_EQ(zeq_clamp(0, 0, 10), 0);
    // lo > hi: lo below lo, hi for everything else.
    EXPECT_EQ(zeq_clamp(1, 5, 2), 5);
    EXPECT_EQ(zeq_clamp(4, 5, 2), 5);
    EXPECT_EQ(zeq_clamp(6, 5, 2), 2);
    EXPECT_EQ(zeq_clamp(5, 5, 2), 2);
    EXPECT_EQ(zeq_clamp(9, 5, 2), 2);
    EXPECT_EQ(zeq_clamp(INT64_MIN, INT64_MIN, INT64_MAX), INT64_MIN);
}

TEST(NumericInteger, Pow) {
    EXPECT_EQ(zeq_pow(2, 10), 1024);
    EXPECT_EQ(zeq_pow(-3, 3), -27);
    EXPECT_EQ(zeq_pow(-3, 4), 81);
    EXPECT_EQ(zeq_pow(10, 18), 1'000'000'000'000'000'000);
    EXPECT_EQ(zeq_pow(2, 62), int64_t{1} << 62);
    EXPECT_EQ(zeq_pow(2, 63), INT64_MIN);
    EXPECT_EQ(zeq_pow(2, 64), 0);
    EXPECT_EQ(zeq_pow(-2, 63), INT64_MIN);
    EXPECT_EQ(zeq_pow(0, 0), 1);
    EXPECT_EQ(zeq_pow(0, 5), 0);
    EXPECT_EQ(zeq_pow(7, 0), 1);
    EXPECT_EQ(zeq_pow(1, INT64_MAX), 1);
    EXPECT_EQ(zeq_pow(-1, INT64_MAX), -1);
    EXPECT_EQ(zeq_pow(-1, -1), 0);
    EXPECT_EQ(zeq_pow(1, -1), 0);
    EXPECT_EQ(zeq_pow(2, INT64_MIN), 0);
    // Wrapping: 3^41 modulo 2^64 matches repeated wrapping multiplication.
    uint64_t expect = 1;
    for (int i = 0; i < 41; ++i) expect *= 3;
    EXPECT_EQ(zeq_pow(3, 41), static_cast<int64_t>(expect));
    expect = 1;
    for (int i = 0; i < 1001; ++i) expect *= static_cast<uint64_t>(-7);
    EXPECT_EQ(zeq_pow(-7, 1001), static_cast<int64_t>(expect));
}

TEST(NumericInteger, PowerOfTwo) {
    EXPECT_EQ(zeq_is_power_of_two(1), 1);
    EXPECT_EQ(zeq_is_power_of_two(2), 1);
    EXPECT_EQ(zeq_is_power_of_two(int64_t{1} << 62), 1);
    EXPECT_EQ(zeq_is_power_of_two(0), 0);
    EXPECT_EQ(zeq_is_power_of_two(6), 0);
    EXPECT_EQ(zeq_is_power_of_two(-4), 0);
    EXPECT_EQ(zeq_is_power_of_two(INT64_MIN), 0);

    EXPECT_EQ(zeq_next_power_of_two(0), 1);
    EXPECT_EQ(zeq_next_power_of_two(1), 1);
    EXPECT_EQ(zeq_next_power_of_two(-5), 1);
    EXPECT_EQ(zeq_next_power_of_two(INT64_MIN), 1);
    EXPECT_EQ(zeq_next_power_of_two(2), 2);
    EXPECT_EQ(zeq_next_power_of_two(3), 4);
    EXPECT_EQ(zeq_next_power_of_two(1024), 1024);
    EXPECT_EQ(zeq_next_power_of_two(1025), 2048);
    EXPECT_EQ(zeq_next_power_of_two(int64_t{1} << 62), int64_t{1} << 62);
    EXPECT_EQ(zeq_next_power_of_two((int64_t{1} << 62) + 1), INT64_MIN);
    EXPECT_EQ(zeq_next_power_of_two(INT64_MAX), INT64_MIN);
}

bool reference_prime(int64_t n) {
    if (n < 2) return false;
    for (int64_t d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

TEST(NumericInteger, IsPrime) {
    for (int64_t n : {2, 3, 5, 23, 29}) EXPECT_EQ(zeq_is_prime(n), 1) << n;
    for (int64_t n : {1, 0, -7, 25, 49, 119, 121}) EXPECT_EQ(zeq_is_prime(n), 0) << n;
    EXPECT_EQ(zeq_is_prime(INT64_MIN), 0);
    for (int64_t n = -10; n < 20000; ++n) ASSERT_EQ(zeq_is_prime(n), reference_prime(n)) << n;
    // Squares and products of nearby primes: the last pair tested must still
    // catch the factor.
    EXPECT_EQ(zeq_is_prime(1'000'000'007), 1);
    EXPECT_EQ(zeq_is_prime(999'999'999'989), 1);
    EXPECT_EQ(zeq_is_prime(int64_t{1'000'003} * 1'000'003), 0);
    EXPECT_EQ(zeq_is_prime(int64_t{999'983} * 1'000'003), 0);
    EXPECT_EQ(zeq_is_prime(int64_t{1'000'000'007} * 11), 0);
    // Large values with small factors stay exact (no signed overflow).
    EXPECT_EQ(zeq_is_prime(INT64_MAX), 0);  // 7^2 * 73 * ...
    EXPECT_EQ(zeq_is_prime(INT64_MAX - 1), 0);
    EXPECT_EQ(zeq_is_prime(INT64_MAX - 2), 0);  // divisible by 5
}

int64_t reference_popcount(uint64_t x) {
    int64_t n = 0;
    for (; x; x >>= 1) n += x & 1;
    return n;
}

int64_t reference_clz(uint64_t x) {
    int64_t n = 0;
    for (uint64_t bit = uint64_t{1} << 63; bit && !(x & bit); bit >>= 1) ++n;
    return n;
}

int64_t reference_ctz(uint64_t x) {
    int64_t n = 0;
    for (uint64_t bit = 1; bit && !(x & bit); bit <<= 1) ++n;
    return n;
}

uint64_t reference_reverse(uint64_t x) {
    uint64_t r = 0;
    for (int i = 0; i < 64; ++i) r |= ((x >> i) & 1) << (63 - i);
    return r;
}

TEST(NumericBits, BitFunctionEdges) {
    EXPECT_EQ(zeq_popcount(0), 0);
    EXPECT_EQ(zeq_popcount(-1), 64);
    EXPECT_EQ(zeq_popcount(INT64_MIN), 1);
    EXPECT_EQ(zeq_popcount(0xFF), 8);
    EXPECT_EQ(zeq_clz(1), 63);
    EXPECT_EQ(zeq_clz(0), 64);
    EXPECT_EQ(zeq_clz(-1), 0);
    EXPECT_EQ(zeq_clz(INT64_MIN), 0);
    EXPECT_EQ(zeq_clz(INT64_MAX), 1);
    EXPECT_EQ(zeq_ctz(8), 3);
    EXPECT_EQ(zeq_ctz(0), 64);
    EXPECT_EQ(zeq_ctz(1), 0);
    EXPECT_EQ(zeq_ctz(INT64_MIN), 63);
    EXPECT_EQ(zeq_bit_reverse(1), INT64_MIN);
    EXPECT_EQ(zeq_bit_reverse(INT64_MIN), 1);
    EXPECT_EQ(zeq_bit_reverse(0), 0);
    EXPECT_EQ(zeq_bit_reverse(-1), -1);
    EXPECT_EQ(zeq_bit_reverse(0x0F), static_cast<int64_t>(0xF000000000000000ULL));
}

TEST(NumericBits, BitFunctionsMatchLoops) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        uint64_t x = rng();
        // Vary the number of set bits as well as their places.
        if (i % 3 == 1) x >>= (i % 64);
        if (i % 3 == 2) x <<= (i % 64);
        auto a = static_cast<int64_t>(x);
        ASSERT_EQ(zeq_popcount(a), reference_popcount(x)) << x;
        ASSERT_EQ(zeq_clz(a), reference_clz(x)) << x;
        ASSERT_EQ(zeq_ctz(a), reference_ctz(x)) << x;
        ASSERT_EQ(static_cast<uint64_t>(zeq_bit_reverse(a)), reference_reverse(x)) << x;
    }
}

TEST(NumericInteger, Gcd) {
    EXPECT_EQ(zeq_gcd_i64(-12, 18), 6);
    EXPECT_EQ(zeq_gcd_i64(12, -18), 6);
    EXPECT_EQ(zeq_gcd_i64(-12, -18), 6);
    EXPECT_EQ(zeq_gcd_i64(0, -7), 7);
    EXPECT_EQ(zeq_gcd_i64(-7, 0), 7);
    EXPECT_EQ(zeq_gcd_i64(0, 0), 0);
    EXPECT_EQ(zeq_gcd_i64(17, 5), 1);
    EXPECT_EQ(zeq_gcd_i64(INT64_MIN, 0), INT64_MIN);
    EXPECT_EQ(zeq_gcd_i64(0, INT64_MIN), INT64_MIN);
    EXPECT_EQ(zeq_gcd_i64(INT64_MIN, INT64_MIN), INT64_MIN);
    EXPECT_EQ(zeq_gcd_i64(INT64_MIN, 6), 2);
    EXPECT_EQ(zeq_gcd_i64(INT64_MIN, INT64_MAX), 1);
    EXPECT_EQ(zeq_gcd_i64(int64_t{1} << 40, int64_t{3} << 20), int64_t{1} << 20);
}

TEST(NumericFloat, Conversions) {
    EXPECT_EQ(zeq_i64_to_f64(-3), -3.0);
    EXPECT_EQ(zeq_i64_to_f64(INT64_MIN), -0x1p63);
    EXPECT_EQ(zeq_i64_to_f64(INT64_MAX), 0x1p63);
    // Beyond 2^53: round to nearest even.
    EXPECT_EQ(zeq_i64_to_f64((int64_t{1} << 53) + 1), 0x1p53);
    EXPECT_EQ(zeq_i64_to_f64((int64_t{1} << 53) + 3), 0x1p53 + 4);

    EXPECT_EQ(zeq_f64_to_i64(-2.9), -2);
    EXPECT_EQ(zeq_f64_to_i64(2.9), 2);
    EXPECT_EQ(zeq_f64_to_i64(-0.0), 0);
    EXPECT_EQ(zeq_f64_to_i64(kNaN), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(-kNaN), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(kInf), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(-kInf), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(0x1p63), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(1e300), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(-0x1p63), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(-0x1p63 - 4096), INT64_MIN);
    EXPECT_EQ(zeq_f64_to_i64(0x1p63 - 1024), INT64_MAX - 1023);
    EXPECT_EQ(zeq_f64_to_i64(-0x1p63 + 1024), INT64_MIN + 1024);
}

TEST(NumericFloat, Rounding) {
    EXPECT_EQ(zeq_f64_floor(-1.5), -2.0);
    EXPECT_EQ(zeq_f64_floor(1.5), 1.0);
    EXPECT_EQ(zeq_f64_ceil(-1.5), -1.0);
    EXPECT_EQ(zeq_f64_ceil(1.2), 2.0);
    EXPECT_EQ(zeq_f64_round(2.5), 3.0);
    EXPECT_EQ(zeq_f64_round(-2.5), -3.0);
    EXPECT_EQ(zeq_f64_round(2.4), 2.0);
    EXPECT_EQ(bits(zeq_f64_round(-0.4)), bits(-0.0));
    EXPECT_TRUE(std::isnan(zeq_f64_floor(kNaN)));
    EXPECT_EQ(zeq_f64_ceil(-kInf), -kInf);
}

TEST(NumericFloat, SqrtAbsIsNan) {
    EXPECT_EQ(zeq_f64_sqrt(16.0), 4.0);
    EXPECT_EQ(zeq_f64_sqrt(2.0), std::sqrt(2.0));
    EXPECT_TRUE(std::isnan(zeq_f64_sqrt(-1.0)));
    EXPECT_TRUE(std::isnan(zeq_f64_sqrt(kNaN)));
    EXPECT_EQ(bits(zeq_f64_sqrt(-0.0)), bits(-0.0));

    EXPECT_EQ(zeq_f64_abs(-3.5), 3.5);
    EXPECT_EQ(bits(zeq_f64_abs(-0.0)), bits(0.0));
    EXPECT_EQ(bits(zeq_f64_abs(-kNaN)), bits(kNaN));
    EXPECT_EQ(zeq_f64_abs(-kInf), kInf);

    EXPECT_EQ(zeq_f64_is_nan(kNaN), 1);
    EXPECT_EQ(zeq_f64_is_nan(-kNaN), 1);
    EXPECT_EQ(zeq_f64_is_nan(kInf), 0);
    EXPECT_EQ(zeq_f64_is_nan(0.0), 0);
}

TEST(NumericFloat, FloatMinMaxFavourTheSecondArgument) {
    EXPECT_EQ(zeq_f64_min(1.0, 2.0), 1.0);
    EXPECT_EQ(zeq_f64_min(2.0, 1.0), 1.0);
    EXPECT_EQ(zeq_f64_min(kNaN, 1.0), 1.0);
    EXPECT_TRUE(std::isnan(zeq_f64_min(1.0, kNaN)));
    EXPECT_EQ(bits(zeq_f64_min(0.0, -0.0)), bits(-0.0));
    EXPECT_EQ(bits(zeq_f64_min(-0.0, 0.0)), bits(0.0));

    EXPECT_EQ(zeq_f64_max(1.0, 2.0), 2.0);
    EXPECT_EQ(zeq_f64_max(2.0, 1.0), 2.0);
    EXPECT_EQ(zeq_f64_max(kNaN, 1.0), 1.0);
    EXPECT_TRUE(std::isnan(zeq_f64_max(1.0, kNaN)));
    EXPECT_EQ(bits(zeq_f64_max(0.0, -0.0)), bits(-0.0));
    EXPECT_EQ(bits(zeq_f64_max(-0.0, 0.0)), bits(0.0));
}

TEST(NumericFloat, PowF64IsLibcPow) {
    EXPECT_EQ(pow_f64(2.0, 10.0), 1024.0);
    EXPECT_EQ(pow_f64(2.0, -1.0), 0.5);
    EXPECT_EQ(pow_f64(kNaN, 0.0), 1.0);
    EXPECT_TRUE(std::isnan(pow_f64(-8.0, 1.0 / 3.0)));
    EXPECT_EQ(pow_f64(1.7, 3.3), std::pow(1.7, 3.3));
}

}  // namespace
