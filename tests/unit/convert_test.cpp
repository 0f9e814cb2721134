// Number and text conversions, compared with the libc formatting and
// parsing they must reproduce byte for byte.
#include <gtest/gtest.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "child.h"
#include "owned_string.h"
#include "reference.h"
#include "zeq.h"

namespace {

using zeqtest::Str;
using zeqtest::take;

using zeqtest::binary;
using zeqtest::printf_text;

// Interesting integers: edges, powers of ten and two around them, random.
std::vector<int64_t> integers() {
    std::vector<int64_t> v = {0, 1, -1, 7, 8, -8, 9, 10, -10, 99, 100, -255, INT64_MAX, INT64_MIN,
                              INT64_MIN + 1};
    for (int64_t p = 1; p < INT64_MAX / 10; p *= 10)
        for (int64_t d : {-1, 0, 1}) v.insert(v.end(), {p + d, -(p + d)});
    for (int b = 0; b < 63; ++b) v.insert(v.end(), {int64_t{1} << b, -(int64_t{1} << b), (int64_t{1} << b) - 1});
    std::mt19937_64 rng(1);
    for (int i = 0; i < 20000; ++i) v.push_back(static_cast<int64_t>(rng() >> (rng() % 64)) * (i % 2 ? -1 : 1));
    return v;
}

TEST(ConvertInt, EveryFormMatchesPrintf) {
    for (int64_t x : integers()) {
        uint64_t u = static_cast<uint64_t>(x);
        uint64_t mag = x < 0 ? 0 - u : u;
        std::string sign = x < 0 ? "-" : "";
        ASSERT_EQ(take(zeq_int_to_string(x)), printf_text("%" PRId64, x));
        ASSERT_EQ(take(zeq_fast_i2s(x)), printf_text("%" PRId64, x));
        ASSERT_EQ(take(zeq_int_to_hex(x)), printf_text("%" PRIx64, u));
        ASSERT_EQ(take(zeq_to_hex(x)), sign + printf_text("0x%" PRIx64, mag));
        ASSERT_EQ(take(zeq_to_octal(x)), sign + printf_text("0o%" PRIo64, mag));
        ASSERT_EQ(take(zeq_int_to_bin(x)), binary(u));
        ASSERT_EQ(take(zeq_to_binary(x)), "0b" + binary(u));
    }
}

TEST(ConvertInt, Edges) {
    ZeqString *m = zeq_int_to_string(INT64_MIN);
    EXPECT_EQ(m->len, 20);
    EXPECT_EQ(take(m), "-9223372036854775808");
    EXPECT_EQ(take(zeq_to_hex(INT64_MIN)), "-0x8000000000000000");
    EXPECT_EQ(take(zeq_to_octal(INT64_MIN)), "-0o1000000000000000000000");
    EXPECT_EQ(take(zeq_bool_to_string(256)), "false");
    EXPECT_EQ(take(zeq_bool_to_string(-1)), "true");
    EXPECT_EQ(take(zeq_bool_to_string(0)), "false");
}

TEST(ConvertFloat, NinePlacesMatchSnprintfOnRandomBitPatterns) {
    const int count = ZEQ_TEST_SANITIZED ? 200000 : 2000000;
    std::mt19937_64 rng(2024);
    char want[64];
    auto check = [&](double x) {
        int n = std::snprintf(want, sizeof want, "%.9g", x);
        ZeqString *r = zeq_f64_to_string(x);
        bool same = r->len == n && r->cap == n && std::memcmp(r->data, want, static_cast<size_t>(n)) == 0;
        std::string got(r->data, static_cast<size_t>(r->len));
        zeq_string_free(r);
        return same ? std::string() : got + " != " + want;
    };
    for (double x : {0.0, -0.0, 0.1, 3.0, 1e20, 1234567890.5, 1234567895.0, 0.5, 1e-5, 1e-4, 123456789.0,
                     999999999.5, 9999999995.0, 0.000099999999995, 5e-324, -5e-324, 2.2250738585072014e-308,
                     std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::nan(""), -std::nan("")})
        ASSERT_EQ(check(x), "") << x;
    for (int i = 0; i < count; ++i) {
        uint64_t bits = rng();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        ASSERT_EQ(check(x), "") << bits;
    }
    // Values with few significant digits and near rounding boundaries.
    for (int i = 0; i < count / 10; ++i) {
        double x = static_cast<double>(rng() % 2000000000) * std::pow(10.0, static_cast<int>(rng() % 40) - 20);
        ASSERT_EQ(check(x), "") << x;
        double half = (static_cast<double>(rng() % 1000000000) + 0.5) * std::pow(10.0, static_cast<int>(rng() % 20) - 10);
        ASSERT_EQ(check(half), "") << half;
    }
}

TEST(ConvertChar, Utf8OfCodePoints) {
    struct Case { int32_t cp; const char *bytes; } cases[] = {
        {0x41, "\x41"}, {0xE9, "\xC3\xA9"}, {0x20AC, "\xE2\x82\xAC"}, {0x1F600, "\xF0\x9F\x98\x80"},
        {-1, "\xFF"}, {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
        {0xD800, "\xED\xA0\x80"}, {0x110000, "\xF4\x90\x80\x80"},
    };
    for (const auto &c : cases) {
        char *got = zeq_char_to_string(c.cp);  // malloc memory with arena mode off
        EXPECT_STREQ(got, c.bytes) << c.cp;
        std::free(got);
    }
    char *nul = zeq_char_to_string(0);
    EXPECT_EQ(nul[0], '\0');
    std::free(nul);
    EXPECT_EQ(take(int_to_string(-42)), "-42");
}

TEST(ConvertParse, IntegersFollowStrtol) {
    const char *texts[] = {"  42abc", "abc", "0x10", "-", "+", " -17", "\t\n\v\f\r 5", "9223372036854775807",
                           "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
                           "99999999999999999999999", "-0", "+12", "1 2", "", "--1", "00012"};
    for (const char *t : texts) {
        errno = 0;
        EXPECT_EQ(zeq_parse_int(Str(t)), std::strtol(t, nullptr, 10)) << t;
    }
    std::mt19937_64 rng(9);
    for (int i = 0; i < 100000; ++i) {
        std::string t(rng() % 25, ' ');
        for (auto &c : t) c = " +-0123456789x\t"[rng() % 15];
        ASSERT_EQ(zeq_parse_int(Str(t)), std::strtol(t.c_str(), nullptr, 10)) << t;
    }
    EXPECT_EQ(zeq_parse_int(nullptr), 0);
    EXPECT_EQ(zeq_parse_int(Str(std::string("12\0" "34", 5))), 12);
    // Never past len: a record viewing "12" inside "123".
    ZeqString view{const_cast<char *>("123"), 2, 2};
    EXPECT_EQ(zeq_parse_int(&view), 12);
}

TEST(ConvertParse, DoublesFollowStrtod) {
    const char *texts[] = {"1e3", " -2.5x", "inf", "-nan", "0x1p4", "abc", "", ".5", "1e400", "-1e-400", "+"};
    for (const char *t : texts) {
        double want = std::strtod(t, nullptr), got = zeq_parse_f64(Str(t));
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got)) << t;
        } else {
            EXPECT_EQ(got, want) << t;
        }
    }
    std::string long_text = "  " + std::string(300, '0') + "1.25e-2";
    EXPECT_EQ(zeq_parse_f64(Str(long_text)), 0.0125);
    EXPECT_EQ(zeq_parse_f64(nullptr), 0.0);
    ZeqString view{const_cast<char *>("1.59"), 3, 3};
    EXPECT_EQ(zeq_parse_f64(&view), 1.5);
}

}  // namespace
