// Byte-string search: str_find and kmp_search_str on a 1 MiB text whose only
// occurrence of the pattern lies near its end, against glibc memmem.  The
// pattern's first byte is common in the text, so the search cannot stop at
// the first byte that matches.  The argument is the size of the alphabet.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "search_corpus.h"
#include "zeq.h"

namespace {

using zeqbench::Corpus;
using zeqbench::corpus;
using zeqbench::kTextSize;

template <int64_t (*Search)(const ZeqString *, const ZeqString *)>
void BM_zeq(benchmark::State &state) {
    const Corpus &c = corpus(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int64_t r = Search(c.t, c.p);
        if (r != c.expect) state.SkipWithError("wrong position");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kTextSize));
}

void BM_memmem(benchmark::State &state) {
    const Corpus &c = corpus(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const void *hit = memmem(c.text.data(), c.text.size(), c.pattern.data(), c.pattern.size());
        int64_t r = static_cast<const char *>(hit) - c.text.data();
        if (r != c.expect) state.SkipWithError("wrong position");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kTextSize));
}

}  // namespace

BENCHMARK(BM_zeq<str_find>)->Name("str_find/zeq")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_memmem)->Name("str_find/memmem")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zeq<kmp_search_str>)
    ->Name("kmp_search/zeq")
    ->Arg(26)
    ->Arg(4)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_memmem)->Name("kmp_search/memmem")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
