// The string map: a separately chained hash table that owns copies of its
// keys.  Keys hash with plain 64-bit FNV-1a into bucket hash mod nbuckets;
// the bucket array starts at 64 and doubles before an insert that finds more
// than 0.75 entries per bucket.  Values are stored and never interpreted.
// Every operation is exported under zeq_strmap_* and under strmap_*.
//
// An entry is one malloc block: the three fields of the chain (key pointer,
// value, next), then the stored key's length and hash, then the key bytes
// with their NUL, which the key pointer points at.  A stored key is measured
// up to its first NUL, so a key holding a NUL byte is stored but never found
// again, exactly as a comparison by string length would behave; the cached
// length saves that length scan on every comparison of a chain walk.
#include "collections/hash_table.h"

#include <cstdlib>
#include <cstring>

using namespace zeq;

struct StrMapEntry {
    char *key;
    int64_t value;
    StrMapEntry *next;
    int64_t key_len;  // the stored key's length up to its NUL
    uint64_t hash;    // FNV-1a of those key_len bytes (used when growing)
};

struct ZeqStrMap {
    StrMapEntry **buckets;
    int64_t nbuckets;
    int64_t count;
    // The entry that the last get, contains or insert found or made, and
    // that a chain walk for its key would find first (null after a remove or
    // a growth, and after an insert of a key holding a NUL byte, whose entry
    // sits in the bucket of its full bytes).  Counting code gets a key and
    // then inserts it again: the insert checks this entry first and skips
    // hashing and the chain walk.
    StrMapEntry *recent;
};

namespace {

constexpr int64_t kInitialBuckets = 64;
constexpr int64_t kAbsent = -1;

// The key's bytes and length; a negative length counts as 0.  Null map, key
// or key data make the key unusable.
struct Key {
    const char *bytes;
    int64_t len;
};

inline bool usable(const ZeqStrMap *m, const ZeqString *k) noexcept {
    return m && k && k->data;
}

inline Key key_of(const ZeqString *k) noexcept { return {k->data, k->len > 0 ? k->len : 0}; }

inline StrMapEntry *&bucket_of(const ZeqStrMap *m, uint64_t h) noexcept {
    return m->buckets[h % static_cast<uint64_t>(m->nbuckets)];
}

// A stored key equals k when its length up to its NUL is k's length and the
// bytes agree; it then has no NUL inside, so its cached hash is k's hash too,
// which is tested first.
inline bool matches(const StrMapEntry *e, Key k) noexcept {
    return e->key_len == k.len && std::memcmp(e->key, k.bytes, static_cast<size_t>(k.len)) == 0;
}

StrMapEntry *find(ZeqStrMap *m, Key k, uint64_t h) noexcept {
    for (StrMapEntry *e = bucket_of(m, h); e; e = e->next)
        if (e->hash == h && matches(e, k)) return m->recent = e;
    return nullptr;
}

// Doubles the buckets and moves every entry, old buckets in ascending order,
// each chain from its head, onto the head of its new bucket.  When the
// larger array cannot be had the map keeps its buckets (chains grow longer,
// lookups stay correct).
void grow(ZeqStrMap *m) noexcept {
    uint64_t n = static_cast<uint64_t>(m->nbuckets);
    uint64_t doubled = mul_sat(n, 2);
    if (doubled > static_cast<uint64_t>(INT64_MAX)) return;
    auto *fresh = static_cast<StrMapEntry **>(std::calloc(doubled, sizeof(StrMapEntry *)));
    if (!fresh) return;
    StrMapEntry **old = m->buckets;
    for (uint64_t b = 0; b < n; ++b) {
        StrMapEntry *e = old[b];
        while (e) {
            StrMapEntry *next = e->next;
            StrMapEntry *&head = fresh[e->hash % doubled];
            e->next = head;
            head = e;
            e = next;
        }
    }
    std::free(old);
    m->buckets = fresh;
    m->nbuckets = static_cast<int64_t>(doubled);
    m->recent = nullptr;  // chains may have changed order
}

template <class Visit>
void each_entry(const ZeqStrMap *m, Visit visit) noexcept {
    for (int64_t b = 0; b < m->nbuckets; ++b)
        for (const StrMapEntry *e = m->buckets[b]; e; e = e->next) visit(e);
}

}  // namespace

extern "C" ZeqStrMap *zeq_strmap_new(void) noexcept {
    auto *m = static_cast<ZeqStrMap *>(std::malloc(sizeof(ZeqStrMap)));
    if (!m) return nullptr;
    m->buckets = static_cast<StrMapEntry **>(std::calloc(kInitialBuckets, sizeof(StrMapEntry *)));
    if (!m->buckets) {
        std::free(m);
        return nullptr;
    }
    m->nbuckets = kInitialBuckets;
    m->count = 0;
    m->recent = nullptr;
    return m;
}

