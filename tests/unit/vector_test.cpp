// The integer vector: capacities and growth, element edits at the edges,
// sorting against std::sort, aggregates, slices, extension and the fatal
// out-of-memory path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

ZeqVec *from(std::initializer_list<int64_t> values) {
    ZeqVec *v = zeq_vec_new();
    for (int64_t x : values) zeq_vec_push(v, x);
    return v;
}

std::vector<int64_t> items(const ZeqVec *v) {
    std::vector<int64_t> r;
    for (int64_t i = 0; i < zeq_vec_len(v); ++i) r.push_back(zeq_vec_get(v, i));
    return r;
}

using Items = std::vector<int64_t>;

TEST(VecCapacity, ShortNamesAreTheSameFunctions) {
    EXPECT_TRUE(zeqtest::same_function((void *)&vec_new, (void *)&zeq_vec_new)) << "vec_new";
    EXPECT_TRUE(zeqtest::same_function((void *)&vec_push, (void *)&zeq_vec_push)) << "vec_push";
    EXPECT_TRUE(zeqtest::same_function((void *)&vec_sort, (void *)&zeq_vec_sort)) << "vec_sort";
    EXPECT_TRUE(zeqtest::same_function((void *)&vec_insert, (void *)&zeq_vec_insert)) << "vec_insert";
    EXPECT_TRUE(zeqtest::same_function((void *)&vec_free, (void *)&zeq_vec_free)) << "vec_free";
}

TEST(VecCapacity, NewIsEmptyWithCapacityEight) {
    ZeqVec *v = zeq_vec_new();
    EXPECT_EQ(zeq_vec_len(v), 0);
    EXPECT_EQ(zeq_vec_cap(v), 8);
    EXPECT_EQ(v->len, 0);
    EXPECT_EQ(v->cap, 8);
    zeq_vec_free(v);
}

TEST(VecCapacity, GrowthDoublesOnePushAtATime) {
    ZeqVec *v = zeq_vec_new();
    for (int64_t i = 0; i < 8; ++i) EXPECT_EQ(zeq_vec_push(v, i), v);
    EXPECT_EQ(zeq_vec_cap(v), 8);
    zeq_vec_push(v, 8);
    EXPECT_EQ(zeq_vec_cap(v), 16);
    for (int64_t i = 9; i < 16; ++i) zeq_vec_push(v, i);
    EXPECT_EQ(zeq_vec_cap(v), 16);
    zeq_vec_push(v, 16);
    EXPECT_EQ(zeq_vec_cap(v), 32);
    EXPECT_EQ(zeq_vec_len(v), 17);
    for (int64_t i = 0; i < 17; ++i) EXPECT_EQ(zeq_vec_get(v, i), i);
    zeq_vec_free(v);
}

TEST(VecCapacity, WithCapacity) {
    for (int64_t n : {INT64_MIN, int64_t{-5}, int64_t{0}, int64_t{1}}) {
        ZeqVec *v = zeq_vec_with_capacity(n);
        EXPECT_EQ(zeq_vec_cap(v), 1) << n;
        EXPECT_EQ(zeq_vec_len(v), 0);
        zeq_vec_free(v);
    }
    ZeqVec *v = zeq_vec_with_capacity(0);
    zeq_vec_push(v, 1);
    EXPECT_EQ(zeq_vec_cap(v), 1);
    zeq_vec_push(v, 2);
    EXPECT_EQ(zeq_vec_cap(v), 2);
    zeq_vec_push(v, 3);
    EXPECT_EQ(zeq_vec_cap(v), 4);
    zeq_vec_free(v);

    v = zeq_vec_with_capacity(1000);
    EXPECT_EQ(zeq_vec_cap(v), 1000);
    for (int64_t i = 0; i < 1000; ++i) zeq_vec_push(v, i);
    EXPECT_EQ(zeq_vec_cap(v), 1000);
    zeq_vec_push(v, 0);
    EXPECT_EQ(zeq_vec_cap(v), 2000);
    zeq_vec_free(v);
}

