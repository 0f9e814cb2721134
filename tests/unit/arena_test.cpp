// The per-thread arena: bump allocation, block sizing, the memory limit and
// its message, reset / save / restore / destroy, and the raw-memory services.
// Each case runs on a fresh thread, whose arena starts empty.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

constexpr int64_t kBlock = 8 << 20;

// Runs body on a fresh thread with arena mode on, and releases that thread's
// arena afterwards (which also turns arena mode off).
void in_arena(const std::function<void()> &body) {
    zeqtest::on_fresh_thread([&] {
        zeq_arena_mode(1);
        body();
        zeq_arena_destroy();
    });
}

uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// Source bytes for large strings.
const char *filler() {
    static const std::string bytes(3 * kBlock, 'x');
    return bytes.data();
}

// A string whose byte buffer takes exactly `bytes` (a multiple of 8) bytes.
ZeqString *bytes_of(int64_t bytes) { return zeq_string_new(filler(), bytes - 1); }

// A string that, with its record, fills a standard block: after anything
// else it takes a new block of its own.
ZeqString *fill_block() { return bytes_of(kBlock - 24); }

// Runs body in a child process, on a fresh thread, with the given limit.
zeqtest::ChildResult with_limit(const char *limit, const std::function<void()> &body) {
    return zeqtest::run_child([&] {
        setenv("ZEQ_ARENA_MAX_SIZE", limit, 1);
        in_arena(body);
    });
}

std::string limit_message(int reserved_mb, int max_mb) {
    return "[zeq] FATAL: arena memory limit exceeded (" + std::to_string(reserved_mb) + " MB / " +
           std::to_string(max_mb) +
           " MB max)\n[zeq] Set ZEQ_ARENA_MAX_SIZE environment variable to increase (e.g. 8G)\n";
}

}  // namespace

TEST(ArenaBump, RoundsToEightBytesWithinOneBlock) {
    in_arena([] {
        ZeqString *a = zeq_string_new("x", 1);  // 2 bytes -> 8, record 24
        ZeqString *b = zeq_string_new("", 0);   // 1 byte -> 8
        EXPECT_EQ(zeq_arena_usage(), kBlock);
        EXPECT_EQ(addr(a), addr(a->data) + 8);
        EXPECT_EQ(addr(b->data), addr(a) + 24);
        EXPECT_EQ(addr(b), addr(b->data) + 8);
        EXPECT_EQ(addr(a->data) % 8, 0u);
    });
}

// Strings of random lengths (most short, some large enough to end blocks)
// made by constructors that take the inline path, against a model of the
// two allocations every string makes (its bytes, rounded to 8, then its
// 24-byte record): each lands where the model's bump puts it, or at the
// start of a new block when the current one has no room, and no string
// writes into its neighbours.
TEST(ArenaBump, StringsFollowTheTwoAllocationModelAcrossBlocks) {
    in_arena([] {
        uint64_t seed = 12345;
        auto random = [&seed] { return (seed = seed * 6364136223846793005u + 1442695040888963407u) >> 33; };
        std::vector<std::pair<ZeqString *, std::string>> made;
        uintptr_t cur = 0, end = 0;  // the model's bump range
        int64_t blocks = 0;
        auto place = [&](uintptr_t at, uint64_t size) {
            if (!cur || size > end - cur) {  // a new block
                ++blocks;
                cur = at;
                end = at + (size <= uint64_t(kBlock) ? kBlock : size + 64);
            }
            EXPECT_EQ(at, cur);
            cur += size;
        };
        auto check_in = [&](ZeqString *s, std::string content) {
            place(addr(s->data), (content.size() + 8) & ~size_t(7));
            place(addr(s), sizeof(ZeqString));
            made.emplace_back(s, std::move(content));
        };
        while (blocks < 4) {
            uint64_t pick = random();
            int64_t n = pick % 8 == 0 ? int64_t(random() % (3 << 20)) : int64_t(pick % 41);
            std::string text(filler(), size_t(n));
            switch (pick % 3) {
            case 0:
                check_in(zeq_string_new(text.data(), n), text);
                break;
            case 1:  // the source, then the slice
                check_in(zeq_string_new(filler(), n + 2), std::string(filler(), size_t(n + 2)));
                check_in(zeq_string_slice(made.back().first, 1, n + 1), text);
                break;
            default: {
                char c = char('a' + pick % 26);
                check_in(zeq_chr(c), std::string(1, c));
            }
            }
            ASSERT_EQ(zeq_arena_usage(), blocks * kBlock);
        }
        for (const auto &[s, content] : made) {
            ASSERT_EQ(s->len, int64_t(content.size()));
            ASSERT_EQ(s->cap, s->len);
            ASSERT_EQ(std::string(s->data, content.size() + 1), content + '\0');
        }
    });
}

