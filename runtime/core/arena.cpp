// The per-thread bump arena behind zeq_alloc, its control functions, the
// memory limit, and the raw-memory services.
#include "core.h"
#include "core_internal.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
int32_t g_arena_enabled = 0;
}

namespace zeq {
namespace {

constexpr uint64_t kAlign = kArenaAlign;
constexpr uint64_t kBlockSize = 8ull << 20;      // standard block: 8 MiB
constexpr uint64_t kOversizeExtra = 64;           // slack of an oversized block
constexpr uint64_t kDefaultLimit = 4ull << 30;    // 4 GiB
constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kHugePage = 2ull << 20;
// Standard blocks released by reset or restore are kept for reuse, up to
// this many per thread, so an arena that is reset in a loop does not map and
// fault in fresh pages every round.  They are not part of the chain, so usage
// and the limit test count only the chain; but what the arena holds from the
// system, spares included, stays within the limit plus less than one block:
// spares are released first whenever a new block would push it over.
constexpr int kMaxSpare = 4;

struct Block {
    char *data;
    uint64_t used;
    uint64_t cap;
    Block *next;
};

// Everything the arena keeps per thread besides t_arena_bump; zero at thread
// start.  The current block's used field is not kept up to date while the
// block serves allocations: t_arena_bump.next is the truth, written back by
// leave_current before anything reads used.
struct ArenaState {
    Block *head;
    Block *current;         // always the last block of the chain
    uint64_t total;         // sum of cap over the chain
    Block *save_block;      // save point: block current at the last save
    uint64_t save_used;
    uint64_t save_total;
    uint64_t max_size;      // limit; 0 until read from the environment
    Block *spare;           // released standard blocks kept for reuse
    int spare_count;
};

thread_local ArenaState t_arena;

// Makes b the block that serves allocations, from its used bytes on.
inline void enter(ArenaState &a, Block *b) noexcept {
    a.current = b;
    t_arena_bump = {b->data + b->used, b->data + b->cap};
}

// Writes the bump position back into the current block's used field.
inline void leave_current(const ArenaState &a) noexcept {
    if (a.current) a.current->used = static_cast<uint64_t>(t_arena_bump.next - a.current->data);
}

inline uint64_t round_up(uint64_t size) noexcept {
    return size > UINT64_MAX - (kAlign - 1) ? UINT64_MAX & ~(kAlign - 1)
                                            : (size + kAlign - 1) & ~(kAlign - 1);
}

void free_blocks_from(Block *b) noexcept {
    while (b) {
        Block *next = b->next;
        std::free(b->data);
        std::free(b);
        b = next;
    }
}

// Takes the blocks from b on out of the chain: standard blocks go to the
// spare list while it has room, the rest are freed.  Returns their total cap.
uint64_t retire_blocks_from(ArenaState &a, Block *b) noexcept {
    uint64_t released = 0;
    while (b) {
        Block *next = b->next;
        released += b->cap;
        if (b->cap == kBlockSize && a.spare_count < kMaxSpare) {
            b->next = a.spare;
            a.spare = b;
            ++a.spare_count;
        } else {
            std::free(b->data);
            std::free(b);
        }
        b = next;
    }
    return released;
}

// Frees spare blocks while the chain, the spares and a new block of `size`
// bytes would together hold more than the limit.
void release_spares_over_limit(ArenaState &a, uint64_t size) noexcept {
    uint64_t held = add_sat(a.total, size);
    while (a.spare && add_sat(held, uint64_t(a.spare_count) * kBlockSize) > a.max_size) {
        Block *b = a.spare;
        a.spare = b->next;
        --a.spare_count;
        std::free(b->data);
        std::free(b);
    }
}

// Reads ZEQ_ARENA_MAX_SIZE: every decimal digit accumulates, other characters
// are skipped; a last character G or M (any case) scales by 2^30 or 2^20.
uint64_t read_limit() noexcept {
    const char *v = std::getenv("ZEQ_ARENA_MAX_SIZE");
    if (!v || !*v) return kDefaultLimit;
    uint64_t n = 0;
    const char *p = v;
    for (; *p; ++p)
        if (*p >= '0' && *p <= '9') n = add_sat(mul_sat(n, 10), static_cast<uint64_t>(*p - '0'));
    char last = p[-1];
    if (last == 'G' || last == 'g') n = mul_sat(n, 1ull << 30);
    else if (last == 'M' || last == 'm') n = mul_sat(n, kMiB);
    return n ? n : kDefaultLimit;
}

[[noreturn]] void limit_exceeded(const ArenaState &a) noexcept {
    std::fprintf(stderr, "[zeq] FATAL: arena memory limit exceeded (%zu MB / %zu MB max)\n",
                 static_cast<size_t>(a.total / kMiB), static_cast<size_t>(a.max_size / kMiB));
    std::fprintf(stderr, "[zeq] Set ZEQ_ARENA_MAX_SIZE environment variable to increase (e.g. 8G)\n");
    write_backtrace(__builtin_return_address(0));
    std::exit(1);
}

// Readies the memory of a new block: see prepare_bulk_memory.  A thread's
// first block is left to fault in page by page, as a small program may use
// little of it; a thread that filled one block goes on allocating.
void prepare_block(char *data, uint64_t size, bool first) noexcept {
    if (!first) return prepare_bulk_memory(data, size, true);
    // The first 2 MiB stay in small pages: a huge one would take 2 MiB of
    // memory at the first string.
    if (size > kHugePage) prepare_bulk_memory(data + kHugePage, size - kHugePage, false);
}

// A block's bytes (a block spans several huge pages), aligned to 2 MiB so
// that all of it may be backed by huge pages; null when memory is short.
char *block_memory(uint64_t size) noexcept {
    void *p = nullptr;
    return posix_memalign(&p, kHugePage, size) == 0 ? static_cast<char *>(p) : nullptr;
}

// Memory from outside the arena when a new block can't be had.
void *fallback(uint64_t r) noexcept { return checked_malloc(r); }

__attribute__((noinline)) void *alloc_new_block(uint64_t r) noexcept {
    ArenaState &a = t_arena;
    if (a.max_size == 0) a.max_size = read_limit();
    if (add_sat(a.total, r) > a.max_size) limit_exceeded(a);
    uint64_t size = r <= kBlockSize ? kBlockSize : add_sat(r, kOversizeExtra);
    Block *b;
    if (size == kBlockSize && a.spare) {
        b = a.spare;
        a.spare = b->next;
        --a.spare_count;
    } else {
        release_spares_over_limit(a, size);
        b = static_cast<Block *>(std::malloc(sizeof(Block)));
        if (!b) return fallback(r);
        b->data = block_memory(size);
        if (!b->data) {
            std::free(b);
            return fallback(r);
        }
        prepare_block(b->data, size, a.head == nullptr);
    }
    leave_current(a);
    b->used = r;
    b->cap = size;
    b->next = nullptr;
    a.total += size;
    if (a.current) a.current->next = b; else a.head = b;
    enter(a, b);
    return b->data;
}

// zeq_alloc in arena mode.
inline void *arena_alloc(uint64_t size) noexcept {
    uint64_t r = round_up(size);
    char *p = t_arena_bump.next;
    // r = 0 takes the slow path too: without a block it makes the first one.
    if (ZEQ_LIKELY(r - 1 < static_cast<uint64_t>(t_arena_bump.end - p))) {
        t_arena_bump.next = p + r;
        return p;
    }
    if (r == 0 && t_arena.current) return p;
    return alloc_new_block(r);
}

}  // namespace

constinit thread_local ArenaBump t_arena_bump __attribute__((tls_model("initial-exec"))) = {nullptr, nullptr};

void prepare_bulk_memory(void *p, uint64_t size, bool fill_now) noexcept {
    constexpr uintptr_t kHuge = 2u << 20, kPage = 4096;
    auto start = reinterpret_cast<uintptr_t>(p);
    uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1), to = (start + size) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    from = (start + kPage - 1) & ~(kPage - 1);
    to = (start + size) & ~(kPage - 1);
    if (fill_now && to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
#endif
}

void release_thread_arena() noexcept {
    ArenaState &a = t_arena;
    t_arena_bump = {nullptr, nullptr};
    free_blocks_from(a.head);
    free_blocks_from(a.spare);
    a.spare = nullptr;
    a.spare_count = 0;
    a.head = a.current = nullptr;
    a.total = 0;
    // The save point named a block that is gone: it must never be restored.
    a.save_block = nullptr;
    a.save_used = a.save_total = 0;
}

[[noreturn]] void fatal_out_of_memory(uint64_t requested) noexcept {
    std::fprintf(stderr, "[zeq] FATAL: out of memory (%zu bytes requested)\n",
                 static_cast<size_t>(requested));
    write_backtrace(__builtin_return_address(0));
    std::exit(1);
}

void *checked_malloc(uint64_t size) noexcept {
    void *p = std::malloc(size);
    if (ZEQ_UNLIKELY(!p) && size) fatal_out_of_memory(size);
    return p;
}

void *checked_realloc(void *p, uint64_t size) noexcept {
    void *q = std::realloc(p, size);
    if (ZEQ_UNLIKELY(!q) && size) fatal_out_of_memory(size);
    return q;
}

}  // namespace zeq

