// Futures, tasks and executors: identity awaiting, completed tasks, the
// completed counter, polling the shared loop without waiting, and spawning
// from several threads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "child.h"
#include "io_support.h"
#include "zeq.h"

namespace {

TEST(FutureAwait, BothNamesReturnTheValue) {
    for (int64_t v : {INT64_MIN, int64_t{-1}, int64_t{0}, int64_t{7}, INT64_MAX}) {
        EXPECT_EQ(future_await(v), v);
        EXPECT_EQ(__future_await(v), v);
    }
    EXPECT_TRUE(zeqtest::same_function(reinterpret_cast<const void *>(&future_await),
                                       reinterpret_cast<const void *>(&__future_await)));
}

TEST(ExecutorTask, NewTaskIsCompletedWithItsValue) {
    ZeqTask *t = zeq_task_new(5);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(zeq_task_is_completed(t), 1);
    EXPECT_EQ(zeq_task_get_result(t), 5);
    zeq_task_free(t);
    EXPECT_EQ(zeq_task_is_completed(nullptr), 1);
    EXPECT_EQ(zeq_task_get_result(nullptr), 0);
    zeq_task_free(nullptr);
}

TEST(ExecutorCounter, SpawnRunAndBlockOn) {
    ZeqExecutor *ex = zeq_executor_new();
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(zeq_executor_completed_count(ex), 0u);
    for (int i = 0; i < 3; ++i) zeq_executor_spawn(ex, zeq_task_new(i));
    EXPECT_EQ(zeq_executor_completed_count(ex), 3u);
    zeq_executor_run(ex);
    EXPECT_EQ(zeq_executor_completed_count(ex), 3u);
    EXPECT_EQ(zeq_executor_block_on(ex, 9), 9);
    EXPECT_EQ(zeq_executor_completed_count(ex), 4u);
    zeq_executor_spawn(ex, nullptr);
    zeq_executor_spawn(nullptr, nullptr);
    EXPECT_EQ(zeq_executor_completed_count(ex), 4u);
    zeq_executor_free(ex);  // frees the spawned tasks too (ASan checks)
}

TEST(ExecutorCounter, NullExecutorIsTolerated) {
    EXPECT_EQ(zeq_executor_block_on(nullptr, 9), 9);
    EXPECT_EQ(zeq_executor_completed_count(nullptr), 0u);
    zeq_executor_run(nullptr);
    zeq_executor_free(nullptr);
}

TEST(ExecutorBlockOn, ReturnsTheValueAndMakesTheSharedLoop) {
    // In a fresh process, so that the shared loop does not exist yet.
    auto r = zeqtest::run_child([] {
        int before = zeqtest::open_fd_count();
        if (zeq_block_on(11) != 11) _exit(2);
        if (zeqtest::open_fd_count() != before + 1) _exit(3);  // the loop's epoll descriptor
        if (zeq_block_on(12) != 12 || zeqtest::open_fd_count() != before + 1) _exit(4);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
}

int g_ready_calls = 0;
void count_ready(uint64_t, int64_t, uint32_t mask) {
    if (mask & 1) ++g_ready_calls;
}

TEST(ExecutorRun, PollsTheSharedLoopOnceWithoutWaiting) {
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    ZeqEventLoop *loop = zeq_get_event_loop();
    ASSERT_EQ(zeq_event_loop_register(loop, p[0], 1, count_ready, 0), 0);
    ZeqExecutor *ex = zeq_executor_new();
    g_ready_calls = 0;
    zeq_executor_run(ex);  // nothing ready: returns (a wait would hang the test)
    EXPECT_EQ(g_ready_calls, 0);
    ASSERT_EQ(write(p[1], "x", 1), 1);
    zeq_executor_run(ex);
    EXPECT_EQ(g_ready_calls, 1);
    zeq_executor_block_on(ex, 1);
    EXPECT_EQ(g_ready_calls, 2);
    zeq_block_on(1);
    EXPECT_EQ(g_ready_calls, 3);
    zeq_executor_free(ex);
    EXPECT_EQ(zeq_event_loop_unregister(loop, p[0]), 0);
    close(p[0]);
    close(p[1]);
}

// Spawning from several threads while one thread runs the executor: the
// counter sees every task exactly once.
TEST(ExecutorThreads, ConcurrentSpawnsAreAllCounted) {
    ZeqExecutor *ex = zeq_executor_new();
    constexpr int kThreads = 4, kTasks = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([ex] {
            for (int i = 0; i < kTasks; ++i) zeq_executor_spawn(ex, zeq_task_new(i));
        });
    for (int i = 0; i < 200; ++i) {
        zeq_executor_run(ex);
        EXPECT_LE(zeq_executor_completed_count(ex), uint64_t{kThreads * kTasks + 200});
        zeq_executor_block_on(ex, i);
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(zeq_executor_completed_count(ex), uint64_t{kThreads * kTasks + 200});
    zeq_executor_free(ex);
}

}  // namespace
