// libFuzzer harness for the maps, each driven by a byte-coded operation
// sequence against a model of its table: the string-keyed hash map (slots,
// linear probing, deleted markers, growth; null, empty and NUL-holding keys,
// equal keys in distinct records), the string map (chained buckets, head
// insertion, growth, keys cut at their NUL), the integer map (its 131,072
// slots, with colliding keys made on purpose) and reg_cached_lookup against
// a reference parse of the list string.  Results, lengths and the slot or
// bucket order of key and value lists must match the model exactly.
#include <algorithm>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::text;
using Words = std::vector<int64_t>;

uint64_t fnv(const std::string &s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}
size_t byte_len(const ZeqString *k) { return k && k->data && k->len > 0 ? static_cast<size_t>(k->len) : 0; }
std::string bytes_of(const ZeqString *k) { return std::string(k ? k->data : nullptr, byte_len(k)); }
const ZeqString *as_key(int64_t w) { return reinterpret_cast<const ZeqString *>(w); }
int64_t word(const ZeqString *k) { return reinterpret_cast<int64_t>(k); }

Words drain(ZeqVec *v) {
    Words out(v->data, v->data + v->len);
    return zeq_vec_free(v), out;
}
Words listed(int64_t handle) {
    Words out;
    for (int64_t i = 0; i < zeq_svec_len(handle); ++i) out.push_back(word(zeq_svec_get(handle, i)));
    return zeq_svec_free(handle), out;
}

// Key records of one input: two records per text (same bytes, distinct
// pointers), the null key, a record without data, and generated keys.
struct Keys {
    std::deque<fuzz::Owned> owned;
    std::vector<ZeqString *> pool;
    ZeqString no_data{nullptr, 0, 0};
    ZeqString *add(const std::string &t) { return owned.emplace_back(t).s; }
    explicit Keys(fuzz::Reader &in) {
        for (unsigned n = in.byte() % 12 + 1; n > 0; --n) {
            std::string t = in.bytes(6);
            pool.push_back(add(t)), pool.push_back(add(t));
        }
        pool.push_back(nullptr), pool.push_back(&no_data);
    }
    ZeqString *pick(fuzz::Reader &in) { return pool[in.byte() % pool.size()]; }
};

// ---- the open-addressing tables ----------------------------------------------

// Open addressing as the string-keyed hash map and the integer map do it:
// linear probing from the home slot over at most the whole table, deleted
// markers that searches pass over and inserts reuse; a growing table doubles
// before an insert finds it more than 70 % full, carrying its entries over
// in slot order.  Keys are words: the integer, or the key record's address.
struct OpenModel {
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
    // Insert (or add, for inc): the previous value of a present key, else 0.
    int64_t put(int64_t k, int64_t value, bool add = false) {
        if (grows && len * 10 > static_cast<int64_t>(size) * 7) {
            auto old = std::exchange(slots, {});
            size *= 2;
            for (auto &[i, s] : old)
                if (s.live) *walk(s.key, true) = s;
        }
        if (Slot *f = find(k)) return std::exchange(f->value, add ? f->value + value : value);
        if (Slot *f = walk(k, true)) *f = Slot{true, k, value}, ++len;
        return 0;
    }
    int64_t remove(int64_t k, int64_t absent) {
        Slot *f = find(k);
        return f ? (f->live = false, --len, f->value) : absent;
    }
    Words list(int64_t Slot::*field) const {
        Words out;
        for (auto &[i, s] : slots)
            if (s.live) out.push_back(s.*field);
        return out;
    }
};

uint64_t str_hash(int64_t k) {
    uint64_t h = k ? fnv(bytes_of(as_key(k))) : 0;
    return h ^ (h >> 32);
}
bool str_same(int64_t a, int64_t b) {
    const ZeqString *x = as_key(a), *y = as_key(b);
    return a == b || (x && y && x->len == y->len && bytes_of(x) == bytes_of(y));
}

void check_lists(ZeqStrHashMap *m, const OpenModel &model) {
    Words keys = model.list(&OpenModel::Slot::key);
    check(drain(str_hashmap_keys(m)) == keys && drain(str_hashmap_values(m)) == model.list(&OpenModel::Slot::value),
          "keys, values: slot order");
    check(listed(zeq_str_hashmap_keys(m)) == keys, "zeq_str_hashmap_keys");
    std::sort(keys.begin(), keys.end(), [](int64_t x, int64_t y) {  // null first, then bytes, shorter first
        const ZeqString *a = as_key(x), *b = as_key(y);
        return !a || !b ? !a && b : bytes_of(a) < bytes_of(b);
    });
    check(listed(zeq_str_hashmap_sorted_keys(m)) == keys, "zeq_str_hashmap_sorted_keys");
}

