// Helpers shared by the fuzzing harnesses: the check that turns a mismatch
// with the reference into a finding, string records owned for the length of
// one input (arena mode off), and a reader that takes numbers and byte runs
// off the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zeq.h"

namespace fuzz {

inline void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

inline std::string text(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

struct Owned {
    ZeqString *s;
    explicit Owned(const std::string &t) : s(zeq_string_new(t.data(), static_cast<int64_t>(t.size()))) {}
    ~Owned() { zeq_string_free(s); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
};

// Reads the input front to back; past its end every read gives zeros.
class Reader {
public:
    Reader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    bool empty() const { return n_ == 0; }
    uint8_t byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    // A big-endian number of k bytes (k <= 8).
    uint64_t word(unsigned k = 8) {
        uint64_t v = 0;
        for (unsigned i = 0; i < k; ++i) v = v << 8 | byte();
        return v;
    }
    // A run of at most max bytes, its length taken from the input first.
    std::string bytes(size_t max) {
        size_t k = byte() % (max + 1);
        return take(k < n_ ? k : n_);
    }
    // Everything that is left.
    std::string rest() { return take(n_); }

private:
    std::string take(size_t k) {
        std::string s(reinterpret_cast<const char *>(p_), k);
        p_ += k;
        n_ -= k;
        return s;
    }
    const uint8_t *p_;
    size_t n_;
};

}  // namespace fuzz
