// Channels, the thread pool and spawn/join against standard and third-party
// anchors: a plain std::mutex + std::condition_variable bounded queue,
// moodycamel::BlockingConcurrentQueue, boost::asio::thread_pool and
// std::thread.  Channel groups move kMessages words from P producers to C
// consumers through 64 slots (threads started inside each iteration); pool
// groups run kTasks empty tasks and wait for them (pool created and joined
// inside each iteration).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#if ZEQ_HAVE_CONCURRENTQUEUE
#include <concurrentqueue/blockingconcurrentqueue.h>
#endif
#if ZEQ_HAVE_BOOST_ASIO
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#endif

#include "zeq.h"

namespace {

constexpr int64_t kMessages = 400'000;
constexpr int64_t kCapacity = 64;
constexpr int64_t kTasks = 200'000;

// ---- the plain bounded queue anchor --------------------------------------

class PlainQueue {
  public:
    explicit PlainQueue(size_t capacity) : buf_(capacity) {}
    void push(int64_t v) {
        std::unique_lock<std::mutex> lock(m_);
        not_full_.wait(lock, [&] { return count_ < buf_.size(); });
        buf_[tail_] = v;
        tail_ = (tail_ + 1) % buf_.size();
        ++count_;
        lock.unlock();
        not_empty_.notify_one();
    }
    int64_t pop() {
        std::unique_lock<std::mutex> lock(m_);
        not_empty_.wait(lock, [&] { return count_ > 0; });
        int64_t v = buf_[head_];
        head_ = (head_ + 1) % buf_.size();
        --count_;
        lock.unlock();
        not_full_.notify_one();
        return v;
    }

  private:
    std::mutex m_;
    std::condition_variable not_empty_, not_full_;
    std::vector<int64_t> buf_;
    size_t head_ = 0, tail_ = 0, count_ = 0;
};

// Runs P producers and C consumers, each producer sending kMessages / P and
// each consumer taking kMessages / C; returns the sum received.
template <class Send, class Recv>
int64_t transfer(int producers, int consumers, Send send, Recv recv) {
    std::vector<std::thread> threads;
    std::atomic<int64_t> sum{0};
    for (int c = 0; c < consumers; ++c)
        threads.emplace_back([&] {
            int64_t s = 0;
            for (int64_t i = 0; i < kMessages / consumers; ++i) s += recv();
            sum += s;
        });
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&] {
            for (int64_t i = 0; i < kMessages / producers; ++i) send(i);
        });
    for (auto &t : threads) t.join();
    return sum.load();
}

void channel_zeq(benchmark::State &state) {
    int p = static_cast<int>(state.range(0)), c = static_cast<int>(state.range(1));
    for (auto _ : state) {
        ZeqChannelHandle *tx, *rx;
        zeq_channel_new(kCapacity, &tx, &rx);
        benchmark::DoNotOptimize(transfer(
            p, c, [&](int64_t v) { zeq_channel_send(tx, v); }, [&] { return zeq_channel_recv(rx); }));
        zeq_channel_free(rx);
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

void channel_plain(benchmark::State &state) {
    int p = static_cast<int>(state.range(0)), c = static_cast<int>(state.range(1));
    for (auto _ : state) {
        PlainQueue q(kCapacity);
        benchmark::DoNotOptimize(transfer(
            p, c, [&](int64_t v) { q.push(v); }, [&] { return q.pop(); }));
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

#if ZEQ_HAVE_CONCURRENTQUEUE
// Unbounded: producers never wait for space.
void channel_moodycamel(benchmark::State &state) {
    int p = static_cast<int>(state.range(0)), c = static_cast<int>(state.range(1));
    for (auto _ : state) {
        moodycamel::BlockingConcurrentQueue<int64_t> q(kCapacity);
        benchmark::DoNotOptimize(transfer(
            p, c, [&](int64_t v) { q.enqueue(v); },
            [&] {
                int64_t v;
                q.wait_dequeue(v);
                return v;
            }));
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
#endif

#define CHANNEL_GROUP(fn, group, contender)                                                \
    BENCHMARK(fn)->Name(group "/" contender)->Args({1, 1})->UseRealTime()->Unit(benchmark::kMillisecond); \
    BENCHMARK(fn)->Name(group "/" contender)->Args({4, 4})->UseRealTime()->Unit(benchmark::kMillisecond)

CHANNEL_GROUP(channel_zeq, "channel", "zeq");
CHANNEL_GROUP(channel_plain, "channel", "std_mutex_cv_queue");
#if ZEQ_HAVE_CONCURRENTQUEUE
CHANNEL_GROUP(channel_moodycamel, "channel", "moodycamel_blocking");
#endif

// ---- pool -----------------------------------------------------------------

void empty_task() {}

void pool_zeq(benchmark::State &state) {
    for (auto _ : state) {
        ZeqThreadPool *p = zeq_thread_pool_new(state.range(0));
        for (int64_t i = 0; i < kTasks; ++i) zeq_thread_pool_execute(p, empty_task);
        zeq_thread_pool_join(p);
    }
    state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(pool_zeq)->Name("pool_empty_tasks/zeq")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

#if ZEQ_HAVE_BOOST_ASIO
void pool_asio(benchmark::State &state) {
    for (auto _ : state) {
        boost::asio::thread_pool p(static_cast<size_t>(state.range(0)));
        for (int64_t i = 0; i < kTasks; ++i) boost::asio::post(p, empty_task);
        p.join();
    }
    state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(pool_asio)->Name("pool_empty_tasks/boost_asio")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif

// ---- spawn + join -----------------------------------------------------------

int64_t identity(int64_t x) { return x; }

void spawn_zeq(benchmark::State &state) {
    int64_t i = 0x10000;
    for (auto _ : state) benchmark::DoNotOptimize(zeq_join(zeq_spawn(identity, ++i)));
}
BENCHMARK(spawn_zeq)->Name("spawn_join/zeq")->UseRealTime()->Unit(benchmark::kMicrosecond);

void spawn_std(benchmark::State &state) {
    int64_t i = 0x10000;
    for (auto _ : state) {
        int64_t r = 0;
        std::thread t([&r, v = ++i] { r = identity(v); });
        t.join();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(spawn_std)->Name("spawn_join/std_thread")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
