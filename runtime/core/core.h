// Internal declarations shared by every runtime file: the allocation entry
// behind all string results, the fatal out-of-memory path, and the macro that
// exports a short name as an alias of its zeq_ service.
#pragma once

#include "zeq.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Exports `name` as a second symbol for `target` (same address, same type,
// same attributes).  The target must be defined in the same file.
#if defined(__has_attribute) && __has_attribute(copy)
#define ZEQ_ALIAS(name, target) \
    extern "C" __typeof__(target) name __attribute__((alias(#target), copy(target)))
#else
#define ZEQ_ALIAS(name, target) \
    extern "C" __typeof__(target) name __attribute__((alias(#target)))
#endif

#define ZEQ_LIKELY(x) __builtin_expect(!!(x), 1)
#define ZEQ_UNLIKELY(x) __builtin_expect(!!(x), 0)

namespace zeq {

// Arena mode flag, read without tearing by every thread.
inline bool arena_enabled() noexcept {
    return __atomic_load_n(&g_arena_enabled, __ATOMIC_RELAXED) != 0;
}
inline void set_arena_enabled(int32_t on) noexcept {
    __atomic_store_n(&g_arena_enabled, on, __ATOMIC_RELAXED);
}

// Ends the process: "[zeq] FATAL: out of memory (N bytes requested)", status 1.
[[noreturn]] void fatal_out_of_memory(uint64_t requested) noexcept;

// With ZEQ_BACKTRACE=1 in the environment: writes the calling thread's stack
// to standard error, one frame per line, from the frame that the return
// address `from` lies in (the caller of a fatal-error entry) outwards; every
// frame when `from` is not on the stack.  Otherwise nothing.  Called after a
// fatal line, just before the process ends.
void write_backtrace(const void *from) noexcept;
// With ZEQ_BACKTRACE=1: lets the C library's unwinder load its helper now,
// so that a later trace does not allocate.
void prime_backtrace() noexcept;
// Advice for a large buffer about to be written in full (an arena block, a
// file's bytes): its whole 2 MiB-aligned stretches may be backed by huge
// pages (a few page faults instead of hundreds), and with fill_now its
// pages are faulted in at once, with one call instead of one fault per
// page.  A kernel without either leaves the memory as it is.
void prepare_bulk_memory(void *p, uint64_t size, bool fill_now) noexcept;

// malloc / realloc that never return null (the fatal path instead).
void *checked_malloc(uint64_t size) noexcept;
void *checked_realloc(void *p, uint64_t size) noexcept;

// Set bits of x, in bit arithmetic rather than the compiler builtin: without
// a popcnt target the builtin is a call into a libgcc helper.
inline int64_t bit_count(uint64_t x) noexcept {
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int64_t>((x * 0x0101010101010101ull) >> 56);
}

// a * b and a + b saturated at UINT64_MAX, so absurd sizes reach the
// out-of-memory or arena-limit path instead of wrapping.
inline uint64_t mul_sat(uint64_t a, uint64_t b) noexcept {
    uint64_t r;
    return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}
inline uint64_t add_sat(uint64_t a, uint64_t b) noexcept {
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

}  // namespace zeq

// The allocation entry behind every string result: the calling thread's
// arena while arena mode is on, malloc otherwise.  Never returns null: memory
// exhaustion and the arena limit end the process.
extern "C" __attribute__((visibility("hidden"))) void *zeq_alloc(uint64_t size) noexcept;

namespace zeq {

// ---- the arena's fast path ----------------------------------------------------
//
// The free range of the calling thread's current arena block: the next byte
// to hand out and the block's end, both null while the thread has no block.
// It is the only arena state that the inline allocations below touch, and it
// lives in initial-exec thread-local storage, so reaching it is one load
// relative to the thread pointer (no descriptor call); it is kept to two
// words so that loading the library with dlopen still finds room for it in
// the static TLS area.  Everything else (the chain, the limit, the save
// point) stays with the out-of-line slow path in arena.cpp, which keeps this
// range in step with the current block.
struct ArenaBump {
    char *next;
    char *end;
};
extern constinit thread_local ArenaBump t_arena_bump __attribute__((tls_model("initial-exec")));

constexpr uint64_t kArenaAlign = 8;

struct StringMemory {
    char *bytes;
    ZeqString *record;
};

// Carves the bytes (size of them, NUL included) and then the record of a
// string from the current arena block with one bump, when arena mode is on
// and the block has room for both; false otherwise.
__attribute__((always_inline)) inline bool carve_string_memory(uint64_t size, StringMemory &out) noexcept {
    if (ZEQ_UNLIKELY(!arena_enabled())) return false;
    ArenaBump &b = t_arena_bump;
    char *p = b.next;
    // Blocks and the sizes handed out are multiples of 8, so room is too,
    // and size < room keeps the rounded size within it.
    auto room = static_cast<uint64_t>(b.end - p);
    if (ZEQ_UNLIKELY(size >= room)) return false;
    uint64_t r = (size + kArenaAlign - 1) & ~(kArenaAlign - 1);
    if (ZEQ_UNLIKELY(room - r < sizeof(ZeqString))) return false;
    b.next = p + r + sizeof(ZeqString);
    out = {p, reinterpret_cast<ZeqString *>(p + r)};
    return true;
}

// Memory for a string of size bytes (NUL included): the bytes first, then
// the record, both from zeq_alloc, at the addresses that zeq_alloc(size)
// followed by zeq_alloc(sizeof(ZeqString)) would give.
StringMemory alloc_string_memory_slow(uint64_t size) noexcept;
inline StringMemory alloc_string_memory(uint64_t size) noexcept {
    StringMemory m;
    return carve_string_memory(size, m) ? m : alloc_string_memory_slow(size);
}

// Copies n bytes, sizeof(Word) <= n < 2 * sizeof(Word), and a NUL after
// them: the head word, then the tail word shifted down one byte so that its
// top byte, the NUL, lands at to[n].
template <class Word>
inline void copy_two_words_with_nul(char *to, const char *from, uint64_t n) noexcept {
    constexpr uint64_t w = sizeof(Word);
    Word head, tail;
    std::memcpy(&head, from, w);
    std::memcpy(&tail, from + n - w, w);
    tail >>= 8;
    std::memcpy(to, &head, w);
    std::memcpy(to + n - w + 1, &tail, w);
}

// Copies n bytes, at most 15, and writes a NUL after them, without a call.
// The destination may be written past that NUL up to the next multiple of
// 8 (the rounding of the string's buffer); the source is read only within
// its n bytes.
inline void copy_short_with_nul(char *to, const char *from, uint64_t n) noexcept {
    if (n >= 8) {
        copy_two_words_with_nul<uint64_t>(to, from, n);
    } else if (n >= 4) {
        copy_two_words_with_nul<uint32_t>(to, from, n);
    } else {
        if (n > 0) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        }
        to[n] = '\0';
    }
}

// The out-of-line forms of string_alloc and string_copy, for when the
// string cannot be carved from the current block; and the end of
// string_copy for more than 15 bytes in carved memory.
ZeqString *string_alloc_slow(int64_t n) noexcept;
ZeqString *string_copy_slow(const char *bytes, int64_t n) noexcept;
ZeqString *string_copy_long(StringMemory m, const char *bytes, int64_t n) noexcept;

inline ZeqString *fill_record(StringMemory m, int64_t n) noexcept {
    m.record->data = m.bytes;
    m.record->len = n;
    m.record->cap = n;
    return m.record;
}

// A new string of n bytes (content left for the caller to fill, NUL already
// written at data[n]), allocated the way every constructor does it: the
// bytes first, then the record, both from zeq_alloc.  len = cap = n.
inline ZeqString *string_alloc(int64_t n) noexcept {
    StringMemory m;
    if (ZEQ_UNLIKELY(!carve_string_memory(add_sat(static_cast<uint64_t>(n), 1), m))) return string_alloc_slow(n);
    m.bytes[n] = '\0';
    return fill_record(m, n);
}
// A new string holding a copy of n bytes (n >= 0).  The common case, a short
// string carved from the current block, makes no call.
inline ZeqString *string_copy(const char *bytes, int64_t n) noexcept {
    StringMemory m;
    if (ZEQ_UNLIKELY(!carve_string_memory(add_sat(static_cast<uint64_t>(n), 1), m))) return string_copy_slow(bytes, n);
    if (ZEQ_UNLIKELY(n > 15)) return string_copy_long(m, bytes, n);
    copy_short_with_nul(m.bytes, bytes, static_cast<uint64_t>(n));
    return fill_record(m, n);
}
// A new empty string: one NUL byte, len = cap = 0.
inline ZeqString *string_empty() noexcept { return string_alloc(0); }

}  // namespace zeq
