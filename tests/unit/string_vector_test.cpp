// String vectors: the handle pool, the vector operations checked against a
// std::vector model, and concurrent use of distinct vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "owned_string.h"
#include "zeq.h"

namespace {

using zeqtest::Str;

std::string text(const ZeqString *s) { return s ? std::string(s->data, static_cast<size_t>(s->len)) : "<null>"; }

std::vector<std::string> items(int64_t h) {
    std::vector<std::string> r;
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) r.push_back(text(zeq_svec_get(h, i)));
    return r;
}

[[maybe_unused]] std::string take(ZeqString *r) {
    EXPECT_EQ(r->cap, r->len);
    EXPECT_EQ(r->data[r->len], '\0');
    std::string t(r->data, static_cast<size_t>(r->len));
    zeq_string_free(r);
    return t;
}

TEST(StrVecPool, HandlesIncreaseAndAreNeverReissued) {
    Str a("a");
    int64_t h0 = zeq_svec_new();
    EXPECT_GE(h0, 0);
    EXPECT_EQ(zeq_svec_new(), h0 + 1);
    zeq_svec_push(h0, a);
    zeq_svec_free(h0);
    EXPECT_EQ(zeq_svec_new(), h0 + 2);
    EXPECT_EQ(zeq_svec_len(h0), 0);
    EXPECT_EQ(zeq_svec_push(h0, a), 0);
    EXPECT_EQ(zeq_svec_get(h0, 0), a.s);
    // Across several blocks of slots: earlier slots stay where they were.
    for (int64_t i = 3; i < 300; ++i) ASSERT_EQ(zeq_svec_new(), h0 + i);
    EXPECT_EQ(zeq_svec_get(h0, 0), a.s);
    EXPECT_EQ(zeq_svec_len(h0), 1);
}

TEST(StrVecPool, InvalidHandlesGetNeutralResults) {
    Str a("a");
    int64_t never = zeq_svec_new() + 1000000;
    for (int64_t h : {int64_t{-1}, int64_t{-77}, INT64_MIN, never, INT64_MAX}) {
        EXPECT_EQ(zeq_svec_len(h), 0);
        EXPECT_EQ(zeq_svec_push(h, a), -1);
        EXPECT_EQ(zeq_svec_get(h, 0), nullptr);
        EXPECT_EQ(zeq_svec_remove(h, 0), 0);
        EXPECT_EQ(zeq_svec_clear(h), 0);
        EXPECT_EQ(zeq_svec_free(h), 0);
        EXPECT_EQ(zeq_svec_index_of(h, a), -1);
        EXPECT_EQ(zeq_svec_contains(h, a), 0);
        EXPECT_EQ(zeq_svec_sort(h), 0);
        ZeqString *j = zeq_svec_join(h, a);
        EXPECT_EQ(j->len, 0);
        EXPECT_EQ(j->cap, 0);
        zeq_string_free(j);
    }
}

TEST(StrVecEdit, MatchesAModelUnderRandomOperations) {
    std::mt19937_64 rng(7);
    Str e(""), a("a"), b("b"), ab("ab"), ba("ba"), nul(std::string("a\0b", 3));
    ZeqString *pool[] = {e, a, b, ab, ba, nul};
    int64_t h = zeq_svec_new();
    std::vector<ZeqString *> model;
    for (int step = 0; step < 3000; ++step) {
        ZeqString *s = rng() % 7 == 0 ? nullptr : pool[rng() % 6];
        int64_t idx = static_cast<int64_t>(rng() % 12) - 2;
        switch (rng() % 8) {
            case 0: case 1: case 2:
                ASSERT_EQ(zeq_svec_push(h, s), 0);
                model.push_back(s);
                break;
            case 3: {
                bool in = idx >= 0 && idx < static_cast<int64_t>(model.size());
                ASSERT_EQ(zeq_svec_remove(h, idx), in ? 1 : 0);
                if (in) model.erase(model.begin() + idx);
                break;
            }
            case 4: {
                int64_t want = -1;
                for (size_t i = 0; s && i < model.size(); ++i)
                    if (model[i] && text(model[i]) == text(s)) { want = static_cast<int64_t>(i); break; }
                ASSERT_EQ(zeq_svec_index_of(h, s), want);
                ASSERT_EQ(zeq_svec_contains(h, s), want >= 0 ? 1 : 0);
                break;
            }
            case 5:
                if (rng() % 20 == 0) zeq_svec_clear(h), model.clear();
                break;
            default:
                ASSERT_EQ(zeq_svec_get(h, idx),
                          idx >= 0 && idx < static_cast<int64_t>(model.size()) ? model[idx] : nullptr);
        }
        ASSERT_EQ(zeq_svec_len(h), static_cast<int64_t>(model.size()));
    }
    zeq_svec_free(h);
    EXPECT_EQ(zeq_svec_len(h), 0);
}

TEST(StrVecSort, NullFirstThenBytesThenShorter) {
    Str b("b"), a("a"), ab("ab"), hi("\xff"), nul(std::string("a\0", 2));
    int64_t h = zeq_svec_new();
    for (ZeqString *s : {b.s, a.s, static_cast<ZeqString *>(nullptr), hi.s, ab.s, nul.s})
        zeq_svec_push(h, s);
    zeq_svec_sort(h);
    EXPECT_EQ(items(h), (std::vector<std::string>{"<null>", "a", std::string("a\0", 2), "ab", "b", "\xff"}));
    zeq_svec_free(h);
}