using namespace zeq;

extern "C" void *zeq_alloc(uint64_t size) noexcept {
    return arena_enabled() ? arena_alloc(size) : checked_malloc(size);
}

// The bytes and then the record of a string when the inline path could not
// carve them at once: two separate allocations, as zeq_alloc(size) followed
// by zeq_alloc(sizeof(ZeqString)).
zeq::StringMemory zeq::alloc_string_memory_slow(uint64_t size) noexcept {
    if (!arena_enabled())
        return {static_cast<char *>(checked_malloc(size)),
                static_cast<ZeqString *>(checked_malloc(sizeof(ZeqString)))};
    auto *bytes = static_cast<char *>(arena_alloc(size));
    return {bytes, static_cast<ZeqString *>(arena_alloc(sizeof(ZeqString)))};
}

extern "C" int64_t zeq_arena_mode(int32_t flag) noexcept {
    set_arena_enabled(flag);
    return 0;
}

extern "C" int64_t zeq_arena_reset(void) noexcept {
    ArenaState &a = t_arena;
    if (!a.head) return 0;
    a.total -= retire_blocks_from(a, a.head->next);
    a.head->used = 0;
    a.head->next = nullptr;
    enter(a, a.head);
    // A save point in a released block can't be restored; one in the first
    // block still can.
    if (a.save_block != a.head) {
        a.save_block = nullptr;
        a.save_used = a.save_total = 0;
    }
    return 0;
}

