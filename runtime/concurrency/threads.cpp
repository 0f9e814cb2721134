// Threads, mutexes and read-write locks that carry one protected value,
// condition variables, reusable barriers and atomically counted boxes: thin
// blocking wrappers over POSIX threads.  Every record comes from malloc.
//
// The locks remember their exclusive holder (a relaxed atomic written only by
// the holder), so that an unlock by a thread that does not hold the lock is
// ignored instead of corrupting the platform lock, and a holder that locks
// again does not wait for itself forever.
#include "concurrency.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

using namespace zeq;

struct ZeqThread {
    ZeqThreadFn fn;
    int64_t arg;
    int64_t result;
    pthread_t id;
};

// The platform mutex comes first: the handle doubles as a pointer to it.
struct ZeqMutex {
    pthread_mutex_t mutex;
    int64_t value;
    std::atomic<uintptr_t> owner;  // holder's id, 0 while free
};

struct ZeqRwLock {
    pthread_rwlock_t lock;
    int64_t value;
    std::atomic<uintptr_t> writer;   // exclusive holder's id, 0 otherwise
    std::atomic<int64_t> readers;    // shared holds taken and not released
};

struct ZeqCondvar {
    pthread_cond_t cond;
};

struct ZeqBarrier {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int64_t parties;
    int64_t arrived;
    uint64_t generation;
    int64_t sleeping;  // threads inside the wait, woken ones included
};

struct ZeqArc {
    std::atomic<int64_t> count;
    int64_t value;
};