TEST(VecEdit, PopAndClearKeepTheBuffer) {
    ZeqVec *v = zeq_vec_new();
    EXPECT_EQ(zeq_vec_pop(v), 0);
    EXPECT_EQ(zeq_vec_len(v), 0);
    for (int64_t i = 1; i <= 9; ++i) zeq_vec_push(v, i);
    EXPECT_EQ(zeq_vec_pop(v), 9);
    EXPECT_EQ(zeq_vec_pop(v), 8);
    EXPECT_EQ(zeq_vec_len(v), 7);
    EXPECT_EQ(zeq_vec_cap(v), 16);
    int64_t *buffer = v->data;
    zeq_vec_clear(v);
    EXPECT_EQ(zeq_vec_len(v), 0);
    EXPECT_EQ(zeq_vec_cap(v), 16);
    zeq_vec_push(v, 42);
    EXPECT_EQ(v->data, buffer);
    EXPECT_EQ(items(v), Items({42}));
    zeq_vec_free(v);
}

TEST(VecEdit, SetGetSwapHoldAnyWord) {
    ZeqVec *v = from({1, 2, 3});
    zeq_vec_set(v, 1, INT64_MIN);
    zeq_vec_set(v, 2, INT64_MAX);
    EXPECT_EQ(zeq_vec_get(v, 1), INT64_MIN);
    EXPECT_EQ(zeq_vec_len(v), 3);
    zeq_vec_swap(v, 0, 2);
    EXPECT_EQ(items(v), Items({INT64_MAX, INT64_MIN, 1}));
    zeq_vec_swap(v, 1, 1);
    EXPECT_EQ(items(v), Items({INT64_MAX, INT64_MIN, 1}));
    zeq_vec_free(v);
}

TEST(VecEdit, Remove) {
    ZeqVec *v = from({10, 20, 30, 40});
    EXPECT_EQ(zeq_vec_remove(v, -1), 0);
    EXPECT_EQ(zeq_vec_remove(v, 4), 0);
    EXPECT_EQ(zeq_vec_remove(v, INT64_MIN), 0);
    EXPECT_EQ(items(v), Items({10, 20, 30, 40}));
    EXPECT_EQ(zeq_vec_remove(v, 1), 20);
    EXPECT_EQ(items(v), Items({10, 30, 40}));
    EXPECT_EQ(zeq_vec_remove(v, 2), 40);
    EXPECT_EQ(zeq_vec_remove(v, 0), 10);
    EXPECT_EQ(items(v), Items({30}));
    EXPECT_EQ(zeq_vec_remove(v, 0), 30);
    EXPECT_EQ(zeq_vec_len(v), 0);
    EXPECT_EQ(zeq_vec_remove(v, 0), 0);
    EXPECT_EQ(zeq_vec_cap(v), 8);
    zeq_vec_free(v);
}

TEST(VecEdit, InsertClampsItsIndex) {
    ZeqVec *v = from({1, 2, 3});
    zeq_vec_insert(v, -3, 0);
    EXPECT_EQ(items(v), Items({0, 1, 2, 3}));
    zeq_vec_insert(v, 100, 4);
    EXPECT_EQ(items(v), Items({0, 1, 2, 3, 4}));
    zeq_vec_insert(v, 2, 9);
    EXPECT_EQ(items(v), Items({0, 1, 9, 2, 3, 4}));
    zeq_vec_insert(v, 6, 5);
    zeq_vec_insert(v, INT64_MIN, -1);
    zeq_vec_insert(v, INT64_MAX, 6);
    EXPECT_EQ(items(v), Items({-1, 0, 1, 9, 2, 3, 4, 5, 6}));
    EXPECT_EQ(zeq_vec_cap(v), 16);
    zeq_vec_free(v);

    v = zeq_vec_with_capacity(1);
    zeq_vec_insert(v, 0, 7);
    EXPECT_EQ(zeq_vec_cap(v), 1);
    zeq_vec_insert(v, 0, 6);
    EXPECT_EQ(zeq_vec_cap(v), 2);
    EXPECT_EQ(items(v), Items({6, 7}));
    zeq_vec_free(v);
}

TEST(VecEdit, ReverseContainsIndexOf) {
    ZeqVec *v = from({5, 7, 5, 9});
    EXPECT_EQ(zeq_vec_index_of(v, 5), 0);
    EXPECT_EQ(zeq_vec_index_of(v, 9), 3);
    EXPECT_EQ(zeq_vec_index_of(v, 6), -1);
    EXPECT_EQ(zeq_vec_contains(v, 7), 1);
    EXPECT_EQ(zeq_vec_contains(v, 8), 0);
    zeq_vec_reverse(v);
    EXPECT_EQ(items(v), Items({9, 5, 7, 5}));
    zeq_vec_push(v, 1);
    zeq_vec_reverse(v);
    EXPECT_EQ(items(v), Items({1, 5, 7, 5, 9}));
    zeq_vec_free(v);

    v = from({3});
    zeq_vec_reverse(v);
    EXPECT_EQ(items(v), Items({3}));
    zeq_vec_free(v);
}

