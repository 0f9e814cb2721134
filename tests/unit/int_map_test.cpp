// The integer hash map: its results against a slot-by-slot reference table
// that follows the documented layout (hash, home slot, linear probing,
// deleted markers), including key order; colliding keys across deleted
// slots; the full table; null maps.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "zeq.h"

namespace {

constexpr int64_t kSlots = 131072;
constexpr int64_t kMissing = INT64_MIN;

uint64_t home(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * 0x517cc1b727220a95ull;
    return (h ^ (h >> 32)) & (kSlots - 1);
}

// The documented table, one slot at a time.
struct Reference {
    struct Slot {
        int64_t key = 0, value = 0;
        int state = 0;  // 0 empty, 1 occupied, 2 deleted
    };
    std::vector<Slot> slots = std::vector<Slot>(kSlots);
    int64_t len = 0;

    int64_t search(int64_t key) const {
        for (int64_t k = 0; k < kSlots; ++k) {
            int64_t i = static_cast<int64_t>((home(key) + k) & (kSlots - 1));
            if (slots[i].state == 0) return -1;
            if (slots[i].state == 1 && slots[i].key == key) return i;
        }
        return -1;
    }
    int64_t insert(int64_t key, int64_t value) {
        int64_t i = search(key);
        if (i >= 0) return std::exchange(slots[i].value, value);
        for (int64_t k = 0; k < kSlots; ++k) {
            Slot &s = slots[(home(key) + k) & (kSlots - 1)];
            if (s.state != 1) {
                s = {key, value, 1};
                ++len;
                return 0;
            }
        }
        return 0;
    }
    int64_t get(int64_t key) const {
        int64_t i = search(key);
        return i >= 0 ? slots[i].value : kMissing;
    }
    int64_t remove(int64_t key) {
        int64_t i = search(key);
        if (i < 0) return kMissing;
        slots[i].state = 2;
        --len;
        return slots[i].value;
    }
    std::vector<int64_t> keys(bool values = false) const {
        std::vector<int64_t> r;
        for (const Slot &s : slots)
            if (s.state == 1) r.push_back(values ? s.value : s.key);
        return r;
    }
};

std::vector<int64_t> take(ZeqVec *v) {
    std::vector<int64_t> r(v->data, v->data + v->len);
    int64_t cap = 8;
    while (cap < v->len) cap *= 2;
    EXPECT_EQ(v->cap, cap) << "capacity as grown one push at a time";
    zeq_vec_free(v);
    return r;
}

// n distinct keys sharing one home slot.
std::vector<int64_t> colliding(uint64_t slot, size_t n) {
    std::vector<int64_t> r;
    for (int64_t k = 0; r.size() < n; ++k)
        if (home(k) == slot) r.push_back(k);
    return r;
}

}  // namespace

TEST(IntMapBasics, InsertReplaceRemove) {
    ZeqHashMap *m = hashmap_new();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(hashmap_len(m), 0);
    EXPECT_EQ(hashmap_get(m, 5), kMissing);
    EXPECT_EQ(hashmap_contains(m, 5), 0);
    EXPECT_EQ(hashmap_insert(m, 5, 10), 0);
    EXPECT_EQ(hashmap_insert(m, 5, 20), 10);
    EXPECT_EQ(hashmap_len(m), 1);
    for (int64_t k : {int64_t{0}, int64_t{-1}, INT64_MIN, INT64_MAX}) {
        EXPECT_EQ(hashmap_insert(m, k, k), 0);
        EXPECT_EQ(hashmap_get(m, k), k);
    }
    EXPECT_EQ(hashmap_remove(m, 5), 20);
    EXPECT_EQ(hashmap_len(m), 4);
    EXPECT_EQ(hashmap_remove(m, 5), kMissing);
    EXPECT_EQ(hashmap_contains(m, 5), 0);
    hashmap_free(m);
}

TEST(IntMapBasics, NullMapIsNeutral) {
    EXPECT_EQ(hashmap_len(nullptr), 0);
    EXPECT_EQ(hashmap_insert(nullptr, 1, 2), 0);
    EXPECT_EQ(hashmap_get(nullptr, 1), kMissing);
    EXPECT_EQ(hashmap_remove(nullptr, 1), kMissing);
    EXPECT_EQ(hashmap_contains(nullptr, 1), 0);
    EXPECT_TRUE(take(hashmap_keys(nullptr)).empty());
    ZeqVec *v = hashmap_values(nullptr);
    EXPECT_EQ(v->len, 0);
    EXPECT_EQ(v->cap, 8);
    zeq_vec_free(v);
    hashmap_free(nullptr);
}

