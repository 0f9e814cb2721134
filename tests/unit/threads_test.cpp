// Spawned threads and their results, mutexes and read-write locks with their
// protected values, condition variables, reusable barriers and shared boxes.
// Every wait here is bounded: blocked threads are released by the test
// itself, and a helper that waits for a condition gives up after a while.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

using zeqtest::eventually;

constexpr int64_t kIncrementsPerThread = 1'000'000;

int64_t square(int64_t x) { return x * x; }
int64_t answer(int64_t) { return 42; }

std::atomic<ZeqThread *> g_self_handle{nullptr};
int64_t join_myself(int64_t) {
    ZeqThread *me = nullptr;
    if (!eventually([&] { return (me = g_self_handle.load()) != nullptr; })) return -1;
    return zeq_join(me) + 100;  // 0 + 100 when the self-join is refused
}

}  // namespace

TEST(ThreadHandles, NullHandlesGiveNeutralResults) {
    EXPECT_EQ(zeq_mutex_lock(nullptr), 0);
    EXPECT_EQ(zeq_mutex_try_lock(nullptr), 0);
    EXPECT_EQ(zeq_rwlock_read(nullptr), 0);
    EXPECT_EQ(zeq_rwlock_write(nullptr), 0);
    EXPECT_EQ(zeq_rwlock_try_read(nullptr), -1);
    EXPECT_EQ(zeq_rwlock_try_write(nullptr), -1);
    EXPECT_EQ(zeq_barrier_wait(nullptr), 0);
    EXPECT_EQ(zeq_arc_clone(nullptr), nullptr);
    EXPECT_EQ(zeq_arc_get(nullptr), 0);
    EXPECT_EQ(zeq_arc_strong_count(nullptr), 0);
    ZeqCondvar *cv = zeq_condvar_new();
    ZeqMutex *m = zeq_mutex_new(4);
    EXPECT_EQ(zeq_condvar_wait(cv, nullptr), 0);
    EXPECT_EQ(zeq_condvar_wait(nullptr, m), 0);
    EXPECT_EQ(zeq_condvar_wait(cv, m), 0);  // mutex not held: no wait
    zeq_mutex_unlock(nullptr, 5);
    zeq_rwlock_read_unlock(nullptr);
    zeq_rwlock_write_unlock(nullptr, 1);
    zeq_condvar_notify_one(nullptr);
    zeq_condvar_notify_all(nullptr);
    zeq_arc_drop(nullptr);
    zeq_mutex_free(nullptr);
    zeq_rwlock_free(nullptr);
    zeq_condvar_free(nullptr);
    zeq_barrier_free(nullptr);
    zeq_condvar_free(cv);
    zeq_mutex_free(m);
}


TEST(SpawnJoin, ReturnsTheResultOfTheThreadBody) {
    EXPECT_EQ(zeq_join(zeq_spawn(answer, 0)), 42);
    EXPECT_EQ(zeq_join(zeq_spawn(nullptr, 7)), 0);  // no body: result 0
    std::vector<ZeqThread *> threads;
    for (int64_t i = 0; i < 16; ++i) threads.push_back(zeq_spawn(square, i - 8));
    for (int64_t i = 0; i < 16; ++i) EXPECT_EQ(zeq_join(threads[i]), (i - 8) * (i - 8));
}

TEST(SpawnJoin, ValuesBelowTheThreadRangeComeBackUnchanged) {
    for (int64_t v : {int64_t{0}, int64_t{5}, int64_t{-1}, int64_t{0xFFFF}, INT64_MIN})
        EXPECT_EQ(zeq_join(reinterpret_cast<ZeqThread *>(static_cast<intptr_t>(v))), v);
}

TEST(SpawnJoin, AThreadJoiningItselfGetsZeroAndStaysJoinable) {
    ZeqThread *t = zeq_spawn(join_myself, 0);
    ASSERT_NE(t, nullptr);
    g_self_handle.store(t);
    EXPECT_EQ(zeq_join(t), 100);
    g_self_handle.store(nullptr);
}