TEST(VecSort, SortSmall) {
    ZeqVec *v = from({3, -1, 2});
    zeq_vec_sort(v);
    EXPECT_EQ(items(v), Items({-1, 2, 3}));
    zeq_vec_free(v);

    v = from({INT64_MAX, 0, INT64_MIN, -1, 1, INT64_MIN, INT64_MAX});
    zeq_vec_sort(v);
    EXPECT_EQ(items(v), Items({INT64_MIN, INT64_MIN, -1, 0, 1, INT64_MAX, INT64_MAX}));
    zeq_vec_free(v);

    v = zeq_vec_new();
    zeq_vec_sort(v);
    EXPECT_EQ(zeq_vec_len(v), 0);
    zeq_vec_push(v, 4);
    zeq_vec_sort(v);
    EXPECT_EQ(items(v), Items({4}));
    zeq_vec_free(v);
}

// Random data of several sizes (small and large buckets) and value spreads
// (full range, small range of both signs with many duplicates, values
// sharing their high bytes, two values per byte), each compared with
// std::sort.
TEST(VecSort, SortMatchesStdSort) {
    std::mt19937_64 rng(12345);
    const int64_t sizes[] = {2, 31, 33, 1000, 1500, 5000, 100000, 1000000};
    for (int64_t n : sizes) {
        for (int spread = 0; spread < 5; ++spread) {
            std::vector<int64_t> expect(static_cast<size_t>(n));
            for (auto &x : expect) {
                uint64_t r = rng();
                switch (spread) {
                case 0: x = static_cast<int64_t>(r); break;
                case 1: x = static_cast<int64_t>(r % 21) - 10; break;
                case 2: x = 1'000'000'000'000 + static_cast<int64_t>(r % 100000); break;
                case 3: x = -static_cast<int64_t>(r >> 20); break;
                default: x = static_cast<int64_t>(r & 0x8101010101010101ULL); break;
                }
            }
            ZeqVec *v = zeq_vec_with_capacity(n);
            for (int64_t x : expect) zeq_vec_push(v, x);
            zeq_vec_sort(v);
            std::sort(expect.begin(), expect.end());
            ASSERT_EQ(zeq_vec_len(v), n);
            EXPECT_TRUE(std::equal(expect.begin(), expect.end(), v->data))
                << "n=" << n << " spread=" << spread;
            EXPECT_EQ(zeq_vec_cap(v), n);
            zeq_vec_free(v);
        }
    }
}

TEST(VecSort, SortOrderedAndReversedInput) {
    const int64_t n = 200000;
    ZeqVec *v = zeq_vec_new();
    for (int64_t i = 0; i < n; ++i) zeq_vec_push(v, n / 2 - i);
    zeq_vec_sort(v);
    for (int64_t i = 0; i < n; ++i) ASSERT_EQ(zeq_vec_get(v, i), i - n / 2 + 1);
    zeq_vec_sort(v);
    for (int64_t i = 0; i < n; ++i) ASSERT_EQ(zeq_vec_get(v, i), i - n / 2 + 1);
    zeq_vec_fill(v, -3);
    zeq_vec_sort(v);
    EXPECT_EQ(zeq_vec_min(v), -3);
    EXPECT_EQ(zeq_vec_max(v), -3);
    zeq_vec_free(v);
}

TEST(VecEdit, Dedup) {
    ZeqVec *v = from({1, 1, 2, 1, 1});
    zeq_vec_dedup(v);
    EXPECT_EQ(items(v), Items({1, 2, 1}));
    EXPECT_EQ(zeq_vec_cap(v), 8);
    zeq_vec_free(v);

    v = from({4, 4, 4, 4, 4, 4, 4, 4, 4});
    zeq_vec_dedup(v);
    EXPECT_EQ(items(v), Items({4}));
    EXPECT_EQ(zeq_vec_cap(v), 16);
    zeq_vec_free(v);

    v = from({3, 1, 2});
    zeq_vec_dedup(v);
    EXPECT_EQ(items(v), Items({3, 1, 2}));
    zeq_vec_free(v);

    v = zeq_vec_new();
    zeq_vec_dedup(v);
    EXPECT_EQ(zeq_vec_len(v), 0);
    zeq_vec_free(v);
}

