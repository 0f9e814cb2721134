// Checked arrays: bounds panics (in a child process, and recorded inside a
// foreign-call region), and push, pop, concat and slice against std::vector
// with their inputs left untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

using Items = std::vector<int64_t>;

// An array block [cap, len, elements...] owned by the test.
Items block(const Items &items) {
    Items b{int64_t(items.size()), int64_t(items.size())};
    b.insert(b.end(), items.begin(), items.end());
    return b;
}

// The elements of a new array (built with arena mode off), which is freed.
Items take(int64_t *arr) {
    EXPECT_EQ(arr[0], arr[1]) << "capacity equals length";
    Items r(arr + 2, arr + 2 + arr[1]);
    std::free(arr);
    return r;
}

int64_t *g_array;
int64_t set_at(int64_t index) {
    zeq_array_set_safe(g_array, index, 1);
    return 0;
}

}  // namespace

TEST(ArrayAccess, OutOfRangeIndexesPanicWithIndexAndLength) {
    struct Case {
        Items items;
        int64_t index;
        bool set;
    };
    const Case cases[] = {{{1, 2, 3}, -1, false}, {{1, 2, 3}, 3, false}, {{}, 0, false},
                          {{1, 2, 3}, 5, true}, {{4}, INT64_MIN, true}};
    for (const Case &c : cases) {
        Items b = block(c.items);
        auto r = zeqtest::run_child([&] {
            c.set ? zeq_array_set_safe(b.data(), c.index, 9) : (void)zeq_array_get_safe(b.data(), c.index);
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "panic: array index " + std::to_string(c.index) + " out of bounds [0, " +
                             std::to_string(c.items.size()) + ")\n");
    }
    Items b = block({10, 20});
    g_array = b.data();
    EXPECT_EQ(zeq_ffi_call(set_at, 2, nullptr), 1);
    EXPECT_STREQ(zeq_ffi_error_message(), "array index 2 out of bounds [0, 2)");
    EXPECT_EQ(b, block({10, 20})) << "nothing written";
    EXPECT_EQ(zeq_ffi_call(set_at, 1, nullptr), 0);
    EXPECT_EQ(zeq_array_get_safe(b.data(), 1), 1) << "set writes in place";
    EXPECT_EQ(zeq_array_len(b.data()), 2);
}

TEST(ArrayBuild, NewArraysMatchVectorsAndInputsStay) {
    const std::vector<Items> samples = {{}, {7}, {1, 2, 3}, {-5, 0, INT64_MAX, INT64_MIN, 9}};
    for (const Items &a : samples) {
        Items ba = block(a);
        const Items before = ba;
        Items pushed = a;
        pushed.push_back(77);
        EXPECT_EQ(take(zeq_array_push(ba.data(), 77)), pushed);
        if (a.empty()) {
            EXPECT_EQ(zeq_array_pop(ba.data()), ba.data()) << "pop of an empty array is the array";
        } else {
            EXPECT_EQ(take(zeq_array_pop(ba.data())), Items(a.begin(), a.end() - 1));
        }
        for (const Items &b : samples) {
            Items bb = block(b), joined = a;
            joined.insert(joined.end(), b.begin(), b.end());
            EXPECT_EQ(take(zeq_array_concat(ba.data(), bb.data())), joined);
        }
        const int64_t n = int64_t(a.size());
        for (int64_t start : {INT64_MIN, int64_t{-2}, int64_t{0}, int64_t{1}, int64_t{3}, int64_t{6}}) {
            for (int64_t end : {int64_t{-1}, int64_t{0}, int64_t{2}, int64_t{5}, INT64_MAX}) {
                int64_t s = std::max<int64_t>(start, 0), e = std::min(end, n);
                int64_t *r = zeq_array_slice(ba.data(), start, end);
                EXPECT_NE(r, ba.data());
                EXPECT_EQ(take(r), s < e ? Items(a.begin() + s, a.begin() + e) : Items{}) << start << ".." << end;
            }
        }
        EXPECT_EQ(ba, before) << "inputs are never changed";
    }
}

TEST(ArrayBuild, ALengthThatCannotGrowEndsWithOutOfMemory) {
    Items huge{INT64_MAX, INT64_MAX};  // a header only: nothing is read before the size test
    for (auto build : {+[](int64_t *a) { zeq_array_push(a, 1); }, +[](int64_t *a) { zeq_array_concat(a, a); }}) {
        auto r = zeqtest::run_child([&] { build(huge.data()); });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("[zeq] FATAL: out of memory", 0), 0u) << r.err;
    }
}
