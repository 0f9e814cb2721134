// Futures, tasks and the executor.  The model is eager: a future is its own
// value and every task is made completed, so running an executor means
// polling the shared event loop once without waiting (so ready callbacks get
// dispatched) and marking any pending task completed.
#include "async/async.h"
#include "core/core.h"

#include <pthread.h>

#include <cstdlib>

namespace {

constexpr int32_t kPending = 0;
constexpr int32_t kCompleted = 2;

}  // namespace

struct ZeqTask {
    int64_t result;
    int32_t state;
    ZeqTask *next;
};

struct ZeqExecutor {
    ZeqTask *head;
    ZeqTask *tail;
    uint64_t completed;
    pthread_mutex_t mutex;
};

namespace {

class Locked {
  public:
    explicit Locked(ZeqExecutor *ex) noexcept : m_(&ex->mutex) { pthread_mutex_lock(m_); }
    ~Locked() { pthread_mutex_unlock(m_); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

  private:
    pthread_mutex_t *m_;
};

ZeqTask *make_task(int64_t value) noexcept {
    auto *t = static_cast<ZeqTask *>(malloc(sizeof(ZeqTask)));
    if (!t) return nullptr;
    t->result = value;
    t->state = kCompleted;
    t->next = nullptr;
    return t;
}

// Caller holds the mutex.
void append(ZeqExecutor *ex, ZeqTask *task) noexcept {
    task->next = nullptr;
    if (ex->tail) ex->tail->next = task;
    else ex->head = task;
    ex->tail = task;
    if (task->state == kCompleted) ++ex->completed;
}

void complete_pending(ZeqExecutor *ex) noexcept {
    Locked lock(ex);
    for (ZeqTask *t = ex->head; t; t = t->next) {
        if (t->state == kPending) {
            t->state = kCompleted;
            ++ex->completed;
        }
    }
}

// One non-waiting pass over the shared loop; skipped when it cannot be made.
void poll_shared_loop() noexcept {
    if (ZeqEventLoop *loop = zeq_get_event_loop()) zeq_event_loop_run_once(loop, 0);
}

void destroy(ZeqExecutor *ex) noexcept {
    for (ZeqTask *t = ex->head; t;) {
        ZeqTask *next = t->next;
        free(t);
        t = next;
    }
    pthread_mutex_destroy(&ex->mutex);
    free(ex);
}

}  // namespace

extern "C" {

int64_t future_await(int64_t value) noexcept { return value; }
ZEQ_ALIAS(__future_await, future_await);

ZeqTask *zeq_task_new(int64_t value) noexcept { return make_task(value); }

int64_t zeq_task_get_result(const ZeqTask *task) noexcept { return task ? task->result : 0; }

int64_t zeq_task_is_completed(const ZeqTask *task) noexcept {
    return task ? (task->state == kCompleted ? 1 : 0) : 1;
}

void zeq_task_free(ZeqTask *task) noexcept { free(task); }

ZeqExecutor *zeq_executor_new(void) noexcept {
    auto *ex = static_cast<ZeqExecutor *>(malloc(sizeof(ZeqExecutor)));
    if (!ex) return nullptr;
    ex->head = ex->tail = nullptr;
    ex->completed = 0;
    if (pthread_mutex_init(&ex->mutex, nullptr) != 0) {
        free(ex);
        return nullptr;
    }
    return ex;
}

void zeq_executor_spawn(ZeqExecutor *ex, ZeqTask *task) noexcept {
    if (!ex || !task) return;
    Locked lock(ex);
    append(ex, task);
}

void zeq_executor_run(ZeqExecutor *ex) noexcept {
    if (!ex) return;
    poll_shared_loop();
    complete_pending(ex);
}

int64_t zeq_executor_block_on(ZeqExecutor *ex, int64_t value) noexcept {
    if (!ex) return value;
    if (ZeqTask *t = make_task(value)) {
        Locked lock(ex);
        append(ex, t);
    }
    poll_shared_loop();
    complete_pending(ex);
    return value;
}

uint64_t zeq_executor_completed_count(const ZeqExecutor *ex) noexcept {
    if (!ex) return 0;
    Locked lock(const_cast<ZeqExecutor *>(ex));
    return ex->completed;
}

void zeq_executor_free(ZeqExecutor *ex) noexcept {
    if (ex) destroy(ex);
}

int64_t zeq_block_on(int64_t value) noexcept {
    zeq_get_event_loop();
    ZeqExecutor *ex = zeq_executor_new();
    if (!ex) return value;
    zeq_executor_block_on(ex, value);
    destroy(ex);
    return value;
}

}  // extern "C"
