// Text transformations: the null-tolerant family checked against plain
// std::string references, with the returned-argument and measured-length
// rules and the fatal size limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "child.h"
#include "owned_string.h"
#include "zeq.h"

namespace {

using zeqtest::Str;
using zeqtest::take;

// References: the position-by-position scans.
int64_t pos(size_t r) { return r == std::string::npos ? -1 : static_cast<int64_t>(r); }
int64_t ref_index(const std::string &t, const std::string &p) { return pos(t.find(p)); }
int64_t ref_rindex(const std::string &t, const std::string &p) { return pos(t.rfind(p)); }
int64_t ref_count(const std::string &t, const std::string &p) {
    if (p.empty()) return 0;
    int64_t c = 0;
    for (size_t at = t.find(p); at != std::string::npos; at = t.find(p, at + p.size())) ++c;
    return c;
}
std::string ref_replace(const std::string &t, const std::string &p, const std::string &r) {
    std::string out;
    size_t run = 0;
    for (size_t at = t.find(p); at != std::string::npos; at = t.find(p, run)) {
        out += t.substr(run, at - run) + r;
        run = at + p.size();
    }
    out += t.substr(run);
    return out.substr(0, out.find('\0'));  // measured length
}
std::vector<std::string> ref_split(const std::string &t, const std::string &sep) {
    std::vector<std::string> out;
    size_t cur = 0;
    for (size_t at = t.find(sep); at != std::string::npos; at = t.find(sep, cur)) {
        out.push_back(t.substr(cur, at - cur));
        cur = at + sep.size();
    }
    out.push_back(t.substr(cur));
    return out;
}

std::vector<std::string> take_vec(ZeqVec *v) {
    std::vector<std::string> out;
    for (int64_t i = 0; i < zeq_vec_len(v); ++i) {
        auto *s = reinterpret_cast<ZeqString *>(zeq_vec_get(v, i));
        out.emplace_back(s->data, static_cast<size_t>(s->len));
        EXPECT_EQ(s->cap, s->len);
        zeq_string_free(s);
    }
    zeq_vec_free(v);
    return out;
}

std::string random_text(std::mt19937_64 &rng, size_t max_len, int alphabet) {
    std::string s(rng() % (max_len + 1), 'a');
    for (auto &c : s) c = static_cast<char>('a' + rng() % static_cast<uint64_t>(alphabet));
    return s;
}

TEST(TextSearch, MatchesNaiveReferenceOnSmallAlphabets) {
    std::mt19937_64 rng(11);
    for (int round = 0; round < 20000; ++round) {
        int alphabet = 1 + static_cast<int>(rng() % 3);
        std::string t = random_text(rng, round % 10 == 0 ? 300 : 40, alphabet);
        std::string p = random_text(rng, round % 7 == 0 ? 40 : 5, alphabet);
        std::string r = random_text(rng, 4, 3);
        Str ts(t), ps(p), rs(r);
        ASSERT_EQ(zeq_string_index_of(ts, ps), ref_index(t, p)) << t << " / " << p;
        ASSERT_EQ(zeq_string_last_index_of(ts, ps), ref_rindex(t, p)) << t << " / " << p;
        ASSERT_EQ(zeq_string_count(ts, ps), ref_count(t, p)) << t << " / " << p;
        ASSERT_EQ(zeq_string_contains(ts, ps), ref_index(t, p) >= 0 ? 1 : 0);
        ASSERT_EQ(zeq_string_starts_with(ts, ps), t.compare(0, p.size(), p) == 0 && p.size() <= t.size());
        ASSERT_EQ(zeq_string_ends_with(ts, ps),
                  p.size() <= t.size() && t.compare(t.size() - p.size(), p.size(), p) == 0);
        ZeqString *rep = zeq_string_replace(ts, ps, rs);
        if (p.empty() || ref_index(t, p) < 0) {
            ASSERT_EQ(rep, ts.s);
        } else {
            ASSERT_EQ(take(rep), ref_replace(t, p, r)) << t << " / " << p << " / " << r;
        }
        if (!p.empty()) {
            ASSERT_EQ(take_vec(zeq_string_split(ts, ps)), ref_split(t, p)) << t << " / " << p;
        }
    }
}

TEST(TextSearch, NullArgumentsAndEmptyNeedles) {
    Str abc("abc"), e(""), a("a");
    ZeqString nodata{nullptr, 5, 5};  // reads as empty text
    struct Case { int64_t got, want; } cases[] = {
        {zeq_string_starts_with(abc, e), 1}, {zeq_string_ends_with(abc, e), 1},
        {zeq_string_starts_with(nullptr, a), 0}, {zeq_string_ends_with(abc, nullptr), 0},
        {zeq_string_index_of(abc, e), 0}, {zeq_string_last_index_of(abc, e), 3},
        {zeq_string_index_of(nullptr, a), -1}, {zeq_string_last_index_of(abc, nullptr), -1},
        {zeq_string_contains(abc, e), 1}, {zeq_string_contains(nullptr, e), 0},
        {zeq_string_count(abc, e), 0}, {zeq_string_count(nullptr, a), 0},
        {zeq_string_is_empty(nullptr), 1}, {zeq_string_is_empty(e), 1}, {zeq_string_is_empty(a), 0},
        {zeq_string_index_of(&nodata, a), -1}, {zeq_string_is_empty(&nodata), 1},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(TextTrim, WhitespaceIsFourBytesAndArgumentsReturnAsGiven) {
    Str mixed(" \t hi \r\n"), empty(""), hi("hi"), hi_sp("hi "), spaces("  "), vt("\vx\f");
    EXPECT_EQ(take(zeq_string_trim(mixed)), "hi");
    EXPECT_EQ(zeq_string_trim(empty), empty.s);
    ZeqString *copy = zeq_string_trim(hi);
    EXPECT_NE(copy, hi.s);
    EXPECT_EQ(take(copy), "hi");
    EXPECT_EQ(zeq_string_trim_left(hi_sp), hi_sp.s);
    EXPECT_EQ(take(zeq_string_trim_right(hi_sp)), "hi");
    EXPECT_EQ(take(zeq_string_trim_right(spaces)), "");
    EXPECT_EQ(take(zeq_string_trim_left(spaces)), "");
    EXPECT_EQ(take(zeq_string_trim_left(mixed)), "hi \r\n");
    EXPECT_EQ(take(zeq_string_trim(vt)), "\vx\f");
    EXPECT_EQ(zeq_string_trim(nullptr), nullptr);
    EXPECT_EQ(zeq_string_trim_left(nullptr), nullptr);
    EXPECT_EQ(zeq_string_trim_right(nullptr), nullptr);
    // Explicit lengths keep inner NULs.
    EXPECT_EQ(take(zeq_string_trim(Str(std::string(" a\0b ", 5)))), std::string("a\0b", 3));
}

TEST(TextSubstr, ClampsAndRejects) {
    Str hello("hello");
    struct Case { int64_t start, count; const char *want; } cases[] = {
        {1, 3, "ell"}, {3, 100, "lo"}, {5, 1, ""}, {6, 1, ""}, {-1, 2, ""}, {1, -1, ""},
        {0, INT64_MAX, "hello"}, {2, 0, ""},
    };
    for (const auto &c : cases) EXPECT_EQ(take(zeq_string_substr(hello, c.start, c.count)), c.want);
    EXPECT_EQ(take(zeq_string_substr(nullptr, 0, 1)), "");
}

TEST(TextRewrite, ReplaceCaseRepeatReverse) {
    Str aaaa("aaaa"), aa("aa"), b("b"), abc_dash("a-b-c"), dash("-"), empty("");
    EXPECT_EQ(take(zeq_string_replace(aaaa, aa, b)), "bb");
    EXPECT_EQ(take(zeq_string_replace(abc_dash, dash, empty)), "abc");
    EXPECT_EQ(zeq_string_replace(aaaa, empty, b), aaaa.s);
    EXPECT_EQ(zeq_string_replace(aaaa, dash, b), aaaa.s);
    EXPECT_EQ(zeq_string_replace(aaaa, aa, nullptr), aaaa.s);
    EXPECT_EQ(zeq_string_replace(nullptr, aa, b), nullptr);

    EXPECT_EQ(take(zeq_string_to_upper(Str("abc-XYZ\xe4\xc4"))), "ABC-XYZ\xe4\xc4");
    EXPECT_EQ(take(zeq_string_to_lower(Str("abc-XYZ\xe4\xc4 {@[`"))), "abc-xyz\xe4\xc4 {@[`");
    EXPECT_EQ(zeq_string_to_upper(empty), empty.s);
    EXPECT_EQ(zeq_string_to_lower(nullptr), nullptr);

    EXPECT_EQ(take(zeq_string_repeat(Str("ab"), 3)), "ababab");
    EXPECT_EQ(take(zeq_string_repeat(Str("xyz"), 1000)).size(), 3000u);
    ZeqString *e1 = zeq_string_repeat(Str("ab"), 0), *e2 = zeq_string_repeat(nullptr, 3);
    EXPECT_NE(e1, e2);  // new strings, not a shared constant
    EXPECT_EQ(take(e1), "");
    EXPECT_EQ(take(e2), "");

    // Measured lengths stop at the first NUL produced.
    EXPECT_EQ(take(zeq_string_reverse(Str(std::string("a\0b", 3)))), "b");
    EXPECT_EQ(take(zeq_string_reverse(Str("abcdef"))), "fedcba");
    EXPECT_EQ(zeq_string_reverse(empty), empty.s);
    EXPECT_EQ(take(zeq_string_repeat(Str(std::string("a\0", 2)), 3)), "a");
    EXPECT_EQ(take(zeq_string_replace(Str("x-y"), dash, Str(std::string("\0", 1)))), "x");
}

TEST(TextPad, FillByteAndFillString) {
    Str seven("7"), ab("ab"), abc("abc");
    EXPECT_EQ(take(zeq_string_pad_left(seven, 3, 48)), "007");
    EXPECT_EQ(take(zeq_string_pad_right(ab, 4, 46)), "ab..");
    EXPECT_EQ(take(zeq_string_pad_left(seven, 3, 0x130)), "007");  // low 8 bits
    EXPECT_EQ(zeq_string_pad_left(abc, 2, 48), abc.s);
    EXPECT_EQ(zeq_string_pad_right(abc, -5, 48), abc.s);
    EXPECT_EQ(zeq_string_pad_left(nullptr, 3, 48), nullptr);
    EXPECT_EQ(take(zeq_str_pad_left(seven, 3, nullptr)), "  7");
    EXPECT_EQ(take(zeq_str_pad_right(seven, 3, Str(""))), "7  ");
    EXPECT_EQ(take(zeq_str_pad_left(seven, 4, Str("*-"))), "***7");
    EXPECT_EQ(take(zeq_string_pad_left(seven, 3, 0)), "");
    EXPECT_EQ(take(zeq_string_pad_right(seven, 3, 0)), "7");
}

TEST(TextSplitJoin, SegmentsAndSeparators) {
    Str comma(","), empty(""), abc("abc");
    EXPECT_EQ(take_vec(zeq_string_split(Str("a,b,,c"), comma)), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(take_vec(zeq_string_split(Str("a,b,"), comma)), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(take_vec(zeq_string_split(Str(",a"), comma)), (std::vector<std::string>{"", "a"}));
    EXPECT_EQ(take_vec(zeq_string_split(empty, comma)), (std::vector<std::string>{""}));
    EXPECT_EQ(take_vec(zeq_string_split(Str("a::b"), Str("::"))), (std::vector<std::string>{"a", "b"}));
    ZeqVec *self = zeq_string_split(abc, empty);
    ASSERT_EQ(zeq_vec_len(self), 1);
    EXPECT_EQ(reinterpret_cast<ZeqString *>(zeq_vec_get(self, 0)), abc.s);
    zeq_vec_free(self);
    ZeqVec *none = zeq_string_split(nullptr, comma);
    EXPECT_EQ(zeq_vec_len(none), 0);
    EXPECT_EQ(zeq_vec_cap(none), 8);
    zeq_vec_free(none);

    ZeqVec *v = zeq_vec_new();
    ZeqString *j = zeq_string_join(v, comma);
    EXPECT_EQ(j->cap, 0);
    EXPECT_EQ(take(j), "");
    Str a("a"), b("b"), c("c");
    for (ZeqString *s : {a.s, b.s, c.s}) zeq_vec_push(v, reinterpret_cast<int64_t>(s));
    EXPECT_EQ(take(zeq_string_join(v, Str(", "))), "a, b, c");
    EXPECT_EQ(take(zeq_string_join(v, nullptr)), "abc");
    zeq_vec_set(v, 1, 0);
    EXPECT_EQ(take(zeq_string_join(v, comma)), "a,,c");
    zeq_vec_free(v);
    EXPECT_EQ(take(zeq_string_join(nullptr, comma)), "");
}

TEST(TextLimits, UnrepresentableSizesEndTheProcess) {
    auto expect_oom = [](const std::function<void()> &body) {
        auto r = zeqtest::run_child(body);
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("out of memory"), std::string::npos) << r.err;
    };
    expect_oom([] { zeq_string_repeat(Str("abc"), INT64_MAX / 2); });
    expect_oom([] { zeq_string_pad_left(Str("a"), INT64_MAX, 48); });
}

}  // namespace
