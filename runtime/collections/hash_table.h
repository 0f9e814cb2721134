// Declarations shared by the map files of the collections: slot states of the
// open-addressing tables and the key/value result vectors.
#pragma once

#include "core/core.h"

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

// An empty ZeqVec whose capacity is what pushing n elements one at a time
// onto a new vector (capacity 8, doubled when full) would leave, so a keys or
// values result is filled without regrowth and shows the same capacity.
inline ZeqVec *new_result_vector(int64_t n) noexcept {
    int64_t cap = 8;
    while (cap < n) cap *= 2;
    return zeq_vec_with_capacity(cap);
}

}  // namespace zeq