void hash_map(fuzz::Reader &in) {
    Keys keys(in);
    OpenModel model{str_hash, str_same, 4096, true};
    ZeqStrHashMap *m = str_hashmap_new();
    auto insert = [&](ZeqString *k, int64_t v) { check(str_hashmap_insert(m, k, v) == model.put(word(k), v), "insert"); };
    auto remove = [&](ZeqString *k) { check(str_hashmap_remove(m, k) == model.remove(word(k), 0), "remove"); };
    for (int generated = 0; !in.empty(); check(str_hashmap_len(m) == model.len, "len")) {
        uint8_t op = in.byte();
        int64_t value = in.i8();
        ZeqString *k = keys.pick(in);
        switch (op % 8) {
            case 0: insert(k, value); break;
            case 1:
                check(str_hashmap_get(m, k) == model.get(word(k), 0) && str_hashmap_contains(m, k) == !!model.find(word(k)),
                      "get, contains");
                break;
            case 2: remove(k); break;
            case 3: zeq_str_hashmap_inc(m, k, value), model.put(word(k), value, true); break;
            case 4: check(zeq_str_hashmap_update(m, k, value) == 0, "update"), model.put(word(k), value); break;
            case 5:  // many generated keys: collisions, clusters and growth
                for (int n = (op >> 3) * 128; n > 0 && generated < 3000; --n, ++generated)
                    insert(keys.add("#" + std::to_string(generated)), generated);
                break;
            case 6:  // deleted markers among them
                for (auto &o : keys.owned)
                    if (o.s->data[0] == '#' && (o.s->len & 1)) remove(o.s);
                break;
            default: check_lists(m, model); break;
        }
    }
    check_lists(m, model);
    str_hashmap_free(m);
}

// ---- integer map ---------------------------------------------------------------

constexpr uint64_t kMultiplier = 0x517cc1b727220a95ull, kSlotMask = 131071;

uint64_t int_hash(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * kMultiplier;
    return h ^ (h >> 32);
}

// A key whose home slot is `slot`: a hash with that home, times the
// multiplier's inverse modulo 2^64.
int64_t key_at(uint64_t slot, uint64_t noise) {
    uint64_t inverse = kMultiplier;
    for (int i = 0; i < 5; ++i) inverse *= 2 - kMultiplier * inverse;
    uint64_t hi = noise >> 32, lo = (noise & 0xFFFE0000u) | ((slot ^ hi) & kSlotMask);
    return static_cast<int64_t>((hi << 32 | lo) * inverse);
}

void int_map(fuzz::Reader &in) {
    OpenModel model{int_hash, [](int64_t a, int64_t b) { return a == b; }, kSlotMask + 1, false};
    ZeqHashMap *m = hashmap_new();
    for (; !in.empty(); check(hashmap_len(m) == model.len, "hashmap_len")) {
        uint8_t op = in.byte();
        // Keys crowd the last slots, so probe paths wrap round the table.
        int64_t key = op & 0x80 ? key_at(kSlotMask - in.byte() % 8, in.word()) : static_cast<int64_t>(in.word(in.byte() % 9));
        int64_t value = in.i8();
        switch (op % 4) {
            case 0: check(hashmap_insert(m, key, value) == model.put(key, value), "hashmap_insert"); break;
            case 1:
                check(hashmap_get(m, key) == model.get(key, INT64_MIN) && hashmap_contains(m, key) == !!model.find(key),
                      "hashmap_get");
                break;
            case 2: check(hashmap_remove(m, key) == model.remove(key, INT64_MIN), "hashmap_remove"); break;
            default:
                check(drain(hashmap_keys(m)) == model.list(&OpenModel::Slot::key) &&
                          drain(hashmap_values(m)) == model.list(&OpenModel::Slot::value),
                      "hashmap_keys, values: slot order");
        }
    }
    hashmap_free(m);
}

// ---- string map --------------------------------------------------------------

// Chained buckets (head insertion), doubled past a load of 3/4; keys stored
// cut at their first NUL, but hashed and looked up with all their bytes.
struct ChainModel {
    struct Entry {
        std::string key;
        int64_t value;
    };
    using Chain = std::vector<Entry>;  // its head is the back
    std::vector<Chain> buckets = std::vector<Chain>(64);
    int64_t count = 0;

    Chain &bucket(const std::string &k) { return buckets[fnv(k) % buckets.size()]; }
    // The entry holding k (or k up to its NUL, for cut), nearest the head of k's bucket.
    Entry *find(const std::string &k, bool cut = false) {
        Chain &b = bucket(k);
        std::string t = cut ? k.substr(0, k.find('\0')) : k;
        auto e = std::find_if(b.rbegin(), b.rend(), [&](const Entry &x) { return x.key == t; });
        return e == b.rend() ? nullptr : &*e;
    }
    void insert(const std::string &k, int64_t value) {
        if (count * 4 > static_cast<int64_t>(buckets.size()) * 3) {
            std::vector<Chain> old = std::exchange(buckets, std::vector<Chain>(buckets.size() * 2));
            for (auto &b : old)
                for (auto e = b.rbegin(); e != b.rend(); ++e) bucket(e->key).push_back(*e);
        }
        if (Entry *e = find(k)) return void(e->value = value);
        bucket(k).push_back(Entry{k.substr(0, k.find('\0')), value}), ++count;
    }
    int64_t remove(const std::string &k) {  // compared as C strings, in the bucket of all the bytes
        Entry *e = find(k, true);
        if (!e) return 0;
        int64_t v = e->value;
        return bucket(k).erase(bucket(k).begin() + (e - bucket(k).data())), --count, v;
    }
};

