// Channels, the thread pool and spawn/join against standard and third-party
// anchors: a plain std::mutex + std::condition_variable bounded queue,
// moodycamel::BlockingConcurrentQueue, a plain std::thread pool (one mutex,
// one condition variable, a std::deque of std::function), boost::asio's
// thread_pool, std::thread, and Go (a buffered channel; worker goroutines
// ranging over a buffered chan func()), whose program bench/go/main.go runs
// beside this one and is timed here, one run per iteration.  Channel groups
// move kMessages words from P producers to C consumers through 64 slots
// (threads started inside each iteration); pool groups run kTasks empty
// tasks and wait for them (pool created and joined inside each iteration).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(ZEQ_GO_ANCHOR)
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

#if ZEQ_HAVE_CONCURRENTQUEUE
#include <concurrentqueue/blockingconcurrentqueue.h>
#endif
#if ZEQ_HAVE_BOOST_ASIO
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#endif

#include "zeq.h"

namespace {

constexpr int64_t kMessages = 2'000'000;
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

// ---- the Go anchor ----------------------------------------------------------

#if defined(ZEQ_GO_ANCHOR)
// The Go program in its serving mode, started on first use: one command
// line per run on its standard input, "done" on its standard output when
// the run has finished.
class GoAnchor {
  public:
    static GoAnchor &get() {
        static GoAnchor anchor;
        return anchor;
    }
    bool ok() const { return pid_ > 0; }
    // Runs one command; false when the program is gone.
    bool run(const std::string &command) {
        if (!ok() || std::fprintf(to_, "%s\n", command.c_str()) < 0 || std::fflush(to_) != 0) return false;
        char line[64];
        return std::fgets(line, sizeof line, from_) && std::string(line) == "done\n";
    }
    ~GoAnchor() {
        if (!ok()) return;
        std::fclose(to_);  // end of input ends the program
        std::fclose(from_);
        waitpid(pid_, nullptr, 0);
    }

  private:
    GoAnchor() {
        std::signal(SIGPIPE, SIG_IGN);  // a vanished program shows as a failed write
        int in[2], out[2];
        if (pipe(in) != 0) return;
        if (pipe(out) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char *argv[] = {const_cast<char *>(ZEQ_GO_ANCHOR), const_cast<char *>("serve"), nullptr};
        if (posix_spawn(&pid_, ZEQ_GO_ANCHOR, &actions, nullptr, argv, environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to_ = fdopen(in[1], "w");
        from_ = fdopen(out[0], "r");
    }
    pid_t pid_ = 0;
    FILE *to_ = nullptr;
    FILE *from_ = nullptr;
};

// Times the Go program's run of `command` (the pipe round trip, some tens of
// microseconds, is part of each iteration).
void run_go(benchmark::State &state, const std::string &command) {
    GoAnchor &go = GoAnchor::get();
    if (!go.ok()) {
        state.SkipWithError("the Go anchor (" ZEQ_GO_ANCHOR ") could not be started");
        return;
    }
    for (auto _ : state)
        if (!go.run(command)) {
            state.SkipWithError("the Go anchor stopped");
            break;
        }
}
#else
void run_go(benchmark::State &state, const std::string &) {
    state.SkipWithError("skipped: no Go anchor (the go tool was not found when the benchmarks were configured)");
}
#endif

void channel_go(benchmark::State &state) {
    run_go(state, "channel " + std::to_string(state.range(0)) + " " + std::to_string(state.range(1)) + " " +
                      std::to_string(kMessages) + " " + std::to_string(kCapacity));
    state.SetItemsProcessed(state.iterations() * kMessages);
}

#define CHANNEL_GROUP(fn, group, contender)                                                \
    BENCHMARK(fn)->Name(group "/" contender)->Args({1, 1})->UseRealTime()->Unit(benchmark::kMillisecond); \
    BENCHMARK(fn)->Name(group "/" contender)->Args({4, 4})->UseRealTime()->Unit(benchmark::kMillisecond)

CHANNEL_GROUP(channel_zeq, "channel", "zeq");
CHANNEL_GROUP(channel_plain, "channel", "std_mutex_cv_queue");
#if ZEQ_HAVE_CONCURRENTQUEUE
CHANNEL_GROUP(channel_moodycamel, "channel", "moodycamel_blocking");
#endif
CHANNEL_GROUP(channel_go, "channel", "go");

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

// The plain pool anchor: workers wait on one condition variable for a
// shared std::deque of std::function under one mutex.
class PlainPool {
  public:
    explicit PlainPool(int workers) {
        for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
    }
    void execute(std::function<void()> task) {
        {
            std::lock_guard<std::mutex> hold(m_);
            queue_.push_back(std::move(task));
        }
        cv_.notify_one();
    }
    void join() {
        {
            std::lock_guard<std::mutex> hold(m_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto &t : threads_) t.join();
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

void pool_plain(benchmark::State &state) {
    for (auto _ : state) {
        PlainPool p(static_cast<int>(state.range(0)));
        for (int64_t i = 0; i < kTasks; ++i) p.execute(empty_task);
        p.join();
    }
    state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(pool_plain)->Name("pool_empty_tasks/std_thread_pool")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void pool_go(benchmark::State &state) {
    run_go(state, "pool " + std::to_string(state.range(0)) + " " + std::to_string(kTasks) + " 64");
    state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(pool_go)->Name("pool_empty_tasks/go")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

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
