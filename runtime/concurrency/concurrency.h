// Declarations shared by the files of the concurrency subsystem: a scoped
// holder for platform mutexes, the identity of the calling thread, and the
// brief spinning that channels and the pool do before they sleep.
#pragma once

#include "core/core.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace zeq {

// Holds a platform mutex for the lifetime of the object.  Never alive across
// a call into user code, so no panic can cross it.
class PlatformLock {
  public:
    explicit PlatformLock(pthread_mutex_t *m) noexcept : m_(m) { pthread_mutex_lock(m_); }
    ~PlatformLock() { pthread_mutex_unlock(m_); }
    PlatformLock(const PlatformLock &) = delete;
    PlatformLock &operator=(const PlatformLock &) = delete;

  private:
    pthread_mutex_t *m_;
};

// A word that identifies the calling thread while it runs; never 0.
inline uintptr_t self_id() noexcept { return static_cast<uintptr_t>(pthread_self()); }

// ---- spinning ---------------------------------------------------------------
//
// A thread that is about to sleep on a condition variable (or on a taken
// mutex) first spins for a while, because the party it waits for is often
// about to act on another core, and a sleep and wake-up through the kernel
// costs far more.  Spinning is bounded, pauses between looks, and takes a
// slot of a process-wide budget of as many spinners as there are cores
// (none on a single core, where the awaited thread could only run once the
// spinner gives up), so spinners never outnumber the processors.  Callers
// also skip the spin when the thread they wait for last ran on their own
// processor.  Whatever is watched while spinning is read with relaxed
// atomic loads of fields that are written (atomically) only under the
// structure's mutex; the decision is always made again under the mutex.

inline int spin_budget() noexcept {
    static const int budget = [] {
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        return cores > 1 ? static_cast<int>(cores) : 0;
    }();
    return budget;
}

inline std::atomic<int> g_spinners{0};

// One slot of the spinning budget, held for the object's lifetime.
class SpinSlot {
  public:
    SpinSlot() noexcept {
        int n = g_spinners.load(std::memory_order_relaxed);
        while (n < spin_budget())
            if (g_spinners.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) {
                held_ = true;
                return;
            }
    }
    ~SpinSlot() {
        if (held_) g_spinners.fetch_sub(1, std::memory_order_relaxed);
    }
    SpinSlot(const SpinSlot &) = delete;
    SpinSlot &operator=(const SpinSlot &) = delete;
    explicit operator bool() const noexcept { return held_; }

  private:
    bool held_ = false;
};

// Relaxed atomic access to a plain field: written under a mutex, read by
// spinners without it.
template <class T>
inline T relaxed_load(const T &field) noexcept {
    return __atomic_load_n(&field, __ATOMIC_RELAXED);
}
template <class T>
inline void relaxed_store(T &field, T value) noexcept {
    __atomic_store_n(&field, value, __ATOMIC_RELAXED);
}

// Waits for a condition: up to some 2,000 pauses (tens of microseconds,
// below the cost of a sleep and wake-up through the kernel on a loaded
// machine), looks spaced out up to 64 pauses apart, so that the thread that
// acts meanwhile keeps the cache lines it works on.
constexpr int kMaxWaitSpin = 2048;
constexpr int kWaitSpinGap = 64;
// Waits for a mutex, whose holders keep it for a few dozen instructions.
constexpr int kMaxLockSpin = 512;
constexpr int kLockSpinGap = 32;

// Looks at ready() with pauses in between that double up to max_gap, for
// at most `limit` pauses; true as soon as ready() holds.
template <class Ready>
inline bool spin_until(int limit, int max_gap, Ready ready) noexcept {
    for (int gap = 1, spent = 0; spent < limit; spent += gap) {
        if (ready()) return true;
        for (int j = 0; j < gap; ++j) __builtin_ia32_pause();
        if (gap < max_gap) gap *= 2;
    }
    return ready();
}

// Locks m, trying again for a short while (within the spinning budget)
// before sleeping on it.  The mutex word is read before each try, so that
// waiters do not take its cache line from the holder.
inline void lock_spinning(pthread_mutex_t *m) noexcept {
    if (pthread_mutex_trylock(m) == 0) return;
    auto free_now = [m] { return relaxed_load(m->__data.__lock) == 0 && pthread_mutex_trylock(m) == 0; };
    if (SpinSlot slot; slot && spin_until(kMaxLockSpin, kLockSpinGap, free_now)) return;
    pthread_mutex_lock(m);
}

}  // namespace zeq