extern "C" void zeq_strmap_free(ZeqStrMap *m) noexcept {
    if (!m) return;
    for (int64_t b = 0; b < m->nbuckets; ++b) {
        StrMapEntry *e = m->buckets[b];
        while (e) {
            StrMapEntry *next = e->next;
            std::free(e);
            e = next;
        }
    }
    std::free(m->buckets);
    std::free(m);
}

extern "C" int64_t zeq_strmap_insert(ZeqStrMap *m, const ZeqString *key, int64_t value) noexcept {
    if (!usable(m, key)) return 0;
    // count / nbuckets > 0.75, exactly, in integers.
    if (static_cast<uint64_t>(m->count) * 4 > static_cast<uint64_t>(m->nbuckets) * 3) grow(m);
    Key k = key_of(key);
    if (m->recent && matches(m->recent, k)) {
        m->recent->value = value;
        return 1;
    }
    uint64_t h = fnv1a(k.bytes, k.len);
    if (StrMapEntry *e = find(m, k, h)) {
        e->value = value;
        return 1;
    }
    uint64_t size = add_sat(sizeof(StrMapEntry), add_sat(static_cast<uint64_t>(k.len), 1));
    auto *e = static_cast<StrMapEntry *>(std::malloc(size));
    if (!e) return 0;  // nothing stored, the map unchanged
    char *copy = reinterpret_cast<char *>(e + 1);
    std::memcpy(copy, k.bytes, static_cast<size_t>(k.len));
    copy[k.len] = '\0';
    e->key = copy;
    e->value = value;
    e->key_len = static_cast<int64_t>(strnlen(copy, static_cast<size_t>(k.len)));
    e->hash = e->key_len == k.len ? h : fnv1a(copy, e->key_len);
    StrMapEntry *&head = bucket_of(m, h);
    e->next = head;
    head = e;
    ++m->count;
    // A stored key cut short by a NUL is not where its own hash would put
    // it, and it may now shadow other entries of its bucket.
    m->recent = e->key_len == k.len ? e : nullptr;
    return 1;
}

extern "C" int64_t zeq_strmap_get(ZeqStrMap *m, const ZeqString *key) noexcept {
    if (!usable(m, key)) return kAbsent;
    Key k = key_of(key);
    const StrMapEntry *e = find(m, k, fnv1a(k.bytes, k.len));
    return e ? e->value : kAbsent;
}

extern "C" int64_t zeq_strmap_contains(ZeqStrMap *m, const ZeqString *key) noexcept {
    if (!usable(m, key)) return 0;
    Key k = key_of(key);
    return find(m, k, fnv1a(k.bytes, k.len)) ? 1 : 0;
}

// Removal looks in the bucket of the key's full bytes but compares the key
// as a NUL-terminated text (its bytes up to the first NUL) with the stored
// keys, as a C string comparison would.
extern "C" int64_t zeq_strmap_remove(ZeqStrMap *m, const ZeqString *key) noexcept {
    if (!usable(m, key)) return 0;
    Key k = key_of(key);
    int64_t text_len = static_cast<int64_t>(strnlen(k.bytes, static_cast<size_t>(k.len)));
    StrMapEntry **link = &bucket_of(m, fnv1a(k.bytes, k.len));
    for (StrMapEntry *e = *link; e; link = &e->next, e = e->next) {
        if (e->key_len == text_len &&
            std::memcmp(e->key, k.bytes, static_cast<size_t>(text_len)) == 0) {
            int64_t value = e->value;
            *link = e->next;
            std::free(e);
            m->recent = nullptr;
            --m->count;
            return value;
        }
    }
    return 0;
}

extern "C" int64_t zeq_strmap_size(const ZeqStrMap *m) noexcept { return m ? m->count : 0; }

extern "C" ZeqVec *zeq_strmap_keys(const ZeqStrMap *m) noexcept {
    ZeqVec *v = new_result_vector(m ? m->count : 0);
    if (!m) return v;
    each_entry(m, [v](const StrMapEntry *e) {
        zeq_vec_push(v, reinterpret_cast<int64_t>(string_copy(e->key, e->key_len)));
    });
    return v;
}

extern "C" ZeqVec *zeq_strmap_values(const ZeqStrMap *m) noexcept {
    ZeqVec *v = new_result_vector(m ? m->count : 0);
    if (!m) return v;
    each_entry(m, [v](const StrMapEntry *e) { zeq_vec_push(v, e->value); });
    return v;
}

ZEQ_ALIAS(strmap_new, zeq_strmap_new);
ZEQ_ALIAS(strmap_free, zeq_strmap_free);
ZEQ_ALIAS(strmap_insert, zeq_strmap_insert);
ZEQ_ALIAS(strmap_get, zeq_strmap_get);
ZEQ_ALIAS(strmap_contains, zeq_strmap_contains);
ZEQ_ALIAS(strmap_remove, zeq_strmap_remove);
ZEQ_ALIAS(strmap_size, zeq_strmap_size);
ZEQ_ALIAS(strmap_keys, zeq_strmap_keys);
ZEQ_ALIAS(strmap_values, zeq_strmap_values);
