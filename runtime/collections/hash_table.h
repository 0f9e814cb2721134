// Declarations shared by the map files of the collections: the FNV-1a hash,
// slot states of the open-addressing tables, their probe index, and the
// key/value result vectors.
#pragma once

#include "core/core.h"

#include <cstdlib>

#include <emmintrin.h>

namespace zeq {

// 64-bit FNV-1a over n bytes (n <= 0 leaves the offset basis): the value of
// zeq_string_hash.
inline uint64_t fnv1a(const char *bytes, int64_t n) noexcept {
    uint64_t h = 0xcbf29ce484222325ull;
    auto *p = reinterpret_cast<const unsigned char *>(bytes);
    for (int64_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// Slot states of the open-addressing tables (a zero-filled slot is empty).
enum : int32_t { kEmpty = 0, kOccupied = 1, kDeleted = 2 };

// ---- probe index -------------------------------------------------------------
//
// Beside its slot table, each open-addressing map keeps one control byte per
// slot: 0 empty, 1 deleted, 0x80 | the top seven bits of the key's hash when
// occupied.  The bytes mirror the slots' states and change with them.  A
// probe walks the same path as a slot-by-slot walk (home slot, then each
// following slot, wrapping, at most cap slots) but reads sixteen control
// bytes at a time and looks at a slot's key only when its byte carries the
// key's hash bits: an absent key is usually settled without touching the
// slot table, and a present one costs one slot read.  The first sixteen
// bytes are repeated after the last, so a group starting near the end of the
// table reads the wrapped-around bytes directly.

constexpr int64_t kGroup = 16;
constexpr uint8_t kCtrlEmpty = 0;
constexpr uint8_t kCtrlDeleted = 1;

inline uint8_t ctrl_tag(uint64_t hash) noexcept { return static_cast<uint8_t>(0x80 | (hash >> 57)); }

// Zero-filled control bytes for cap slots (all empty); null when memory is
// short.
inline uint8_t *new_ctrl(int64_t cap) noexcept {
    return static_cast<uint8_t *>(std::calloc(static_cast<size_t>(cap) + kGroup, 1));
}

inline void set_ctrl(uint8_t *ctrl, int64_t cap, uint64_t i, uint8_t value) noexcept {
    ctrl[i] = value;
    if (i < static_cast<uint64_t>(kGroup)) ctrl[static_cast<uint64_t>(cap) + i] = value;
}

class Group {
public:
    explicit Group(const uint8_t *p) noexcept : v_(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))) {}
    // Bit j set when byte j equals b.
    uint32_t match(uint8_t b) const noexcept {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v_, _mm_set1_epi8(static_cast<char>(b)))));
    }
    // Bit j set when byte j marks an occupied slot.
    uint32_t occupied() const noexcept { return static_cast<uint32_t>(_mm_movemask_epi8(v_)); }

private:
    __m128i v_;
};

// The bits below the lowest set bit of m (all sixteen when m is 0).
inline uint32_t below_first(uint32_t m) noexcept { return m ? (m & (0u - m)) - 1 : 0xFFFFu; }

// The slot of the path from hash whose key satisfies eq(slot), or -1 when
// the path reaches an empty slot or ends first.
template <class Eq>
inline int64_t probe_find(const uint8_t *ctrl, int64_t cap, uint64_t hash, Eq eq) noexcept {
    uint64_t mask = static_cast<uint64_t>(cap) - 1;
    uint8_t tag = ctrl_tag(hash);
    uint64_t pos = hash & mask;
    for (int64_t g = cap / kGroup; g > 0; --g, pos = (pos + kGroup) & mask) {
        Group group(ctrl + pos);
        uint32_t empty = group.match(kCtrlEmpty);
        for (uint32_t c = group.match(tag) & below_first(empty); c; c &= c - 1) {
            uint64_t i = (pos + static_cast<uint64_t>(__builtin_ctz(c))) & mask;
            if (eq(i)) return static_cast<int64_t>(i);
        }
        if (empty) return -1;
    }
    return -1;
}

// An insert's walk: found is the key's slot (or -1); when it is -1, free is
// the first empty or deleted slot of the path (or -1 when every slot is
// occupied).
struct Placement {
    int64_t found;
    int64_t free;
};

template <class Eq>
inline Placement probe_place(const uint8_t *ctrl, int64_t cap, uint64_t hash, Eq eq) noexcept {
    uint64_t mask = static_cast<uint64_t>(cap) - 1;
    uint8_t tag = ctrl_tag(hash);
    uint64_t pos = hash & mask;
    int64_t free_slot = -1;
    for (int64_t g = cap / kGroup; g > 0; --g, pos = (pos + kGroup) & mask) {
        Group group(ctrl + pos);
        uint32_t empty = group.match(kCtrlEmpty);
        uint32_t before = below_first(empty);
        for (uint32_t c = group.match(tag) & before; c; c &= c - 1) {
            uint64_t i = (pos + static_cast<uint64_t>(__builtin_ctz(c))) & mask;
            if (eq(i)) return {static_cast<int64_t>(i), -1};
        }
        if (free_slot < 0) {
            uint32_t deleted = group.match(kCtrlDeleted) & before;
            if (deleted) free_slot = static_cast<int64_t>((pos + static_cast<uint64_t>(__builtin_ctz(deleted))) & mask);
        }
        if (empty) {
            if (free_slot < 0) free_slot = static_cast<int64_t>((pos + static_cast<uint64_t>(__builtin_ctz(empty))) & mask);
            return {-1, free_slot};
        }
    }
    return {-1, free_slot};
}

// The first slot of the path from hash that is not occupied, in a table
// without deleted slots and with at least one empty slot (growth).
inline uint64_t probe_first_empty(const uint8_t *ctrl, int64_t cap, uint64_t hash) noexcept {
    uint64_t mask = static_cast<uint64_t>(cap) - 1;
    for (uint64_t pos = hash & mask;; pos = (pos + kGroup) & mask)
        if (uint32_t empty = Group(ctrl + pos).match(kCtrlEmpty))
            return (pos + static_cast<uint64_t>(__builtin_ctz(empty))) & mask;
}

// Calls visit(slot) for every occupied slot in ascending order.
template <class Visit>
inline void each_occupied(const uint8_t *ctrl, int64_t cap, Visit visit) noexcept {
    for (int64_t base = 0; base < cap; base += kGroup)
        for (uint32_t m = Group(ctrl + base).occupied(); m; m &= m - 1) visit(base + __builtin_ctz(m));
}

// An empty ZeqVec whose capacity is what pushing n elements one at a time
// onto a new vector (capacity 8, doubled when full) would leave, so a keys or
// values result is filled without regrowth and shows the same capacity.
inline ZeqVec *new_result_vector(int64_t n) noexcept {
    int64_t cap = 8;
    while (cap < n) cap *= 2;
    return zeq_vec_with_capacity(cap);
}

}  // namespace zeq
