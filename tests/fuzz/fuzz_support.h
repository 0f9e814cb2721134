// Helpers shared by the fuzzing harnesses: the check that turns a mismatch
// with the reference into a finding, the comparisons of results with their
// reference, string records owned for the length of one input (arena mode
// off), and a reader that takes numbers and byte runs off the input.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../support/str.h"
#include "zeq.h"

namespace fuzz {

inline void check(bool ok, const char *what) {
    if (!ok) std::fprintf(stderr, "mismatch: %s\n", what), std::abort();
}

inline std::string text(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

// The same bits, or both NaN.
inline bool same_double(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || !std::memcmp(&a, &b, sizeof a);
}

// A new result string holds exactly want, NUL-ended, cap == len; released.
inline void check_result(ZeqString *got, const std::string &want, const char *what) {
    check(text(got) == want && got->data[got->len] == '\0' && got->cap == got->len, what);
    zeq_string_free(got);
}

using Owned = zeqtest::Str;

// Number parsing against strtol / strtod of the text up to its first NUL.
inline void check_parse(const std::string &t) {
    Owned s(t);
    std::string c = t.substr(0, t.find('\0'));
    check(zeq_parse_int(s.s) == std::strtol(c.c_str(), nullptr, 10), "parse_int");
    check(same_double(zeq_parse_f64(s.s), std::strtod(c.c_str(), nullptr)), "parse_f64");
}

// Reads the input front to back; past its end every read gives zeros.
class Reader {
public:
    Reader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    bool empty() const { return n_ == 0; }
    uint8_t byte() { return n_ ? (--n_, *p_++) : 0; }
    int64_t i8() { return static_cast<int8_t>(byte()); }
    // A big-endian number of k bytes (k <= 8).
    uint64_t word(unsigned k = 8) {
        uint64_t v = 0;
        for (unsigned i = 0; i < k; ++i) v = v << 8 | byte();
        return v;
    }
    // A run of at most max bytes, its length taken from the input first.
    std::string bytes(size_t max) { return take(std::min<size_t>(byte() % (max + 1), n_)); }
    // Everything that is left.
    std::string rest() { return take(n_); }

private:
    std::string take(size_t k) {
        std::string s(reinterpret_cast<const char *>(p_), k);
        return p_ += k, n_ -= k, s;
    }
    const uint8_t *p_;
    size_t n_;
};

}  // namespace fuzz
