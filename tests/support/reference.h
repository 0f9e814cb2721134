// References the tests and the fuzzing harnesses check the runtime against:
// printf-made text, binary digits, and models of the maps' tables - the
// open addressing of the string-keyed and the integer map, the chained
// buckets of the string map - with their key order.  Free of GoogleTest, so
// that the harnesses can use it.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "zeq.h"

namespace zeqtest {

__attribute__((format(printf, 1, 2))) inline std::string printf_text(const char *format, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return std::string(buf, static_cast<size_t>(n));
}

inline std::string binary(uint64_t v) {
    std::string s;
    do s.insert(s.begin(), static_cast<char>('0' + (v & 1))); while (v >>= 1);
    return s;
}

inline uint64_t fnv1a(const std::string &s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Open addressing as the string-keyed hash map and the integer map do it:
// linear probing from the home slot over at most the whole table, deleted
// markers that searches pass over and inserts reuse; a growing table doubles
// before an insert finds it more than 70 % full, carrying its entries over
// in slot order.  Keys are words: the integer, or the key record's address.
struct OpenTable {
    struct Slot {
        bool live;
        int64_t key, value;
    };
    uint64_t (*hash)(int64_t);
    bool (*same)(int64_t, int64_t);
    uint64_t size;
    bool grows;
    std::map<uint64_t, Slot> slots{};  // every slot ever used; absent: empty
    int64_t len = 0;

    // The live slot holding k; or, for a free slot, the first of k's path
    // that is not live (null when there is none).
    Slot *walk(int64_t k, bool free) {
        for (uint64_t n = 0, i = hash(k) & (size - 1); n < size; ++n, i = (i + 1) & (size - 1)) {
            auto s = slots.find(i);
            if (s == slots.end()) return free ? &slots[i] : nullptr;
            if (free ? !s->second.live : s->second.live && same(s->second.key, k)) return &s->second;
        }
        return nullptr;
    }
    Slot *find(int64_t k) { return walk(k, false); }
    int64_t get(int64_t k, int64_t absent) {
        Slot *f = find(k);
        return f ? f->value : absent;
    }
    // Insert (or add, wrapping, as inc does): the previous value of a
    // present key, else 0.
    int64_t put(int64_t k, int64_t value, bool add = false) {
        if (grows && len * 10 > static_cast<int64_t>(size) * 7) {
            auto old = std::exchange(slots, {});
            size *= 2;
            for (auto &[i, s] : old)
                if (s.live) *walk(s.key, true) = s;
        }
        if (Slot *f = find(k))
            return std::exchange(f->value, add ? static_cast<int64_t>(static_cast<uint64_t>(f->value) + value) : value);
        if (Slot *f = walk(k, true)) *f = Slot{true, k, value}, ++len;
        return 0;
    }
    int64_t remove(int64_t k, int64_t absent) {
        Slot *f = find(k);
        return f ? (f->live = false, --len, f->value) : absent;
    }
    // Keys or values (&Slot::key, &Slot::value) in slot order.
    std::vector<int64_t> list(int64_t Slot::*field) const {
        std::vector<int64_t> out;
        for (auto &[i, s] : slots)
            if (s.live) out.push_back(s.*field);
        return out;
    }
};

inline const ZeqString *key_record(int64_t word) { return reinterpret_cast<const ZeqString *>(word); }
inline int64_t key_word(const ZeqString *k) { return reinterpret_cast<int64_t>(k); }
// The bytes of a key record as the string-keyed map sees them: none for a
// record without data.
inline std::string key_bytes(const ZeqString *k) {
    return k && k->data && k->len > 0 ? std::string(k->data, static_cast<size_t>(k->len)) : std::string();
}

// The string-keyed map's table: folded FNV-1a of the bytes (0 for the null
// key); the same record, or equal len fields and equal bytes.
inline OpenTable string_keyed_table() {
    return OpenTable{[](int64_t k) {
                         uint64_t h = k ? fnv1a(key_bytes(key_record(k))) : 0;
                         return h ^ (h >> 32);
                     },
                     [](int64_t a, int64_t b) {
                         const ZeqString *x = key_record(a), *y = key_record(b);
                         return a == b || (x && y && x->len == y->len && key_bytes(x) == key_bytes(y));
                     },
                     4096, true};
}

// The integer map's table: 131,072 slots, never resized.
constexpr uint64_t kIntMapMultiplier = 0x517cc1b727220a95ull;
inline OpenTable integer_table() {
    return OpenTable{[](int64_t k) {
                         uint64_t h = static_cast<uint64_t>(k) * kIntMapMultiplier;
                         return h ^ (h >> 32);
                     },
                     [](int64_t a, int64_t b) { return a == b; }, 131072, false};
}

// The string map's chained buckets: FNV-1a of all the key's bytes picks the
// bucket (64 of them, doubled when an insert finds more than 3/4 of an entry
// per bucket, each chain moved head first); new entries go to the head of
// their chain; keys are stored cut at their first NUL, so a key holding one
// is found by nothing but remove, which compares up to the NUL.
struct ChainTable {
    using Chain = std::vector<std::pair<std::string, int64_t>>;  // head first
    std::vector<Chain> buckets = std::vector<Chain>(64);
    int64_t count = 0;

    static std::string cut(const std::string &k) { return k.substr(0, k.find('\0')); }
    Chain &chain(const std::string &k) { return buckets[fnv1a(k) % buckets.size()]; }
    Chain::iterator at(const std::string &k, const std::string &stored) {
        Chain &c = chain(k);
        auto e = c.begin();
        while (e != c.end() && e->first != stored) ++e;
        return e;
    }
    int64_t insert(const std::string &k, int64_t value) {  // 1, as the map's insert
        if (count * 4 > static_cast<int64_t>(buckets.size()) * 3) {
            auto old = std::exchange(buckets, std::vector<Chain>(buckets.size() * 2));
            for (auto &c : old)
                for (auto &e : c) chain(e.first).insert(chain(e.first).begin(), e);
        }
        if (auto e = at(k, k); e != chain(k).end()) return e->second = value, 1;
        chain(k).insert(chain(k).begin(), {cut(k), value});
        return ++count, 1;
    }
    bool has(const std::string &k) { return at(k, k) != chain(k).end(); }
    int64_t get(const std::string &k) { return has(k) ? at(k, k)->second : -1; }
    int64_t remove(const std::string &k) {  // the value, 0 when absent
        auto e = at(k, cut(k));
        if (e == chain(k).end()) return 0;
        int64_t v = e->second;
        return chain(k).erase(e), --count, v;
    }
    // Keys and values bucket by bucket, each chain from its head.
    std::pair<std::vector<std::string>, std::vector<int64_t>> contents() const {
        std::pair<std::vector<std::string>, std::vector<int64_t>> r;
        for (auto &c : buckets)
            for (auto &e : c) r.first.push_back(e.first), r.second.push_back(e.second);
        return r;
    }
};

}  // namespace zeqtest
