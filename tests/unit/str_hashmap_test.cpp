// The string-keyed hash map against a slot-by-slot reference of the
// documented table (folded FNV-1a, linear probing, deleted markers, doubling
// past 70 %): results, stored key pointers and slot order; the growth
// threshold; key lists as string vectors; reg_cached_lookup on list strings,
// with content-checked cache slots whose strings outlive the arena.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "child.h"
#include "owned_string.h"
#include "reference.h"
#include "zeq.h"

namespace {

using zeqtest::Str;

struct MapView {  // the record's leading fields, as documented
    void *slots;
    int64_t len, cap;
};
int64_t cap_of(const ZeqStrHashMap *m) { return reinterpret_cast<const MapView *>(m)->cap; }


std::vector<int64_t> take(ZeqVec *v) {
    std::vector<int64_t> r(v->data, v->data + v->len);
    zeq_vec_free(v);
    return r;
}

// The items of a string vector as words; its item array is released.
std::vector<int64_t> svec_take(int64_t h) {
    std::vector<int64_t> r;
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) r.push_back(reinterpret_cast<int64_t>(zeq_svec_get(h, i)));
    zeq_svec_free(h);
    return r;
}

std::string text(const ZeqString *s) { return s ? std::string(s->data, size_t(s->len)) : "<null>"; }

// The text of a lookup that must find nothing; the new string is released.
std::string absent(ZeqString *r) {
    std::string t = text(r);
    zeq_string_free(r);
    return t.empty() ? "" : "found " + t;
}

struct Keys {  // test-owned key strings (arena off)
    std::vector<std::unique_ptr<Str>> owned;
    ZeqString *operator()(const std::string &t) {
        owned.push_back(std::make_unique<Str>(t));
        return *owned.back();
    }
};

}  // namespace

TEST(StrHashMapBasics, KeyIdentityNullKeysAndCounting) {
    Keys k;
    ZeqString *a1 = k("apple"), *a2 = k("apple");
    ZeqStrHashMap *m = zeq_str_hashmap_new();
    EXPECT_EQ(str_hashmap_insert(m, a1, 1), 0);
    EXPECT_EQ(str_hashmap_insert(m, a2, 2), 1) << "same bytes: the first value comes back";
    EXPECT_EQ(take(str_hashmap_keys(m)), std::vector<int64_t>{reinterpret_cast<int64_t>(a1)}) << "first pointer kept";
    EXPECT_EQ(str_hashmap_insert(m, nullptr, 7), 0);
    EXPECT_EQ(str_hashmap_insert(m, k(""), 8), 0);
    EXPECT_EQ(str_hashmap_len(m), 3) << "null and the empty string are two keys";
    EXPECT_EQ(str_hashmap_get(m, nullptr), 7);
    EXPECT_EQ(zeq_str_hashmap_update(m, a2, 50), 0) << "update returns 0 after replacing";
    EXPECT_EQ(zeq_str_hashmap_get(m, a1), 50);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(zeq_str_hashmap_inc(m, k("w"), 1), 0);
    EXPECT_EQ(str_hashmap_get(m, k("w")), 3);
    zeq_str_hashmap_inc(m, a1, INT64_MAX);
    EXPECT_EQ(str_hashmap_get(m, a1), INT64_MIN + 49) << "wraps";
    EXPECT_EQ(zeq_str_hashmap_free(m), 0);

    EXPECT_EQ(str_hashmap_insert(nullptr, a1, 1) + str_hashmap_get(nullptr, a1) + str_hashmap_remove(nullptr, a1) +
                  str_hashmap_contains(nullptr, a1) + str_hashmap_len(nullptr) + zeq_str_hashmap_inc(nullptr, a1, 1),
              0);
    EXPECT_TRUE(take(str_hashmap_values(nullptr)).empty());
    int64_t h = zeq_str_hashmap_keys(nullptr);
    EXPECT_GE(h, 0);
    EXPECT_TRUE(svec_take(h).empty());
    EXPECT_EQ(zeq_str_hashmap_free(nullptr), 0);
}

TEST(StrHashMapGrowth, DoublesOnlyOnceMoreThanSeventyPercentIsUsed) {
    Keys k;
    ZeqStrHashMap *m = str_hashmap_new();
    for (int i = 0; i < 2868; ++i) str_hashmap_insert(m, k("k" + std::to_string(i)), i);
    EXPECT_EQ(cap_of(m), 4096) << "the insert that found 2,867 entries did not grow";
    EXPECT_EQ(str_hashmap_insert(m, k("k0"), 5), 0) << "a replacing insert tests too";
    EXPECT_EQ(cap_of(m), 8192);
    for (int i = 1; i < 2868; ++i) ASSERT_EQ(str_hashmap_get(m, k("k" + std::to_string(i))), i);
    str_hashmap_free(m);
}

