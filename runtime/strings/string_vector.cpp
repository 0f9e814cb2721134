// String vectors: growable lists of string pointers named by small integer
// handles into one process-wide pool, and the services that split a text
// into a new string vector.
//
// The pool keeps its slots in blocks that never move: block k holds
// 16 << k slots, so a handle maps to a block and an offset with one bit scan
// and the slot's address is stable for the life of the process.  Handing out
// a handle takes a lock (it may allocate a block); every other operation
// reads the published slot count and the block pointer with acquire loads
// and needs no lock.  Distinct vectors may therefore be used by different
// threads at the same time; one vector changed by two threads at once is the
// caller's to guard.
#include "core/core.h"
#include "strings/search_core.h"
#include "strings/strings_internal.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <mutex>

using namespace zeq;

namespace {

struct ZeqSvecSlot {
    ZeqString **items;
    int64_t count;
    int64_t capacity;
};

constexpr int kFirstBlockShift = 4;  // the first block holds 16 slots
constexpr int kBlockCount = 48;      // 16 * (2^48 - 1) slots in all

struct SvecPool {
    ZeqSvecSlot *blocks[kBlockCount] = {};  // written once each, under the lock
    int64_t len = 0;                        // handles 0 .. len - 1 are valid
    int64_t cap = 0;                        // slots in the allocated blocks
    std::mutex lock;
};

// Constant-initialised: nothing runs at load time.
constinit SvecPool g_svec_pool;

// Block and offset of a handle: block k starts at 16 * (2^k - 1).
struct Place {
    int block;
    int64_t offset;
};
inline Place place_of(int64_t handle) noexcept {
    uint64_t q = (static_cast<uint64_t>(handle) >> kFirstBlockShift) + 1;
    int block = std::bit_width(q) - 1;
    uint64_t start = ((uint64_t{1} << block) - 1) << kFirstBlockShift;
    return {block, static_cast<int64_t>(static_cast<uint64_t>(handle) - start)};
}

// The slot of a valid handle, or null.  Negative handles and handles never
// issued never touch memory beyond the pool record.
ZeqSvecSlot *slot_of(int64_t handle) noexcept {
    if (handle < 0 || handle >= __atomic_load_n(&g_svec_pool.len, __ATOMIC_ACQUIRE)) return nullptr;
    Place p = place_of(handle);
    ZeqSvecSlot *block = __atomic_load_n(&g_svec_pool.blocks[p.block], __ATOMIC_ACQUIRE);
    return block + p.offset;
}

// Grows items by the vector rule (8, then doubling); false when it cannot.
bool grow_items(ZeqSvecSlot *slot) noexcept {
    int64_t want = slot->capacity == 0 ? 8 : slot->capacity * 2;
    if (want <= slot->capacity) return false;
    uint64_t bytes = mul_sat(static_cast<uint64_t>(want), sizeof(ZeqString *));
    if (bytes > PTRDIFF_MAX) return false;
    void *p = std::realloc(slot->items, bytes);
    if (!p) return false;
    slot->items = static_cast<ZeqString **>(p);
    slot->capacity = want;
    return true;
}

// Room for at least n items in an empty slot, taken at once; a large list's
// pages are faulted in together rather than one by one as it fills.  When
// the memory can't be had the pushes grow the list as usual.
void reserve_items(ZeqSvecSlot *slot, int64_t n) noexcept {
    constexpr uint64_t kBulk = 1u << 20;
    uint64_t bytes = mul_sat(static_cast<uint64_t>(n), sizeof(ZeqString *));
    if (slot->capacity != 0 || n <= 8 || bytes > PTRDIFF_MAX) return;
    auto *items = static_cast<ZeqString **>(std::malloc(bytes));
    if (!items) return;
    if (bytes >= kBulk) prepare_bulk_memory(items, bytes, true);
    slot->items = items;
    slot->capacity = n;
}

inline bool push_to(ZeqSvecSlot *slot, ZeqString *s) noexcept {
    if (slot->count >= slot->capacity && !grow_items(slot)) return false;
    slot->items[slot->count++] = s;
    return true;
}

inline bool same_content(const ZeqString *item, const ZeqString *s) noexcept {
    return item && item->len == s->len &&
           (s->len <= 0 || std::memcmp(item->data, s->data, static_cast<size_t>(s->len)) == 0);
}

// Ordering of two items: null items first, then unsigned bytes, then the
// shorter string first.
int zeqstring_cmp(const ZeqString *a, const ZeqString *b) noexcept {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    int64_t n = std::min(a->len, b->len);
    if (n > 0) {
        int c = std::memcmp(a->data, b->data, static_cast<size_t>(n));
        if (c != 0) return c;
    }
    return (a->len > b->len) - (a->len < b->len);
}

inline int64_t text_len(const ZeqString *s) noexcept { return s && s->data && s->len > 0 ? s->len : 0; }

}  // namespace

