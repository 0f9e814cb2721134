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
#include <vector>

#include "../support/reference.h"
#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::text;
using zeqtest::key_bytes;
using zeqtest::key_record;
using zeqtest::key_word;
using Words = std::vector<int64_t>;
using Slot = zeqtest::OpenTable::Slot;

Words drain(ZeqVec *v) {
    Words out(v->data, v->data + v->len);
    return zeq_vec_free(v), out;
}
Words listed(int64_t handle) {
    Words out;
    for (int64_t i = 0; i < zeq_svec_len(handle); ++i) out.push_back(key_word(zeq_svec_get(handle, i)));
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

// ---- string-keyed hash map ----------------------------------------------------

void check_lists(ZeqStrHashMap *m, const zeqtest::OpenTable &model) {
    Words keys = model.list(&Slot::key);
    check(drain(str_hashmap_keys(m)) == keys && drain(str_hashmap_values(m)) == model.list(&Slot::value),
          "keys, values: slot order");
    check(listed(zeq_str_hashmap_keys(m)) == keys, "zeq_str_hashmap_keys");
    std::sort(keys.begin(), keys.end(), [](int64_t x, int64_t y) {  // null first, then bytes, shorter first
        return !x || !y ? !x && y : key_bytes(key_record(x)) < key_bytes(key_record(y));
    });
    check(listed(zeq_str_hashmap_sorted_keys(m)) == keys, "zeq_str_hashmap_sorted_keys");
}

void hash_map(fuzz::Reader &in) {
    Keys keys(in);
    zeqtest::OpenTable model = zeqtest::string_keyed_table();
    ZeqStrHashMap *m = str_hashmap_new();
    auto insert = [&](ZeqString *k, int64_t v) {
        check(str_hashmap_insert(m, k, v) == model.put(key_word(k), v), "insert");
    };
    auto remove = [&](ZeqString *k) { check(str_hashmap_remove(m, k) == model.remove(key_word(k), 0), "remove"); };
    for (int generated = 0; !in.empty(); check(str_hashmap_len(m) == model.len, "len")) {
        uint8_t op = in.byte();
        int64_t value = in.i8();
        ZeqString *k = keys.pick(in);
        int64_t w = key_word(k);
        switch (op % 8) {
            case 0: insert(k, value); break;
            case 1:
                check(str_hashmap_get(m, k) == model.get(w, 0) && str_hashmap_contains(m, k) == !!model.find(w),
                      "get, contains");
                break;
            case 2: remove(k); break;
            case 3: zeq_str_hashmap_inc(m, k, value), model.put(w, value, true); break;
            case 4: check(zeq_str_hashmap_update(m, k, value) == 0, "update"), model.put(w, value); break;
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

// A key whose home slot is `slot`: a hash with that home, times the
// multiplier's inverse modulo 2^64.
int64_t key_at(uint64_t slot, uint64_t noise) {
    constexpr uint64_t kMultiplier = zeqtest::kIntMapMultiplier, kSlotMask = 131071;
    uint64_t inverse = kMultiplier;
    for (int i = 0; i < 5; ++i) inverse *= 2 - kMultiplier * inverse;
    uint64_t hi = noise >> 32, lo = (noise & 0xFFFE0000u) | ((slot ^ hi) & kSlotMask);
    return static_cast<int64_t>((hi << 32 | lo) * inverse);
}

void int_map(fuzz::Reader &in) {
    zeqtest::OpenTable model = zeqtest::integer_table();
    ZeqHashMap *m = hashmap_new();
    for (; !in.empty(); check(hashmap_len(m) == model.len, "hashmap_len")) {
        uint8_t op = in.byte();
        // Keys crowd the last slots, so probe paths wrap round the table.
        int64_t key = op & 0x80 ? key_at(131071 - in.byte() % 8, in.word()) : int64_t(in.word(in.byte() % 9));
        int64_t value = in.i8();
        switch (op % 4) {
            case 0: check(hashmap_insert(m, key, value) == model.put(key, value), "hashmap_insert"); break;
            case 1:
                check(hashmap_get(m, key) == model.get(key, INT64_MIN) && hashmap_contains(m, key) == !!model.find(key),
                      "hashmap_get");
                break;
            case 2: check(hashmap_remove(m, key) == model.remove(key, INT64_MIN), "hashmap_remove"); break;
            default:
                check(drain(hashmap_keys(m)) == model.list(&Slot::key) &&
                          drain(hashmap_values(m)) == model.list(&Slot::value),
                      "hashmap_keys, values: slot order");
        }
    }
    hashmap_free(m);
}

// ---- string map --------------------------------------------------------------

void string_map(fuzz::Reader &in) {
    Keys keys(in);
    zeqtest::ChainTable model;
    ZeqStrMap *m = zeq_strmap_new();
    auto insert = [&](ZeqString *k, int64_t value) {  // a null key or one without data is refused
        bool usable = k && k->data;
        check(zeq_strmap_insert(m, k, value) == (usable ? model.insert(key_bytes(k), value) : 0), "strmap_insert");
    };
    auto lists = [&] {
        std::pair<std::vector<std::string>, Words> got{{}, drain(zeq_strmap_values(m))};
        for (int64_t p : drain(zeq_strmap_keys(m)))
            got.first.push_back(text(key_record(p))), zeq_string_free(const_cast<ZeqString *>(key_record(p)));
        check(got == model.contents(), "strmap_keys, strmap_values: bucket order");
    };
    for (int generated = 0; !in.empty(); check(zeq_strmap_size(m) == model.count, "strmap_size")) {
        uint8_t op = in.byte();
        int64_t value = in.i8();
        ZeqString *k = keys.pick(in);
        bool usable = k && k->data;
        switch (op % 6) {
            case 0: insert(k, value); break;
            case 1: {
                bool has = usable && model.has(key_bytes(k));
                check(zeq_strmap_get(m, k) == (has ? model.get(key_bytes(k)) : -1) && zeq_strmap_contains(m, k) == has,
                      "strmap_get, contains");
                break;
            }
            case 2: check(zeq_strmap_remove(m, k) == (usable ? model.remove(key_bytes(k)) : 0), "strmap_remove"); break;
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
