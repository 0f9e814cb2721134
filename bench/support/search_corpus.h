// The substring-search corpus shared by the search benchmarks: 1 MiB of
// pseudo-random letters from an alphabet of the given size, with a 24-byte
// pattern taken from near the end, where a forward search finds it first.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "zeq.h"

namespace zeqbench {

constexpr size_t kTextSize = 1 << 20;
constexpr size_t kPatternSize = 24;
constexpr size_t kPatternAt = kTextSize - 300;

struct Corpus {
    std::string text, pattern;
    ZeqString *t = nullptr, *p = nullptr;
    int64_t expect = -1;  // first position of the pattern
};

inline const Corpus &corpus(int alphabet) {
    static Corpus cache[27];
    Corpus &c = cache[alphabet];
    if (c.t) return c;
    std::mt19937_64 rng(static_cast<uint64_t>(alphabet) * 7919);
    c.text.resize(kTextSize);
    for (auto &ch : c.text) ch = static_cast<char>('a' + rng() % static_cast<uint64_t>(alphabet));
    c.pattern = c.text.substr(kPatternAt, kPatternSize);
    c.t = zeq_string_new(c.text.data(), static_cast<int64_t>(c.text.size()));
    c.p = zeq_string_new(c.pattern.data(), static_cast<int64_t>(c.pattern.size()));
    c.expect = static_cast<int64_t>(c.text.find(c.pattern));
    return c;
}

}  // namespace zeqbench
