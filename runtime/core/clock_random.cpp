// Monotonic clocks, millisecond sleeps, the per-thread pseudo-random
// generator and the optimisation barrier zeq_black_box.
#include "core.h"

#include <ctime>

namespace {

constexpr int64_t kNsPerSec = 1000000000;
constexpr int64_t kNsPerMs = 1000000;

// Seeding from the clock mixes the reading with this constant.
constexpr uint64_t kSeedMask = 0x5DEECE66Dull;
constexpr uint64_t kResultMask = 0x7FFFFFFFFFFFFFFFull;

// State of the calling thread's generator; 0 means not yet seeded.
thread_local uint64_t zeq_rng_state = 0;

// Last value passed to zeq_black_box.  Process-wide and unsynchronised by
// contract; relaxed atomic accesses make the store and the reload real
// memory operations that the compiler can neither drop nor fold, without a
// data race between threads.
int64_t zeq_black_box_sink = 0;

inline int64_t monotonic_ns() noexcept {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNsPerSec + static_cast<int64_t>(ts.tv_nsec);
}

// A duration of ms milliseconds (negative counts as 0).  Built from the
// 32-bit value directly, so every int32 duration is exact.
inline struct timespec duration_ms(int32_t ms) noexcept {
    struct timespec ts;
    if (ms <= 0) {
        ts.tv_sec = 0;
        ts.tv_nsec = 0;
    } else {
        ts.tv_sec = static_cast<time_t>(ms / 1000);
        ts.tv_nsec = static_cast<long>(ms % 1000) * kNsPerMs;
    }
    return ts;
}

}  // namespace

// ---------------------------------------------------------------------------
// Clocks
// ---------------------------------------------------------------------------

extern "C" int64_t zeq_time_ns(void) noexcept { return monotonic_ns(); }

extern "C" int64_t zeq_time_ms(void) noexcept { return monotonic_ns() / kNsPerMs; }

// ---------------------------------------------------------------------------
// Sleeps
// ---------------------------------------------------------------------------

// One relative sleep: 0, or -1 when a signal handler interrupted it.
extern "C" int32_t zeq_sleep_ms(int32_t ms) noexcept {
    struct timespec ts = duration_ms(ms);
    return nanosleep(&ts, nullptr) == 0 ? 0 : -1;
}

// The same sleep, ending early when a signal arrives, that always answers 0.
extern "C" int64_t sleep_ms(int32_t ms) noexcept {
    zeq_sleep_ms(ms);
    return 0;
}

// ---------------------------------------------------------------------------
// Random numbers: xorshift (13, 7, 17) on 64 bits, one state per thread
// ---------------------------------------------------------------------------

extern "C" int64_t zeq_random_i64(void) noexcept {
    uint64_t x = zeq_rng_state;
    if (x == 0) x = static_cast<uint64_t>(monotonic_ns()) ^ kSeedMask;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    zeq_rng_state = x;
    return static_cast<int64_t>(x & kResultMask);
}

extern "C" void zeq_random_seed(int64_t seed) noexcept {
    zeq_rng_state = seed != 0 ? static_cast<uint64_t>(seed) : 1;
}

// ---------------------------------------------------------------------------
// Optimisation barrier
// ---------------------------------------------------------------------------

extern "C" int64_t zeq_black_box(int64_t value) noexcept {
    __atomic_store_n(&zeq_black_box_sink, value, __ATOMIC_RELAXED);
    return __atomic_load_n(&zeq_black_box_sink, __ATOMIC_RELAXED);
}

ZEQ_ALIAS(time_ns, zeq_time_ns);
ZEQ_ALIAS(now_ns, zeq_time_ns);
ZEQ_ALIAS(time_ms, zeq_time_ms);
ZEQ_ALIAS(now_ms, zeq_time_ms);