extern "C" int64_t zeq_arena_save(void) noexcept {
    ArenaState &a = t_arena;
    leave_current(a);
    a.save_block = a.current;
    a.save_used = a.current ? a.current->used : 0;
    a.save_total = a.total;
    return 0;
}

extern "C" int64_t zeq_arena_restore(void) noexcept {
    ArenaState &a = t_arena;
    Block *s = a.save_block;
    if (!s) return 0;
    retire_blocks_from(a, s->next);
    s->next = nullptr;
    s->used = a.save_used;
    enter(a, s);
    a.total = a.save_total;
    return 0;
}

extern "C" int64_t zeq_arena_usage(void) noexcept {
    return static_cast<int64_t>(t_arena.total);
}

extern "C" int64_t zeq_arena_destroy(void) noexcept {
    release_thread_arena();
    set_arena_enabled(0);
    return 0;
}

extern "C" void *zeq_calloc(uint64_t count, uint64_t size) noexcept {
    return std::calloc(count, size);
}

extern "C" int64_t *zeq_box_new_i64(int64_t value) noexcept {
    auto *box = static_cast<int64_t *>(checked_malloc(sizeof(int64_t)));
    *box = value;
    return box;
}

extern "C" int64_t zeq_load_i64(const void *p) noexcept {
    int64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

extern "C" void zeq_store_i64(void *p, int64_t value) noexcept {
    std::memcpy(p, &value, sizeof value);
}

extern "C" int64_t zeq_load_u8(const void *p) noexcept {
    return *static_cast<const unsigned char *>(p);
}

extern "C" void zeq_store_u8(void *p, int32_t value) noexcept {
    *static_cast<unsigned char *>(p) = static_cast<unsigned char>(value);
}

ZEQ_ALIAS(arena_mode, zeq_arena_mode);
ZEQ_ALIAS(arena_reset, zeq_arena_reset);
ZEQ_ALIAS(arena_save, zeq_arena_save);
ZEQ_ALIAS(arena_restore, zeq_arena_restore);
ZEQ_ALIAS(arena_usage, zeq_arena_usage);
ZEQ_ALIAS(arena_destroy, zeq_arena_destroy);
ZEQ_ALIAS(load_i64, zeq_load_i64);
ZEQ_ALIAS(store_i64, zeq_store_i64);
ZEQ_ALIAS(load_u8, zeq_load_u8);
ZEQ_ALIAS(store_u8, zeq_store_u8);
