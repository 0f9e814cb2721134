// The string map against a reference of the documented chained table
// (FNV-1a buckets from 64, doubling past 0.75 entries per bucket, chains
// moved head first), key order included; owned key copies; keys holding NUL;
// null maps and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "owned_string.h"
#include "reference.h"
#include "zeq.h"

namespace {

using zeqtest::Str;

struct MapView {  // the record's leading fields, as documented
    void *buckets;
    int64_t nbuckets, count;
};
int64_t buckets_of(const ZeqStrMap *m) { return reinterpret_cast<const MapView *>(m)->nbuckets; }

using Reference = zeqtest::ChainTable;

// Keys as texts and the values; the key strings and vectors are released.
std::pair<std::vector<std::string>, std::vector<int64_t>> contents(const ZeqStrMap *m) {
    std::pair<std::vector<std::string>, std::vector<int64_t>> r;
    ZeqVec *keys = zeq_strmap_keys(m), *values = zeq_strmap_values(m);
    for (int64_t i = 0; i < keys->len; ++i) {
        auto *s = reinterpret_cast<ZeqString *>(keys->data[i]);
        r.first.emplace_back(s->data, size_t(s->len));
        zeq_string_free(s);
    }
    r.second.assign(values->data, values->data + values->len);
    zeq_vec_free(keys);
    zeq_vec_free(values);
    return r;
}

}  // namespace

TEST(StrMapBasics, OwnedCopiesNulKeysAndNullArguments) {
    ZeqStrMap *m = zeq_strmap_new();
    {
        Str k("alpha");
        EXPECT_EQ(zeq_strmap_insert(m, k, 1), 1);
        EXPECT_EQ(zeq_strmap_insert(m, k, 2), 1);
    }  // the caller's key is gone; the map has its own copy
    EXPECT_EQ(zeq_strmap_get(m, Str("alpha")), 2);
    EXPECT_EQ(zeq_strmap_size(m), 1);
    Str nul(std::string("ab\0c", 4));
    EXPECT_EQ(zeq_strmap_insert(m, nul, 1) + zeq_strmap_insert(m, nul, 2), 2);
    EXPECT_EQ(zeq_strmap_size(m), 3) << "a key holding NUL adds an entry each time";
    EXPECT_EQ(zeq_strmap_get(m, nul), -1);
    EXPECT_EQ(zeq_strmap_contains(m, nul), 0);
    auto keys = contents(m).first;
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"ab", "ab", "alpha"})) << "stored up to the NUL";
    zeq_strmap_free(m);

    ZeqString nodata{nullptr, 1, 1};
    ZeqStrMap *real = strmap_new();
    for (ZeqStrMap *map : {static_cast<ZeqStrMap *>(nullptr), real}) {
        for (const ZeqString *key : {static_cast<const ZeqString *>(nullptr), static_cast<const ZeqString *>(&nodata)}) {
            EXPECT_EQ(strmap_insert(map, key, 1), 0);
            EXPECT_EQ(strmap_get(map, key), -1);
            EXPECT_EQ(strmap_contains(map, key) + strmap_remove(map, key) + strmap_size(map), 0);
        }
    }
    EXPECT_TRUE(contents(nullptr).first.empty());
    strmap_free(nullptr);
    strmap_free(real);
}

TEST(StrMapGrowth, DoublesWhenMoreThanThreeQuartersPerBucket) {
    ZeqStrMap *m = zeq_strmap_new();
    EXPECT_EQ(buckets_of(m), 64);
    for (int i = 0; i < 49; ++i) zeq_strmap_insert(m, Str("k" + std::to_string(i)), i);
    EXPECT_EQ(buckets_of(m), 64) << "48 / 64 is not above 0.75";
    zeq_strmap_insert(m, Str("k0"), 100);
    EXPECT_EQ(buckets_of(m), 128) << "the insert that finds 49 entries doubles first";
    zeq_strmap_free(m);
}

TEST(StrMapModel, RandomOperationsMatchTheReference) {
    std::mt19937_64 rng(5);
    // Keys cut short by a NUL and the texts they compare as are drawn often,
    // so that each follows the other closely.
    const std::vector<std::string> nul_keys{"", "x", std::string("x\0y", 3), std::string("\0", 1),
                                            std::string("7\0", 2)};
    std::vector<std::string> pool;
    for (int i = 0; i < 3000; ++i) pool.push_back(std::to_string(rng() % 5000));
    auto pick = [&]() -> const std::string & {
        return rng() % 4 == 0 ? nul_keys[rng() % nul_keys.size()] : pool[rng() % pool.size()];
    };
    ZeqStrMap *m = zeq_strmap_new();
    Reference ref;
    for (int step = 0; step < 30000; ++step) {
        const std::string &t = pick(), &other = pick();
        Str key(t);
        int64_t v = int64_t(rng() % 1000);
        switch (rng() % 5) {
        case 0: ASSERT_EQ(zeq_strmap_insert(m, key, v), ref.insert(t, v)); break;
        case 1: {  // counting: get, then insert the same text through another record
            int64_t n = zeq_strmap_get(m, key);
            ASSERT_EQ(n, ref.get(t));
            ASSERT_EQ(zeq_strmap_insert(m, Str(t), n + 1), ref.insert(t, n + 1));
            break;
        }
        case 2:  // a get, then an insert of another key
            ASSERT_EQ(zeq_strmap_get(m, key), ref.get(t));
            ASSERT_EQ(zeq_strmap_insert(m, Str(other), v), ref.insert(other, v));
            break;
        case 3: ASSERT_EQ(zeq_strmap_remove(m, key), ref.remove(t)); break;
        default: ASSERT_EQ(zeq_strmap_contains(m, key), ref.get(t) != -1 ? 1 : 0);  // no stored -1
        }
        ASSERT_EQ(zeq_strmap_size(m), ref.count);
        ASSERT_EQ(buckets_of(m), int64_t(ref.buckets.size()));
    }
    EXPECT_GE(ref.buckets.size(), 2048u);
    EXPECT_EQ(contents(m), ref.contents()) << "bucket by bucket, each chain from its head";
    zeq_strmap_free(m);
}
