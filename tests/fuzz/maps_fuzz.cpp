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

uint64_t fnv(const char *p, size_t n) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 0x100000001b3ull;
    return h;
}
uint64_t fnv(const std::string &s) { return fnv(s.data(), s.size()); }
size_t byte_len(const ZeqString *k) { return k && k->data && k->len > 0 ? static_cast<size_t>(k->len) : 0; }
std::string bytes_of(const ZeqString *k) { return std::string(k ? k->data : nullptr, byte_len(k)); }
const ZeqString *as_key(int64_t w) { return reinterpret_cast<const ZeqString *>(w); }

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

Words drain(ZeqVec *v) {
    Words out(v->data, v->data + v->len);
    return zeq_vec_free(v), out;
}

// ---- string-keyed hash map --------------------------------------------------

struct HashModel {
    struct Slot {
        int state;  // 0 empty, 1 occupied, 2 deleted
        ZeqString *key;
        int64_t value;
    };
    std::vector<Slot> slots = std::vector<Slot>(4096);
    int64_t len = 0;

    static uint64_t hash(const ZeqString *k) {
        uint64_t h = k ? fnv(k->data, byte_len(k)) : 0;
        return h ^ (h >> 32);
    }
    static bool same(const ZeqString *a, const ZeqString *b) {
        return a == b || (a && b && a->len == b->len && (!byte_len(a) || !std::memcmp(a->data, b->data, byte_len(a))));
    }
    // The probe path of k: its home slot, then each following one, wrapping.
    template <class Visit>
    void path(const ZeqString *k, Visit visit) {
        size_t mask = slots.size() - 1, s = hash(k) & mask;
        for (size_t i = 0; i < slots.size() && visit(slots[s]); ++i) s = (s + 1) & mask;
    }
    Slot *find(const ZeqString *k) {
        Slot *found = nullptr;
        path(k, [&](Slot &s) { return s.state != 0 && !(s.state == 1 && same(s.key, k) && (found = &s)); });
        return found;
    }
    // Insert (or add, for inc): the previous value of a present key, else 0.
    int64_t put(ZeqString *k, int64_t value, bool add) {
        if (len * 10 > static_cast<int64_t>(slots.size()) * 7) {
            std::vector<Slot> old = std::move(slots);
            slots.assign(old.size() * 2, Slot{});
            for (const Slot &o : old)
                if (o.state == 1) path(o.key, [&](Slot &s) { return s.state == 1 || (s = o, false); });
        }
        if (Slot *f = find(k)) return std::exchange(f->value, add ? f->value + value : value);
        path(k, [&](Slot &s) { return s.state == 1 || (s = Slot{1, k, value}, ++len, false); });
        return 0;
    }
    int64_t remove(const ZeqString *k) {
        Slot *f = find(k);
        return f ? (f->state = 2, --len, f->value) : 0;
    }
};

Words listed(int64_t handle) {
    Words out;
    for (int64_t i = 0; i < zeq_svec_len(handle); ++i) out.push_back(reinterpret_cast<int64_t>(zeq_svec_get(handle, i)));
    return zeq_svec_free(handle), out;
}

void check_lists(ZeqStrHashMap *m, const HashModel &model) {
    Words keys, values;
    for (const auto &s : model.slots)
        if (s.state == 1) keys.push_back(reinterpret_cast<int64_t>(s.key)), values.push_back(s.value);
    check(drain(str_hashmap_keys(m)) == keys && drain(str_hashmap_values(m)) == values, "keys, values: slot order");
    check(listed(zeq_str_hashmap_keys(m)) == keys, "zeq_str_hashmap_keys");
    std::sort(keys.begin(), keys.end(), [](int64_t x, int64_t y) {  // null first, then bytes, shorter first
        const ZeqString *a = as_key(x), *b = as_key(y);
        if (!a || !b) return !a && b;
        size_t n = std::min(byte_len(a), byte_len(b));
        int c = n ? std::memcmp(a->data, b->data, n) : 0;
        return c ? c < 0 : byte_len(a) < byte_len(b);
    });
    check(listed(zeq_str_hashmap_sorted_keys(m)) == keys, "zeq_str_hashmap_sorted_keys");
}

void hash_map(fuzz::Reader &in) {
    Keys keys(in);
    HashModel model;
    ZeqStrHashMap *m = str_hashmap_new();
    for (int generated = 0; !in.empty(); check(str_hashmap_len(m) == model.len, "len")) {
        uint8_t op = in.byte();
        int64_t value = static_cast<int8_t>(in.byte());
        ZeqString *k = keys.pick(in);
        switch (op % 8) {
            case 0: check(str_hashmap_insert(m, k, value) == model.put(k, value, false), "insert"); break;
            case 1: {
                HashModel::Slot *f = model.find(k);
                check(str_hashmap_get(m, k) == (f ? f->value : 0) && str_hashmap_contains(m, k) == !!f, "get, contains");
                break;
            }
            case 2: check(str_hashmap_remove(m, k) == model.remove(k), "remove"); break;
            case 3: zeq_str_hashmap_inc(m, k, value), model.put(k, value, true); break;
            case 4: check(zeq_str_hashmap_update(m, k, value) == 0, "update"), model.put(k, value, false); break;
            case 5:  // many generated keys: collisions, clusters and growth
                for (int n = (op >> 3) * 128; n > 0 && generated < 3000; --n, ++generated) {
                    ZeqString *g = keys.add("#" + std::to_string(generated));
                    check(str_hashmap_insert(m, g, generated) == model.put(g, generated, false), "bulk insert");
                }
                break;
            case 6:  // deleted markers among them
                for (auto &o : keys.owned)
                    if (o.s->data[0] == '#' && (o.s->len & 1)) check(str_hashmap_remove(m, o.s) == model.remove(o.s), "bulk remove");
                break;
            default: check_lists(m, model); break;
        }
    }
    check_lists(m, model);
    str_hashmap_free(m);
}

