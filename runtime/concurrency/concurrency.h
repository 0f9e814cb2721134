// Declarations shared by the files of the concurrency subsystem: a scoped
// holder for platform mutexes and the identity of the calling thread.
#pragma once

#include "core/core.h"

#include <pthread.h>

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

}  // namespace zeq