TEST(ArenaBlocks, ExactBlockSizeAndOversizedBlocks) {
    in_arena([] {
        // Exactly 8 MiB fills a standard block; the record needs a second one.
        ZeqString *s = bytes_of(kBlock);  // exact
        EXPECT_EQ(s->len, kBlock - 1);
        EXPECT_EQ(zeq_arena_usage(), 2 * kBlock);
    });
    in_arena([] {
        // One byte more is rounded to 8,388,616 and gets a block of its own
        // of request + 64 bytes, which still holds the 24-byte record.
        ZeqString *s = zeq_string_new(filler(), kBlock);
        EXPECT_EQ(zeq_arena_usage(), kBlock + 8 + 64);
        EXPECT_EQ(addr(s), addr(s->data) + kBlock + 8);
    });
}

TEST(ArenaModeOff, AllocatesFromMallocWithoutTouchingTheArena) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(0);
        ZeqString *s = zeq_string_new("abc", 3);
        EXPECT_EQ(zeq_arena_usage(), 0);
        EXPECT_EQ(zeq_string_free(s), 0);
        zeq_arena_mode(1);
        zeq_string_new("abc", 3);
        EXPECT_EQ(zeq_arena_usage(), kBlock);
        zeq_arena_mode(0);
        zeq_string_free(zeq_string_new("abc", 3));
        EXPECT_EQ(zeq_arena_usage(), kBlock);
        zeq_arena_destroy();
        EXPECT_EQ(g_arena_enabled, 0);
    });
}

TEST(ArenaReset, KeepsTheFirstBlockEmpty) {
    in_arena([] {
        ZeqString *first = zeq_string_new("a", 1);
        fill_block();
        fill_block();
        EXPECT_EQ(zeq_arena_usage(), 3 * kBlock);
        zeq_arena_reset();
        EXPECT_EQ(zeq_arena_usage(), kBlock);
        ZeqString *again = zeq_string_new("b", 1);
        EXPECT_EQ(again->data, first->data);
    });
    zeqtest::on_fresh_thread([] { EXPECT_EQ(zeq_arena_reset(), 0); });  // empty chain
}

TEST(ArenaReset, ReusesReleasedBlocksWithoutCountingThem) {
    in_arena([] {
        zeq_string_new("a", 1);
        ZeqString *second = fill_block();
        zeq_arena_reset();
        EXPECT_EQ(zeq_arena_usage(), kBlock);
        zeq_string_new("b", 1);
        EXPECT_EQ(fill_block()->data, second->data);  // the same block again
        EXPECT_EQ(zeq_arena_usage(), 2 * kBlock);
    });
}

TEST(ArenaSaveRestore, ReturnsToTheSavePointAcrossBlocks) {
    in_arena([] {
        zeq_string_new("a", 1);
        zeq_arena_save();
        ZeqString *next = zeq_string_new("b", 1);
        const int64_t saved_usage = zeq_arena_usage();
        fill_block();
        fill_block();
        EXPECT_EQ(zeq_arena_usage(), 3 * kBlock);
        zeq_arena_restore();
        EXPECT_EQ(zeq_arena_usage(), saved_usage);
        EXPECT_EQ(zeq_string_new("c", 1)->data, next->data);
        // The save point stays: a second restore goes back to the same place.
        zeq_arena_restore();
        EXPECT_EQ(zeq_string_new("d", 1)->data, next->data);
    });
}

TEST(ArenaSaveRestore, SaveOnAnEmptyArenaRestoresNothing) {
    in_arena([] {
        zeq_arena_save();
        ZeqString *s = zeq_string_new("kept", 4);
        fill_block();
        zeq_arena_restore();
        EXPECT_EQ(zeq_arena_usage(), 2 * kBlock);
        EXPECT_STREQ(s->data, "kept");
    });
}

TEST(ArenaSaveRestore, SavePointDiesWithItsBlock) {
    in_arena([] {
        zeq_string_new("a", 1);
        fill_block();
        zeq_arena_save();  // in the second block
        zeq_arena_reset();
        zeq_arena_restore();  // must not touch the released block
        EXPECT_EQ(zeq_arena_usage(), kBlock);
    });
    in_arena([] {
        zeq_string_new("a", 1);
        zeq_arena_save();  // in the first block: survives a reset
        ZeqString *after_save = zeq_string_new("b", 1);
        fill_block();
        zeq_arena_reset();
        zeq_string_new("c", 1);
        zeq_string_new("d", 1);
        zeq_arena_restore();
        EXPECT_EQ(zeq_string_new("e", 1)->data, after_save->data);
    });
    in_arena([] {
        zeq_string_new("a", 1);
        zeq_arena_save();
        zeq_arena_destroy();
        zeq_arena_mode(1);
        zeq_arena_restore();
        EXPECT_EQ(zeq_arena_usage(), 0);
    });
}

