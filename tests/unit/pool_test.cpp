// The thread pool (worker counts, draining on shutdown and join, FIFO start
// order, tasks that queue tasks, join from inside a task) and scoped threads.
// Tasks take no argument, so they report through globals; each test resets
// the ones it uses.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

using zeqtest::eventually;

std::atomic<int64_t> g_ran{0};
void count_task() { g_ran.fetch_add(1, std::memory_order_relaxed); }

// Tasks that hold their worker until released (at most ten seconds), while
// the test counts how many run at the same time.
std::atomic<int> g_running{0}, g_peak{0};
std::atomic<bool> g_release{false};
void holding_task() {
    int now = ++g_running;
    int peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    eventually([] { return g_release.load(); });
    --g_running;
    ++g_ran;
}
void reset() {
    g_ran = 0;
    g_running = 0;
    g_peak = 0;
    g_release = false;
}

// How many tasks of a pool of `requested` workers run at once.
int concurrency_of(int64_t requested, int expected) {
    reset();
    ZeqThreadPool *p = zeq_thread_pool_new(requested);
    EXPECT_NE(p, nullptr);
    for (int i = 0; i < expected + 2; ++i) zeq_thread_pool_execute(p, holding_task);
    EXPECT_TRUE(eventually([&] { return g_running.load() == expected; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // room for any extra worker
    int peak = g_peak.load();
    g_release = true;
    zeq_thread_pool_join(p);
    EXPECT_EQ(g_ran.load(), expected + 2);
    return peak;
}

// Ten distinct tasks that record the order they ran in.
std::mutex g_order_mutex;
std::vector<int> g_order;
template <int I>
void ordered_task() {
    std::lock_guard<std::mutex> hold(g_order_mutex);
    g_order.push_back(I);
}
template <int... I>
std::vector<ZeqTaskFn> ordered_tasks(std::integer_sequence<int, I...>) {
    return {ordered_task<I>...};
}

// A task that queues two more, down to a depth.
ZeqThreadPool *g_pool = nullptr;
std::atomic<int> g_depth_budget{0};
void fan_out_task() {
    ++g_ran;
    if (g_depth_budget.fetch_sub(2) >= 2) {
        zeq_thread_pool_execute(g_pool, fan_out_task);
        zeq_thread_pool_execute(g_pool, fan_out_task);
    }
}

// A waits for B, which is queued after it: needs B on another worker.
std::atomic<bool> g_b_done{false}, g_a_saw_b{false};
void task_a() { g_a_saw_b = eventually([] { return g_b_done.load(); }); }
void task_b() { g_b_done = true; }

void join_own_pool_task() {
    zeq_thread_pool_join(g_pool);  // shuts down; the workers release the pool
    ++g_ran;
}

// A chain of tasks queued together, each waiting (at most ten seconds) until
// the one queued after it has started: they must all be running at once.
constexpr int kChain = 4;
std::atomic<bool> g_chain_started[kChain];
std::atomic<int> g_chain_waited{0};
template <int I>
void chain_task() {
    g_chain_started[I] = true;
    if (I + 1 < kChain && eventually([] { return g_chain_started[I + 1].load(); })) ++g_chain_waited;
}
template <int... I>
std::vector<ZeqTaskFn> chain_tasks(std::integer_sequence<int, I...>) {
    return {chain_task<I>...};
}

// Distinct tasks counting their own runs; every 64th run of one holds its
// worker for a moment, so that others find it inside a task.
constexpr int kKinds = 16;
std::atomic<int64_t> g_runs[kKinds];
template <int I>
void counted_task() {
    if (g_runs[I].fetch_add(1) % 64 == 63) std::this_thread::sleep_for(std::chrono::microseconds(400));
}
template <int... I>
std::vector<ZeqTaskFn> counted_tasks(std::integer_sequence<int, I...>) {
    return {counted_task<I>...};
}

ZeqScope *g_scope = nullptr;
std::atomic<int> g_self_waits{0};
void wait_own_scope_task() {
    zeq_scope_wait(g_scope);
    ++g_self_waits;
}

// Gives threads started with default attributes 64 MiB stacks while it
// lives, so that threads which end unjoined (and keep their stacks mapped)
// stand out in the address space from malloc's per-thread heaps.
class BigThreadStacks {
  public:
    static constexpr int64_t kStack = int64_t{64} << 20;
    BigThreadStacks() {
        pthread_getattr_default_np(&saved_);
        pthread_attr_t big;
        pthread_attr_init(&big);
        pthread_attr_setstacksize(&big, kStack);
        pthread_setattr_default_np(&big);
        pthread_attr_destroy(&big);
        before_ = zeqtest::address_space_bytes();
    }
    ~BigThreadStacks() {
        pthread_setattr_default_np(&saved_);
        pthread_attr_destroy(&saved_);
    }
    // Whether the address space returns to below half of what `threads`
    // kept stacks would hold.
    bool released(int threads) const {
        // The C library unmaps the stacks of ended detached threads only
        // when it next puts a stack aside, so each look first starts and
        // joins a thread.
        return eventually([&] {
            std::thread([] {}).join();
            return zeqtest::address_space_bytes() - before_ < threads * kStack / 2;
        });
    }

  private:
    pthread_attr_t saved_;
    int64_t before_;
};

}  // namespace

TEST(PoolWorkers, CountsAtOrBelowZeroMeanFour) {
    EXPECT_EQ(concurrency_of(0, 4), 4);
    EXPECT_EQ(concurrency_of(-5, 4), 4);
    EXPECT_EQ(concurrency_of(2, 2), 2);
}

TEST(PoolWorkers, OneWorkerRunsTasksOneAtATimeInOrder) {
    g_order.clear();
    auto tasks = ordered_tasks(std::make_integer_sequence<int, 10>{});
    ZeqThreadPool *p = zeq_thread_pool_new(1);
    for (int round = 0; round < 3; ++round)
        for (ZeqTaskFn t : tasks) zeq_thread_pool_execute(p, t);
    zeq_thread_pool_join(p);
    ASSERT_EQ(g_order.size(), 30u);
    for (size_t i = 0; i < g_order.size(); ++i) EXPECT_EQ(g_order[i], static_cast<int>(i % 10));
}

TEST(PoolDrain, JoinRunsEveryQueuedTask) {
    reset();
    ZeqThreadPool *p = zeq_thread_pool_new(4);
    for (int i = 0; i < 100'000; ++i) zeq_thread_pool_execute(p, count_task);
    zeq_thread_pool_join(p);
    EXPECT_EQ(g_ran.load(), 100'000);
}

TEST(PoolDrain, ShutdownReturnsAtOnceAndStillRunsAFullQueue) {
    reset();
    ZeqThreadPool *p = zeq_thread_pool_new(1);
    zeq_thread_pool_execute(p, holding_task);  // occupies the only worker
    for (int i = 0; i < 1000; ++i) zeq_thread_pool_execute(p, count_task);
    ASSERT_TRUE(eventually([] { return g_running.load() == 1; }));
    zeq_thread_pool_shutdown(p);  // returns while the worker is still held
    zeq_thread_pool_shutdown(p);
    EXPECT_EQ(g_ran.load(), 0);
    g_release = true;
    zeq_thread_pool_join(p);
    EXPECT_EQ(g_ran.load(), 1001);
}

TEST(PoolDrain, TasksMayQueueFurtherTasks) {
    reset();
    g_depth_budget = 2000;
    g_pool = zeq_thread_pool_new(3);
    zeq_thread_pool_execute(g_pool, fan_out_task);
    zeq_thread_pool_join(g_pool);
    EXPECT_EQ(g_ran.load(), 2001);  // the first plus two per 2 units of budget
}

TEST(PoolDrain, JoinFromInsideATaskShutsDownAndTheWorkersReleaseThePool) {
    BigThreadStacks stacks;
    constexpr int kPools = 20;
    for (int round = 0; round < kPools; ++round) {
        reset();
        g_pool = zeq_thread_pool_new(2);
        // Everything is queued before the shutdown, so everything runs.
        for (int i = 0; i < 100; ++i) zeq_thread_pool_execute(g_pool, count_task);
        zeq_thread_pool_execute(g_pool, join_own_pool_task);
        ASSERT_TRUE(eventually([] { return g_ran.load() == 101; })) << "round " << round;
    }
    EXPECT_TRUE(stacks.released(2 * kPools)) << "workers of pools joined from a task are kept";
}

TEST(PoolDrain, ATaskMayWaitForOneQueuedAfterIt) {
    for (int round = 0; round < 20; ++round) {
        g_b_done = false;
        g_a_saw_b = false;
        ZeqThreadPool *p = zeq_thread_pool_new(2);
        zeq_thread_pool_execute(p, task_a);
        zeq_thread_pool_execute(p, task_b);
        zeq_thread_pool_join(p);
        ASSERT_TRUE(g_a_saw_b.load()) << "round " << round;
    }
}

TEST(PoolDrain, TasksQueuedTogetherMayEachWaitForTheNext) {
    // Queued in one burst, the tasks may all land in one worker's batch; the
    // other workers must take the ones that worker has not started.
    auto tasks = chain_tasks(std::make_integer_sequence<int, kChain>{});
    for (int round = 0; round < 10; ++round) {
        for (auto &started : g_chain_started) started = false;
        g_chain_waited = 0;
        ZeqThreadPool *p = zeq_thread_pool_new(kChain);
        for (ZeqTaskFn t : tasks) zeq_thread_pool_execute(p, t);
        zeq_thread_pool_join(p);
        ASSERT_EQ(g_chain_waited.load(), kChain - 1) << "round " << round;
    }
}

TEST(PoolStress, EveryTaskRunsExactlyOnceWhateverTheWorkerCount) {
    // Several submitting threads, tasks that now and then hold their worker
    // (so that idle workers take tasks from its batch), joined while tasks
    // are still queued.
    auto tasks = counted_tasks(std::make_integer_sequence<int, kKinds>{});
    constexpr int kSubmitters = 3, kPerSubmitter = 20'000;
    for (int64_t workers : {1, 2, 5}) {
        for (auto &n : g_runs) n = 0;
        ZeqThreadPool *p = zeq_thread_pool_new(workers);
        std::vector<std::thread> submitters;
        for (int t = 0; t < kSubmitters; ++t)
            submitters.emplace_back([&, t] {
                for (int i = 0; i < kPerSubmitter; ++i) zeq_thread_pool_execute(p, tasks[(i + t) % kKinds]);
            });
        for (auto &t : submitters) t.join();
        zeq_thread_pool_join(p);
        for (int k = 0; k < kKinds; ++k)
            EXPECT_EQ(g_runs[k].load(), kSubmitters * kPerSubmitter / kKinds) << workers << " workers, task " << k;
    }
}

TEST(PoolNull, NullPoolsAndTasksAreIgnored) {
    reset();
    zeq_thread_pool_execute(nullptr, count_task);
    zeq_thread_pool_shutdown(nullptr);
    zeq_thread_pool_join(nullptr);
    ZeqThreadPool *p = zeq_thread_pool_new(2);
    zeq_thread_pool_execute(p, nullptr);
    zeq_thread_pool_join(p);
    EXPECT_EQ(g_ran.load(), 0);
}

TEST(ScopeWait, JoinsEveryThreadTheScopeStarted) {
    reset();
    ZeqScope *s = zeq_scope_new();
    for (int i = 0; i < 3; ++i) zeq_scope_spawn(s, count_task);
    zeq_scope_spawn(s, nullptr);
    zeq_scope_spawn(nullptr, count_task);
    zeq_scope_wait(s);
    EXPECT_EQ(g_ran.load(), 3);
    zeq_scope_wait(zeq_scope_new());  // empty: returns at once
    zeq_scope_wait(nullptr);
}

TEST(ScopeWait, SpawnsFromSeveralThreadsAtOnce) {
    reset();
    ZeqScope *s = zeq_scope_new();
    std::vector<std::thread> spawners;
    for (int t = 0; t < 4; ++t)
        spawners.emplace_back([s] {
            for (int i = 0; i < 25; ++i) zeq_scope_spawn(s, count_task);
        });
    for (auto &t : spawners) t.join();
    zeq_scope_wait(s);
    EXPECT_EQ(g_ran.load(), 100);
}

TEST(ScopeWait, AThreadWaitingOnItsOwnScopeIsRecordedAndReleased) {
    // The thread may reach the wait before its spawn has returned.
    BigThreadStacks stacks;
    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        g_scope = zeq_scope_new();
        zeq_scope_spawn(g_scope, wait_own_scope_task);
        ASSERT_TRUE(eventually([round] { return g_self_waits.load() == round + 1; })) << "round " << round;
    }
    EXPECT_TRUE(stacks.released(kRounds)) << "self-waiting scope threads are kept";
}
