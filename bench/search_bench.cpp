// Byte-string search: str_find and kmp_search_str on a 1 MiB text whose only
// occurrence of the pattern lies near its end, against glibc memmem.  The
// pattern's first byte is common in the text, so the search cannot stop at
// the first byte that matches.  The argument is the size of the alphabet.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "zeq.h"

namespace {

constexpr size_t kTextSize = 1 << 20;
constexpr size_t kPatternSize = 24;
constexpr size_t kPatternAt = kTextSize - 300;

struct Corpus {
    std::string text, pattern;
    ZeqString *t = nullptr, *p = nullptr;
    int64_t expect = -1;
};

// Pseudo-random letters from an alphabet of the given size; the pattern is
// taken from near the end, where the search finds it first.
const Corpus &corpus(int alphabet) {
    static Corpus cache[27];
    Corpus &c = cache[alphabet];
    if (c.t) return c;
    std::mt19937_64 rng(static_cast<uint64_t>(alphabet) * 7919);
    c.text.resize(kTextSize);
    for (auto &ch : c.text) ch = static_cast<char>('a' + rng() % static_cast<uint64_t>(alphabet));
    c.pattern = c.text.substr(kPatternAt, kPatternSize);
    c.t = zeq_string_new(c.text.data(), static_cast<int64_t>(c.text.size()));
    c.p = zeq_string_new(c.pattern.data(), static_cast<int64_t>(c.pattern.size()));
    const void *hit = memmem(c.text.data(), c.text.size(), c.pattern.data(), c.pattern.size());
    c.expect = static_cast<const char *>(hit) - c.text.data();
    return c;
}

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