namespace zeq {

int64_t svec_new_handle() noexcept {
    std::lock_guard<std::mutex> guard(g_svec_pool.lock);
    int64_t h = g_svec_pool.len;
    if (h == g_svec_pool.cap) {
        Place p = place_of(h);
        if (p.block >= kBlockCount) return -1;
        uint64_t slots = uint64_t{1} << (p.block + kFirstBlockShift);
        auto *block = static_cast<ZeqSvecSlot *>(std::calloc(slots, sizeof(ZeqSvecSlot)));
        if (!block) return -1;
        __atomic_store_n(&g_svec_pool.blocks[p.block], block, __ATOMIC_RELEASE);
        g_svec_pool.cap += static_cast<int64_t>(slots);
    }
    // Fresh blocks come zeroed and slots are never reused, so the new slot
    // already reads items null, count 0, capacity 0.
    __atomic_store_n(&g_svec_pool.len, h + 1, __ATOMIC_RELEASE);
    return h;
}

bool svec_append(int64_t handle, ZeqString *s) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    return slot && push_to(slot, s);
}

}  // namespace zeq

extern "C" int64_t zeq_svec_new(void) noexcept { return svec_new_handle(); }

extern "C" int64_t zeq_svec_push(int64_t handle, ZeqString *s) noexcept {
    return svec_append(handle, s) ? 0 : -1;
}

extern "C" int64_t zeq_svec_len(int64_t handle) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    return slot ? slot->count : 0;
}

extern "C" ZeqString *zeq_svec_get(int64_t handle, int64_t index) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    if (!slot || index < 0 || index >= slot->count) return nullptr;
    return slot->items[index];
}

extern "C" int64_t zeq_svec_remove(int64_t handle, int64_t index) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    if (!slot || index < 0 || index >= slot->count) return 0;
    std::memmove(slot->items + index, slot->items + index + 1,
                 static_cast<size_t>(slot->count - index - 1) * sizeof(ZeqString *));
    --slot->count;
    return 1;
}

extern "C" int64_t zeq_svec_clear(int64_t handle) noexcept {
    if (ZeqSvecSlot *slot = slot_of(handle)) slot->count = 0;
    return 0;
}

extern "C" int64_t zeq_svec_free(int64_t handle) noexcept {
    if (ZeqSvecSlot *slot = slot_of(handle)) {
        std::free(slot->items);
        *slot = ZeqSvecSlot{nullptr, 0, 0};
    }
    return 0;
}

extern "C" int64_t zeq_svec_index_of(int64_t handle, const ZeqString *s) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    if (!slot || !s) return -1;
    for (int64_t i = 0; i < slot->count; ++i)
        if (same_content(slot->items[i], s)) return i;
    return -1;
}

extern "C" int64_t zeq_svec_contains(int64_t handle, const ZeqString *s) noexcept {
    return zeq_svec_index_of(handle, s) >= 0 ? 1 : 0;
}

extern "C" int64_t zeq_svec_sort(int64_t handle) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    if (slot && slot->count > 1)
        std::sort(slot->items, slot->items + slot->count,
                  [](const ZeqString *a, const ZeqString *b) { return zeqstring_cmp(a, b) < 0; });
    return 0;
}

extern "C" ZeqString *zeq_svec_join(int64_t handle, const ZeqString *separator) noexcept {
    ZeqSvecSlot *slot = slot_of(handle);
    if (!slot || slot->count == 0) return string_empty();
    int64_t sep = text_len(separator);
    uint64_t total = mul_sat(static_cast<uint64_t>(slot->count - 1), static_cast<uint64_t>(sep));
    for (int64_t i = 0; i < slot->count; ++i)
        total = add_sat(total, static_cast<uint64_t>(text_len(slot->items[i])));
    if (total > static_cast<uint64_t>(INT64_MAX)) fatal_out_of_memory(total);
    ZeqString *r = string_alloc(static_cast<int64_t>(total));
    char *out = r->data;
    for (int64_t i = 0; i < slot->count; ++i) {
        if (i > 0 && sep > 0) {
            std::memcpy(out, separator->data, static_cast<size_t>(sep));
            out += sep;
        }
        if (int64_t n = text_len(slot->items[i]); n > 0) {
            std::memcpy(out, slot->items[i]->data, static_cast<size_t>(n));
            out += n;
        }
    }
    return r;
}

// ---------------------------------------------------------------------------
// Splitting into a new string vector.  Segments are new strings with
// explicit lengths; a segment the vector cannot take is dropped.

