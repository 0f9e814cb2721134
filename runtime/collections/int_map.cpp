// The integer hash map: 64-bit keys to 64-bit values in one open-addressing
// table of 131,072 slots, taken zero-filled at creation and never resized.
// Linear probing from the home slot; removed entries leave deleted markers
// that searches pass over and inserts reuse.  The key count is therefore
// capped at 131,072: once every slot is occupied, new keys are refused.
#include "collections/hash_table.h"

#include <cstdlib>

using namespace zeq;

struct IntSlot {
    int64_t key;
    int64_t value;
    int32_t state;
};
static_assert(sizeof(IntSlot) == 24, "slot layout: key, value, 32-bit state");

struct ZeqHashMap {
    IntSlot *slots;
    int64_t len;
    int64_t cap;
};

namespace {

constexpr int64_t kSlots = 131072;  // 2^17
constexpr uint64_t kMask = kSlots - 1;
constexpr uint64_t kMultiplier = 0x517cc1b727220a95ull;
constexpr int64_t kMissing = INT64_MIN;

inline uint64_t home(int64_t key) noexcept {
    uint64_t h = static_cast<uint64_t>(key) * kMultiplier;
    h ^= h >> 32;
    return h & kMask;
}

// The occupied slot holding key, or null.  The walk ends at the first empty
// slot or after a full turn of the table.
inline IntSlot *find(const ZeqHashMap *m, int64_t key) noexcept {
    uint64_t i = home(key);
    IntSlot *slots = m->slots;
    for (int64_t step = 0; step < kSlots; ++step, i = (i + 1) & kMask) {
        IntSlot *s = &slots[i];
        if (s->state == kOccupied) {
            if (s->key == key) return s;
        } else if (s->state == kEmpty) {
            return nullptr;
        }
    }
    return nullptr;
}

ZeqVec *collect(const ZeqHashMap *m, bool keys) noexcept {
    ZeqVec *v = new_result_vector(m ? m->len : 0);
    if (!m) return v;
    int64_t *out = v->data;
    int64_t n = 0;
    const IntSlot *slots = m->slots;
    for (int64_t i = 0; i < kSlots; ++i)
        if (slots[i].state == kOccupied) out[n++] = keys ? slots[i].key : slots[i].value;
    v->len = n;
    return v;
}

}  // namespace

extern "C" ZeqHashMap *hashmap_new(void) noexcept {
    auto *m = static_cast<ZeqHashMap *>(std::malloc(sizeof(ZeqHashMap)));
    if (!m) return nullptr;
    m->slots = static_cast<IntSlot *>(std::calloc(kSlots, sizeof(IntSlot)));
    if (!m->slots) {
        std::free(m);
        return nullptr;
    }
    m->len = 0;
    m->cap = kSlots;
    return m;
}

extern "C" void hashmap_free(ZeqHashMap *map) noexcept {
    if (!map) return;
    std::free(map->slots);
    std::free(map);
}

extern "C" int64_t hashmap_len(const ZeqHashMap *map) noexcept {
    return map ? map->len : 0;
}

// One walk: the key's slot when present, else the first deleted slot seen
// before the empty slot that ends the path (or that empty slot itself) -
// the slot a second walk for "first empty or deleted" would find.
extern "C" int64_t hashmap_insert(ZeqHashMap *map, int64_t key, int64_t value) noexcept {
    ZeqHashMap *m = map;
    if (!m) return 0;
    IntSlot *slots = m->slots;
    IntSlot *free_slot = nullptr;
    uint64_t i = home(key);
    for (int64_t step = 0; step < kSlots; ++step, i = (i + 1) & kMask) {
        IntSlot *s = &slots[i];
        if (s->state == kOccupied) {
            if (s->key == key) {
                int64_t old = s->value;
                s->value = value;
                return old;
            }
        } else if (s->state == kEmpty) {
            if (!free_slot) free_slot = s;
            break;
        } else if (!free_slot) {
            free_slot = s;
        }
    }
    if (!free_slot) return 0;  // every slot occupied: the key is refused
    free_slot->key = key;
    free_slot->value = value;
    free_slot->state = kOccupied;
    ++m->len;
    return 0;
}

extern "C" int64_t hashmap_get(const ZeqHashMap *map, int64_t key) noexcept {
    if (!map) return kMissing;
    const IntSlot *s = find(map, key);
    return s ? s->value : kMissing;
}

extern "C" int64_t hashmap_contains(const ZeqHashMap *map, int64_t key) noexcept {
    return map && find(map, key) ? 1 : 0;
}

extern "C" int64_t hashmap_remove(ZeqHashMap *map, int64_t key) noexcept {
    ZeqHashMap *m = map;
    if (!m) return kMissing;
    IntSlot *s = find(m, key);
    if (!s) return kMissing;
    s->state = kDeleted;
    --m->len;
    return s->value;
}

extern "C" ZeqVec *hashmap_keys(const ZeqHashMap *map) noexcept {
    return collect(map, true);
}

extern "C" ZeqVec *hashmap_values(const ZeqHashMap *map) noexcept {
    return collect(map, false);
}