TEST(VecEdit, FillTouchesOnlyTheElements) {
    ZeqVec *v = from({1, 2, 3});
    zeq_vec_fill(v, 7);
    EXPECT_EQ(items(v), Items({7, 7, 7}));
    EXPECT_EQ(zeq_vec_len(v), 3);
    zeq_vec_free(v);
}

TEST(VecAggregate, AggregatesOfEmptyVector) {
    ZeqVec *v = zeq_vec_new();
    EXPECT_EQ(zeq_vec_sum(v), 0);
    EXPECT_EQ(zeq_vec_product(v), 1);
    EXPECT_EQ(zeq_vec_min(v), INT64_MAX);
    EXPECT_EQ(zeq_vec_max(v), INT64_MIN);
    EXPECT_EQ(zeq_vec_index_of(v, 0), -1);
    EXPECT_EQ(zeq_vec_contains(v, 0), 0);
    zeq_vec_free(v);
}

TEST(VecAggregate, AggregatesWrapAndCompareSigned) {
    ZeqVec *v = from({INT64_MAX, 1});
    EXPECT_EQ(zeq_vec_sum(v), INT64_MIN);
    EXPECT_EQ(zeq_vec_product(v), INT64_MAX);
    zeq_vec_push(v, 2);
    EXPECT_EQ(zeq_vec_product(v), -2);
    zeq_vec_free(v);

    // Wrapping across the lanes of an unrolled loop: 4 * (2^63 - 1) + 4 = 2^65.
    v = from({INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX, 4});
    EXPECT_EQ(zeq_vec_sum(v), 0);
    zeq_vec_free(v);

    v = from({int64_t{1} << 32, int64_t{1} << 32});
    EXPECT_EQ(zeq_vec_product(v), 0);
    zeq_vec_free(v);

    v = from({3, -7, 12, 0, -2});
    EXPECT_EQ(zeq_vec_sum(v), 6);
    EXPECT_EQ(zeq_vec_product(v), 0);
    EXPECT_EQ(zeq_vec_min(v), -7);
    EXPECT_EQ(zeq_vec_max(v), 12);
    zeq_vec_free(v);

    // Long enough for any unrolled or vectorised loop to run its main body
    // and its remainder.
    ZeqVec *w = zeq_vec_new();
    int64_t sum = 0;
    for (int64_t i = 1; i <= 1003; ++i) {
        int64_t x = (i % 2 ? -i : i) * 1000;
        zeq_vec_push(w, x);
        sum += x;
    }
    EXPECT_EQ(zeq_vec_sum(w), sum);
    EXPECT_EQ(zeq_vec_min(w), -1003000);
    EXPECT_EQ(zeq_vec_max(w), 1002000);
    zeq_vec_fill(w, -1);
    EXPECT_EQ(zeq_vec_product(w), -1);
    zeq_vec_free(w);
}

TEST(VecCapacity, CopyCapacities) {
    ZeqVec *empty = zeq_vec_new();
    ZeqVec *c = zeq_vec_copy(empty);
    EXPECT_EQ(zeq_vec_cap(c), 8);
    EXPECT_EQ(zeq_vec_len(c), 0);
    zeq_vec_free(c);
    zeq_vec_free(empty);

    ZeqVec *v = from({1, 2, 3});
    c = zeq_vec_copy(v);
    EXPECT_NE(c, v);
    EXPECT_NE(c->data, v->data);
    EXPECT_EQ(zeq_vec_cap(c), 3);
    EXPECT_EQ(items(c), Items({1, 2, 3}));
    zeq_vec_set(c, 0, 9);
    EXPECT_EQ(zeq_vec_get(v, 0), 1);
    zeq_vec_push(c, 4);
    EXPECT_EQ(zeq_vec_cap(c), 6);
    zeq_vec_free(c);
    zeq_vec_free(v);
}

