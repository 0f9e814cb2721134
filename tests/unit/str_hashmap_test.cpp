// The string-keyed hash map: results, key pointers and slot order against a
// slot-by-slot reference table that follows the documented layout (folded
// FNV-1a, linear probing, deleted markers, doubling past 70 %); the growth
// threshold; key lists as string vectors; reg_cached_lookup on list strings,
// its content-checked cache slots and cached strings that outlive an arena
// reset.
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
#include "zeq.h"

namespace {

using zeqtest::Str;

// The map record's leading fields, as documented.
struct MapView {
    void *slots;
    int64_t len;
    int64_t cap;
};
int64_t cap_of(const ZeqStrHashMap *m) { return reinterpret_cast<const MapView *>(m)->cap; }

uint64_t hash_of(const ZeqString *k) {
    if (!k) return 0;
    uint64_t h = 0xcbf29ce484222325ull;
    for (int64_t i = 0; i < k->len; ++i) h = (h ^ static_cast<unsigned char>(k->data[i])) * 0x100000001b3ull;
    return h ^ (h >> 32);
}

bool equal_keys(const ZeqString *a, const ZeqString *b) {
    if (a == b) return true;
    if (!a || !b || a->len != b->len) return false;
    return a->len <= 0 || std::memcmp(a->data, b->data, static_cast<size_t>(a->len)) == 0;
}

// The documented table, one slot at a time.
struct Reference {
    struct Slot {
        ZeqString *key = nullptr;
        int64_t value = 0;
        int state = 0;
    };
    std::vector<Slot> slots = std::vector<Slot>(4096);
    int64_t len = 0;

    int64_t cap() const { return static_cast<int64_t>(slots.size()); }
    uint64_t at(const ZeqString *k, int64_t step) const {
        return (hash_of(k) + static_cast<uint64_t>(step)) & static_cast<uint64_t>(cap() - 1);
    }
    int64_t search(const ZeqString *k) const {
        for (int64_t s = 0; s < cap(); ++s) {
            const Slot &slot = slots[at(k, s)];
            if (slot.state == 0) return -1;
            if (slot.state == 1 && equal_keys(slot.key, k)) return static_cast<int64_t>(at(k, s));
        }
        return -1;
    }
    int64_t insert(ZeqString *k, int64_t value) {
        if (len * 10 > cap() * 7) {
            std::vector<Slot> old = std::move(slots);
            slots.assign(old.size() * 2, Slot{});
            for (const Slot &s : old) {
                if (s.state != 1) continue;
                int64_t step = 0;
                while (slots[at(s.key, step)].state == 1) ++step;
                slots[at(s.key, step)] = s;
            }
        }
        int64_t i = search(k);
        if (i >= 0) return std::exchange(slots[i].value, value);
        for (int64_t s = 0; s < cap(); ++s) {
            Slot &slot = slots[at(k, s)];
            if (slot.state != 1) {
                slot = {k, value, 1};
                ++len;
                break;
            }
        }
        return 0;
    }
    int64_t get(const ZeqString *k) const {
        int64_t i = search(k);
        return i >= 0 ? slots[i].value : 0;
    }
    int64_t remove(const ZeqString *k) {
        int64_t i = search(k);
        if (i < 0) return 0;
        slots[i].state = 2;
        --len;
        return slots[i].value;
    }
    std::vector<int64_t> column(bool values) const {
        std::vector<int64_t> r;
        for (const Slot &s : slots)
            if (s.state == 1) r.push_back(values ? s.value : reinterpret_cast<int64_t>(s.key));
        return r;
    }
};

std::vector<int64_t> take(ZeqVec *v) {
    std::vector<int64_t> r(v->data, v->data + v->len);
    zeq_vec_free(v);
    return r;
}

std::string text(const ZeqString *s) { return s ? std::string(s->data, static_cast<size_t>(s->len)) : "<null>"; }

// The items of a string vector, whose item array is then released.
std::vector<ZeqString *> svec_items(int64_t h) {
    std::vector<ZeqString *> r;
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) r.push_back(zeq_svec_get(h, i));
    zeq_svec_free(h);
    return r;
}

// The text of a lookup that must find nothing; the new empty string is
// released.
std::string absent(ZeqString *r) {
    std::string t = text(r);
    zeq_string_free(r);
    return t.empty() ? "" : "found " + t;
}

