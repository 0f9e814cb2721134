// The integer vector against the C++ standard library: sorting 1,000,000
// random words, appending 10,000,000 values, and summing 1,000,000 values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "zeq.h"

namespace {

// Sort and sum work on the same 1,000,000 random words.
constexpr int64_t kWordCount = 1'000'000;
constexpr int64_t kPushCount = 10'000'000;

// The same random words (negative values included) for every contender.
const std::vector<int64_t> &random_words() {
    static const std::vector<int64_t> words = [] {
        std::mt19937_64 rng(42);
        std::vector<int64_t> w(static_cast<size_t>(kWordCount));
        for (auto &x : w) x = static_cast<int64_t>(rng());
        return w;
    }();
    return words;
}

ZeqVec *vec_of(const std::vector<int64_t> &words) {
    ZeqVec *v = zeq_vec_with_capacity(static_cast<int64_t>(words.size()));
    for (int64_t x : words) zeq_vec_push(v, x);
    return v;
}

// ---- sort: the data is refilled outside the timed region ----------------

void BM_SortZeq(benchmark::State &state) {
    const auto &words = random_words();
    ZeqVec *v = vec_of(words);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(v->data, words.data(), words.size() * sizeof(int64_t));
        state.ResumeTiming();
        zeq_vec_sort(v);
        benchmark::ClobberMemory();
    }
    zeq_vec_free(v);
    state.SetItemsProcessed(state.iterations() * kWordCount);
}
BENCHMARK(BM_SortZeq)->Name("vec_sort/zeq")->Unit(benchmark::kMillisecond);

void BM_SortStd(benchmark::State &state) {
    const auto &words = random_words();
    std::vector<int64_t> v(words.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(words.begin(), words.end(), v.begin());
        state.ResumeTiming();
        std::sort(v.begin(), v.end());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWordCount);
}
BENCHMARK(BM_SortStd)->Name("vec_sort/std_sort")->Unit(benchmark::kMillisecond);

// ---- push: a new vector each iteration, grown from its default size -----

void BM_PushZeq(benchmark::State &state) {
    for (auto _ : state) {
        ZeqVec *v = zeq_vec_new();
        for (int64_t i = 0; i < kPushCount; ++i) zeq_vec_push(v, i);
        benchmark::DoNotOptimize(v->data);
        zeq_vec_free(v);
    }
    state.SetItemsProcessed(state.iterations() * kPushCount);
}
BENCHMARK(BM_PushZeq)->Name("vec_push/zeq")->Unit(benchmark::kMillisecond);

void BM_PushStd(benchmark::State &state) {
    for (auto _ : state) {
        std::vector<int64_t> v;
        for (int64_t i = 0; i < kPushCount; ++i) v.push_back(i);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * kPushCount);
}
BENCHMARK(BM_PushStd)->Name("vec_push/std_vector")->Unit(benchmark::kMillisecond);

// ---- sum ------------------------------------------------------------------

void BM_SumZeq(benchmark::State &state) {
    ZeqVec *v = vec_of(random_words());
    for (auto _ : state) benchmark::DoNotOptimize(zeq_vec_sum(v));
    zeq_vec_free(v);
    state.SetItemsProcessed(state.iterations() * kWordCount);
}
BENCHMARK(BM_SumZeq)->Name("vec_sum/zeq")->Unit(benchmark::kMicrosecond);

void BM_SumStd(benchmark::State &state) {
    const auto &words = random_words();
    for (auto _ : state) {
        // Unsigned accumulation: the same wrapping sum, without signed overflow.
        uint64_t sum = std::accumulate(words.begin(), words.end(), uint64_t{0});
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kWordCount);
}
BENCHMARK(BM_SumStd)->Name("vec_sum/std_accumulate")->Unit(benchmark::kMicrosecond);

}  // namespace
