// The integer hash map: 64-bit keys to 64-bit values in one open-addressing
// table of 131,072 slots, taken zero-filled at creation and never resized.
// Linear probing from the home slot; removed entries leave deleted markers
// that searches pass over and inserts reuse.  The key count is therefore
// capped at 131,072: once every slot is occupied, new keys are refused.
// The probe index of hash_table.h walks the paths sixteen slots at a time.
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
    uint8_t *ctrl;  // probe index, one byte per slot
};

namespace {

constexpr int64_t kSlots = 131072;  // 2^17
constexpr uint64_t kMultiplier = 0x517cc1b727220a95ull;
constexpr int64_t kMissing = INT64_MIN;

// The key times the multiplier with its high half folded into the low half;
// the home slot is its low 17 bits.
inline uint64_t hash(int64_t key) noexcept {
    uint64_t h = static_cast<uint64_t>(key) * kMultiplier;
    return h ^ (h >> 32);
}

inline IntSlot *find(const ZeqHashMap *m, int64_t key) noexcept {
    IntSlot *slots = m->slots;
    uint64_t h = hash(key);
    // A present key is most often in its home slot: fetch it while the
    // control bytes are read.
    __builtin_prefetch(&slots[h & (kSlots - 1)]);
    int64_t i = probe_find(m->ctrl, kSlots, h, [slots, key](uint64_t j) { return slots[j].key == key; });
    return i < 0 ? nullptr : &slots[i];
}

ZeqVec *collect(const ZeqHashMap *m, bool keys) noexcept {
    ZeqVec *v = new_result_vector(m ? m->len : 0);
    if (!m) return v;
    const IntSlot *slots = m->slots;
    int64_t *out = v->data;
    int64_t n = 0;
    each_occupied(m->ctrl, kSlots, [&](int64_t i) { out[n++] = keys ? slots[i].key : slots[i].value; });
    v->len = n;
    return v;
}

}  // namespace

extern "C" ZeqHashMap *hashmap_new(void) noexcept {
    auto *m = static_cast<ZeqHashMap *>(std::malloc(sizeof(ZeqHashMap)));
    if (!m) return nullptr;
    m->slots = static_cast<IntSlot *>(std::calloc(kSlots, sizeof(IntSlot)));
    m->ctrl = new_ctrl(kSlots);
    if (!m->slots || !m->ctrl) {
        std::free(m->slots);
        std::free(m->ctrl);
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
    std::free(map->ctrl);
    std::free(map);
}

extern "C" int64_t hashmap_len(const ZeqHashMap *map) noexcept { return map ? map->len : 0; }

// One walk: the key's slot when present, else the first empty or deleted
// slot of the path, where a second walk would have stored the key.
extern "C" int64_t hashmap_insert(ZeqHashMap *map, int64_t key, int64_t value) noexcept {
    if (!map) return 0;
    IntSlot *slots = map->slots;
    uint64_t h = hash(key);
    Placement p = probe_place(map->ctrl, kSlots, h, [slots, key](uint64_t j) { return slots[j].key == key; });
    if (p.found >= 0) {
        int64_t old = slots[p.found].value;
        slots[p.found].value = value;
        return old;
    }
    if (p.free < 0) return 0;  // every slot occupied: the key is refused
    IntSlot &s = slots[p.free];
    s.key = key;
    s.value = value;
    s.state = kOccupied;
    set_ctrl(map->ctrl, kSlots, static_cast<uint64_t>(p.free), ctrl_tag(h));
    ++map->len;
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
    if (!map) return kMissing;
    IntSlot *s = find(map, key);
    if (!s) return kMissing;
    s->state = kDeleted;
    set_ctrl(map->ctrl, kSlots, static_cast<uint64_t>(s - map->slots), kCtrlDeleted);
    --map->len;
    return s->value;
}

extern "C" ZeqVec *hashmap_keys(const ZeqHashMap *map) noexcept { return collect(map, true); }

extern "C" ZeqVec *hashmap_values(const ZeqHashMap *map) noexcept { return collect(map, false); }