TEST(MutexValue, IsHandedOverAtLockAndUnlock) {
    ZeqMutex *m = zeq_mutex_new(3);
    EXPECT_EQ(zeq_mutex_lock(m), 3);
    zeq_mutex_unlock(m, 9);
    EXPECT_EQ(zeq_mutex_lock(m), 9);
    zeq_mutex_unlock(m, 7);
    EXPECT_EQ(zeq_mutex_try_lock(m), 7);  // now held
    EXPECT_EQ(zeq_mutex_try_lock(m), 0);  // busy, even for the holder
    EXPECT_EQ(zeq_mutex_lock(m), 7);      // the holder is not blocked by itself
    zeq_mutex_unlock(m, 1);               // one unlock releases
    std::thread([&] {
        EXPECT_EQ(zeq_mutex_try_lock(m), 1);
        zeq_mutex_unlock(m, 2);
    }).join();
    EXPECT_EQ(zeq_mutex_lock(m), 2);
    zeq_mutex_unlock(m, 2);
    zeq_mutex_free(m);
}

TEST(MutexOwnership, OnlyTheHolderCanUnlock) {
    ZeqMutex *m = zeq_mutex_new(10);
    ASSERT_EQ(zeq_mutex_lock(m), 10);
    std::thread([&] {
        EXPECT_EQ(zeq_mutex_try_lock(m), 0);  // held by the main thread
        zeq_mutex_unlock(m, 99);              // not the holder: ignored
        EXPECT_EQ(zeq_mutex_try_lock(m), 0);  // still held
    }).join();
    zeq_mutex_free(m);  // held: left alone
    zeq_mutex_unlock(m, 11);
    zeq_mutex_unlock(m, 12);  // no longer held: ignored
    EXPECT_EQ(zeq_mutex_lock(m), 11);
    zeq_mutex_unlock(m, 11);
    zeq_mutex_free(m);
}

TEST(MutexStress, FourThreadsCountEveryIncrement) {
    ZeqMutex *m = zeq_mutex_new(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([m] {
            for (int64_t i = 0; i < kIncrementsPerThread; ++i) zeq_mutex_unlock(m, zeq_mutex_lock(m) + 1);
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(zeq_mutex_lock(m), 4 * kIncrementsPerThread);
    zeq_mutex_unlock(m, 0);
    zeq_mutex_free(m);
}

TEST(RwLockHolds, ReadersShareWritersExclude) {
    ZeqRwLock *l = zeq_rwlock_new(5);
    EXPECT_EQ(zeq_rwlock_read(l), 5);
    std::thread([&] {
        EXPECT_EQ(zeq_rwlock_try_read(l), 5);  // a second reader at once
        EXPECT_EQ(zeq_rwlock_try_write(l), -1);
        zeq_rwlock_read_unlock(l);
    }).join();
    EXPECT_EQ(zeq_rwlock_try_write(l), -1);  // our own read hold
    zeq_rwlock_read_unlock(l);
    zeq_rwlock_read_unlock(l);  // no hold left: ignored
    EXPECT_EQ(zeq_rwlock_try_write(l), 5);
    std::thread([&] {
        EXPECT_EQ(zeq_rwlock_try_read(l), -1);
        EXPECT_EQ(zeq_rwlock_try_write(l), -1);
        zeq_rwlock_write_unlock(l, 77);  // not the writer: ignored
    }).join();
    EXPECT_EQ(zeq_rwlock_write(l), 5);  // the writer is not blocked by itself
    EXPECT_EQ(zeq_rwlock_read(l), 5);
    zeq_rwlock_write_unlock(l, 6);
    EXPECT_EQ(zeq_rwlock_read(l), 6);
    zeq_rwlock_read_unlock(l);  // read_unlock stores nothing
    EXPECT_EQ(zeq_rwlock_try_read(l), 6);
    zeq_rwlock_free(l);  // held: left alone
    zeq_rwlock_read_unlock(l);
    zeq_rwlock_free(l);
}

TEST(RwLockStress, ReadersNeverSeeAHalfWrittenPair) {
    // The protected value points at two words that writers keep equal.
    int64_t pair[2] = {0, 0};
    ZeqRwLock *l = zeq_rwlock_new(reinterpret_cast<int64_t>(pair));
    std::atomic<int64_t> torn{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                auto *p = reinterpret_cast<int64_t *>(zeq_rwlock_write(l));
                ++p[0];
                ++p[1];
                zeq_rwlock_write_unlock(l, reinterpret_cast<int64_t>(p));
            }
        });
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                auto *p = reinterpret_cast<int64_t *>(zeq_rwlock_read(l));
                if (p[0] != p[1]) ++torn;
                zeq_rwlock_read_unlock(l);
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(pair[0], 40000);
    zeq_rwlock_free(l);
}

TEST(CondvarWait, WakesWithTheValueTheNotifierStored) {
    ZeqCondvar *cv = zeq_condvar_new();
    ZeqMutex *m = zeq_mutex_new(0);
    constexpr int kWaiters = 3;
    std::atomic<int> done{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            int64_t v = zeq_mutex_lock(m);
            while (v == 0) v = zeq_condvar_wait(cv, m);  // spurious wake-ups re-check
            EXPECT_EQ(v, 55);
            zeq_mutex_unlock(m, v);
            ++done;
        });
    zeq_mutex_lock(m);
    zeq_mutex_unlock(m, 55);
    // Notify until every waiter has seen the value (a waiter may only start
    // waiting after a given notify).
    EXPECT_TRUE(eventually([&] {
        zeq_condvar_notify_all(cv);
        return done.load() == kWaiters;
    }));
    for (auto &t : waiters) t.join();
    zeq_condvar_free(cv);
    zeq_mutex_free(m);
}

