// The thread pool (a fixed set of workers draining one shared FIFO queue)
// and scoped threads (one thread per task, all joined by one wait).  Both sit
// directly on POSIX threads; every record comes from malloc.
#include "concurrency.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>

using namespace zeq;

namespace {

// Counts above this are taken as this: every worker is a real thread.
constexpr int64_t kMaxWorkers = 4096;
constexpr int64_t kDefaultWorkers = 4;

struct PoolTask {
    ZeqTaskFn fn;
    PoolTask *next;
};

// What one worker needs besides its thread id: a condition variable of its
// own that it sleeps on while idle, and the flag its waker sets.  A shared
// condition variable would be signalled again while earlier wakers have not
// run yet, and the platform's signal then waits for them, which stalls the
// submitting thread for a scheduler tick whenever processors are scarce.
// One sleeper per condition variable, woken once per sleep, never does.
struct WorkerSlot {
    ZeqThreadPool *pool;
    pthread_cond_t wake;
    bool woken;
};

}  // namespace

struct ZeqThreadPool {
    pthread_t *workers;
    int32_t worker_count;
    PoolTask *head;
    PoolTask *tail;
    pthread_mutex_t mutex;
    int32_t shutdown;
    int32_t started;      // workers actually running (join waits for these only)
    int32_t live;         // workers that have not left their loop yet
    bool orphaned;        // joined from a task: the last worker to leave frees it
    WorkerSlot *slots;    // one per worker
    WorkerSlot **idle;    // stack of sleeping workers, most recent on top
    int32_t idle_count;
    PoolTask *spare;      // nodes of finished tasks, reused by execute
    int32_t waking;       // executes that claimed a worker and have not yet signalled it (atomic)
};

namespace {

void release_pool(ZeqThreadPool *p, int32_t slots_ready) noexcept;

void free_list(PoolTask *t) noexcept {
    while (t) {
        PoolTask *next = t->next;
        std::free(t);
        t = next;
    }
}

}  // namespace

// The worker loop: takes tasks from the head of the queue until the queue is
// empty and shutdown is set.  The queue is checked first, so a shut-down
// pool still runs everything already queued.  The node goes back to the
// spare list before its task runs, under the same hold of the mutex.
extern "C" __attribute__((visibility("hidden"))) void *zeq_thread_pool_worker(void *arg) noexcept {
    auto *self = static_cast<WorkerSlot *>(arg);
    ZeqThreadPool *p = self->pool;
    pthread_mutex_lock(&p->mutex);
    for (;;) {
        while (!p->head) {
            if (p->shutdown) {
                bool last_of_orphan = --p->live == 0 && p->orphaned;
                pthread_mutex_unlock(&p->mutex);
                if (last_of_orphan) {
                    // An execute signals the worker it claimed after letting
                    // go of the mutex: the pool stays until it is done.
                    while (__atomic_load_n(&p->waking, __ATOMIC_ACQUIRE) != 0) sched_yield();
                    release_pool(p, p->worker_count);
                }
                return nullptr;
            }
            // Sleep until a waker takes this worker off the idle stack.
            self->woken = false;
            p->idle[p->idle_count++] = self;
            while (!self->woken) pthread_cond_wait(&self->wake, &p->mutex);
        }
        PoolTask *t = p->head;
        p->head = t->next;
        if (!p->head) p->tail = nullptr;
        ZeqTaskFn fn = t->fn;
        t->next = p->spare;
        p->spare = t;
        pthread_mutex_unlock(&p->mutex);
        fn();
        pthread_mutex_lock(&p->mutex);
    }
}

namespace {

// Takes the most recently idle worker off the stack; null when none sleeps.
// Under the pool's mutex; the caller signals the result's condition variable.
WorkerSlot *claim_idle(ZeqThreadPool *p) noexcept {
    if (p->idle_count == 0) return nullptr;
    WorkerSlot *w = p->idle[--p->idle_count];
    w->woken = true;
    return w;
}

void release_pool(ZeqThreadPool *p, int32_t slots_ready) noexcept {
    free_list(p->head);
    free_list(p->spare);
    for (int32_t i = 0; i < slots_ready; ++i) pthread_cond_destroy(&p->slots[i].wake);
    pthread_mutex_destroy(&p->mutex);
    std::free(p->idle);
    std::free(p->slots);
    std::free(p->workers);
    std::free(p);
}

// Sets shutdown and wakes every sleeping worker; `orphan` leaves the freeing
// of the pool to the last worker that ends.
void begin_shutdown(ZeqThreadPool *p, bool orphan = false) noexcept {
    PlatformLock hold(&p->mutex);
    p->shutdown = 1;
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
    if (!p->workers || !p->slots || !p->idle) {
        std::free(p->workers);
        std::free(p->slots);
        std::free(p->idle);
        std::free(p);
        return nullptr;
    }
    p->worker_count = static_cast<int32_t>(workers);
    p->head = p->tail = p->spare = nullptr;
    p->shutdown = 0;
    p->idle_count = 0;
    p->waking = 0;
    pthread_mutex_init(&p->mutex, nullptr);
    for (int32_t i = 0; i < p->worker_count; ++i) {
        p->slots[i].pool = p;
        p->slots[i].woken = false;
        pthread_cond_init(&p->slots[i].wake, nullptr);
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
    pthread_mutex_lock(&p->mutex);
    PoolTask *t = p->spare;
    if (t) {
        p->spare = t->next;
    } else {
        pthread_mutex_unlock(&p->mutex);
        t = static_cast<PoolTask *>(std::malloc(sizeof(PoolTask)));
        if (!t) return;
        pthread_mutex_lock(&p->mutex);
    }
    t->fn = fn;
    t->next = nullptr;
    if (p->tail) p->tail->next = t; else p->head = t;
    p->tail = t;
    WorkerSlot *w = claim_idle(p);
    if (w) __atomic_add_fetch(&p->waking, 1, __ATOMIC_RELAXED);
    pthread_mutex_unlock(&p->mutex);
    // Signalled after the unlock, so the woken worker finds the mutex free.
    if (w) {
        pthread_cond_signal(&w->wake);
        __atomic_sub_fetch(&p->waking, 1, __ATOMIC_RELEASE);
    }
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