TEST(ArenaLimit, EndsTheProcessWithTheReservedAndMaximumFigures) {
    // 10M: two 8 MiB blocks are granted (8 MiB + a small request <= 10 MiB),
    // the third is refused with 16 MB reserved.
    auto r = with_limit("10M", [] {
        for (int i = 0; i < 40; ++i) bytes_of(1 << 20);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, limit_message(16, 10));
}

TEST(ArenaLimit, ReservedPlusRequestEqualToTheLimitPasses) {
    const int64_t second = kBlock - 24;  // leaves exactly room for the record
    const std::string limit = std::to_string(kBlock + second);
    auto ok = with_limit(limit.c_str(), [&] {
        zeq_string_new("a", 1);
        ZeqString *s = bytes_of(second);
        std::printf("%ld\n", static_cast<long>(zeq_arena_usage() + (addr(s) - addr(s->data))));
    });
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, std::to_string(2 * kBlock + second) + "\n");
    const std::string below = std::to_string(kBlock + second - 1);
    auto refused = with_limit(below.c_str(), [&] {
        zeq_string_new("a", 1);
        bytes_of(second);
    });
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, limit_message(8, 15));
}

TEST(ArenaLimit, ParsesTheEnvironmentVariable) {
    // A single request of 10 GiB exceeds every limit below at once, so the
    // message shows how each value was read.
    const struct {
        const char *value;
        int max_mb;
    } cases[] = {{"8G", 8192}, {"512m", 512}, {"1_000M", 1000}, {"100000", 0},
                 {"512K", 0},  {"0", 4096},   {"G", 4096},      {"", 4096}};
    for (const auto &c : cases) {
        auto r = with_limit(c.value, [] { zeq_string_new(filler(), (int64_t{10} << 30)); });
        EXPECT_EQ(r.status, 1) << c.value;
        EXPECT_EQ(r.err, limit_message(0, c.max_mb)) << c.value;
    }
    // Past 2^64 the limit saturates instead of wrapping to something small.
    auto huge = with_limit("99999999999999999999999G", [] { fill_block(); fill_block(); });
    EXPECT_EQ(huge.status, 0) << huge.err;
}

TEST(ArenaLimit, ThreadsMeasureOnlyTheirOwnBlocks) {
    auto r = with_limit("12M", [] {
        bytes_of(1 << 20);
        zeqtest::on_fresh_thread([] { bytes_of(1 << 20); });
        bytes_of(1 << 20);
        std::printf("%ld\n", static_cast<long>(zeq_arena_usage()));
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::to_string(kBlock) + "\n");
}

TEST(ArenaLimit, SpareBlocksStayWithinTheLimit) {
    // Five blocks filled, a reset (four kept as spares), then a 31 MiB
    // string: spares are given back first, so the arena never holds more
    // than the limit plus part of one block.
    filler();
    auto r = with_limit("48M", [] {
        const std::string big(31 << 20, 'y');
        const int64_t base = zeqtest::live_heap_bytes();
        zeq_string_new("a", 1);
        for (int i = 0; i < 4; ++i) fill_block();
        zeq_arena_reset();
        zeq_string_new(big.data(), static_cast<int64_t>(big.size()));
        std::printf("%d\n", zeqtest::live_heap_bytes() - base <= (48 << 20) + kBlock);
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\n");
}

TEST(ArenaRelease, DestroyGivesEveryBlockBack) {
    filler();
    zeqtest::on_fresh_thread([] {
        const int64_t base = zeqtest::live_heap_bytes();
        zeq_arena_mode(1);
        zeq_string_new("a", 1);
        for (int i = 0; i < 3; ++i) fill_block();
        zeq_arena_reset();  // spare blocks are held too
        fill_block();
        zeq_string_new(filler(), kBlock);  // an oversized block
        EXPECT_GE(zeqtest::live_heap_bytes() - base, 4 * kBlock);
        zeq_arena_destroy();
        EXPECT_LT(zeqtest::live_heap_bytes() - base, 1 << 20);
    });
}

TEST(OutOfMemory, EndsTheProcessWithOneLine) {
    auto r = zeqtest::run_child([] {
        zeq_arena_mode(0);
        zeq_string_new(filler(), INT64_MAX - 1);
    });
    EXPECT_EQ(r.status, 1);
    const std::string line = "[zeq] FATAL: out of memory (9223372036854775807 bytes requested)\n";
    if (ZEQ_TEST_SANITIZED)  // the sanitizer adds a warning of its own first
        EXPECT_TRUE(r.err.size() >= line.size() && r.err.substr(r.err.size() - line.size()) == line) << r.err;
    else
        EXPECT_EQ(r.err, line);
}

TEST(RawMemory, LoadsStoresAndBoxes) {
    unsigned char bytes[16] = {};
    zeq_store_i64(bytes + 1, -2);  // unaligned is fine
    EXPECT_EQ(zeq_load_i64(bytes + 1), -2);
    zeq_store_u8(bytes, 0x1FF);
    EXPECT_EQ(zeq_load_u8(bytes), 255);
    EXPECT_EQ(load_u8(bytes + 1), 0xFE);
    int64_t *box = zeq_box_new_i64(42);
    EXPECT_EQ(*box, 42);
    std::free(box);
    auto *zeroed = static_cast<int64_t *>(zeq_calloc(4, 8));
    EXPECT_EQ(zeroed[0] | zeroed[3], 0);
    std::free(zeroed);
}