TEST(BarrierNew, NeedsAtLeastOneParty) {
    EXPECT_EQ(zeq_barrier_new(0), nullptr);
    EXPECT_EQ(zeq_barrier_new(-3), nullptr);
    ZeqBarrier *b = zeq_barrier_new(1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zeq_barrier_wait(b), 1);
    zeq_barrier_free(b);
}

TEST(BarrierGenerations, ExactlyOneLeaderPerOpeningAndNobodyLeavesEarly) {
    constexpr int kParties = 3;
    constexpr int kRounds = 500;
    ZeqBarrier *b = zeq_barrier_new(kParties);
    std::vector<std::atomic<int>> arrived(kRounds), leaders(kRounds);
    std::atomic<int> early{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kParties; ++i)
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                ++arrived[r];
                int64_t lead = zeq_barrier_wait(b);
                if (arrived[r].load() != kParties) ++early;  // left before everyone came
                leaders[r] += static_cast<int>(lead);
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(early.load(), 0);
    for (int r = 0; r < kRounds; ++r) ASSERT_EQ(leaders[r].load(), 1) << "round " << r;
    zeq_barrier_free(b);
}

TEST(ArcCount, CloneAndDropTrackTheReferences) {
    ZeqArc *a = zeq_arc_new(1234);
    EXPECT_EQ(zeq_arc_strong_count(a), 1);
    EXPECT_EQ(zeq_arc_clone(a), a);
    EXPECT_EQ(zeq_arc_strong_count(a), 2);
    EXPECT_EQ(zeq_arc_get(a), 1234);
    zeq_arc_drop(a);
    EXPECT_EQ(zeq_arc_strong_count(a), 1);
    zeq_arc_drop(a);  // freed here (the sanitizer build checks it)
}

TEST(ArcCount, ConcurrentClonesAndDropsBalance) {
    ZeqArc *a = zeq_arc_new(-8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([a] {
            for (int i = 0; i < 20000; ++i) {
                ZeqArc *c = zeq_arc_clone(a);
                EXPECT_EQ(zeq_arc_get(c), -8);
                zeq_arc_drop(c);
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(zeq_arc_strong_count(a), 1);
    // The last owner may be another thread: it frees the box.
    zeq_arc_clone(a);
    std::thread([a] { zeq_arc_drop(a); }).join();
    zeq_arc_drop(a);
}
