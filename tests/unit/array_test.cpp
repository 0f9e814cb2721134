// Checked arrays: bounds-tested access (panics observed in a child process
// and inside a foreign-call region), and push, pop, concat and slice checked
// against std::vector with their inputs left untouched.
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
struct Block {
    std::vector<int64_t> words;
    explicit Block(const Items &items) : words{static_cast<int64_t>(items.size()), static_cast<int64_t>(items.size())} {
        words.insert(words.end(), items.begin(), items.end());
    }
    int64_t *arr() { return words.data(); }
};

Items items(const int64_t *arr) {
    EXPECT_EQ(arr[0], arr[1]) << "capacity equals length";
    return Items(arr + 2, arr + 2 + arr[1]);
}

// The elements of an array built with arena mode off, which is then freed.
Items take(int64_t *arr) {
    Items r = items(arr);
    std::free(arr);
    return r;
}

const std::vector<Items> kSamples = {{}, {7}, {1, 2, 3}, {-5, 0, INT64_MAX, INT64_MIN, 9}};

}  // namespace

TEST(ArrayAccess, GetAndSetInRange) {
    Block b({10, 20, 30});
    EXPECT_EQ(zeq_array_len(b.arr()), 3);
    for (int64_t i = 0; i < 3; ++i) EXPECT_EQ(zeq_array_get_safe(b.arr(), i), 10 * (i + 1));
    zeq_array_set_safe(b.arr(), 1, -4);
    EXPECT_EQ(b.words[3], -4) << "set writes in place";
    EXPECT_EQ(zeq_array_get_safe(b.arr(), 1), -4);
}

TEST(ArrayAccess, OutOfRangePanicsWithIndexAndLength) {
    struct Case {
        Items items;
        int64_t index;
        bool set;
        std::string err;
    };
    const Case cases[] = {
        {{1, 2, 3}, -1, false, "panic: array index -1 out of bounds [0, 3)\n"},
        {{1, 2, 3}, 3, false, "panic: array index 3 out of bounds [0, 3)\n"},
        {{}, 0, false, "panic: array index 0 out of bounds [0, 0)\n"},
        {{1, 2, 3}, 5, true, "panic: array index 5 out of bounds [0, 3)\n"},
        {{4}, INT64_MIN, true, "panic: array index -9223372036854775808 out of bounds [0, 1)\n"},
    };
    for (const Case &c : cases) {
        Block b(c.items);
        Items before = b.words;
        auto r = zeqtest::run_child([&] {
            if (c.set)
                zeq_array_set_safe(b.arr(), c.index, 99);
            else
                zeq_array_get_safe(b.arr(), c.index);
            std::printf("returned");
        });
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1) << c.index;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(b.words, before);
    }
}

namespace {
int64_t *g_region_array;
int64_t set_out_of_range(int64_t index) {
    zeq_array_set_safe(g_region_array, index, 1);
    return 0;
}
}  // namespace

TEST(ArrayAccess, InsideARegionThePanicIsRecordedAndNothingWritten) {
    Block b({1, 2});
    g_region_array = b.arr();
    int64_t result = 42;
    EXPECT_EQ(zeq_ffi_call(set_out_of_range, 2, &result), 1);
    EXPECT_STREQ(zeq_ffi_error_message(), "array index 2 out of bounds [0, 2)");
    EXPECT_EQ(result, 42);
    EXPECT_EQ(items(b.arr()), (Items{1, 2}));
    EXPECT_EQ(zeq_ffi_call(set_out_of_range, 1, &result), 0);
    EXPECT_EQ(items(b.arr()), (Items{1, 1}));
}

TEST(ArrayBuild, PushPopConcatAgainstVector) {
    for (const Items &a : kSamples) {
        Block ba(a);
        const Items before = ba.words;

        Items pushed = a;
        pushed.push_back(77);
        EXPECT_EQ(take(zeq_array_push(ba.arr(), 77)), pushed);

        int64_t *popped = zeq_array_pop(ba.arr());
        if (a.empty()) {
            EXPECT_EQ(popped, ba.arr()) << "pop of an empty array is the array itself";
        } else {
            EXPECT_NE(popped, ba.arr());
            EXPECT_EQ(take(popped), Items(a.begin(), a.end() - 1));
        }

        for (const Items &b : kSamples) {
            Block bb(b);
            Items joined = a;
            joined.insert(joined.end(), b.begin(), b.end());
            int64_t *c = zeq_array_concat(ba.arr(), bb.arr());
            EXPECT_NE(c, ba.arr());
            EXPECT_EQ(take(c), joined);
        }
        EXPECT_EQ(ba.words, before) << "inputs are never changed";
    }
}

TEST(ArrayBuild, SliceClampsAndEmptyRangesGiveTwoZeroWords) {
    Block b({10, 11, 12, 13, 14});
    const int64_t n = 5;
    const int64_t bounds[] = {INT64_MIN, -2, 0, 1, 3, 5, 6, INT64_MAX};
    for (int64_t start : bounds) {
        for (int64_t end : bounds) {
            int64_t s = std::max<int64_t>(start, 0), e = std::min(end, n);
            Items want = s < e ? Items(b.words.begin() + 2 + s, b.words.begin() + 2 + e) : Items{};
            int64_t *r = zeq_array_slice(b.arr(), start, end);
            if (want.empty()) {
                EXPECT_EQ(r[0], 0);
            }
            EXPECT_EQ(take(r), want) << start << ".." << end;
        }
    }
    EXPECT_EQ(items(b.arr()), (Items{10, 11, 12, 13, 14}));
}

TEST(ArrayBuild, ResultsComeFromTheArenaInArenaMode) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(1);
        Block b({1, 2, 3});
        int64_t before = zeq_arena_usage();
        int64_t *r = zeq_array_push(b.arr(), 4);
        for (int i = 0; i < 1000; ++i) r = zeq_array_push(r, i);
        EXPECT_EQ(zeq_array_len(r), 1004);
        EXPECT_GT(zeq_arena_usage(), before);
        EXPECT_EQ(zeq_array_get_safe(r, 1003), 999);
        zeq_arena_destroy();
    });
}
