// Word counting over a 20 MB text (split once) through the string map's
// zeq_strmap_get and zeq_strmap_insert, against
// std::unordered_map<std::string_view, int64_t> and
// absl::flat_hash_map<std::string_view, int64_t>, a new map per round.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <unordered_map>

#ifdef ZEQ_HAVE_ABSL
#include <absl/container/flat_hash_map.h>
#endif

#include "word_text.h"
#include "zeq.h"

namespace {

void BM_CountZeq(benchmark::State &state) {
    const auto &words = zeqbench::word_text().records;
    for (auto _ : state) {
        ZeqStrMap *m = zeq_strmap_new();
        for (const ZeqString &w : words) {
            int64_t n = zeq_strmap_get(m, &w);  // -1 when absent
            zeq_strmap_insert(m, &w, n < 0 ? 1 : n + 1);
        }
        benchmark::DoNotOptimize(zeq_strmap_size(m));
        zeq_strmap_free(m);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_CountZeq)->Name("strmap_word_count/zeq")->Unit(benchmark::kMillisecond);

template <class Map>
void BM_CountStd(benchmark::State &state) {
    const auto &words = zeqbench::word_text().views;
    for (auto _ : state) {
        Map m;
        for (std::string_view w : words) ++m[w];
        benchmark::DoNotOptimize(m.size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_CountStd<std::unordered_map<std::string_view, int64_t>>)
    ->Name("strmap_word_count/std_unordered_map")
    ->Unit(benchmark::kMillisecond);
#ifdef ZEQ_HAVE_ABSL
BENCHMARK(BM_CountStd<absl::flat_hash_map<std::string_view, int64_t>>)
    ->Name("strmap_word_count/absl_flat_hash_map")
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