void string_map(fuzz::Reader &in) {
    Keys keys(in);
    ChainModel model;
    ZeqStrMap *m = zeq_strmap_new();
    auto insert = [&](ZeqString *k, int64_t value) {
        bool usable = k && k->data;
        check(zeq_strmap_insert(m, k, value) == usable, "strmap_insert");
        if (usable) model.insert(bytes_of(k), value);
    };
    auto lists = [&] {
        std::vector<std::string> want, got;
        Words values;
        for (auto &b : model.buckets)
            for (auto e = b.rbegin(); e != b.rend(); ++e) want.push_back(e->key), values.push_back(e->value);
        for (int64_t p : drain(zeq_strmap_keys(m))) got.push_back(text(as_key(p))), zeq_string_free(const_cast<ZeqString *>(as_key(p)));
        check(got == want && drain(zeq_strmap_values(m)) == values, "strmap_keys, strmap_values: bucket order");
    };
    for (int generated = 0; !in.empty(); check(zeq_strmap_size(m) == model.count, "strmap_size")) {
        uint8_t op = in.byte();
        int64_t value = in.i8();
        ZeqString *k = keys.pick(in);
        bool usable = k && k->data;
        switch (op % 6) {
            case 0: insert(k, value); break;
            case 1: {
                const ChainModel::Entry *e = usable ? model.find(bytes_of(k)) : nullptr;
                check(zeq_strmap_get(m, k) == (e ? e->value : -1) && zeq_strmap_contains(m, k) == !!e, "strmap_get, contains");
                break;
            }
            case 2: check(zeq_strmap_remove(m, k) == (usable ? model.remove(bytes_of(k)) : 0), "strmap_remove"); break;
            case 3:
                for (int n = (op >> 3) * 8; n > 0 && generated < 2000; --n, ++generated)
                    insert(fuzz::Owned("#" + std::to_string(generated)).s, generated);
                break;
            default: lists(); break;
        }
    }
    lists();
    zeq_strmap_free(m);
}

// ---- reg_cached_lookup -----------------------------------------------------------

// What each cache slot was last built from, and the value record handed out
// for each key (the same record until the slot's source changes).
struct CacheModel {
    std::string source;
    std::map<std::string, ZeqString *> handed;
} g_cache[3];

std::map<std::string, std::string> parse_list(const std::string &src) {
    std::map<std::string, std::string> out;
    for (size_t p = 0, eq, semi; p < src.size() && (eq = src.find('=', p)) != std::string::npos; p = semi + 1) {
        semi = src.find(';', eq + 1);
        out[src.substr(p, eq - p)] = src.substr(eq + 1, semi == std::string::npos ? std::string::npos : semi - eq - 1);
        if (semi == std::string::npos) break;
    }
    return out;
}

void lookup(fuzz::Reader &in) {
    static const char kAlphabet[] = "ab=;=;\0c";
    auto draw = [&](size_t most) {
        std::string t;
        for (size_t n = in.byte() % most; n > 0; --n) t += kAlphabet[in.byte() % (sizeof kAlphabet - 1)];
        return t;
    };
    std::string src = draw(24);
    while (!in.empty()) {
        int64_t slot = static_cast<int64_t>(in.byte() % 5) - 1;
        std::string key = draw(3);
        if (!src.empty() && (in.byte() & 1)) src[in.byte() % src.size()] ^= 1;  // same length, other bytes
        fuzz::Owned s(src), k(key);
        ZeqString *got = reg_cached_lookup(s.s, k.s, slot);
        bool cached = slot >= 0 && slot <= 2 && !src.empty();
        if (cached && g_cache[slot].source != src) g_cache[slot] = CacheModel{src, {}};
        auto table = parse_list(src);
        auto hit = table.find(key);
        if (!cached || hit == table.end()) {
            check(got->len == 0, "reg_cached_lookup: new empty string");
            zeq_string_free(got);
            continue;
        }
        ZeqString *&first = g_cache[slot].handed[key];
        check(text(got) == hit->second && (!first || first == got), "reg_cached_lookup: the cached value record");
        first = got;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data + 1, size - 1);
    void (*const kinds[])(fuzz::Reader &) = {hash_map, string_map, int_map, lookup};
    kinds[data[0] % 4](in);
    return 0;
}