// Test-owned keys (arena off), released with the test.
struct Keys {
    std::vector<std::unique_ptr<Str>> owned;
    ZeqString *make(const std::string &t) {
        owned.push_back(std::make_unique<Str>(t));
        return *owned.back();
    }
};

}  // namespace

TEST(StrHashMapBasics, KeysAreComparedByBytesAndTheFirstPointerStays) {
    Keys k;
    ZeqString *a1 = k.make("apple"), *a2 = k.make("apple"), *empty = k.make("");
    ZeqStrHashMap *m = str_hashmap_new();
    EXPECT_EQ(str_hashmap_insert(m, a1, 1), 0);
    EXPECT_EQ(str_hashmap_insert(m, a2, 2), 1) << "same bytes: the first value comes back";
    EXPECT_EQ(str_hashmap_len(m), 1);
    EXPECT_EQ(take(str_hashmap_keys(m)), std::vector<int64_t>{reinterpret_cast<int64_t>(a1)});
    EXPECT_EQ(str_hashmap_insert(m, nullptr, 7), 0);
    EXPECT_EQ(str_hashmap_insert(m, empty, 8), 0);
    EXPECT_EQ(str_hashmap_len(m), 3) << "null and the empty string are two keys";
    EXPECT_EQ(str_hashmap_get(m, nullptr), 7);
    EXPECT_EQ(str_hashmap_get(m, k.make("")), 8);
    ZeqString *absent = k.make("pear");
    EXPECT_EQ(str_hashmap_get(m, absent), 0);
    EXPECT_EQ(str_hashmap_remove(m, absent), 0);
    EXPECT_EQ(str_hashmap_contains(m, absent), 0);
    EXPECT_EQ(str_hashmap_remove(m, nullptr), 7);
    EXPECT_EQ(str_hashmap_contains(m, nullptr), 0);
    EXPECT_EQ(zeq_str_hashmap_update(m, a2, 50), 0) << "update returns 0 after replacing";
    EXPECT_EQ(zeq_str_hashmap_get(m, a1), 50);
    EXPECT_EQ(zeq_str_hashmap_free(m), 0);
}

TEST(StrHashMapBasics, IncCountsFromZeroAndWraps) {
    Keys k;
    ZeqString *w = k.make("w");
    ZeqStrHashMap *m = zeq_str_hashmap_new();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(zeq_str_hashmap_inc(m, k.make("w"), 1), 0);
    EXPECT_EQ(zeq_str_hashmap_get(m, w), 3);
    zeq_str_hashmap_inc(m, w, INT64_MAX);
    EXPECT_EQ(zeq_str_hashmap_get(m, w), INT64_MIN + 2);
    zeq_str_hashmap_inc(m, nullptr, -4);
    EXPECT_EQ(zeq_str_hashmap_get(m, nullptr), -4);
    EXPECT_EQ(zeq_str_hashmap_len(m), 2);
    zeq_str_hashmap_free(m);
}

TEST(StrHashMapBasics, NullMapIsNeutral) {
    Keys k;
    ZeqString *s = k.make("x");
    EXPECT_EQ(str_hashmap_len(nullptr), 0);
    EXPECT_EQ(str_hashmap_insert(nullptr, s, 1), 0);
    EXPECT_EQ(str_hashmap_get(nullptr, s), 0);
    EXPECT_EQ(str_hashmap_remove(nullptr, s), 0);
    EXPECT_EQ(str_hashmap_contains(nullptr, s), 0);
    EXPECT_EQ(zeq_str_hashmap_inc(nullptr, s, 1), 0);
    EXPECT_TRUE(take(str_hashmap_keys(nullptr)).empty());
    EXPECT_TRUE(take(zeq_str_hashmap_values(nullptr)).empty());
    int64_t h = zeq_str_hashmap_keys(nullptr);
    EXPECT_GE(h, 0);
    EXPECT_EQ(zeq_svec_len(h), 0);
    h = zeq_str_hashmap_sorted_keys(nullptr);
    EXPECT_GE(h, 0);
    EXPECT_EQ(zeq_svec_len(h), 0);
    str_hashmap_free(nullptr);
    EXPECT_EQ(zeq_str_hashmap_free(nullptr), 0);
}