// ---- string map --------------------------------------------------------------

struct ChainModel {
    struct Entry {
        std::string key;  // as stored: cut at its first NUL
        int64_t value;
    };
    using Chain = std::vector<Entry>;  // its head is the back
    std::vector<Chain> buckets = std::vector<Chain>(64);
    int64_t count = 0;

    Chain &bucket(const std::string &k) { return buckets[fnv(k) % buckets.size()]; }
    Entry *find(const std::string &k) {
        Chain &b = bucket(k);
        auto e = std::find_if(b.rbegin(), b.rend(), [&](const Entry &x) { return x.key == k; });
        return e == b.rend() ? nullptr : &*e;
    }
    void insert(const std::string &k, int64_t value) {
        if (count * 4 > static_cast<int64_t>(buckets.size()) * 3) {
            std::vector<Chain> old = std::move(buckets);
            buckets.assign(old.size() * 2, {});
            for (auto &b : old)
                for (auto e = b.rbegin(); e != b.rend(); ++e) bucket(e->key).push_back(*e);
        }
        if (Entry *e = find(k)) return void(e->value = value);
        bucket(k).push_back(Entry{k.substr(0, k.find('\0')), value}), ++count;
    }
    int64_t remove(const std::string &k) {  // compared as C strings, in the bucket of all the bytes
        Chain &b = bucket(k);
        auto e = std::find_if(b.rbegin(), b.rend(), [t = k.substr(0, k.find('\0'))](const Entry &x) { return x.key == t; });
        if (e == b.rend()) return 0;
        int64_t v = e->value;
        return b.erase(std::next(e).base()), --count, v;
    }
};

void string_map(fuzz::Reader &in) {
    Keys keys(in);
    ChainModel model;
    ZeqStrMap *m = zeq_strmap_new();
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
        int64_t value = static_cast<int8_t>(in.byte());
        ZeqString *k = keys.pick(in);
        std::string t = bytes_of(k);
        bool usable = k && k->data;
        switch (op % 6) {
            case 0:
                check(zeq_strmap_insert(m, k, value) == usable, "strmap_insert");
                if (usable) model.insert(t, value);
                break;
            case 1: {
                const ChainModel::Entry *e = usable ? model.find(t) : nullptr;
                check(zeq_strmap_get(m, k) == (e ? e->value : -1) && zeq_strmap_contains(m, k) == !!e, "strmap_get, contains");
                break;
            }
            case 2: check(zeq_strmap_remove(m, k) == (usable ? model.remove(t) : 0), "strmap_remove"); break;
            case 3:
                for (int n = (op >> 3) * 8; n > 0 && generated < 2000; --n, ++generated) {
                    fuzz::Owned g("#" + std::to_string(generated));
                    check(zeq_strmap_insert(m, g.s, generated) == 1, "bulk insert");
                    model.insert(text(g.s), generated);
                }
                break;
            default: lists(); break;
        }
    }
    lists();
    zeq_strmap_free(m);
}

// ---- integer map ---------------------------------------------------------------

constexpr uint64_t kMultiplier = 0x517cc1b727220a95ull, kSlotMask = 131071;

uint64_t home(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * kMultiplier;
    return (h ^ (h >> 32)) & kSlotMask;
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
    struct Slot {
        bool live;
        int64_t key, value;
    };
    std::map<uint64_t, Slot> model;  // every slot ever used; absent: empty
    int64_t len = 0;
    ZeqHashMap *m = hashmap_new();
    for (; !in.empty(); check(hashmap_len(m) == len, "hashmap_len")) {
        uint8_t op = in.byte();
        // Keys crowd the last slots, so probe paths wrap round the table.
        int64_t key = op & 0x80 ? key_at(kSlotMask - in.byte() % 8, in.word()) : static_cast<int64_t>(in.word(in.byte() % 9));
        int64_t value = static_cast<int8_t>(in.byte());
        Slot *s = nullptr;
        for (uint64_t i = home(key); model.count(i) && !s; i = (i + 1) & kSlotMask)
            if (model[i].live && model[i].key == key) s = &model[i];
        switch (op % 4) {
            case 0:
                check(hashmap_insert(m, key, value) == (s ? s->value : 0), "hashmap_insert");
                if (s) s->value = value;
                for (uint64_t i = home(key); !s; i = (i + 1) & kSlotMask)
                    if (!model[i].live) s = &(model[i] = Slot{true, key, value}), ++len;
                break;
            case 1:
                check(hashmap_get(m, key) == (s ? s->value : INT64_MIN) && hashmap_contains(m, key) == !!s, "hashmap_get");
                break;
            case 2:
                check(hashmap_remove(m, key) == (s ? s->value : INT64_MIN), "hashmap_remove");
                if (s) s->live = false, --len;
                break;
            default: {
                Words keys, values;
                for (auto &[i, slot] : model)
                    if (slot.live) keys.push_back(slot.key), values.push_back(slot.value);
                check(drain(hashmap_keys(m)) == keys && drain(hashmap_values(m)) == values, "hashmap_keys, values: slot order");
            }
        }
    }
    hashmap_free(m);
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