TEST(VecEdit, SliceClampsItsBounds) {
    ZeqVec *v = from({10, 11, 12, 13, 14});
    struct Case {
        int64_t start, end;
        Items expect;
        int64_t cap;
    };
    const Case cases[] = {
        {1, 3, {11, 12}, 2},
        {-2, 2, {10, 11}, 2},
        {3, 99, {13, 14}, 2},
        {0, 5, {10, 11, 12, 13, 14}, 5},
        {INT64_MIN, INT64_MAX, {10, 11, 12, 13, 14}, 5},
        {2, 2, {}, 8},
        {3, 1, {}, 8},
        {7, 9, {}, 8},
        {INT64_MAX, INT64_MIN, {}, 8},
        {0, -1, {}, 8},
    };
    for (const Case &k : cases) {
        ZeqVec *s = zeq_vec_slice(v, k.start, k.end);
        EXPECT_EQ(items(s), k.expect) << k.start << ".." << k.end;
        EXPECT_EQ(zeq_vec_cap(s), k.cap) << k.start << ".." << k.end;
        zeq_vec_free(s);
    }
    EXPECT_EQ(items(v), Items({10, 11, 12, 13, 14}));
    zeq_vec_free(v);
}

TEST(VecEdit, Extend) {
    ZeqVec *a = from({1, 2});
    ZeqVec *b = from({3, 4, 5, 6, 7, 8, 9});
    zeq_vec_extend(a, b);
    EXPECT_EQ(items(a), Items({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(zeq_vec_cap(a), 16);
    EXPECT_EQ(zeq_vec_len(b), 7);
    ZeqVec *empty = zeq_vec_new();
    zeq_vec_extend(a, empty);
    EXPECT_EQ(zeq_vec_len(a), 9);
    zeq_vec_extend(empty, b);
    EXPECT_EQ(items(empty), Items({3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(zeq_vec_cap(empty), 8);
    zeq_vec_free(empty);
    zeq_vec_free(b);
    zeq_vec_free(a);

    // Several doublings in one call: 1 -> 2 -> 4 -> 8 -> 16 for 9 elements.
    ZeqVec *one = zeq_vec_with_capacity(1);
    ZeqVec *nine = from({1, 2, 3, 4, 5, 6, 7, 8, 9});
    zeq_vec_extend(one, nine);
    EXPECT_EQ(zeq_vec_cap(one), 16);
    EXPECT_EQ(items(one), items(nine));
    zeq_vec_free(nine);
    zeq_vec_free(one);
}

TEST(VecEdit, ExtendWithItself) {
    ZeqVec *v = from({1, 2});
    zeq_vec_extend(v, v);
    EXPECT_EQ(items(v), Items({1, 2, 1, 2}));
    EXPECT_EQ(zeq_vec_cap(v), 8);

    // Growth moves the buffer while the elements are appended.
    ZeqVec *w = zeq_vec_new();
    for (int64_t i = 0; i < 8; ++i) zeq_vec_push(w, i);
    zeq_vec_extend(w, w);
    EXPECT_EQ(zeq_vec_cap(w), 16);
    EXPECT_EQ(items(w), Items({0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7}));
    zeq_vec_free(w);
    zeq_vec_free(v);
}

TEST(VecCapacity, ManyPushes) {
    ZeqVec *v = zeq_vec_new();
    const int64_t n = 1'000'000;
    for (int64_t i = 0; i < n; ++i) zeq_vec_push(v, i * 3);
    EXPECT_EQ(zeq_vec_len(v), n);
    EXPECT_EQ(zeq_vec_cap(v), 1 << 20);
    EXPECT_EQ(zeq_vec_get(v, n - 1), (n - 1) * 3);
    EXPECT_EQ(zeq_vec_sum(v), 3 * (n * (n - 1) / 2));
    zeq_vec_free(v);
}

// Capacity that cannot double any more, and absurd creation sizes, end in
// the out-of-memory message instead of wrapping.
TEST(VecCapacity, OverflowingGrowthIsOutOfMemory) {
    const char *message = "[zeq] FATAL: out of memory (";
    for (int64_t cap : {int64_t{1} << 62, INT64_MAX}) {
        auto r = zeqtest::run_child([cap] {
            ZeqVec v{cap, cap, nullptr};
            zeq_vec_push(&v, 1);
        });
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    }
    auto r = zeqtest::run_child([] { zeq_vec_with_capacity(INT64_MAX); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    r = zeqtest::run_child([] {
        ZeqVec v{2, 2, nullptr};
        ZeqVec big{INT64_MAX, INT64_MAX, nullptr};
        zeq_vec_extend(&v, &big);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
}

}  // namespace
