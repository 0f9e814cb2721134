// Text services against their standard-library anchors, in one run:
//  - index_of: zeq_string_index_of on a 1 MiB text whose only occurrence of
//    a 24-byte pattern lies near its end (alphabet of 26 or 4 letters), vs
//    glibc memmem and std::string_view::find;
//  - int_to_string: 4096 integers of mixed sizes to new strings (arena
//    mode, and arena mode off), vs std::to_chars into a malloc'd buffer;
//  - f64_to_string: 4096 doubles of mixed magnitudes to "%.9g" text, vs
//    snprintf into a stack buffer;
//  - split_whitespace: a 10 MB text of words cut into a string vector (arena
//    mode, reset each round), vs a std::string_view loop collecting the
//    words into a std::vector<std::string_view>.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "search_corpus.h"
#include "zeq.h"

namespace {

// ---------------------------------------------------------------------------
// index_of

using zeqbench::Corpus;
using zeqbench::corpus;
using zeqbench::kTextSize;

void finish_search(benchmark::State &state, int64_t got, int64_t want) {
    if (got != want) state.SkipWithError("wrong position");
}

void BM_IndexOfZeq(benchmark::State &state) {
    const Corpus &c = corpus(static_cast<int>(state.range(0)));
    int64_t r = -1;
    for (auto _ : state) {
        r = zeq_string_index_of(c.t, c.p);
        benchmark::DoNotOptimize(r);
    }
    finish_search(state, r, c.expect);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kTextSize));
}

void BM_IndexOfMemmem(benchmark::State &state) {
    const Corpus &c = corpus(static_cast<int>(state.range(0)));
    int64_t r = -1;
    for (auto _ : state) {
        const void *hit = memmem(c.text.data(), c.text.size(), c.pattern.data(), c.pattern.size());
        r = static_cast<const char *>(hit) - c.text.data();
        benchmark::DoNotOptimize(r);
    }
    finish_search(state, r, c.expect);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kTextSize));
}

void BM_IndexOfStringView(benchmark::State &state) {
    const Corpus &c = corpus(static_cast<int>(state.range(0)));
    std::string_view text(c.text), pattern(c.pattern);
    int64_t r = -1;
    for (auto _ : state) {
        r = static_cast<int64_t>(text.find(pattern));
        benchmark::DoNotOptimize(r);
    }
    finish_search(state, r, c.expect);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kTextSize));
}

// ---------------------------------------------------------------------------
// Integers and doubles to text

constexpr int kValues = 4096;

const std::vector<int64_t> &integers() {
    static std::vector<int64_t> v = [] {
        std::mt19937_64 rng(17);
        std::vector<int64_t> r(kValues);
        for (auto &x : r) x = static_cast<int64_t>(rng() >> (rng() % 64)) * ((rng() & 1) ? -1 : 1);
        return r;
    }();
    return v;
}

const std::vector<double> &doubles() {
    static std::vector<double> v = [] {
        std::mt19937_64 rng(19);
        std::vector<double> r(kValues);
        for (auto &x : r) {
            double m = static_cast<double>(rng() % 100000000) / 1000.0;
            x = m * std::pow(10.0, static_cast<int>(rng() % 30) - 15) * ((rng() & 1) ? -1 : 1);
        }
        return r;
    }();
    return v;
}

// In arena mode, the normal state of a zeq program (the arena is reset each
// round, as the malloc anchors free each string).
void BM_IntZeq(benchmark::State &state) {
    const auto &v = integers();
    zeq_arena_mode(1);
    for (auto _ : state) {
        for (int64_t x : v) benchmark::DoNotOptimize(zeq_int_to_string(x)->data);
        zeq_arena_reset();
    }
    zeq_arena_destroy();
    state.SetItemsProcessed(state.iterations() * kValues);
}