TEST(StrHashMapModel, RandomOperationsMatchTheReference) {
    std::mt19937_64 rng(99);
    Keys k;
    // Texts under two records each, null and the empty string; enough texts
    // for the table to double.
    std::vector<ZeqString *> pool{nullptr, k(""), k("")};
    for (int i = 0; i < 7000; ++i) {
        std::string t = std::to_string(rng() % 100000) + std::string(rng() % 12, 'x');
        pool.push_back(k(t));
        pool.push_back(k(t));
    }
    ZeqStrHashMap *m = str_hashmap_new();
    zeqtest::OpenTable ref = zeqtest::string_keyed_table();
    using zeqtest::key_word;
    for (int step = 0; step < 40000; ++step) {
        ZeqString *key = pool[rng() % pool.size()];
        int64_t v = int64_t(rng() % 1000);
        switch (rng() % 6) {
        case 0: ASSERT_EQ(str_hashmap_insert(m, key, v), ref.put(key_word(key), v)); break;
        case 1: zeq_str_hashmap_inc(m, key, v), ref.put(key_word(key), v, true); break;
        case 2: ASSERT_EQ(str_hashmap_remove(m, key), ref.remove(key_word(key), 0)); break;
        default:
            ASSERT_EQ(str_hashmap_get(m, key), ref.get(key_word(key), 0)) << text(key);
            ASSERT_EQ(str_hashmap_contains(m, key), ref.find(key_word(key)) ? 1 : 0);
        }
        ASSERT_EQ(str_hashmap_len(m), ref.len);
        ASSERT_EQ(cap_of(m), int64_t(ref.size));
    }
    EXPECT_GE(ref.size, 8192u);
    EXPECT_EQ(take(str_hashmap_keys(m)), ref.list(&zeqtest::OpenTable::Slot::key)) << "same key pointers, ascending slot order";
    EXPECT_EQ(take(str_hashmap_values(m)), ref.list(&zeqtest::OpenTable::Slot::value));
    EXPECT_EQ(svec_take(zeq_str_hashmap_keys(m)), ref.list(&zeqtest::OpenTable::Slot::key));
    str_hashmap_free(m);
}

TEST(StrHashMapKeys, SortedKeysPutNullFirstThenBytesThenShorter) {
    Keys k;
    ZeqStrHashMap *m = zeq_str_hashmap_new();
    for (const char *t : {"b", "ab", "a", "", "\xff", "a\x01"}) zeq_str_hashmap_inc(m, k(t), 1);
    zeq_str_hashmap_inc(m, nullptr, 1);
    std::vector<std::string> got;
    for (int64_t s : svec_take(zeq_str_hashmap_sorted_keys(m))) got.push_back(text(reinterpret_cast<ZeqString *>(s)));
    EXPECT_EQ(got, (std::vector<std::string>{"<null>", "", "a", "a\x01", "ab", "b", "\xff"}));
    zeq_str_hashmap_free(m);
}

TEST(RegCachedLookup, ParsesListStrings) {
    struct Case {
        std::string source, key;
        bool present;  // false: a new empty string every time
        std::string value;
    };
    const std::string nul("a\0b=x\0y;c=3", 11);
    const Case cases[] = {
        {"a=1;b=2", "b", true, "2"},     {"a=1;b=2", "c", false, ""},   {"a=1;;b=2", ";b", true, "2"},
        {"a=1;;b=2", "b", false, ""},    {"a=1=2", "a", true, "1=2"},   {"abc", "abc", false, ""},
        {"=v", "", true, "v"},           {"a=1;a=2", "a", true, "2"},   {"a=1;", "", false, ""},
        {"x=;", "x", true, ""},          {"a=", "a", true, ""},         {"a=1;bad;c=3", "bad;c", true, "3"},
        {nul, std::string("a\0b", 3), true, std::string("x\0y", 3)}, {nul, "c", true, "3"},
    };
    for (const Case &c : cases) {
        Str source(c.source), key(c.key);
        ZeqString *r = reg_cached_lookup(source, key, 2), *again = reg_cached_lookup(source, key, 2);
        EXPECT_EQ(text(r), c.value) << c.source << " / " << c.key;
        EXPECT_EQ(r->data[r->len], '\0');
        EXPECT_EQ(again == r, c.present) << "the cached record itself, or a new empty string";
        if (!c.present) zeq_string_free(r), zeq_string_free(again);
    }
}

TEST(RegCachedLookup, SlotsAreCheckedByContentAndBadArgumentsLeaveThem) {
    Str first("a=1"), second("b=2"), copy("a=1"), a("a"), b("b"), empty("");
    ZeqString *one = reg_cached_lookup(first, a, 1);
    EXPECT_EQ(text(one), "1");
    EXPECT_EQ(reg_cached_lookup(copy, a, 1), one) << "equal bytes hit the cache";
    EXPECT_EQ(absent(reg_cached_lookup(second, a, 1)), "") << "same length, other text: parsed anew";
    EXPECT_EQ(text(reg_cached_lookup(second, b, 1)), "2");
    ZeqString *kept = reg_cached_lookup(first, a, 0);
    for (int64_t slot : {int64_t{3}, int64_t{-1}, INT64_MIN}) EXPECT_EQ(absent(reg_cached_lookup(first, a, slot)), "");
    ZeqString nodata{nullptr, 3, 3};
    for (ZeqString *s : {static_cast<ZeqString *>(nullptr), &nodata, static_cast<ZeqString *>(empty)})
        EXPECT_EQ(absent(reg_cached_lookup(s, a, 0)), "");
    EXPECT_EQ(absent(reg_cached_lookup(first, nullptr, 0)), "");
    EXPECT_EQ(reg_cached_lookup(first, a, 0), kept) << "slot 0 still holds its map";
}

TEST(RegCachedLookup, CachedStringsOutliveTheArena) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(1);
        ZeqString *v = reg_cached_lookup(zeq_string_from_cstr("name=zeq;kind=rt"), zeq_string_from_cstr("kind"), 1);
        zeq_arena_reset();
        for (int i = 0; i < 1000; ++i) zeq_string_from_cstr("overwrite the first arena block");
        EXPECT_EQ(text(v), "rt");
        EXPECT_EQ(reg_cached_lookup(zeq_string_from_cstr("name=zeq;kind=rt"), zeq_string_from_cstr("kind"), 1), v);
        zeq_arena_destroy();
        EXPECT_EQ(text(v), "rt");
    });
}
