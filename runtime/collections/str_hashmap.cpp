// The string-keyed hash map: ZeqString keys to 64-bit values in an
// open-addressing table (linear probing, deleted markers) of 4,096 slots that
// doubles before an insert finds it more than 70 % full.  Keys hash with
// 64-bit FNV-1a folded (high half XORed into the low half).  The map keeps
// the caller's key pointers and never copies key text; the first pointer
// stored for a key stays when its value is replaced.  Walks go through the
// control-byte probe index of hash_table.h, comparisons through key shadows.
//
// The plain str_hashmap_* set is the base; the zeq_str_hashmap_* set forwards
// to it and adds counting, an update without result and key lists as string
// vectors.  reg_cached_lookup answers lookups in "key=value;..." list strings
// through three process-wide cached maps.
#include "collections/hash_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace zeq;

struct StrSlot {
    ZeqString *key;
    int64_t value;
    int32_t state;
};
static_assert(sizeof(StrSlot) == 24, "slot layout: key, value, 32-bit state");

// Beside the probe index, each slot has a shadow of its key: the key's len
// and its first eight bytes.  Keys are immutable while stored, so the shadow
// settles most comparisons - all of them for keys of up to eight bytes -
// without reaching through the slot's key pointer into the key record and
// its bytes.
struct KeyShadow {
    int64_t len;
    uint64_t head;
};

struct ZeqStrHashMap {
    StrSlot *slots;
    int64_t len;
    int64_t cap;
    uint8_t *ctrl;        // probe index, one byte per slot
    KeyShadow *shadow;    // one per slot, valid where the slot is occupied
};

