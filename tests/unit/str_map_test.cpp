// The string map: results and key order against a reference of the
// documented chained table (FNV-1a buckets from 64, doubling past 0.75 per
// bucket with chains moved head first); owned key copies; keys holding NUL;
// null maps and keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "owned_string.h"
#include "zeq.h"

namespace {

using zeqtest::Str;

struct MapView {
    void *buckets;
    int64_t nbuckets;
    int64_t count;
};
int64_t buckets_of(const ZeqStrMap *m) { return reinterpret_cast<const MapView *>(m)->nbuckets; }

uint64_t fnv(const std::string &s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

std::string to_nul(const std::string &s) { return s.substr(0, s.find('\0')); }

// The documented table; each chain is kept head first.
struct Reference {
    std::vector<std::vector<std::pair<std::string, int64_t>>> buckets =
        std::vector<std::vector<std::pair<std::string, int64_t>>>(64);
    int64_t count = 0;

    auto &chain(const std::string &key) { return buckets[fnv(key) % buckets.size()]; }
    int64_t insert(const std::string &key, int64_t value) {
        if (double(count) / double(buckets.size()) > 0.75) {
            auto old = std::move(buckets);
            buckets.assign(old.size() * 2, {});
            for (auto &c : old)
                for (auto &e : c) chain(e.first).insert(chain(e.first).begin(), e);
        }
        for (auto &e : chain(key))
            if (e.first == key) {
                e.second = value;
                return 1;
            }
        chain(key).insert(chain(key).begin(), {to_nul(key), value});
        ++count;
        return 1;
    }
    int64_t get(const std::string &key) {
        for (auto &e : chain(key))
            if (e.first == key) return e.second;
        return -1;
    }
    int64_t remove(const std::string &key) {
        auto &c = chain(key);
        for (auto it = c.begin(); it != c.end(); ++it)
            if (it->first == to_nul(key)) {
                int64_t v = it->second;
                c.erase(it);
                --count;
                return v;
            }
        return 0;
    }
    std::vector<std::string> keys() const {
        std::vector<std::string> r;
        for (auto &c : buckets)
            for (auto &e : c) r.push_back(e.first);
        return r;
    }
    std::vector<int64_t> values() const {
        std::vector<int64_t> r;
        for (auto &c : buckets)
            for (auto &e : c) r.push_back(e.second);
        return r;
    }
};

// The keys as texts; the returned strings and the vector are released.
std::vector<std::string> keys_of(const ZeqStrMap *m) {
    ZeqVec *v = zeq_strmap_keys(m);
    std::vector<std::string> r;
    for (int64_t i = 0; i < v->len; ++i) {
        auto *s = reinterpret_cast<ZeqString *>(v->data[i]);
        EXPECT_EQ(s->cap, s->len);
        r.emplace_back(s->data, static_cast<size_t>(s->len));
        zeq_string_free(s);
    }
    zeq_vec_free(v);
    return r;
}

std::vector<int64_t> values_of(const ZeqStrMap *m) {
    ZeqVec *v = zeq_strmap_values(m);
    std::vector<int64_t> r(v->data, v->data + v->len);
    zeq_vec_free(v);
    return r;
}

}  // namespace

TEST(StrMapBasics, InsertGetRemoveWithOwnedKeys) {
    ZeqStrMap *m = zeq_strmap_new();
    EXPECT_EQ(zeq_strmap_size(m), 0);
    EXPECT_EQ(buckets_of(m), 64);
    {
        Str k("alpha");
        EXPECT_EQ(zeq_strmap_insert(m, k, 1), 1);
        EXPECT_EQ(zeq_strmap_insert(m, k, 2), 1);
    }  // the key string is gone; the map has its own copy
    Str again("alpha"), empty(""), missing("beta");
    EXPECT_EQ(zeq_strmap_size(m), 1);
    EXPECT_EQ(zeq_strmap_get(m, again), 2);
    EXPECT_EQ(zeq_strmap_get(m, missing), -1);
    EXPECT_EQ(zeq_strmap_contains(m, missing), 0);
    EXPECT_EQ(zeq_strmap_insert(m, empty, 9), 1);
    EXPECT_EQ(zeq_strmap_get(m, empty), 9) << "the empty string is an ordinary key";
    EXPECT_EQ(zeq_strmap_remove(m, missing), 0);
    EXPECT_EQ(zeq_strmap_remove(m, again), 2);
    EXPECT_EQ(zeq_strmap_get(m, again), -1);
    EXPECT_EQ(zeq_strmap_size(m), 1);
    EXPECT_EQ(keys_of(m), std::vector<std::string>{""});
    zeq_strmap_free(m);
}

TEST(StrMapBasics, NullMapsAndKeysAreRefused) {
    Str k("k");
    ZeqString nodata{nullptr, 1, 1};
    ZeqStrMap *m = strmap_new();
    for (ZeqStrMap *map : {static_cast<ZeqStrMap *>(nullptr), m}) {
        for (const ZeqString *key : {static_cast<const ZeqString *>(nullptr), static_cast<const ZeqString *>(&nodata)}) {
            EXPECT_EQ(strmap_insert(map, key, 1), 0);
            EXPECT_EQ(strmap_get(map, key), -1);
            EXPECT_EQ(strmap_contains(map, key), 0);
            EXPECT_EQ(strmap_remove(map, key), 0);
        }
    }
    EXPECT_EQ(strmap_insert(nullptr, k, 1), 0);
    EXPECT_EQ(strmap_size(nullptr), 0);
    EXPECT_EQ(strmap_size(m), 0);
    EXPECT_TRUE(keys_of(nullptr).empty());
    EXPECT_TRUE(values_of(nullptr).empty());
    strmap_free(nullptr);
    strmap_free(m);
}

TEST(StrMapBasics, AKeyHoldingNulIsStoredButNeverFound) {
    ZeqStrMap *m = zeq_strmap_new();
    Str k(std::string("ab\0c", 4));
    EXPECT_EQ(zeq_strmap_insert(m, k, 1), 1);
    EXPECT_EQ(zeq_strmap_insert(m, k, 2), 1);
    EXPECT_EQ(zeq_strmap_size(m), 2) << "each insert adds an entry";
    EXPECT_EQ(zeq_strmap_get(m, k), -1);
    EXPECT_EQ(zeq_strmap_contains(m, k), 0);
    EXPECT_EQ(keys_of(m), (std::vector<std::string>{"ab", "ab"}));
    zeq_strmap_free(m);
}

TEST(StrMapGrowth, DoublesWhenMoreThanThreeQuartersPerBucket) {
    ZeqStrMap *m = zeq_strmap_new();
    for (int i = 0; i < 49; ++i) zeq_strmap_insert(m, Str("k" + std::to_string(i)), i);
    EXPECT_EQ(buckets_of(m), 64) << "48 / 64 is not above 0.75";
    zeq_strmap_insert(m, Str("k0"), 100);
    EXPECT_EQ(buckets_of(m), 128) << "the insert that finds 49 entries doubles first";
    for (int i = 0; i < 49; ++i) EXPECT_EQ(zeq_strmap_get(m, Str("k" + std::to_string(i))), i ? i : 100);
    zeq_strmap_free(m);
}

TEST(StrMapModel, RandomOperationsMatchTheReference) {
    std::mt19937_64 rng(5);
    std::vector<std::string> pool{"", std::string("x\0y", 3), std::string("\0", 1)};
    for (int i = 0; i < 3000; ++i) pool.push_back(std::to_string(rng() % 5000));
    ZeqStrMap *m = zeq_strmap_new();
    Reference ref;
    for (int step = 0; step < 30000; ++step) {
        const std::string &t = pool[rng() % pool.size()];
        Str key(t);
        int64_t v = static_cast<int64_t>(rng() % 1000);
        switch (rng() % 5) {
        case 0: ASSERT_EQ(zeq_strmap_insert(m, key, v), ref.insert(t, v)); break;
        case 1: {  // counting: get, then insert the same text from another record
            int64_t n = zeq_strmap_get(m, key);
            ASSERT_EQ(n, ref.get(t));
            ASSERT_EQ(zeq_strmap_insert(m, Str(t), n + 1), ref.insert(t, n + 1));
            break;
        }
        case 2: {  // a get, then an insert of another key
            ASSERT_EQ(zeq_strmap_get(m, key), ref.get(t));
            const std::string &other = pool[rng() % pool.size()];
            ASSERT_EQ(zeq_strmap_insert(m, Str(other), v), ref.insert(other, v));
            break;
        }
        case 3: ASSERT_EQ(zeq_strmap_remove(m, key), ref.remove(t)); break;
        default: ASSERT_EQ(zeq_strmap_contains(m, key), ref.get(t) != -1 ? 1 : 0);  // no stored -1
        }
        ASSERT_EQ(zeq_strmap_size(m), ref.count);
        ASSERT_EQ(buckets_of(m), int64_t(ref.buckets.size()));
    }
    EXPECT_GE(ref.buckets.size(), 2048u);
    EXPECT_EQ(keys_of(m), ref.keys()) << "bucket by bucket, each chain from its head";
    EXPECT_EQ(values_of(m), ref.values());
    zeq_strmap_free(m);
}
