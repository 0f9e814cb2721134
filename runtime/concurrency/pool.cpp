// The thread pool (a fixed set of workers draining one shared FIFO queue)
// and scoped threads (one thread per task, all joined by one wait).  Both sit
// directly on POSIX threads; every record comes from malloc.
//
// The pool's queue is a ring of task pointers that doubles when full, so
// queueing a task allocates nothing once the ring is large enough, and
// consecutive tasks share cache lines instead of each having a node of its
// own that travels between the submitting thread and the workers.
//
// A worker takes a batch of tasks at once (the queue's head, up to kBatch
// tasks) into a batch of its own and starts them one after the other, so
// that the mutex and the queue's cache lines change hands once per batch,
// not once per task.  Tasks of a batch that have not started yet remain
// available to the other workers: each is claimed with an atomic increment
// of the batch's next index, by its worker or by an idle worker that finds
// the batch's worker inside the same task for a while (stuck, perhaps waiting
// for a task queued after its own).  An idle worker therefore sleeps with a
// time limit while some batch has tasks waiting, and a worker that leaves
// tasks behind (in the queue or in a batch) wakes a sleeping one when nobody
// else is about to look: no task waits for long while a worker is idle.
#include "concurrency.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

#include <sched.h>

using namespace zeq;

namespace {

// Counts above this are taken as this: every worker is a real thread.
constexpr int64_t kMaxWorkers = 4096;
constexpr int64_t kDefaultWorkers = 4;
constexpr uint64_t kInitialRing = 256;
// Tasks a worker takes at once.
constexpr int32_t kBatch = 64;
// How long an idle worker waits before it looks again at batches with
// tasks waiting.
constexpr long kWatchNanos = 250'000;
// While a lone worker's next batch is still filling (the submitting thread
// added tasks since the last look), it looks again after this many pauses
// (about two microseconds here), up to a quarter of the waiting spin.
constexpr int kFillGap = 48;

// What one worker needs besides its thread id.
//
// A condition variable of its own that it sleeps on while idle, and the
// flag its waker sets: a shared condition variable would be signalled again
// while earlier wakers have not run yet, and the platform's signal then
// waits for them, which stalls the submitting thread for a scheduler tick
// whenever processors are scarce.  One sleeper per condition variable, woken
// once per sleep, never does.
//
// Its batch: tasks [0, batch_len) copied from the queue, written by the
// worker under the pool's mutex; batch_next is the next one to claim.
// started counts the tasks the worker itself has started, so that an idle
// worker can tell whether it is still inside the same one.
struct WorkerSlot {
    ZeqThreadPool *pool;
    pthread_cond_t wake;
    bool woken;
    int32_t batch_len;
    std::atomic<int32_t> batch_next;
    std::atomic<uint64_t> started;
    uint64_t started_seen;  // started when an idle worker last looked (under the mutex)
    bool stuck;             // still inside the task it was in at that look
    ZeqTaskFn batch[kBatch];

    // A task of the batch not started yet, claimed; null when none is left.
    ZeqTaskFn claim() noexcept {
        int32_t i = batch_next.fetch_add(1, std::memory_order_relaxed);
        return i < batch_len ? batch[i] : nullptr;
    }
    bool has_unstarted() const noexcept { return batch_next.load(std::memory_order_relaxed) < batch_len; }
};

}  // namespace

// The queue holds the tasks of ring positions [taken, queued) (positions
// count up for ever; the slot is the position modulo ring_size).  queued,
// taken, shutdown, ring and ring_size are written under the mutex with
// relaxed atomic stores, because a spinning worker reads them without it.
struct ZeqThreadPool {
    pthread_t *workers;
    int32_t worker_count;
    ZeqTaskFn *ring;
    uint64_t ring_size;   // a power of two
    uint64_t queued;      // tasks ever queued
    uint64_t taken;       // tasks ever taken by a worker
    pthread_mutex_t mutex;
    int32_t shutdown;
    int32_t started;      // workers actually running (join waits for these only)
    int32_t live;         // workers that have not left their loop yet
    bool orphaned;        // joined from a task: the last worker to leave frees it
    WorkerSlot *slots;    // one per worker
    WorkerSlot **idle;    // stack of sleeping workers, most recent on top
    int32_t idle_count;
    int32_t waking;       // workers taken off the idle stack and not yet up
    int32_t spinning;     // workers spinning for a task (at most one)
    int32_t watching;     // idle workers sleeping with a time limit
    int32_t submit_cpu;   // the processor of the last execute
};

