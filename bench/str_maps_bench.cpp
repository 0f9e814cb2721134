// Word counting over a 20 MB text (split once): zeq_str_hashmap_inc per word
// ("word_count") and zeq_strmap_get + zeq_strmap_insert ("strmap_word_count"),
// each against std::unordered_map<std::string_view, int64_t> and
// absl::flat_hash_map<std::string_view, int64_t>, counting into a new map
// per round.
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
    auto &words = const_cast<zeqbench::WordText &>(zeqbench::word_text()).records;
    for (auto _ : state) {
        ZeqStrHashMap *m = zeq_str_hashmap_new();
        for (ZeqString &w : words) zeq_str_hashmap_inc(m, &w, 1);
        benchmark::DoNotOptimize(zeq_str_hashmap_len(m));
        zeq_str_hashmap_free(m);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_CountZeq)->Name("word_count/zeq")->Unit(benchmark::kMillisecond);

void BM_CountStrMap(benchmark::State &state) {
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
BENCHMARK(BM_CountStrMap)->Name("strmap_word_count/zeq")->Unit(benchmark::kMillisecond);

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
// The same anchors under both groups, so each map has its ratios.
#define ZEQ_WORD_COUNT_ANCHORS(group)                                      \
    BENCHMARK(BM_CountStd<std::unordered_map<std::string_view, int64_t>>) \
        ->Name(group "/std_unordered_map")                                 \
        ->Unit(benchmark::kMillisecond);                                   \
    ZEQ_WORD_COUNT_ABSL(group)
#ifdef ZEQ_HAVE_ABSL
#define ZEQ_WORD_COUNT_ABSL(group)                                            \
    BENCHMARK(BM_CountStd<absl::flat_hash_map<std::string_view, int64_t>>) \
        ->Name(group "/absl_flat_hash_map")                                   \
        ->Unit(benchmark::kMillisecond);
#else
#define ZEQ_WORD_COUNT_ABSL(group)
#endif
ZEQ_WORD_COUNT_ANCHORS("word_count")
ZEQ_WORD_COUNT_ANCHORS("strmap_word_count")

}  // namespace
