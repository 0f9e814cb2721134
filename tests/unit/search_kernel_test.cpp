// The runtime's substring search kernels, each vector width forced in turn
// (the library itself picks the widest the processor offers), against a
// naive reference: first, last and non-overlapping matches.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

// The kernels are internal to the library: compile them into this test.
#include "../../runtime/strings/search_core.cpp"

namespace {

namespace search = zeq::search;

int64_t naive_first(const std::string &t, const std::string &p, size_t from) {
    for (size_t s = from; s + p.size() <= t.size(); ++s)
        if (t.compare(s, p.size(), p) == 0) return static_cast<int64_t>(s);
    return -1;
}

const unsigned char *u(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

TEST(SearchKernel, EveryWidthMatchesTheNaiveScan) {
    __builtin_cpu_init();
    for (int level = 1; level <= 3; ++level) {
        if (level == 2 && !__builtin_cpu_supports("avx2")) continue;
        if (level == 3 && !__builtin_cpu_supports("avx512bw")) continue;
        search::g_search_level = level;
        std::mt19937_64 rng(static_cast<uint64_t>(level));
        for (int round = 0; round < 4000; ++round) {
            int alphabet = 1 + static_cast<int>(rng() % 3);
            std::string t(rng() % (round % 4 == 0 ? 1000 : 200), 'a');
            for (auto &c : t) c = static_cast<char>('a' + rng() % static_cast<uint64_t>(alphabet));
            std::string p(1 + rng() % (round % 5 == 0 ? 70 : 6), 'a');
            for (auto &c : p) c = static_cast<char>('a' + rng() % static_cast<uint64_t>(alphabet));
            if (rng() % 2 && p.size() <= t.size()) {  // plant an occurrence
                size_t at = rng() % (t.size() - p.size() + 1);
                t.replace(at, p.size(), p);
            }
            size_t from = t.empty() ? 0 : rng() % (t.size() + 1);
            const auto n = static_cast<int64_t>(t.size()), m = static_cast<int64_t>(p.size());
            ASSERT_EQ(search::find_from(u(t), n, u(p), m, static_cast<int64_t>(from)), naive_first(t, p, from))
                << level << " " << t << " / " << p << " from " << from;
            auto last = t.rfind(p);
            ASSERT_EQ(search::rfind(u(t), n, u(p), m), last == std::string::npos ? -1 : static_cast<int64_t>(last));
            int64_t want = 0;
            for (int64_t at = naive_first(t, p, 0); at >= 0; at = naive_first(t, p, static_cast<size_t>(at) + p.size()))
                ++want;
            ASSERT_EQ(search::count(u(t), n, u(p), m), want);
        }
    }
    search::g_search_level = 0;
}

}  // namespace