namespace {

void release_pool(ZeqThreadPool *p, int32_t slots_ready) noexcept;

inline bool has_tasks(const ZeqThreadPool *p) noexcept { return p->queued != p->taken; }

// Takes the most recently idle worker off the stack; null when none sleeps.
// Under the pool's mutex; the caller signals the result's condition variable.
WorkerSlot *claim_idle(ZeqThreadPool *p) noexcept {
    if (p->idle_count == 0) return nullptr;
    WorkerSlot *w = p->idle[--p->idle_count];
    w->woken = true;
    ++p->waking;
    return w;
}

// A sleeping worker to wake when tasks are left behind (`left` tells
// whether a batch still holds some) and no worker is spinning, waking up or
// watching already (workers running a task look again when it ends); null
// otherwise.  Under the pool's mutex.
WorkerSlot *helper_to_wake(ZeqThreadPool *p, bool left) noexcept {
    if (!(left || has_tasks(p)) || p->spinning + p->waking + p->watching > 0) return nullptr;
    return claim_idle(p);
}

// Whether a worker other than self has tasks in its batch not started yet.
// Under the mutex.
bool unstarted_elsewhere(const ZeqThreadPool *p, const WorkerSlot *self) noexcept {
    for (int32_t i = 0; i < p->worker_count; ++i)
        if (&p->slots[i] != self && p->slots[i].has_unstarted()) return true;
    return false;
}

// A task from the batch of a worker found stuck (inside the same task since
// an idle worker last looked), claimed; null when there is none.  Sets
// `left` when that batch still holds tasks.  Under the mutex.
ZeqTaskFn steal(ZeqThreadPool *p, const WorkerSlot *self, bool &left) noexcept {
    for (int32_t i = 0; i < p->worker_count; ++i) {
        WorkerSlot &v = p->slots[i];
        if (&v == self || !v.stuck) continue;
        if (v.started.load(std::memory_order_relaxed) != v.started_seen) {
            v.stuck = false;  // it has moved on
            continue;
        }
        if (ZeqTaskFn fn = v.claim()) {
            left = v.has_unstarted();
            return fn;
        }
        v.stuck = false;
    }
    return nullptr;
}

// Notes, before an idle worker's timed sleep, where every other batch with
// tasks waiting stands; after the sleep, marks those whose worker has not
// moved on as stuck.  Under the mutex.
void note_batches(ZeqThreadPool *p, const WorkerSlot *self) noexcept {
    for (int32_t i = 0; i < p->worker_count; ++i) {
        WorkerSlot &v = p->slots[i];
        if (&v != self && v.has_unstarted()) v.started_seen = v.started.load(std::memory_order_relaxed);
    }
}
void mark_stuck(ZeqThreadPool *p, const WorkerSlot *self) noexcept {
    for (int32_t i = 0; i < p->worker_count; ++i) {
        WorkerSlot &v = p->slots[i];
        if (&v != self && v.has_unstarted() && v.started.load(std::memory_order_relaxed) == v.started_seen)
            v.stuck = true;
    }
}

// Takes up to a batch of tasks from the head of the queue into the
// worker's batch.  Under the mutex.
void take_batch(ZeqThreadPool *p, WorkerSlot *self) noexcept {
    auto n = static_cast<int32_t>(std::min<uint64_t>(p->queued - p->taken, kBatch));
    for (int32_t i = 0; i < n; ++i) self->batch[i] = p->ring[(p->taken + i) & (p->ring_size - 1)];
    self->batch_len = n;
    self->batch_next.store(0, std::memory_order_relaxed);
    self->stuck = false;
    relaxed_store(p->taken, p->taken + n);
}

// Starts the tasks of the worker's batch that nobody else claims.
void run_batch(WorkerSlot *self) noexcept {
    while (ZeqTaskFn fn = self->claim()) {
        // Only the worker itself writes its count.
        self->started.store(self->started.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        fn();
    }
}

// Starts fetching the ring's cache lines of the next batch before the
// worker takes the mutex: they were written on the submitting thread's
// core, and copying them under the mutex would hold it that much longer.
// Reads the ring without the mutex; a prefetch of memory that a growth has
// just released is harmless.
inline void prefetch_batch(const ZeqThreadPool *p) noexcept {
    uint64_t from = relaxed_load(p->taken), to = std::min<uint64_t>(relaxed_load(p->queued), from + kBatch);
    const ZeqTaskFn *ring = relaxed_load(p->ring);
    uint64_t mask = relaxed_load(p->ring_size) - 1;
    for (uint64_t i = from; i < to; i += 8) __builtin_prefetch(&ring[i & mask]);
}

// Before a worker takes the mutex for its next batch: while tasks are
// still being queued (their count grew since the last look, a couple of
// microseconds ago) and fewer than a batch wait, lets them accumulate, so
// that the worker takes many at once and the submitting thread keeps the
// queue's cache lines meanwhile.  Bounded, like every spin.
void let_batch_fill(const ZeqThreadPool *p) noexcept {
    uint64_t taken = relaxed_load(p->taken), seen = relaxed_load(p->queued);
    for (int spent = 0; spent < kMaxWaitSpin / 4 && seen - taken < kBatch && seen != taken; spent += kFillGap) {
        for (int j = 0; j < kFillGap; ++j) __builtin_ia32_pause();
        uint64_t now = relaxed_load(p->queued);
        if (now == seen || relaxed_load(p->shutdown) != 0) break;
        seen = now;
    }
    prefetch_batch(p);
}

// Spins, with the mutex released, until a task is queued, shutdown is set
// or the spin ends: one worker of the pool at a time, within the spinning
// budget, and not on the processor of the thread that queues tasks.
// Returns with the mutex held; false when it did not spin.
bool spin_for_work(ZeqThreadPool *p) noexcept {
    if (p->spinning > 0 || p->submit_cpu == sched_getcpu()) return false;
    {
        SpinSlot slot;
        if (!slot) return false;
        ++p->spinning;
        uint64_t taken = p->taken;
        pthread_mutex_unlock(&p->mutex);
        if (spin_until(kMaxWaitSpin, kWaitSpinGap,
                       [p, taken] { return relaxed_load(p->queued) != taken || relaxed_load(p->shutdown) != 0; }))
            let_batch_fill(p);
    }
    lock_spinning(&p->mutex);
    --p->spinning;
    return true;
}

// Sleeps until a waker takes the worker off the idle stack or, when
// `watch`, until the watching time has passed (then it takes itself off
// the stack and marks the batches whose worker has not moved on).  Under
// the mutex.
void sleep_idle(ZeqThreadPool *p, WorkerSlot *self, bool watch) noexcept {
    self->woken = false;
    p->idle[p->idle_count++] = self;
    if (!watch) {
        while (!self->woken) pthread_cond_wait(&self->wake, &p->mutex);
    } else {
        ++p->watching;
        note_batches(p, self);
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += kWatchNanos;
        if (until.tv_nsec >= 1'000'000'000) {
            until.tv_nsec -= 1'000'000'000;
            ++until.tv_sec;
        }
        while (!self->woken)
            if (pthread_cond_timedwait(&self->wake, &p->mutex, &until) == ETIMEDOUT) break;
        --p->watching;
        if (!self->woken) {
            // Nobody woke it: it takes itself off the stack.
            WorkerSlot **end = p->idle + p->idle_count;
            std::remove(p->idle, end, self);
            --p->idle_count;
            mark_stuck(p, self);
            return;
        }
    }
    --p->waking;
}

// Makes room for one more task; false when the larger ring cannot be had.
// Under the mutex (released while allocating).
bool make_room(ZeqThreadPool *p) noexcept {
    while (p->queued - p->taken == p->ring_size) {
        uint64_t size = p->ring_size * 2;
        pthread_mutex_unlock(&p->mutex);
        auto *ring = static_cast<ZeqTaskFn *>(std::malloc(size * sizeof(ZeqTaskFn)));
        lock_spinning(&p->mutex);
        if (!ring) return false;
        if (p->queued - p->taken < p->ring_size || size <= p->ring_size) {  // others made room meanwhile
            std::free(ring);
            continue;
        }
        for (uint64_t i = p->taken; i != p->queued; ++i) ring[i & (size - 1)] = p->ring[i & (p->ring_size - 1)];
        std::free(p->ring);
        relaxed_store(p->ring, ring);
        relaxed_store(p->ring_size, size);
    }
    return true;
}

}  // namespace

// The worker loop: takes batches from the head of the queue, and tasks from
// the batches of stuck workers, until neither has any left and shutdown is
// set.  The queue is checked first, so a shut-down pool still runs
// everything already queued.  Before sleeping a worker spins for a while.
extern "C" __attribute__((visibility("hidden"))) void *zeq_thread_pool_worker(void *arg) noexcept {
    auto *self = static_cast<WorkerSlot *>(arg);
    ZeqThreadPool *p = self->pool;
    lock_spinning(&p->mutex);
    bool spun = false;  // this idle spell has had its spin
    for (;;) {
        if (has_tasks(p)) {
            take_batch(p, self);
            WorkerSlot *w = helper_to_wake(p, self->batch_len > 1);
            pthread_mutex_unlock(&p->mutex);
            if (w) pthread_cond_signal(&w->wake);
            run_batch(self);
            let_batch_fill(p);
            lock_spinning(&p->mutex);
            spun = false;
            continue;
        }
        bool left = false;
        if (ZeqTaskFn fn = steal(p, self, left)) {
            WorkerSlot *w = helper_to_wake(p, left);
            pthread_mutex_unlock(&p->mutex);
            if (w) pthread_cond_signal(&w->wake);
            fn();
            lock_spinning(&p->mutex);
            spun = false;
            continue;
        }
        bool waiting = unstarted_elsewhere(p, self);
        if (p->shutdown && !waiting) {
            bool last_of_orphan = --p->live == 0 && p->orphaned;
            pthread_mutex_unlock(&p->mutex);
            if (last_of_orphan) release_pool(p, p->worker_count);
            return nullptr;
        }
        if (!spun && (spun = spin_for_work(p))) continue;
        sleep_idle(p, self, waiting);
        spun = false;
    }
}

namespace {

void release_pool(ZeqThreadPool *p, int32_t slots_ready) noexcept {
    for (int32_t i = 0; i < slots_ready; ++i) {
        pthread_cond_destroy(&p->slots[i].wake);
        p->slots[i].~WorkerSlot();
    }
    pthread_mutex_destroy(&p->mutex);
    std::free(p->ring);
    std::free(p->idle);
    std::free(p->slots);
    std::free(p->workers);
    std::free(p);
}

// Sets shutdown and wakes every sleeping worker; `orphan` leaves the freeing
// of the pool to the last worker that ends.
void begin_shutdown(ZeqThreadPool *p, bool orphan = false) noexcept {
    PlatformLock hold(&p->mutex);
    relaxed_store(p->shutdown, int32_t{1});
    if (orphan) p->orphaned = true;
    while (WorkerSlot *w = claim_idle(p)) pthread_cond_signal(&w->wake);
}

}  // namespace

extern "C" ZeqThreadPool *zeq_thread_pool_new(int64_t workers) noexcept {
    if (workers <= 0) workers = kDefaultWorkers;
    if (workers > kMaxWorkers) workers = kMaxWorkers;
    auto n = static_cast<size_t>(workers);
    auto *p = static_cast<ZeqThreadPool *>(std::malloc(sizeof(ZeqThreadPool)));
    if (!p) return nullptr;
    p->workers = static_cast<pthread_t *>(std::malloc(n * sizeof(pthread_t)));
    p->slots = static_cast<WorkerSlot *>(std::malloc(n * sizeof(WorkerSlot)));
    p->idle = static_cast<WorkerSlot **>(std::malloc(n * sizeof(WorkerSlot *)));
    p->ring = static_cast<ZeqTaskFn *>(std::malloc(kInitialRing * sizeof(ZeqTaskFn)));
    if (!p->workers || !p->slots || !p->idle || !p->ring) {
        std::free(p->workers);
        std::free(p->slots);
        std::free(p->idle);
        std::free(p->ring);
        std::free(p);
        return nullptr;
    }
    p->worker_count = static_cast<int32_t>(workers);
    p->ring_size = kInitialRing;
    p->queued = p->taken = 0;
    p->shutdown = 0;
    p->idle_count = p->waking = p->spinning = p->watching = 0;
    p->submit_cpu = -1;
    pthread_mutex_init(&p->mutex, nullptr);
    for (int32_t i = 0; i < p->worker_count; ++i) {
        WorkerSlot *w = new (&p->slots[i]) WorkerSlot;
        w->pool = p;
        w->woken = false;
        w->batch_len = 0;
        w->batch_next.store(0, std::memory_order_relaxed);
        w->started.store(0, std::memory_order_relaxed);
        w->started_seen = 0;
        w->stuck = false;
        pthread_cond_init(&w->wake, nullptr);
    }
    // Workers that cannot be started are not waited for; if none can, the
    // pool is useless and creation fails.
    int32_t started = 0;
    for (; started < p->worker_count; ++started)
        if (pthread_create(&p->workers[started], nullptr, zeq_thread_pool_worker, &p->slots[started]) != 0)
            break;
    p->started = started;
    p->live = started;
    p->orphaned = false;
    if (started == 0) {
        release_pool(p, p->worker_count);
        return nullptr;
    }
    return p;
}

extern "C" void zeq_thread_pool_execute(ZeqThreadPool *p, ZeqTaskFn fn) noexcept {
    if (!p || !fn) return;
    int32_t cpu = sched_getcpu();
    lock_spinning(&p->mutex);
    if (!make_room(p)) {
        pthread_mutex_unlock(&p->mutex);
        return;
    }
    p->ring[p->queued & (p->ring_size - 1)] = fn;
    relaxed_store(p->queued, p->queued + 1);
    p->submit_cpu = cpu;
    // Signalled before the unlock: a pool joined from one of its own tasks
    // is freed by its last worker as soon as nothing holds the mutex, and a
    // worker taken off the idle stack while watching does not wait for the
    // signal.
    if (WorkerSlot *w = helper_to_wake(p, false)) pthread_cond_signal(&w->wake);
    pthread_mutex_unlock(&p->mutex);
}

extern "C" void zeq_thread_pool_shutdown(ZeqThreadPool *p) noexcept {
    if (p) begin_shutdown(p);
}

extern "C" void zeq_thread_pool_join(ZeqThreadPool *p) noexcept {
    if (!p) return;
    // A task of this pool cannot wait for its own worker: the workers are
    // detached instead, and the last one to leave its loop frees the pool.
    // The calling worker is still in its loop, so the pool outlives this.
    pthread_t self = pthread_self();
    bool inside = std::any_of(p->workers, p->workers + p->started,
                              [self](pthread_t w) { return pthread_equal(w, self) != 0; });
    if (inside) {
        std::for_each(p->workers, p->workers + p->started, pthread_detach);
        begin_shutdown(p, true);
        return;
    }
    begin_shutdown(p);
    for (int32_t i = 0; i < p->started; ++i) pthread_join(p->workers[i], nullptr);
    release_pool(p, p->worker_count);
}

// ---------------------------------------------------------------------------
// Scoped threads
// ---------------------------------------------------------------------------

namespace {

// One node per started thread: its id, the link to the thread started
// before it, and the task (which the thread reads once at its start).
struct ScopeThread {
    pthread_t id;
    ScopeThread *next;
    ZeqTaskFn fn;
};

}  // namespace

struct ZeqScope {
    ScopeThread *threads;
    pthread_mutex_t mutex;
};

extern "C" __attribute__((visibility("hidden"))) void *zeq_scope_thread_func(void *arg) noexcept {
    ZeqTaskFn fn = static_cast<ScopeThread *>(arg)->fn;
    fn();
    return nullptr;
}

extern "C" ZeqScope *zeq_scope_new(void) noexcept {
    auto *s = static_cast<ZeqScope *>(std::malloc(sizeof(ZeqScope)));
    if (!s) return nullptr;
    s->threads = nullptr;
    pthread_mutex_init(&s->mutex, nullptr);
    return s;
}

extern "C" void zeq_scope_spawn(ZeqScope *s, ZeqTaskFn fn) noexcept {
    if (!s || !fn) return;
    auto *node = static_cast<ScopeThread *>(std::malloc(sizeof(ScopeThread)));
    if (!node) return;
    node->fn = fn;
    // The thread is recorded under the same hold of the mutex that starts
    // it, so a thread that waits on its own scope finds itself in the list.
    PlatformLock hold(&s->mutex);
    if (pthread_create(&node->id, nullptr, zeq_scope_thread_func, node) != 0) {
        std::free(node);
        return;
    }
    node->next = s->threads;
    s->threads = node;
}

extern "C" void zeq_scope_wait(ZeqScope *s) noexcept {
    if (!s) return;
    ScopeThread *list;
    {
        PlatformLock hold(&s->mutex);
        list = s->threads;
        s->threads = nullptr;
    }
    pthread_t self = pthread_self();
    while (list) {
        ScopeThread *next = list->next;
        // A scope thread waiting on its own scope cannot join itself; it is
        // detached, so nothing of it stays once it ends.
        if (pthread_equal(list->id, self))
            pthread_detach(self);
        else
            pthread_join(list->id, nullptr);
        std::free(list);
        list = next;
    }
    pthread_mutex_destroy(&s->mutex);
    std::free(s);
}
