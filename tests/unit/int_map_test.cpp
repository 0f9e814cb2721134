// The integer hash map against a slot-by-slot reference of the documented
// table (hash, home slot, linear probing, deleted markers), key order
// included: random operations, colliding keys across deleted slots and the
// wrap at the end, the full table, null maps.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "reference.h"
#include "zeq.h"

namespace {

constexpr int64_t kSlots = 131072;
constexpr int64_t kMissing = INT64_MIN;

uint64_t home(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * zeqtest::kIntMapMultiplier;
    return (h ^ (h >> 32)) & (kSlots - 1);
}

std::vector<int64_t> take(ZeqVec *v) {
    int64_t cap = 8;
    while (cap < v->len) cap *= 2;
    EXPECT_EQ(v->cap, cap) << "capacity as grown one push at a time";
    std::vector<int64_t> r(v->data, v->data + v->len);
    zeq_vec_free(v);
    return r;
}

// n keys sharing one home slot.
std::vector<int64_t> colliding(uint64_t slot, size_t n) {
    std::vector<int64_t> r;
    for (int64_t k = 0; r.size() < n; ++k)
        if (home(k) == slot) r.push_back(k);
    return r;
}

}  // namespace

TEST(IntMapBasics, NullMapIsNeutral) {
    EXPECT_EQ(hashmap_len(nullptr), 0);
    EXPECT_EQ(hashmap_insert(nullptr, 1, 2), 0);
    EXPECT_EQ(hashmap_get(nullptr, 1), kMissing);
    EXPECT_EQ(hashmap_remove(nullptr, 1), kMissing);
    EXPECT_EQ(hashmap_contains(nullptr, 1), 0);
    EXPECT_TRUE(take(hashmap_keys(nullptr)).empty());
    EXPECT_TRUE(take(hashmap_values(nullptr)).empty());
    hashmap_free(nullptr);
}

TEST(IntMapModel, RandomOperationsMatchTheReference) {
    std::mt19937_64 rng(1234);
    // Colliding keys (home slots mid-table and at the very end, where paths
    // wrap to slot 0), small keys with 0 and negatives, random words.
    std::vector<int64_t> pool = colliding(4000, 30);
    for (int64_t k : colliding(kSlots - 2, 20)) pool.push_back(k);
    for (int64_t k = -50; k < 50; ++k) pool.push_back(k);
    for (int i = 0; i < 300; ++i) pool.push_back(static_cast<int64_t>(rng()));
    pool.push_back(INT64_MIN);
    ZeqHashMap *m = hashmap_new();
    zeqtest::OpenTable ref = zeqtest::integer_table();
    for (int step = 0; step < 20000; ++step) {
        int64_t key = pool[rng() % pool.size()], value = static_cast<int64_t>(rng());
        switch (rng() % 4) {
        case 0:
        case 1: ASSERT_EQ(hashmap_insert(m, key, value), ref.put(key, value)); break;
        case 2: ASSERT_EQ(hashmap_remove(m, key), ref.remove(key, kMissing)); break;
        default:
            ASSERT_EQ(hashmap_get(m, key), ref.get(key, kMissing));
            ASSERT_EQ(hashmap_contains(m, key), ref.find(key) ? 1 : 0);
        }
        ASSERT_EQ(hashmap_len(m), ref.len);
    }
    EXPECT_EQ(take(hashmap_keys(m)), ref.list(&zeqtest::OpenTable::Slot::key)) << "ascending slot order";
    EXPECT_EQ(take(hashmap_values(m)), ref.list(&zeqtest::OpenTable::Slot::value));
    hashmap_free(m);
}

TEST(IntMapProbing, AFullTableRefusesNewKeysAndEveryWalkEnds) {
    ZeqHashMap *m = hashmap_new();
    for (int64_t k = 0; k < kSlots; ++k) ASSERT_EQ(hashmap_insert(m, k, k + 1), 0);
    EXPECT_EQ(hashmap_insert(m, kSlots, 5), 0) << "refused";
    EXPECT_EQ(hashmap_len(m), kSlots);
    EXPECT_EQ(hashmap_get(m, kSlots), kMissing);
    EXPECT_EQ(hashmap_insert(m, 17, 0), 18) << "present keys are still replaced";
    EXPECT_EQ(hashmap_remove(m, 1000), 1001);
    EXPECT_EQ(hashmap_get(m, -7), kMissing) << "a walk over occupied and deleted slots only";
    EXPECT_EQ(hashmap_insert(m, -7, 9), 0) << "takes the deleted slot";
    EXPECT_EQ(hashmap_get(m, -7), 9);
    EXPECT_EQ(int64_t(take(hashmap_keys(m)).size()), kSlots);
    hashmap_free(m);
}