// Arena mode off: the bytes and the record are two malloc blocks.
void BM_IntZeqMalloc(benchmark::State &state) {
    const auto &v = integers();
    for (auto _ : state)
        for (int64_t x : v) {
            ZeqString *s = zeq_int_to_string(x);
            benchmark::DoNotOptimize(s->data);
            zeq_string_free(s);
        }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_IntToChars(benchmark::State &state) {
    const auto &v = integers();
    for (auto _ : state)
        for (int64_t x : v) {
            char tmp[24];
            auto res = std::to_chars(tmp, tmp + sizeof tmp, x);
            size_t n = static_cast<size_t>(res.ptr - tmp);
            char *s = static_cast<char *>(std::malloc(n + 1));
            std::memcpy(s, tmp, n);
            s[n] = 0;
            benchmark::DoNotOptimize(s);
            std::free(s);
        }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_F64Zeq(benchmark::State &state) {
    const auto &v = doubles();
    for (auto _ : state)
        for (double x : v) {
            ZeqString *s = zeq_f64_to_string(x);
            benchmark::DoNotOptimize(s->data);
            zeq_string_free(s);
        }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_F64Snprintf(benchmark::State &state) {
    const auto &v = doubles();
    for (auto _ : state)
        for (double x : v) {
            char tmp[32];
            int n = std::snprintf(tmp, sizeof tmp, "%.9g", x);
            benchmark::DoNotOptimize(n);
            benchmark::DoNotOptimize(tmp);
        }
    state.SetItemsProcessed(state.iterations() * kValues);
}

// ---------------------------------------------------------------------------
// Whitespace split of 10 MB

const std::string &words_text() {
    static std::string text = [] {
        std::mt19937_64 rng(23);
        std::string t;
        t.reserve(10 << 20);
        while (t.size() < (10u << 20)) {
            size_t len = 1 + rng() % 9;
            for (size_t i = 0; i < len; ++i) t += static_cast<char>('a' + rng() % 26);
            t += " \t\n\r"[rng() % 8 == 0 ? 1 + rng() % 3 : 0];
            if (rng() % 16 == 0) t += ' ';
        }
        return t;
    }();
    return text;
}

void BM_SplitZeq(benchmark::State &state) {
    const std::string &t = words_text();
    ZeqString *s = zeq_string_new(t.data(), static_cast<int64_t>(t.size()));
    zeq_arena_mode(1);
    int64_t words = 0;
    for (auto _ : state) {
        int64_t h = zeq_str_split_whitespace(s);
        words = zeq_svec_len(h);
        benchmark::DoNotOptimize(words);
        zeq_svec_free(h);
        zeq_arena_reset();
    }
    zeq_arena_destroy();
    zeq_string_free(s);
    state.counters["words"] = static_cast<double>(words);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(t.size()));
}

void BM_SplitStringView(benchmark::State &state) {
    const std::string &t = words_text();
    for (auto _ : state) {
        std::vector<std::string_view> words;
        std::string_view rest(t);
        const char *ws = " \t\n\r";
        for (;;) {
            size_t b = rest.find_first_not_of(ws);
            if (b == std::string_view::npos) break;
            rest.remove_prefix(b);
            size_t e = rest.find_first_of(ws);
            if (e == std::string_view::npos) e = rest.size();
            words.push_back(rest.substr(0, e));
            rest.remove_prefix(e);
        }
        benchmark::DoNotOptimize(words.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(t.size()));
}

}  // namespace

BENCHMARK(BM_IndexOfZeq)->Name("index_of/zeq")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexOfMemmem)->Name("index_of/memmem")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexOfStringView)->Name("index_of/string_view_find")->Arg(26)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IntZeq)->Name("int_to_string/zeq")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IntZeqMalloc)->Name("int_to_string/zeq_malloc_mode")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IntToChars)->Name("int_to_string/to_chars_malloc")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_F64Zeq)->Name("f64_to_string/zeq")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_F64Snprintf)->Name("f64_to_string/snprintf")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SplitZeq)->Name("split_whitespace/zeq")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitStringView)->Name("split_whitespace/string_view_loop")->Unit(benchmark::kMillisecond);