TEST(IntMapProbing, CollidingKeysStayReachableAcrossDeletedSlots) {
    // Home slot near the end so the path wraps around to slot 0.
    for (uint64_t slot : {uint64_t{77}, uint64_t{kSlots - 3}}) {
        auto keys = colliding(slot, 24);
        ZeqHashMap *m = hashmap_new();
        Reference ref;
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(hashmap_insert(m, keys[i], int64_t(i)), ref.insert(keys[i], int64_t(i)));
        }
        // Remove every third key, early ones on the path included.
        for (size_t i = 0; i < keys.size(); i += 3) EXPECT_EQ(hashmap_remove(m, keys[i]), ref.remove(keys[i]));
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(hashmap_get(m, keys[i]), ref.get(keys[i])) << i;
            // Re-inserting a present key behind a deleted slot replaces it.
            EXPECT_EQ(hashmap_insert(m, keys[i], 100 + int64_t(i)), ref.insert(keys[i], 100 + int64_t(i)));
        }
        EXPECT_EQ(hashmap_len(m), ref.len);
        EXPECT_EQ(hashmap_len(m), int64_t(keys.size()));
        EXPECT_EQ(take(hashmap_keys(m)), ref.keys());
        EXPECT_EQ(take(hashmap_values(m)), ref.keys(true));
        hashmap_free(m);
    }
}

TEST(IntMapModel, RandomOperationsMatchTheReferenceTable) {
    std::mt19937_64 rng(1234);
    // A mix of small keys, colliding keys and random words.
    std::vector<int64_t> pool = colliding(4000, 40);
    for (int64_t k = -50; k < 50; ++k) pool.push_back(k);
    for (int i = 0; i < 400; ++i) pool.push_back(static_cast<int64_t>(rng()));
    ZeqHashMap *m = hashmap_new();
    Reference ref;
    for (int step = 0; step < 20000; ++step) {
        int64_t key = pool[rng() % pool.size()];
        int64_t value = static_cast<int64_t>(rng());
        switch (rng() % 4) {
        case 0:
        case 1: ASSERT_EQ(hashmap_insert(m, key, value), ref.insert(key, value)); break;
        case 2: ASSERT_EQ(hashmap_remove(m, key), ref.remove(key)); break;
        default:
            ASSERT_EQ(hashmap_get(m, key), ref.get(key));
            ASSERT_EQ(hashmap_contains(m, key), ref.search(key) >= 0 ? 1 : 0);
        }
        ASSERT_EQ(hashmap_len(m), ref.len);
    }
    EXPECT_EQ(take(hashmap_keys(m)), ref.keys()) << "ascending slot order";
    EXPECT_EQ(take(hashmap_values(m)), ref.keys(true));
    hashmap_free(m);
}

TEST(IntMapProbing, AFullTableRefusesNewKeysAndStillAnswers) {
    ZeqHashMap *m = hashmap_new();
    for (int64_t k = 0; k < kSlots; ++k) ASSERT_EQ(hashmap_insert(m, k, k + 1), 0);
    EXPECT_EQ(hashmap_len(m), kSlots);
    EXPECT_EQ(hashmap_insert(m, kSlots, 5), 0) << "refused";
    EXPECT_EQ(hashmap_len(m), kSlots);
    EXPECT_EQ(hashmap_get(m, kSlots), kMissing) << "a full walk ends";
    EXPECT_EQ(hashmap_contains(m, -7), 0);
    EXPECT_EQ(hashmap_insert(m, 17, 0), 18) << "present keys are still replaced";
    // A removal leaves a deleted slot that the next new key takes.
    EXPECT_EQ(hashmap_remove(m, 1000), 1001);
    EXPECT_EQ(hashmap_get(m, kSlots + 1), kMissing);
    EXPECT_EQ(hashmap_insert(m, kSlots + 1, 9), 0);
    EXPECT_EQ(hashmap_get(m, kSlots + 1), 9);
    EXPECT_EQ(hashmap_len(m), kSlots);
    auto keys = take(hashmap_keys(m));
    EXPECT_EQ(int64_t(keys.size()), kSlots);
    hashmap_free(m);
}