TEST(StrHashMapGrowth, DoublesOnlyOnceMoreThanSeventyPercentIsUsed) {
    Keys k;
    ZeqStrHashMap *m = str_hashmap_new();
    EXPECT_EQ(cap_of(m), 4096);
    for (int i = 0; i < 2868; ++i) str_hashmap_insert(m, k.make("k" + std::to_string(i)), i);
    EXPECT_EQ(str_hashmap_len(m), 2868);
    EXPECT_EQ(cap_of(m), 4096) << "the insert that found 2,867 entries did not grow";
    EXPECT_EQ(str_hashmap_insert(m, k.make("k0"), 5), 0) << "a replacing insert also tests";
    EXPECT_EQ(cap_of(m), 8192);
    for (int i = 0; i < 2868; ++i) ASSERT_EQ(str_hashmap_get(m, k.make("k" + std::to_string(i))), i ? i : 5);
    str_hashmap_free(m);
}

TEST(StrHashMapModel, RandomOperationsMatchTheReferenceTable) {
    std::mt19937_64 rng(99);
    Keys k;
    // Distinct texts, each under two records, plus null and the empty string;
    // enough texts to double the table.
    std::vector<ZeqString *> pool{nullptr, k.make(""), k.make("")};
    for (int i = 0; i < 7000; ++i) {
        std::string t = std::to_string(rng() % 100000);
        pool.push_back(k.make(t));
        pool.push_back(k.make(t));
    }
    ZeqStrHashMap *m = str_hashmap_new();
    Reference ref;
    for (int step = 0; step < 40000; ++step) {
        ZeqString *key = pool[rng() % pool.size()];
        int64_t v = static_cast<int64_t>(rng() % 1000);
        switch (rng() % 6) {
        case 0: ASSERT_EQ(str_hashmap_insert(m, key, v), ref.insert(key, v)); break;
        case 1:
            ASSERT_EQ(zeq_str_hashmap_inc(m, key, v), 0);
            ref.insert(key, ref.get(key) + v);
            break;
        case 2:
            ASSERT_EQ(zeq_str_hashmap_update(m, key, v), 0);
            ref.insert(key, v);
            break;
        case 3: ASSERT_EQ(str_hashmap_remove(m, key), ref.remove(key)) << text(key); break;
        default:
            ASSERT_EQ(str_hashmap_get(m, key), ref.get(key)) << text(key);
            ASSERT_EQ(str_hashmap_contains(m, key), ref.search(key) >= 0 ? 1 : 0);
        }
        ASSERT_EQ(str_hashmap_len(m), ref.len);
        ASSERT_EQ(cap_of(m), ref.cap());
    }
    EXPECT_GE(ref.cap(), 8192);
    EXPECT_EQ(take(str_hashmap_keys(m)), ref.column(false)) << "same key pointers, ascending slot order";
    EXPECT_EQ(take(str_hashmap_values(m)), ref.column(true));

    std::vector<int64_t> listed;
    for (ZeqString *s : svec_items(zeq_str_hashmap_keys(m))) listed.push_back(reinterpret_cast<int64_t>(s));
    EXPECT_EQ(listed, ref.column(false));

    auto sorted = svec_items(zeq_str_hashmap_sorted_keys(m));
    ASSERT_EQ(int64_t(sorted.size()), ref.len);
    for (size_t i = 1; i < sorted.size(); ++i) {
        ASSERT_NE(sorted[i], nullptr) << "null sorts first";
        if (sorted[i - 1]) {
            ASSERT_LT(text(sorted[i - 1]), text(sorted[i]));
        }
    }
    str_hashmap_free(m);
}

TEST(StrHashMapKeys, SortedKeysOrderNullFirstThenBytesThenLength) {
    Keys k;
    ZeqStrHashMap *m = zeq_str_hashmap_new();
    for (const char *t : {"b", "ab", "a", "", "\xff", "a\x01"}) zeq_str_hashmap_inc(m, k.make(t), 1);
    zeq_str_hashmap_inc(m, nullptr, 1);
    std::vector<std::string> got;
    for (ZeqString *s : svec_items(zeq_str_hashmap_sorted_keys(m))) got.push_back(text(s));
    EXPECT_EQ(got, (std::vector<std::string>{"<null>", "", "a", "a\x01", "ab", "b", "\xff"}));
    zeq_str_hashmap_free(m);
}

// ---- reg_cached_lookup -------------------------------------------------------

