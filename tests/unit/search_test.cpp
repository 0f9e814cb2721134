// Byte-string search family: searches, scans and rewrites, checked against
// plain std::string reference versions on random texts.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "child.h"
#include "owned_string.h"
#include "zeq.h"

namespace {

using zeqtest::Str;
using zeqtest::take;

std::vector<int64_t> kmp_table(const std::string &pattern) {
    ZeqVec *v = build_kmp_table_str(Str(pattern));
    std::vector<int64_t> r(v->data, v->data + zeq_vec_len(v));
    zeq_vec_free(v);
    return r;
}

bool is_space(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
std::string without_nul(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
}

int64_t ref_count(const std::string &t, const std::string &p) {
    if (p.empty()) return static_cast<int64_t>(t.size()) + 1;
    int64_t c = 0;
    for (size_t at = t.find(p); at != std::string::npos; at = t.find(p, at + p.size())) ++c;
    return c;
}

// Text bytes are copied one at a time and lose their NULs; the replacement
// is copied whole.
std::string ref_replace_all(const std::string &t, const std::string &p, const std::string &r) {
    std::string out;
    size_t i = 0;
    for (size_t at = t.find(p); at != std::string::npos; at = t.find(p, i)) {
        out += without_nul(t.substr(i, at - i)) + r;
        i = at + p.size();
    }
    return out + without_nul(t.substr(i));
}

void check_pattern_services(const std::string &text, const std::string &pat,
                            const std::string &rep) {
    Str t(text), p(pat), r(rep);
    const int64_t first =
        text.find(pat) == std::string::npos ? -1 : static_cast<int64_t>(text.find(pat));
    const int64_t last =
        text.rfind(pat) == std::string::npos ? -1 : static_cast<int64_t>(text.rfind(pat));
    ASSERT_EQ(kmp_search_str(t, p), first);
    ASSERT_EQ(str_find(t, p), first);
    ASSERT_EQ(str_rfind(t, p), last);
    ASSERT_EQ(str_count(t, p), ref_count(text, pat));
    ASSERT_EQ(zeq_str_contains(t, p), first >= 0 ? 1 : 0);
    ASSERT_EQ(zeq_str_starts_with(t, p), text.compare(0, pat.size(), pat) == 0 ? 1 : 0);
    const bool ends = text.size() >= pat.size() &&
                      text.compare(text.size() - pat.size(), pat.size(), pat) == 0;
    ASSERT_EQ(zeq_str_ends_with(t, p), ends ? 1 : 0);
    if (pat.empty()) return;
    ASSERT_EQ(take(str_replace_all(t, p, r)), ref_replace_all(text, pat, rep));
    ZeqString *once = zeq_str_replace(t, p, r);
    if (first < 0) {
        ASSERT_EQ(once, t.s);
    } else {
        ASSERT_EQ(take(once),
                  std::string(text).replace(static_cast<size_t>(first), pat.size(), rep));
    }
}

TEST(SearchPatterns, AgreeWithStdStringOnRandomTexts) {
    std::mt19937 rng(2024);
    const std::string alphabets[] = {"ab", "abc", std::string("a\0b", 3), "xyzw,\t "};
    for (int round = 0; round < 6000; ++round) {
        const std::string &alpha = alphabets[round % 4];
        auto random = [&](size_t n) {
            std::string s;
            while (s.size() < n) s += alpha[rng() % alpha.size()];
            return s;
        };
        std::string text = random(round % 100 == 0 ? 3000 + rng() % 5000 : rng() % 90);
        std::string pat = random(rng() % 5);
        if (round % 3 == 0 && !text.empty()) pat = text.substr(rng() % text.size(), 1 + rng() % 40);
        check_pattern_services(text, pat, random(rng() % 4));
        if (HasFatalFailure()) return;
    }
}

TEST(SearchPatterns, EdgeCases) {
    Str abcabc("abcabc"), bc("bc"), abc("abc"), ab("ab"), empty(""), aaaa("aaaa"), aa("aa"),
        aaaab("aaaab"), aab("aab");
    EXPECT_EQ(kmp_search_str(aaaab, aab), 2);
    EXPECT_EQ(kmp_search_str(empty, empty), 0);
    EXPECT_EQ(kmp_search_str(ab, abc), -1);
    EXPECT_EQ(str_rfind(abc, empty), 3);
    EXPECT_EQ(str_count(empty, empty), 1);
    EXPECT_EQ(str_count(aaaa, aa), 2);  // non-overlapping
    EXPECT_EQ(zeq_str_starts_with(ab, abc), 0);
    EXPECT_TRUE(str_match_at(abcabc, bc, 1));
    EXPECT_FALSE(str_match_at(abcabc, bc, 0));
    EXPECT_TRUE(str_match_at(empty, empty, 12345));  // nothing is read
    EXPECT_EQ(str_token_count(Str("a,b,,c"), ','), 4);
    EXPECT_EQ(str_word_count(Str("a\vb\fc d")), 2);  // vertical tab, form feed: not whitespace
    EXPECT_EQ(str_hamming(Str("abc"), Str("ab")), -1);
    // One-byte booleans: only the low byte carries the answer.
    auto raw = reinterpret_cast<uint8_t (*)(const ZeqString *)>(
        reinterpret_cast<void *>(&str_is_palindrome));
    EXPECT_EQ(raw(Str("racecar")), 1);
    EXPECT_EQ(raw(Str("ab")), 0);
}

TEST(SearchKmpTable, HoldsTheLongestBorderOfEachPrefix) {
    EXPECT_EQ(kmp_table("world"), (std::vector<int64_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(kmp_table("abcabc"), (std::vector<int64_t>{0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(kmp_table("aabaaab"), (std::vector<int64_t>{0, 1, 0, 1, 2, 2, 3}));
    EXPECT_EQ(kmp_table("aaaa"), (std::vector<int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(kmp_table(""), (std::vector<int64_t>{}));
}

TEST(SearchScans, AgreeWithPlainLoopsOnRandomBytes) {
    std::mt19937 rng(77);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        size_t n = round % 50 == 0 ? 4000 + rng() % 9000 : rng() % 100;
        const int range = round % 2 ? 256 : 6;  // all bytes, or a few common ones
        while (text.size() < n)
            text += static_cast<char>(round % 2 ? rng() % 256 : "\0a ,\t\v"[rng() % range]);
        Str t(text);
        for (int b : {0, 97, 32, 44, 255, 97 + 256, -1}) {  // NUL, a, space, comma, ...
            int64_t count =
                b >= 0 && b < 256 ? std::count(text.begin(), text.end(), static_cast<char>(b)) : 0;
            size_t at = b >= 0 && b < 256 ? text.find(static_cast<char>(b)) : std::string::npos;
            size_t rat = b >= 0 && b < 256 ? text.rfind(static_cast<char>(b)) : std::string::npos;
            ASSERT_EQ(str_count_byte(t, b), count);
            ASSERT_EQ(str_token_count(t, b), text.empty() ? 0 : 1 + count);
            ASSERT_EQ(str_find_byte(t, b), at == std::string::npos ? -1 : static_cast<int64_t>(at));
            ASSERT_EQ(str_rfind_byte(t, b),
                      rat == std::string::npos ? -1 : static_cast<int64_t>(rat));
        }
        int64_t words = 0;
        for (size_t i = 0; i < n; ++i)
            words += !is_space(text[i]) && (i == 0 || is_space(text[i - 1]));
        ASSERT_EQ(str_word_count(t), words);
        ASSERT_EQ(str_is_palindrome(t), std::equal(text.begin(), text.end(), text.rbegin()));
        std::string mirror = text + std::string(text.rbegin(), text.rend());
        ASSERT_TRUE(str_is_palindrome(Str(mirror)));
        std::string other = text;
        int64_t changed = 0;
        for (size_t i = 0; i < n; i += 1 + rng() % 7, ++changed)
            other[i] = static_cast<char>(other[i] ^ 0x20);
        ASSERT_EQ(str_hamming(t, Str(other)), changed);
        std::string upper = text, lower = text;
        for (char &c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        for (char &c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        ASSERT_EQ(take(str_to_upper(t)), without_nul(upper));
        ASSERT_EQ(take(str_to_lower(t)), without_nul(lower));
        ASSERT_EQ(take(str_reverse(t)), without_nul(std::string(text.rbegin(), text.rend())));
        size_t from = 0, to = n;
        while (from < to && is_space(text[from])) ++from;
        while (to > from && is_space(text[to - 1])) --to;
        ASSERT_EQ(take(str_trim(t)), text.substr(from, to - from));
    }
}

TEST(SearchRewrites, ResultsAndSharedRecords) {
    Str t("a-b-c"), dash("-"), plus("+"), empty(""), ab("ab"), nul(std::string("x\0", 2));
    EXPECT_EQ(take(str_replace_all(Str("aaaa"), Str("aa"), Str("b"))), "bb");
    EXPECT_EQ(take(zeq_str_replace(t, dash, plus)), "a+b-c");
    EXPECT_EQ(take(zeq_str_replace(Str("abc"), empty, plus)), "+abc");
    Str nuls(std::string("a\0-\0", 4));
    // Slices keep their NUL bytes.
    EXPECT_EQ(take(zeq_str_replace(nuls, dash, plus)), std::string("a\0+\0", 4));
    EXPECT_EQ(str_replace_all(t, empty, plus), t.s);  // the text record itself
    EXPECT_EQ(zeq_str_replace(dash, t, plus), dash.s);
    ZeqString *unchanged = str_replace_all(t, Str("z"), plus);  // a new string all the same
    EXPECT_NE(unchanged, t.s);
    EXPECT_EQ(take(unchanged), "a-b-c");
    ZeqString *trimmed = str_trim(empty);
    EXPECT_NE(trimmed, empty.s);
    EXPECT_EQ(take(trimmed), "");
    EXPECT_EQ(take(str_trim(Str("\v x \f"))), "\v x \f");
    EXPECT_EQ(take(str_repeat(ab, 3)), "ababab");
    EXPECT_EQ(take(zeq_str_repeat(nul, 2)), std::string("x\0x\0", 4));  // whole copies keep NULs
    std::string long_text(9000, 'q');
    EXPECT_EQ(take(str_repeat(Str(long_text + "r"), 3)),
              long_text + "r" + long_text + "r" + long_text + "r");
    EXPECT_EQ(take(str_repeat(Str("xyz"), 5001)).size(), 15003u);
    // Counts below one give the shared constant empty record.
    ZeqString *none = str_repeat(ab, 0);
    EXPECT_EQ(str_repeat(ab, -5), none);
    EXPECT_EQ(none->len, 0);
    EXPECT_EQ(none->cap, 1);
    EXPECT_EQ(none->data[0], '\0');
}

TEST(SearchRewrites, SizesBeyondSixtyFourBitsAreOutOfMemory) {
    auto expect_oom = [](void (*body)(), const char *bytes) {
        auto r = zeqtest::run_child([body] {
            zeq_arena_mode(1);  // the arguments below stay reachable in the arena
            body();
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  std::string("[zeq] FATAL: out of memory (") + bytes + " bytes requested)\n");
    };
    // Records claiming huge lengths: their bytes must never be read.
    static ZeqString huge{const_cast<char *>("xy"), INT64_MAX, INT64_MAX};
    static ZeqString quarter{const_cast<char *>("xy"), INT64_C(1) << 62, INT64_C(1) << 62};
    expect_oom([] { str_repeat(zeq_string_from_cstr("abc"), INT64_MAX); }, "18446744073709551615");
    expect_oom([] { str_repeat(zeq_string_from_cstr("ab"), INT64_C(1) << 62); },
               "9223372036854775809");
    expect_oom(
        [] { zeq_str_replace(zeq_string_from_cstr("a-b"), zeq_string_from_cstr("-"), &huge); },
        "9223372036854775810");
    expect_oom(
        [] { str_replace_all(zeq_string_from_cstr("a-b-c"), zeq_string_from_cstr("-"), &quarter); },
        "9223372036854775812");
    // The bound overflows but nothing matches: the exact size is small.
    EXPECT_EQ(take(str_replace_all(Str(std::string(1000, 'a')), Str("b"), &huge)),
              std::string(1000, 'a'));
}

TEST(SearchNames, ShortNamesAreAliases) {
    void *lib = dlopen(ZEQ_TEST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr) << dlerror();
    const char *const pairs[][2] = {
        {"kmp_search_str", "zeq_kmp_search"},   {"str_find", "zeq_str_find"},
        {"str_rfind", "zeq_str_rfind"},         {"str_count", "zeq_str_count"},
        {"str_find_byte", "zeq_str_find_byte"}, {"str_count_byte", "zeq_str_count_byte"},
        {"str_token_count", "zeq_token_count"}, {"str_is_palindrome", "zeq_is_palindrome"},
        {"str_hamming", "zeq_str_hamming"},     {"str_word_count", "zeq_word_count"},
        {"str_reverse", "zeq_str_reverse"},     {"str_replace_all", "zeq_str_replace_all"},
        {"str_to_upper", "zeq_str_to_upper"},   {"str_to_lower", "zeq_str_to_lower"},
        {"str_trim", "zeq_str_trim"},           {"str_repeat", "zeq_str_repeat"},
    };
    for (const auto &pair : pairs) {
        void *target = dlsym(lib, pair[1]);
        ASSERT_NE(target, nullptr) << pair[1];
        EXPECT_EQ(dlsym(lib, pair[0]), target) << pair[0];
    }
    for (const char *one_name :
         {"build_kmp_table_str", "str_match_at", "str_rfind_byte", "zeq_str_replace"})
        EXPECT_NE(dlsym(lib, one_name), nullptr) << one_name;
    // Single-name services and the internal constant table are not exported.
    for (const char *absent :
         {"zeq_str_match_at", "str_contains", "str_replace", "zeq_str_0", "zeq_str_1"})
        EXPECT_EQ(dlsym(lib, absent), nullptr) << absent;
    dlclose(lib);
}

}  // namespace