TEST(StrVecJoin, SeparatorsAndNullItems) {
    Str a("a"), c("c"), comma(","), sep2("--"), empty("");
    int64_t h = zeq_svec_new();
    EXPECT_EQ(take(zeq_svec_join(h, comma)), "");
    zeq_svec_push(h, a);
    EXPECT_EQ(take(zeq_svec_join(h, comma)), "a");
    zeq_svec_push(h, nullptr);
    zeq_svec_push(h, c);
    EXPECT_EQ(take(zeq_svec_join(h, comma)), "a,,c");
    EXPECT_EQ(take(zeq_svec_join(h, sep2)), "a----c");
    EXPECT_EQ(take(zeq_svec_join(h, nullptr)), "ac");
    EXPECT_EQ(take(zeq_svec_join(h, empty)), "ac");
    zeq_svec_free(h);
}

TEST(StrVecThreads, DistinctVectorsOnManyThreads) {
    constexpr int kThreads = 4, kVectors = 300;
    Str word("w");
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            std::vector<int64_t> mine;
            for (int i = 0; i < kVectors; ++i) {
                int64_t h = zeq_svec_new();
                for (int k = 0; k <= i % 20; ++k) zeq_svec_push(h, word);
                mine.push_back(h);
            }
            for (int i = 0; i < kVectors; ++i)
                if (zeq_svec_len(mine[i]) != i % 20 + 1 || zeq_svec_get(mine[i], 0) != word.s) ++bad;
            for (int64_t h : mine) zeq_svec_free(h);
            for (size_t i = 1; i < mine.size(); ++i)
                if (mine[i] <= mine[i - 1]) ++bad;
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
}

std::vector<std::string> split(const std::string &t, const char *sep) {
    int64_t h = sep ? zeq_str_split(Str(t), Str(sep)) : zeq_str_split(Str(t), nullptr);
    auto r = items(h);
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) {
        EXPECT_EQ(zeq_svec_get(h, i)->cap, zeq_svec_get(h, i)->len);
        zeq_string_free(zeq_svec_get(h, i));
    }
    zeq_svec_free(h);
    return r;
}
std::vector<std::string> collect(int64_t h) {
    auto r = items(h);
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) zeq_string_free(zeq_svec_get(h, i));
    zeq_svec_free(h);
    return r;
}
using V = std::vector<std::string>;

TEST(StrVecSplit, SeparatorRules) {
    EXPECT_EQ(split("a,b,,c", ","), (V{"a", "b", "", "c"}));
    EXPECT_EQ(split("a,b,", ","), (V{"a", "b"}));
    EXPECT_EQ(split(",a", ","), (V{"", "a"}));
    EXPECT_EQ(split(",", ","), (V{""}));
    EXPECT_EQ(split("", ","), (V{}));
    EXPECT_EQ(split("abc", ""), (V{"a", "b", "c"}));
    EXPECT_EQ(split(std::string("a\0b", 3), nullptr), (V{"a", std::string(1, '\0'), "b"}));
    EXPECT_EQ(split("ab", "abc"), (V{"ab"}));
    EXPECT_EQ(split("x::y::", "::"), (V{"x", "y"}));
    EXPECT_EQ(collect(zeq_str_split(nullptr, Str(","))), (V{}));
}

TEST(StrVecSplit, WhitespaceWordsMatchAReference) {
    EXPECT_EQ(collect(zeq_str_split_whitespace(Str(" \t one  two\r\n"))), (V{"one", "two"}));
    EXPECT_EQ(collect(zeq_str_split_whitespace(Str("a\vb\fc"))), (V{"a\vb\fc"}));
    EXPECT_EQ(collect(zeq_str_split_whitespace(Str("   "))), (V{}));
    EXPECT_EQ(collect(zeq_str_split_whitespace(nullptr)), (V{}));
    std::mt19937_64 rng(5);
    for (int round = 0; round < 3000; ++round) {
        std::string t(rng() % 300, 'a');
        for (auto &c : t) c = " \t\r\nab\v\0"[rng() % (round % 2 ? 8 : 5)];
        V want;
        std::string word;
        for (char c : t) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                if (!word.empty()) want.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        if (!word.empty()) want.push_back(word);
        // The split takes its list at the exact size: pushes past it grow it.
        int64_t h = zeq_str_split_whitespace(Str(t));
        for (int k = 0; k < 3; ++k) zeq_svec_push(h, zeq_string_from_cstr("end")), want.push_back("end");
        ASSERT_EQ(collect(h), want);
    }
}

TEST(StrVecSplit, LinesDropOneCarriageReturn) {
    struct Case { std::string text; V want; } cases[] = {
        {"a\nb", {"a", "b"}}, {"a\n", {"a"}}, {"\r\nx\r\n", {"", "x"}}, {"\n", {""}},
        {"\n\n", {"", ""}}, {"a\r", {"a"}}, {"a\r\r\nb\rc", {"a\r", "b\rc"}}, {"", {}},
    };
    for (const auto &c : cases) EXPECT_EQ(collect(zeq_str_lines(Str(c.text))), c.want) << c.text;
    EXPECT_EQ(collect(zeq_str_lines(nullptr)), (V{}));
}

}  // namespace