TEST(RegCachedLookup, ParsesListStrings) {
    struct Case {
        std::string source, key;
        bool present;  // false: a new empty string
        std::string value;
    };
    const std::string with_nul("a\0b=x\0y;c=3", 11);
    const Case cases[] = {
        {"a=1;b=2", "b", true, "2"},
        {"a=1;b=2", "a", true, "1"},
        {"a=1;b=2", "c", false, ""},
        {"a=1;;b=2", ";b", true, "2"},
        {"a=1;;b=2", "b", false, ""},
        {"a=1=2", "a", true, "1=2"},
        {"abc", "abc", false, ""},
        {"abc", "", false, ""},
        {"=v", "", true, "v"},
        {"a=1;a=2", "a", true, "2"},
        {";a=1", ";a", true, "1"},
        {"a=1;", "a", true, "1"},
        {"a=1;", "", false, ""},
        {"x=;", "x", true, ""},
        {"a=", "a", true, ""},
        {"a=1;bad;c=3", "bad;c", true, "3"},
        {with_nul, std::string("a\0b", 3), true, std::string("x\0y", 3)},
        {with_nul, "c", true, "3"},
        {with_nul, "a", false, ""},
    };
    for (const Case &c : cases) {
        Str source(c.source), key(c.key);
        ZeqString *r = reg_cached_lookup(source, key, 2);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(text(r), c.value) << c.source << " / " << c.key;
        EXPECT_EQ(r->cap, r->len);
        EXPECT_EQ(r->data[r->len], '\0');
        ZeqString *again = reg_cached_lookup(source, key, 2);
        if (c.present) {
            EXPECT_EQ(again, r) << "the cached record itself";
        } else {
            EXPECT_NE(again, r) << "a new empty string each time";
            zeq_string_free(r);
            zeq_string_free(again);
        }
    }
}

TEST(RegCachedLookup, CachedValuesAreTheSameRecordsEachTime) {
    Str source("k=;x=1"), k("k"), x("x");
    ZeqString *v1 = reg_cached_lookup(source, k, 0);
    EXPECT_EQ(v1->len, 0);
    EXPECT_EQ(reg_cached_lookup(source, k, 0), v1) << "the stored empty value, not a new one";
    ZeqString *one = reg_cached_lookup(source, x, 0);
    EXPECT_EQ(text(one), "1");
    Str copy("k=;x=1");
    EXPECT_EQ(reg_cached_lookup(copy, x, 0), one) << "another record with the same bytes hits the cache";
}

TEST(RegCachedLookup, ASourceOfTheSameLengthIsParsedAnew) {
    Str first("a=1"), second("b=2"), a("a"), b("b");
    EXPECT_EQ(text(reg_cached_lookup(first, a, 1)), "1");
    EXPECT_EQ(absent(reg_cached_lookup(second, a, 1)), "") << "never answered from the old map";
    EXPECT_EQ(text(reg_cached_lookup(second, b, 1)), "2");
    EXPECT_EQ(absent(reg_cached_lookup(first, b, 1)), "");
}

TEST(RegCachedLookup, BadArgumentsGiveAnEmptyStringAndLeaveTheCaches) {
    Str source("a=1"), a("a"), empty("");
    ZeqString *cached = reg_cached_lookup(source, a, 0);
    for (int64_t slot : {int64_t{3}, int64_t{-1}, INT64_MIN, INT64_MAX})
        EXPECT_EQ(absent(reg_cached_lookup(source, a, slot)), "") << slot;
    EXPECT_EQ(absent(reg_cached_lookup(nullptr, a, 0)), "");
    EXPECT_EQ(absent(reg_cached_lookup(empty, a, 0)), "");
    EXPECT_EQ(absent(reg_cached_lookup(source, nullptr, 0)), "");
    ZeqString nodata{nullptr, 3, 3};
    EXPECT_EQ(absent(reg_cached_lookup(&nodata, a, 0)), "");
    EXPECT_EQ(reg_cached_lookup(source, a, 0), cached) << "slot 0 still holds its map";
}

TEST(RegCachedLookup, CachedStringsOutliveAnArenaReset) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(1);
        ZeqString *source = zeq_string_from_cstr("name=zeq;kind=runtime");
        ZeqString *key = zeq_string_from_cstr("kind");
        ZeqString *v = reg_cached_lookup(source, key, 1);
        EXPECT_EQ(text(v), "runtime");
        zeq_arena_reset();
        // Overwrite the arena's first block with other strings.
        for (int i = 0; i < 1000; ++i) zeq_string_from_cstr("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
        EXPECT_EQ(text(v), "runtime");
        source = zeq_string_from_cstr("name=zeq;kind=runtime");
        key = zeq_string_from_cstr("kind");
        EXPECT_EQ(reg_cached_lookup(source, key, 1), v);
        zeq_arena_destroy();
        EXPECT_EQ(text(v), "runtime") << "and the end of the arena";
    });
}