namespace {

template <class T>
T *allocate() noexcept {
    return static_cast<T *>(std::malloc(sizeof(T)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------

// Start routine of every spawned thread.  The thread's arena is deliberately
// left alone when it ends: a result may point into it.
extern "C" __attribute__((visibility("hidden"))) void *zeq_thread_entry_posix(void *p) noexcept {
    auto *t = static_cast<ZeqThread *>(p);
    int64_t r = t->fn ? t->fn(t->arg) : 0;
    t->result = r;
    return &t->result;
}

extern "C" ZeqThread *zeq_spawn(ZeqThreadFn fn, int64_t arg) noexcept {
    auto *t = allocate<ZeqThread>();
    if (!t) return nullptr;
    t->fn = fn;
    t->arg = arg;
    t->result = 0;
    if (pthread_create(&t->id, nullptr, zeq_thread_entry_posix, t) != 0) {
        std::free(t);
        return nullptr;
    }
    return t;
}

extern "C" int64_t zeq_join(ZeqThread *t) noexcept {
    auto word = static_cast<int64_t>(reinterpret_cast<intptr_t>(t));
    if (word < 0x10000) return word;
    // Fails only for a thread joining itself (or a handle that is no thread):
    // the record must stay, its thread is still running.
    if (pthread_join(t->id, nullptr) != 0) return 0;
    int64_t r = t->result;
    std::free(t);
    return r;
}

// ---------------------------------------------------------------------------
// Mutex
// ---------------------------------------------------------------------------

namespace {
inline bool holds(const ZeqMutex *m, uintptr_t self) noexcept {
    return m->owner.load(std::memory_order_relaxed) == self;
}
}  // namespace

extern "C" ZeqMutex *zeq_mutex_new(int64_t value) noexcept {
    auto *m = allocate<ZeqMutex>();
    if (!m) return nullptr;
    pthread_mutex_init(&m->mutex, nullptr);
    m->value = value;
    new (&m->owner) std::atomic<uintptr_t>(0);
    return m;
}

extern "C" int64_t zeq_mutex_lock(ZeqMutex *m) noexcept {
    if (!m) return 0;
    uintptr_t self = self_id();
    if (ZEQ_UNLIKELY(holds(m, self))) return m->value;
    pthread_mutex_lock(&m->mutex);
    m->owner.store(self, std::memory_order_relaxed);
    return m->value;
}

extern "C" void zeq_mutex_unlock(ZeqMutex *m, int64_t value) noexcept {
    if (!m || ZEQ_UNLIKELY(!holds(m, self_id()))) return;
    m->value = value;
    m->owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&m->mutex);
}

extern "C" int64_t zeq_mutex_try_lock(ZeqMutex *m) noexcept {
    if (!m) return 0;
    uintptr_t self = self_id();
    if (holds(m, self) || pthread_mutex_trylock(&m->mutex) != 0) return 0;
    m->owner.store(self, std::memory_order_relaxed);
    return m->value;
}

extern "C" void zeq_mutex_free(ZeqMutex *m) noexcept {
    if (!m || pthread_mutex_trylock(&m->mutex) != 0) return;
    pthread_mutex_unlock(&m->mutex);
    pthread_mutex_destroy(&m->mutex);
    std::free(m);
}

// ---------------------------------------------------------------------------
// Read-write lock
// ---------------------------------------------------------------------------

namespace {
inline bool writes(const ZeqRwLock *l, uintptr_t self) noexcept {
    return l->writer.load(std::memory_order_relaxed) == self;
}
// Records one more shared hold.
inline void add_reader(ZeqRwLock *l) noexcept { l->readers.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

extern "C" ZeqRwLock *zeq_rwlock_new(int64_t value) noexcept {
    auto *l = allocate<ZeqRwLock>();
    if (!l) return nullptr;
    pthread_rwlock_init(&l->lock, nullptr);
    l->value = value;
    new (&l->writer) std::atomic<uintptr_t>(0);
    new (&l->readers) std::atomic<int64_t>(0);
    return l;
}

extern "C" int64_t zeq_rwlock_read(ZeqRwLock *l) noexcept {
    if (!l) return 0;
    if (ZEQ_UNLIKELY(writes(l, self_id()))) return l->value;
    // Fails only when the platform's reader count is exhausted.
    if (pthread_rwlock_rdlock(&l->lock) != 0) return 0;
    add_reader(l);
    return l->value;
}

extern "C" void zeq_rwlock_read_unlock(ZeqRwLock *l) noexcept {
    if (!l) return;
    int64_t n = l->readers.load(std::memory_order_relaxed);
    do {
        if (n <= 0) return;  // no shared hold to release
    } while (!l->readers.compare_exchange_weak(n, n - 1, std::memory_order_relaxed));
    pthread_rwlock_unlock(&l->lock);
}

extern "C" int64_t zeq_rwlock_write(ZeqRwLock *l) noexcept {
    if (!l) return 0;
    uintptr_t self = self_id();
    if (ZEQ_UNLIKELY(writes(l, self))) return l->value;
    if (pthread_rwlock_wrlock(&l->lock) != 0) return 0;
    l->writer.store(self, std::memory_order_relaxed);
    return l->value;
}

extern "C" void zeq_rwlock_write_unlock(ZeqRwLock *l, int64_t value) noexcept {
    if (!l || ZEQ_UNLIKELY(!writes(l, self_id()))) return;
    l->value = value;
    l->writer.store(0, std::memory_order_relaxed);
    pthread_rwlock_unlock(&l->lock);
}

extern "C" int64_t zeq_rwlock_try_read(ZeqRwLock *l) noexcept {
    if (!l || writes(l, self_id()) || pthread_rwlock_tryrdlock(&l->lock) != 0) return -1;
    add_reader(l);
    return l->value;
}

extern "C" int64_t zeq_rwlock_try_write(ZeqRwLock *l) noexcept {
    if (!l) return -1;
    uintptr_t self = self_id();
    if (writes(l, self) || pthread_rwlock_trywrlock(&l->lock) != 0) return -1;
    l->writer.store(self, std::memory_order_relaxed);
    return l->value;
}

extern "C" void zeq_rwlock_free(ZeqRwLock *l) noexcept {
    if (!l || pthread_rwlock_trywrlock(&l->lock) != 0) return;
    pthread_rwlock_unlock(&l->lock);
    pthread_rwlock_destroy(&l->lock);
    std::free(l);
}

// ---------------------------------------------------------------------------
// Condition variable
// ---------------------------------------------------------------------------

extern "C" ZeqCondvar *zeq_condvar_new(void) noexcept {
    auto *cv = allocate<ZeqCondvar>();
    if (cv) pthread_cond_init(&cv->cond, nullptr);
    return cv;
}

extern "C" int64_t zeq_condvar_wait(ZeqCondvar *cv, ZeqMutex *m) noexcept {
    if (!cv || !m) return 0;
    uintptr_t self = self_id();
    // Waiting needs the mutex held: without it the platform call has no
    // defined behaviour.
    if (!holds(m, self)) return 0;
    m->owner.store(0, std::memory_order_relaxed);
    pthread_cond_wait(&cv->cond, &m->mutex);
    m->owner.store(self, std::memory_order_relaxed);
    return m->value;
}

extern "C" void zeq_condvar_notify_one(ZeqCondvar *cv) noexcept {
    if (cv) pthread_cond_signal(&cv->cond);
}

extern "C" void zeq_condvar_notify_all(ZeqCondvar *cv) noexcept {
    if (cv) pthread_cond_broadcast(&cv->cond);
}

extern "C" void zeq_condvar_free(ZeqCondvar *cv) noexcept {
    if (!cv) return;
    pthread_cond_destroy(&cv->cond);
    std::free(cv);
}

// ---------------------------------------------------------------------------
// Barrier
// ---------------------------------------------------------------------------

extern "C" ZeqBarrier *zeq_barrier_new(int64_t parties) noexcept {
    if (parties <= 0) return nullptr;
    auto *b = allocate<ZeqBarrier>();
    if (!b) return nullptr;
    pthread_mutex_init(&b->mutex, nullptr);
    pthread_cond_init(&b->cond, nullptr);
    b->parties = parties;
    b->arrived = 0;
    b->generation = 0;
    b->sleeping = 0;
    return b;
}

extern "C" int64_t zeq_barrier_wait(ZeqBarrier *b) noexcept {
    if (!b) return 0;
    PlatformLock hold(&b->mutex);
    uint64_t gen = b->generation;
    if (++b->arrived == b->parties) {
        b->arrived = 0;
        b->generation = gen + 1;
        pthread_cond_broadcast(&b->cond);
        return 1;
    }
    ++b->sleeping;
    while (b->generation == gen) pthread_cond_wait(&b->cond, &b->mutex);
    --b->sleeping;
    return 0;
}

extern "C" void zeq_barrier_free(ZeqBarrier *b) noexcept {
    if (!b) return;
    {
        PlatformLock hold(&b->mutex);
        // Threads still waiting or not yet out of the wait would touch
        // freed memory: keep the record.
        if (b->sleeping != 0 || b->arrived != 0) return;
    }
    pthread_mutex_destroy(&b->mutex);
    pthread_cond_destroy(&b->cond);
    std::free(b);
}

// ---------------------------------------------------------------------------
// Shared box
// ---------------------------------------------------------------------------

extern "C" ZeqArc *zeq_arc_new(int64_t value) noexcept {
    auto *a = allocate<ZeqArc>();
    if (!a) return nullptr;
    new (&a->count) std::atomic<int64_t>(1);
    a->value = value;
    return a;
}

extern "C" ZeqArc *zeq_arc_clone(ZeqArc *a) noexcept {
    if (a) a->count.fetch_add(1, std::memory_order_seq_cst);
    return a;
}

extern "C" int64_t zeq_arc_get(const ZeqArc *a) noexcept { return a ? a->value : 0; }

extern "C" void zeq_arc_drop(ZeqArc *a) noexcept {
    if (a && a->count.fetch_sub(1, std::memory_order_seq_cst) == 1) std::free(a);
}

extern "C" int64_t zeq_arc_strong_count(const ZeqArc *a) noexcept {
    if (!a) return 0;
    // A locked read-modify-write that changes nothing: a full fence and the
    // read in one instruction.
    return const_cast<ZeqArc *>(a)->count.fetch_add(0, std::memory_order_seq_cst);
}
