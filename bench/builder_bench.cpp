// String builder: decimal integers and short strings appended to a builder,
// against std::to_chars into a buffer and std::string::append.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "zeq.h"

namespace {

constexpr int64_t kIntCount = 10000000;

// The same sequence of values on both sides: every sign and digit count.
struct Values {
    uint64_t x = 0x243F6A8885A308D3ull;
    int64_t next() {
        x += 0x9E3779B97F4A7C15ull;
        uint64_t z = x ^ (x >> 29);
        return static_cast<int64_t>(z) >> (z >> 58);
    }
};

void BM_push_int_zeq(benchmark::State &state) {
    ZeqStringBuilder *b = zeq_sb_with_capacity(kIntCount * 21);
    // Faulted in before the timing, as the anchor's zero-filled buffer is.
    std::memset(b->data, 0, static_cast<size_t>(b->cap));
    for (auto _ : state) {
        zeq_sb_clear(b);
        Values v;
        for (int64_t i = 0; i < kIntCount; ++i) zeq_sb_push_int(b, v.next());
        benchmark::DoNotOptimize(b->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kIntCount);
    zeq_sb_free(b);
}

void BM_push_int_to_chars(benchmark::State &state) {
    std::vector<char> buffer(static_cast<size_t>(kIntCount * 21));
    char *end = buffer.data() + buffer.size();
    for (auto _ : state) {
        char *p = buffer.data();
        Values v;
        for (int64_t i = 0; i < kIntCount; ++i) p = std::to_chars(p, end, v.next()).ptr;
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kIntCount);
}

constexpr int kPushCount = 1000000;

std::vector<std::string> short_texts() {
    return {"a",           "key",        "value",      "hello", ", ",
            "zeq runtime", "0123456789", "\"quoted\"", "x=y;",  "end"};
}

void BM_push_zeq(benchmark::State &state) {
    std::vector<ZeqString *> texts;
    for (const auto &t : short_texts())
        texts.push_back(zeq_string_new(t.data(), static_cast<int64_t>(t.size())));
    ZeqStringBuilder *b = zeq_sb_new();
    for (auto _ : state) {
        zeq_sb_clear(b);
        size_t k = 0;
        for (int i = 0; i < kPushCount; ++i) {
            zeq_sb_push(b, texts[k]);
            if (++k == texts.size()) k = 0;
        }
        benchmark::DoNotOptimize(b->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPushCount);
    zeq_sb_free(b);
    for (ZeqString *s : texts) zeq_string_free(s);
}

void BM_push_std_string(benchmark::State &state) {
    std::vector<std::string> texts = short_texts();
    std::string out;
    for (auto _ : state) {
        out.clear();
        size_t k = 0;
        for (int i = 0; i < kPushCount; ++i) {
            out.append(texts[k]);
            if (++k == texts.size()) k = 0;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPushCount);
}

}  // namespace

BENCHMARK(BM_push_int_zeq)->Name("sb_push_int/zeq")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_push_int_to_chars)->Name("sb_push_int/std_to_chars")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_push_zeq)->Name("sb_push/zeq")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_push_std_string)->Name("sb_push/std_string")->Unit(benchmark::kMicrosecond);
