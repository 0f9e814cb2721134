// The integer hash map against absl::flat_hash_map and std::unordered_map:
// 100,000 inserts of random keys into a new map, then 100,000 lookups of
// present keys (hits) and of absent keys (misses).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

#ifdef ZEQ_HAVE_ABSL
#include <absl/container/flat_hash_map.h>
#endif

#include "zeq.h"

namespace {

constexpr int64_t kKeys = 100'000;

struct Keys {
    std::vector<int64_t> present;  // insertion order
    std::vector<int64_t> hits;     // the same keys, shuffled
    std::vector<int64_t> misses;   // keys that are never inserted
};

const Keys &keys() {
    static const Keys k = [] {
        std::mt19937_64 rng(42);
        Keys r;
        std::vector<int64_t> all;
        while (all.size() < 2 * kKeys) {
            for (size_t i = all.size(); i < 2 * kKeys; ++i) all.push_back(static_cast<int64_t>(rng()));
            std::sort(all.begin(), all.end());
            all.erase(std::unique(all.begin(), all.end()), all.end());
        }
        std::shuffle(all.begin(), all.end(), rng);
        r.present.assign(all.begin(), all.begin() + kKeys);
        r.misses.assign(all.begin() + kKeys, all.end());
        r.hits = r.present;
        std::shuffle(r.hits.begin(), r.hits.end(), rng);
        return r;
    }();
    return k;
}

// ---- insert: a new map per round ----------------------------------------------

void BM_InsertZeq(benchmark::State &state) {
    const auto &k = keys();
    for (auto _ : state) {
        ZeqHashMap *m = hashmap_new();
        for (int64_t key : k.present) hashmap_insert(m, key, key);
        benchmark::DoNotOptimize(hashmap_len(m));
        hashmap_free(m);
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_InsertZeq)->Name("int_map_insert/zeq")->Unit(benchmark::kMicrosecond);

template <class Map>
void BM_InsertStd(benchmark::State &state) {
    const auto &k = keys();
    for (auto _ : state) {
        Map m;
        for (int64_t key : k.present) m[key] = key;
        benchmark::DoNotOptimize(m.size());
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_InsertStd<std::unordered_map<int64_t, int64_t>>)
    ->Name("int_map_insert/std_unordered_map")
    ->Unit(benchmark::kMicrosecond);
#ifdef ZEQ_HAVE_ABSL
BENCHMARK(BM_InsertStd<absl::flat_hash_map<int64_t, int64_t>>)
    ->Name("int_map_insert/absl_flat_hash_map")
    ->Unit(benchmark::kMicrosecond);
#endif

// ---- lookups in a map of 100,000 keys -------------------------------------

void BM_LookupZeq(benchmark::State &state, bool hits) {
    const auto &k = keys();
    ZeqHashMap *m = hashmap_new();
    for (int64_t key : k.present) hashmap_insert(m, key, key);
    const auto &probe = hits ? k.hits : k.misses;
    for (auto _ : state) {
        int64_t sum = 0;
        for (int64_t key : probe) sum += hashmap_get(m, key);
        benchmark::DoNotOptimize(sum);
    }
    hashmap_free(m);
    state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK_CAPTURE(BM_LookupZeq, hit, true)->Name("int_map_hit/zeq")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LookupZeq, miss, false)->Name("int_map_miss/zeq")->Unit(benchmark::kMicrosecond);

template <class Map, bool hits>
void BM_LookupStd(benchmark::State &state) {
    const auto &k = keys();
    Map m;
    for (int64_t key : k.present) m[key] = key;
    const auto &probe = hits ? k.hits : k.misses;
    for (auto _ : state) {
        int64_t sum = 0;
        for (int64_t key : probe) {
            auto it = m.find(key);
            sum += it != m.end() ? it->second : INT64_MIN;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}
using StdMap = std::unordered_map<int64_t, int64_t>;
BENCHMARK_TEMPLATE2(BM_LookupStd, StdMap, true)
    ->Name("int_map_hit/std_unordered_map")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE2(BM_LookupStd, StdMap, false)
    ->Name("int_map_miss/std_unordered_map")
    ->Unit(benchmark::kMicrosecond);
#ifdef ZEQ_HAVE_ABSL
using AbslMap = absl::flat_hash_map<int64_t, int64_t>;
BENCHMARK_TEMPLATE2(BM_LookupStd, AbslMap, true)
    ->Name("int_map_hit/absl_flat_hash_map")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE2(BM_LookupStd, AbslMap, false)
    ->Name("int_map_miss/absl_flat_hash_map")
    ->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