namespace {

constexpr int64_t kInitialSlots = 4096;
// Shadow len of a null key or a record without data: such slots are
// compared through the key pointer.
constexpr int64_t kNoShadow = INT64_MIN;

// Byte count of a key for hashing and comparison: a record without data
// counts as no bytes (a negative length too).
inline int64_t byte_len(const ZeqString *k) noexcept { return k->data && k->len > 0 ? k->len : 0; }

inline uint64_t hash_key(const ZeqString *k) noexcept {
    if (!k) return 0;
    uint64_t h = fnv1a(k->data, byte_len(k));
    return h ^ (h >> 32);
}

// Same pointer; or both present with equal len fields and equal bytes.
inline bool same_key(const ZeqString *stored, const ZeqString *k) noexcept {
    if (stored == k) return true;
    if (!stored || !k || stored->len != k->len) return false;
    int64_t n = byte_len(k);
    if (n == 0 || stored->data == k->data) return true;
    return stored->data && std::memcmp(stored->data, k->data, static_cast<size_t>(n)) == 0;
}

// The first min(n, 8) bytes as a little-endian word, zero-padded; reads
// only those bytes.
inline uint64_t head_word(const char *p, int64_t n) noexcept {
    if (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    if (n >= 4) {  // two overlapping four-byte reads
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        return lo | static_cast<uint64_t>(hi) << (8 * (n - 4));
    }
    if (n <= 0) return 0;
    auto *u = reinterpret_cast<const unsigned char *>(p);
    return u[0] | static_cast<uint64_t>(u[n / 2]) << (8 * (n / 2)) | static_cast<uint64_t>(u[n - 1]) << (8 * (n - 1));
}

inline KeyShadow shadow_of(const ZeqString *k) noexcept {
    if (!k || !k->data) return {kNoShadow, 0};
    return {k->len, head_word(k->data, byte_len(k))};
}

// Key comparison for a probe: the shadow first, the key record only when the
// shadow cannot decide.
class KeyEq {
public:
    KeyEq(const ZeqStrHashMap *m, const ZeqString *key) noexcept
        : slots_(m->slots), shadow_(m->shadow), key_(key), want_(shadow_of(key)),
          short_(key && key->data && byte_len(key) <= 8) {}

    bool operator()(uint64_t i) const noexcept {
        const KeyShadow &s = shadow_[i];
        if (want_.len == kNoShadow || s.len == kNoShadow) return same_key(slots_[i].key, key_);
        if (s.len != want_.len || s.head != want_.head) return false;
        return short_ || same_key(slots_[i].key, key_);
    }

private:
    const StrSlot *slots_;
    const KeyShadow *shadow_;
    const ZeqString *key_;
    KeyShadow want_;
    bool short_;  // at most eight bytes: equal shadows mean equal keys
};

// The occupied slot holding key, or null.
StrSlot *find(const ZeqStrHashMap *m, const ZeqString *key) noexcept {
    int64_t i = probe_find(m->ctrl, m->cap, hash_key(key), KeyEq(m, key));
    return i < 0 ? nullptr : &m->slots[i];
}

struct Tables {
    StrSlot *slots;
    uint8_t *ctrl;
    KeyShadow *shadow;
};

// Zero-filled slots, control bytes and shadows for cap slots, or all null.
// A new map's tables fault in as they are used; a grown map's (filled at
// once) are faulted in together.
Tables new_tables(uint64_t cap, bool grown) noexcept {
    auto *slots = static_cast<StrSlot *>(std::calloc(cap, sizeof(StrSlot)));
    uint8_t *ctrl = slots ? new_ctrl(static_cast<int64_t>(cap)) : nullptr;
    auto *shadow = ctrl ? static_cast<KeyShadow *>(std::malloc(mul_sat(cap, sizeof(KeyShadow)))) : nullptr;
    if (shadow && grown) {
        prepare_bulk_memory(slots, cap * sizeof(StrSlot), true);
        prepare_bulk_memory(ctrl, cap, true);
        prepare_bulk_memory(shadow, cap * sizeof(KeyShadow), true);
    }
    if (!shadow) {
        std::free(slots);
        std::free(ctrl);
        return {nullptr, nullptr, nullptr};
    }
    return {slots, ctrl, shadow};
}

void free_tables(const ZeqStrHashMap *m) noexcept {
    std::free(m->slots);
    std::free(m->ctrl);
    std::free(m->shadow);
}

// Doubles the table, carrying the occupied slots over in ascending order to
// the first free slot of their path (deleted ones vanish).  When the larger
// table cannot be had the map keeps working at its size.
__attribute__((noinline)) void grow(ZeqStrHashMap *m) noexcept {
    uint64_t doubled = mul_sat(static_cast<uint64_t>(m->cap), 2);
    if (doubled > static_cast<uint64_t>(INT64_MAX / 2)) return;
    Tables t = new_tables(doubled, true);
    if (!t.slots) return;
    int64_t cap = static_cast<int64_t>(doubled);
    const StrSlot *old = m->slots;
    each_occupied(m->ctrl, m->cap, [&](int64_t j) {
        uint64_t h = hash_key(old[j].key);
        uint64_t i = probe_first_empty(t.ctrl, cap, h);
        t.slots[i] = old[j];
        t.shadow[i] = m->shadow[j];
        set_ctrl(t.ctrl, cap, i, ctrl_tag(h));
    });
    free_tables(m);
    m->slots = t.slots;
    m->ctrl = t.ctrl;
    m->shadow = t.shadow;
    m->cap = cap;
}

// The growth test made before every insert, also one that only replaces.
inline void grow_if_needed(ZeqStrHashMap *m) noexcept {
    if (ZEQ_UNLIKELY(m->len * 10 > m->cap * 7)) grow(m);
}

// One walk for an insert: the key's slot, or where a new entry goes.  The
// home slot is fetched early: the value is read or written there or nearby.
inline Placement place(const ZeqStrHashMap *m, const ZeqString *key, uint64_t h) noexcept {
    __builtin_prefetch(&m->slots[h & static_cast<uint64_t>(m->cap - 1)]);
    return probe_place(m->ctrl, m->cap, h, KeyEq(m, key));
}

inline void store(ZeqStrHashMap *m, int64_t i, uint64_t h, ZeqString *key, int64_t value) noexcept {
    StrSlot &s = m->slots[i];
    s.key = key;
    s.value = value;
    s.state = kOccupied;
    m->shadow[i] = shadow_of(key);
    set_ctrl(m->ctrl, m->cap, static_cast<uint64_t>(i), ctrl_tag(h));
    ++m->len;
}

template <class Visit>
void each_slot(const ZeqStrHashMap *m, Visit visit) noexcept {
    const StrSlot *slots = m->slots;
    each_occupied(m->ctrl, m->cap, [&](int64_t i) { visit(slots[i]); });
}

// Ordering of two key pointers: null first, then the bytes as unsigned
// values, then the shorter key first.
int cmp_zeq_str_ptr(const ZeqString *a, const ZeqString *b) noexcept {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);
    int64_t la = byte_len(a), lb = byte_len(b);
    int64_t n = std::min(la, lb);
    if (n > 0) {
        int c = std::memcmp(a->data, b->data, static_cast<size_t>(n));
        if (c != 0) return c;
    }
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

// Appends to a string vector; a vector that cannot grow ends the process
// rather than hand back a silently shortened key list.
void push_key(int64_t handle, ZeqString *key, int64_t count) noexcept {
    if (ZEQ_UNLIKELY(zeq_svec_push(handle, key) != 0))
        fatal_out_of_memory(mul_sat(static_cast<uint64_t>(count), sizeof(ZeqString *)));
}

}  // namespace

// ---- base set ---------------------------------------------------------------

extern "C" ZeqStrHashMap *str_hashmap_new(void) noexcept {
    auto *m = static_cast<ZeqStrHashMap *>(std::malloc(sizeof(ZeqStrHashMap)));
    if (!m) return nullptr;
    Tables t = new_tables(kInitialSlots, false);
    if (!t.slots) {
        std::free(m);
        return nullptr;
    }
    m->slots = t.slots;
    m->ctrl = t.ctrl;
    m->shadow = t.shadow;
    m->len = 0;
    m->cap = kInitialSlots;
    return m;
}

extern "C" void str_hashmap_free(ZeqStrHashMap *m) noexcept {
    if (!m) return;
    free_tables(m);
    std::free(m);
}

extern "C" int64_t str_hashmap_len(const ZeqStrHashMap *m) noexcept { return m ? m->len : 0; }

extern "C" int64_t str_hashmap_insert(ZeqStrHashMap *m, ZeqString *key, int64_t value) noexcept {
    if (!m) return 0;
    grow_if_needed(m);
    uint64_t h = hash_key(key);
    Placement p = place(m, key, h);
    if (p.found >= 0) {
        int64_t old = m->slots[p.found].value;
        m->slots[p.found].value = value;
        return old;
    }
    if (p.free >= 0) store(m, p.free, h, key, value);  // no free slot: nothing stored
    return 0;
}

extern "C" int64_t str_hashmap_get(const ZeqStrHashMap *m, const ZeqString *key) noexcept {
    if (!m) return 0;
    const StrSlot *s = find(m, key);
    return s ? s->value : 0;
}

extern "C" int64_t str_hashmap_contains(const ZeqStrHashMap *m, const ZeqString *key) noexcept {
    return m && find(m, key) ? 1 : 0;
}

extern "C" int64_t str_hashmap_remove(ZeqStrHashMap *m, const ZeqString *key) noexcept {
    if (!m) return 0;
    StrSlot *s = find(m, key);
    if (!s) return 0;
    s->state = kDeleted;
    set_ctrl(m->ctrl, m->cap, static_cast<uint64_t>(s - m->slots), kCtrlDeleted);
    --m->len;
    return s->value;
}

extern "C" ZeqVec *str_hashmap_keys(const ZeqStrHashMap *m) noexcept {
    ZeqVec *v = new_result_vector(m ? m->len : 0);
    if (m) each_slot(m, [v](const StrSlot &s) { v->data[v->len++] = reinterpret_cast<int64_t>(s.key); });
    return v;
}

extern "C" ZeqVec *str_hashmap_values(const ZeqStrHashMap *m) noexcept {
    ZeqVec *v = new_result_vector(m ? m->len : 0);
    if (m) each_slot(m, [v](const StrSlot &s) { v->data[v->len++] = s.value; });
    return v;
}

// ---- zeq_ set ---------------------------------------------------------------

extern "C" int64_t zeq_str_hashmap_free(ZeqStrHashMap *m) noexcept {
    str_hashmap_free(m);
    return 0;
}

extern "C" int64_t zeq_str_hashmap_update(ZeqStrHashMap *m, ZeqString *key, int64_t value) noexcept {
    str_hashmap_insert(m, key, value);
    return 0;
}

// get, then insert of get + delta: one growth test and one probe walk give
// the same result (a get changes nothing).
extern "C" int64_t zeq_str_hashmap_inc(ZeqStrHashMap *m, ZeqString *key, int64_t delta) noexcept {
    if (!m) return 0;
    grow_if_needed(m);
    uint64_t h = hash_key(key);
    Placement p = place(m, key, h);
    if (p.found >= 0) {
        int64_t &v = m->slots[p.found].value;
        v = static_cast<int64_t>(static_cast<uint64_t>(v) + static_cast<uint64_t>(delta));
    } else if (p.free >= 0) {
        store(m, p.free, h, key, delta);
    }
    return 0;
}

extern "C" int64_t zeq_str_hashmap_keys(const ZeqStrHashMap *m) noexcept {
    int64_t h = zeq_svec_new();
    if (h < 0 || !m) return h;
    each_slot(m, [h, m](const StrSlot &s) { push_key(h, s.key, m->len); });
    return h;
}

// The keys in slot order, sorted, then appended to a new vector: the same
// vector as appending and then sorting in place, since the keys of one map
// are distinct and the ordering is total on distinct keys.
extern "C" int64_t zeq_str_hashmap_sorted_keys(const ZeqStrHashMap *m) noexcept {
    if (!m || m->len < 2) return zeq_str_hashmap_keys(m);
    auto *keys = static_cast<ZeqString **>(
        checked_malloc(mul_sat(static_cast<uint64_t>(m->len), sizeof(ZeqString *))));
    int64_t n = 0;
    each_slot(m, [keys, &n](const StrSlot &s) { keys[n++] = s.key; });
    std::sort(keys, keys + n, [](const ZeqString *a, const ZeqString *b) { return cmp_zeq_str_ptr(a, b) < 0; });
    int64_t h = zeq_svec_new();
    if (h >= 0)
        for (int64_t i = 0; i < n; ++i) push_key(h, keys[i], n);
    std::free(keys);
    return h;
}

ZEQ_ALIAS(zeq_str_hashmap_new, str_hashmap_new);
ZEQ_ALIAS(zeq_str_hashmap_len, str_hashmap_len);
ZEQ_ALIAS(zeq_str_hashmap_insert, str_hashmap_insert);
ZEQ_ALIAS(zeq_str_hashmap_get, str_hashmap_get);
ZEQ_ALIAS(zeq_str_hashmap_contains, str_hashmap_contains);
ZEQ_ALIAS(zeq_str_hashmap_remove, str_hashmap_remove);
ZEQ_ALIAS(zeq_str_hashmap_values, str_hashmap_values);

// ---- reg_cached_lookup --------------------------------------------------------

namespace {

constexpr int64_t kCacheSlots = 3;

// One cache slot: the map parsed from a list string, a copy of that string
// (the cache is valid for a source with the same bytes, not merely the same
// length) and one malloc block holding the copy and every key and value
// record of the map, released together when the slot is replaced.  The
// records therefore outlive arena resets.
struct RegCache {
    ZeqStrHashMap *map;
    int64_t len;
    const char *source;
    void *block;
};

RegCache g_reg_cache[kCacheSlots];

void drop(RegCache &c) noexcept {
    str_hashmap_free(c.map);
    std::free(c.block);
    c = RegCache{};
}

// Walks the entries of a list string: calls visit(key, key_len, value,
// value_len) for each "key=value" up to the next ';' (the key run may hold
// ';'), stopping at a run without '='.
template <class Visit>
void each_entry(const char *src, int64_t n, Visit visit) noexcept {
    int64_t p = 0;
    while (p < n) {
        auto *eq = static_cast<const char *>(std::memchr(src + p, '=', static_cast<size_t>(n - p)));
        if (!eq) return;
        int64_t v = eq - src + 1;
        auto *semi = static_cast<const char *>(v < n ? std::memchr(src + v, ';', static_cast<size_t>(n - v)) : nullptr);
        int64_t vend = semi ? semi - src : n;
        visit(src + p, eq - (src + p), src + v, vend - v);
        if (!semi) return;
        p = vend + 1;
    }
}

// A string record and its bytes carved from a block.
ZeqString *carve(char *&records, char *&bytes, const char *from, int64_t n) noexcept {
    auto *s = reinterpret_cast<ZeqString *>(records);
    records += sizeof(ZeqString);
    std::memcpy(bytes, from, static_cast<size_t>(n));
    bytes[n] = '\0';
    s->data = bytes;
    s->len = s->cap = n;
    bytes += n + 1;
    return s;
}

// Parses source into a new cache slot; false (slot left empty) when memory
// for the map or the block cannot be had.
bool build(RegCache &c, const char *src, int64_t n) noexcept {
    uint64_t entries = 0, text = 0;
    each_entry(src, n, [&](const char *, int64_t kl, const char *, int64_t vl) {
        ++entries;
        text += static_cast<uint64_t>(kl + vl + 2);
    });
    uint64_t records = mul_sat(entries, 2 * sizeof(ZeqString));
    uint64_t size = add_sat(add_sat(records, text), static_cast<uint64_t>(n));
    ZeqStrHashMap *map = str_hashmap_new();
    void *block = map ? std::malloc(size) : nullptr;
    if (!block) {
        str_hashmap_free(map);
        return false;
    }
    char *rec = static_cast<char *>(block);
    char *bytes = rec + records;
    char *copy = bytes + text;
    std::memcpy(copy, src, static_cast<size_t>(n));
    each_entry(copy, n, [&](const char *k, int64_t kl, const char *v, int64_t vl) {
        ZeqString *key = carve(rec, bytes, k, kl);
        ZeqString *value = carve(rec, bytes, v, vl);
        str_hashmap_insert(map, key, reinterpret_cast<int64_t>(value));
    });
    c = RegCache{map, n, copy, block};
    return true;
}

}  // namespace

extern "C" ZeqString *reg_cached_lookup(const ZeqString *source, const ZeqString *key, int64_t slot) noexcept {
    if (!source || !source->data || static_cast<uint64_t>(slot) >= kCacheSlots || source->len <= 0)
        return string_empty();
    RegCache &c = g_reg_cache[slot];
    int64_t n = source->len;
    bool hit = c.map && c.len == n && std::memcmp(c.source, source->data, static_cast<size_t>(n)) == 0;
    if (!hit) {
        drop(c);
        if (!build(c, source->data, n)) return string_empty();
    }
    int64_t v = str_hashmap_get(c.map, key);
    return v ? reinterpret_cast<ZeqString *>(v) : string_empty();
}