namespace {

inline const unsigned char *bytes_of(const ZeqString *s) noexcept {
    return reinterpret_cast<const unsigned char *>(s->data);
}

inline void append_copy(ZeqSvecSlot *slot, const unsigned char *p, int64_t n) noexcept {
    push_to(slot, string_copy(reinterpret_cast<const char *>(p), n));
}

// Bit i set when byte i of the 64 at p is tab, LF, CR or space.
inline uint64_t space_bits64(const unsigned char *p) noexcept {
    using search::V16;
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        V16 v = search::load16(p + 16 * k);
        V16 ws = (v == search::splat(9)) | (v == search::splat(10)) | (v == search::splat(13)) |
                 (v == search::splat(32));
        m |= static_cast<uint64_t>(search::bits(ws)) << (16 * k);
    }
    return m;
}

inline bool is_space(unsigned char c) noexcept { return c == 9 || c == 10 || c == 13 || c == 32; }

// Runs a splitter: a new vector (-1 when the pool can't grow), filled by
// cut(slot, bytes, n) unless the text is empty.
template <class Cut>
int64_t split_into_new(const ZeqString *s, Cut cut) noexcept {
    int64_t h = svec_new_handle();
    if (h < 0) return -1;
    if (int64_t n = text_len(s); n > 0) cut(slot_of(h), bytes_of(s), n);
    return h;
}

}  // namespace

extern "C" int64_t zeq_str_split(const ZeqString *s, const ZeqString *separator) noexcept {
    return split_into_new(s, [&](ZeqSvecSlot *slot, const unsigned char *t, int64_t n) noexcept {
        int64_t m = text_len(separator);
        if (m == 0) {
            for (int64_t i = 0; i < n; ++i) append_copy(slot, t + i, 1);
            return;
        }
        const unsigned char *p = bytes_of(separator);
        int64_t cur = 0;
        while (cur + m <= n) {
            int64_t at = search::find_from(t, n, p, m, cur);
            if (at < 0) break;
            append_copy(slot, t + cur, at - cur);
            cur = at + m;
            if (cur >= n) return;
        }
        append_copy(slot, t + cur, n - cur);
    });
}

// Word starts in a block of 64 bytes whose space bits are ws: non-space
// bytes after a space (or the text start); prev_space carries the block's
// last byte over to the next block.
inline uint64_t word_starts(uint64_t ws, uint64_t &prev_space) noexcept {
    uint64_t starts = ~ws & ((ws << 1) | prev_space);
    prev_space = ws >> 63;
    return starts;
}

int64_t count_words(const unsigned char *t, int64_t n) noexcept {
    int64_t count = 0, i = 0;
    uint64_t prev_space = 1;
    for (; i + 64 <= n; i += 64) count += bit_count(word_starts(space_bits64(t + i), prev_space));
    for (; i < n; ++i) {
        bool sp = is_space(t[i]);
        count += !sp && prev_space;
        prev_space = sp;
    }
    return count;
}

extern "C" int64_t zeq_str_split_whitespace(const ZeqString *s) noexcept {
    return split_into_new(s, [&](ZeqSvecSlot *slot, const unsigned char *t, int64_t n) noexcept {
        // A pass that only counts costs a fraction of the copies, and the
        // list is then taken in one piece.
        reserve_items(slot, count_words(t, n));
        // Blocks of 64 bytes: word starts are non-space bytes after a space
        // (or the text start), word ends are space bytes after a non-space.
        int64_t start = -1;        // start of the open word, -1 when none
        uint64_t prev_space = 1;   // the byte before the block was a space
        int64_t i = 0;
        for (; i + 64 <= n; i += 64) {
            uint64_t ws = space_bits64(t + i);
            uint64_t before = (ws << 1) | prev_space;  // bit k: byte k - 1 is a space
            uint64_t starts = ~ws & before;
            uint64_t ends = ws & ~before;
            prev_space = ws >> 63;
            // Starts and ends alternate; an open word ends before any new start.
            while (starts | ends) {
                int ks = starts ? __builtin_ctzll(starts) : 64;
                int ke = ends ? __builtin_ctzll(ends) : 64;
                if (ke < ks) {
                    append_copy(slot, t + start, i + ke - start);
                    start = -1;
                    ends &= ends - 1;
                } else {
                    start = i + ks;
                    starts &= starts - 1;
                }
            }
        }
        for (; i < n; ++i) {
            bool sp = is_space(t[i]);
            if (!sp && start < 0) start = i;
            if (sp && start >= 0) {
                append_copy(slot, t + start, i - start);
                start = -1;
            }
        }
        if (start >= 0) append_copy(slot, t + start, n - start);
    });
}

extern "C" int64_t zeq_str_lines(const ZeqString *s) noexcept {
    return split_into_new(s, [&](ZeqSvecSlot *slot, const unsigned char *t, int64_t n) noexcept {
        for (int64_t r = 0; r < n;) {
            const void *hit = std::memchr(t + r, '\n', static_cast<size_t>(n - r));
            int64_t q = hit ? static_cast<const unsigned char *>(hit) - t : n;
            int64_t end = q > r && t[q - 1] == '\r' ? q - 1 : q;
            append_copy(slot, t + r, end - r);
            r = hit ? q + 1 : q;
        }
    });
}
