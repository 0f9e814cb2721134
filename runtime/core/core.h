// Internal declarations shared by every runtime file: the allocation entry
// behind all string results, the fatal out-of-memory path, and the macro that
// exports a short name as an alias of its zeq_ service.
#pragma once

#include "zeq.h"

#include <cstddef>
#include <cstdint>

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

// malloc / realloc that never return null (the fatal path instead).
void *checked_malloc(uint64_t size) noexcept;
void *checked_realloc(void *p, uint64_t size) noexcept;

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

struct StringMemory {
    char *bytes;
    ZeqString *record;
};
// Memory for a string of size bytes (NUL included): the bytes first, then
// the record, both from zeq_alloc.
StringMemory alloc_string_memory(uint64_t size) noexcept;

// A new string of n bytes (content left for the caller to fill, NUL already
// written at data[n]), allocated the way every constructor does it: the
// bytes first, then the record, both from zeq_alloc.  len = cap = n.
ZeqString *string_alloc(int64_t n) noexcept;
// A new string holding a copy of n bytes.
ZeqString *string_copy(const char *bytes, int64_t n) noexcept;
// A new empty string: one NUL byte, len = cap = 0.
inline ZeqString *string_empty() noexcept { return string_alloc(0); }

}  // namespace zeq
