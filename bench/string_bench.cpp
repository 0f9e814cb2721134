// Making one million short strings: zeq_string_new in arena mode (the normal
// state of a zeq program), the same with arena mode off (malloc), and
// std::string.  Every round releases what it made, as a program's arena or
// heap would.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "zeq.h"

namespace {

constexpr int kCount = 1000000;
const char kText[] = "short text";  // fits std::string's small-string buffer
const char kLonger[] = "a string that is too long for the small-string buffer";

void BM_ArenaStrings(benchmark::State &state, const char *text, int64_t n) {
    zeq_arena_mode(1);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) benchmark::DoNotOptimize(zeq_string_new(text, n));
        state.PauseTiming();
        zeq_arena_reset();
        state.ResumeTiming();
    }
    zeq_arena_destroy();
}

void BM_MallocStrings(benchmark::State &state, const char *text, int64_t n) {
    std::vector<ZeqString *> made(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) made[i] = zeq_string_new(text, n);
        benchmark::DoNotOptimize(made.data());
        state.PauseTiming();
        for (ZeqString *s : made) zeq_string_free(s);
        state.ResumeTiming();
    }
}

void BM_StdStrings(benchmark::State &state, const char *text, int64_t n) {
    std::vector<std::string> made;
    made.reserve(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) made.emplace_back(text, static_cast<size_t>(n));
        benchmark::DoNotOptimize(made.data());
        state.PauseTiming();
        made.clear();
        state.ResumeTiming();
    }
}

// Not a contender but a bound: the memory every arena string takes (its
// bytes rounded up to 8, then the 24-byte record) written inline, without a
// call, into five reused 8 MiB blocks as the arena's would be.  No
// constructor that returns that record layout can beat it.
void BM_LayoutFloor(benchmark::State &state, const char *text, int64_t n) {
    constexpr size_t kBlock = 8u << 20;
    const size_t stride = ((static_cast<size_t>(n) + 8) & ~size_t{7}) + sizeof(ZeqString);
    std::vector<std::vector<char>> blocks(kCount / (kBlock / stride) + 1, std::vector<char>(kBlock));
    for (auto _ : state) {
        size_t block = 0, used = 0;
        for (int i = 0; i < kCount; ++i) {
            if (kBlock - used < stride) ++block, used = 0;
            char *p = blocks[block].data() + used;
            std::memcpy(p, text, static_cast<size_t>(n));
            p[n] = '\0';
            auto *s = reinterpret_cast<ZeqString *>(p + stride - sizeof(ZeqString));
            *s = ZeqString{p, n, n};
            used += stride;
            benchmark::DoNotOptimize(s);
        }
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_ArenaStrings, short, kText, sizeof kText - 1)->Name("string_new_short/zeq")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LayoutFloor, short, kText, sizeof kText - 1)->Name("string_new_short/layout_floor")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MallocStrings, short, kText, sizeof kText - 1)->Name("string_new_short/zeq_malloc_mode")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StdStrings, short, kText, sizeof kText - 1)->Name("string_new_short/std_string")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ArenaStrings, long, kLonger, sizeof kLonger - 1)->Name("string_new_54b/zeq")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MallocStrings, long, kLonger, sizeof kLonger - 1)->Name("string_new_54b/zeq_malloc_mode")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StdStrings, long, kLonger, sizeof kLonger - 1)->Name("string_new_54b/std_string")->Unit(benchmark::kMillisecond);
