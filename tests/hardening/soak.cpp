// Soak: for the given number of seconds (default 300), on loopback only and
// all at once, an echo server on the shared event loop with 64 clients that
// reconnect, 4 senders and 4 receivers on one channel, a pool whose tasks
// queue tasks (a new pool each round), arena churn through save / restore,
// and files written, read and removed.  At the end every message and task
// must have arrived exactly once, and descriptors and threads must be back at
// their level before the start.  Resident memory may grow by less than 1 MB
// a minute after the warm-up, and by 4 MB at most in a run too short for the
// allocator's per-thread caches to settle (not checked in the sanitizer
// builds, whose allocators keep freed memory on purpose).
//
// Usage: soak [SECONDS]
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "io_support.h"
#include "system_support.h"
#include "zeq.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<bool> g_stop{false};
std::atomic<int> g_failures{0}, g_clients_running{0}, g_server_sockets{0};
std::atomic<int64_t> g_connections{0}, g_messages{0}, g_sent_bytes{0}, g_echoed_bytes{0}, g_tasks{0},
    g_channel_messages{0}, g_files{0}, g_arena_rounds{0};

void fail(const char *what) {
    if (++g_failures <= 10) std::fprintf(stderr, "soak: %s\n", what);
}

int threads_now() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// Resident memory: the least of five readings 20 ms apart, so that a block
// the arena churn holds for a moment does not count.
int64_t rss_kb() {
    int64_t least = INT64_MAX;
    for (int i = 0; i < 5; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        long pages = 0, resident = 0;
        if (FILE *f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
            std::fclose(f);
        }
        least = std::min<int64_t>(least, resident * (sysconf(_SC_PAGESIZE) / 1024));
    }
    return least;
}

// ---- echo server on the shared loop, and its clients ---------------------------

ZeqSocket *g_listener;

void on_client(uint64_t user, int64_t fd, uint32_t) {
    auto *s = reinterpret_cast<ZeqSocket *>(user);
    char *data = zeq_async_socket_read(s);
    if (!data) {  // the client left
        zeq_event_loop_unregister(zeq_get_event_loop(), fd), zeq_async_socket_close(s), --g_server_sockets;
        return;
    }
    g_echoed_bytes += static_cast<int64_t>(std::strlen(data));
    zeq_async_socket_write(s, data), std::free(data);
}

void on_accept(uint64_t, int64_t, uint32_t) {
    while (ZeqSocket *s = zeq_async_socket_accept(g_listener)) {  // a non-blocking listener
        ++g_server_sockets;
        if (zeq_event_loop_register(zeq_get_event_loop(), s->fd, 1, on_client, reinterpret_cast<uint64_t>(s)) != 0)
            fail("registration of a connection");
    }
}

int64_t client(int64_t id) {
    int port = static_cast<int>(zeq_async_socket_port(g_listener));
    for (int64_t round = 0; !g_stop; ++round) {
        ZeqSocket *c = zeq_async_socket_connect("127.0.0.1", port);
        if (!c) {
            fail("connect");
            break;
        }
        ++g_connections;
        for (int64_t m = 0; m <= (id + round) % 16; ++m) {
            std::string msg = "client " + std::to_string(id) + " round " + std::to_string(round) + " message " +
                              std::to_string(m) + std::string(static_cast<size_t>(m * 13), '.') + "\n", echo;
            zeq_async_socket_write(c, msg.c_str());
            for (char *part; echo.size() < msg.size() && (part = zeq_async_socket_read(c));) echo += zeqtest::take(part);
            if (echo != msg) fail("echo differs from the message");
            ++g_messages, g_sent_bytes += static_cast<int64_t>(msg.size());
        }
        zeq_async_socket_close(c);
    }
    --g_clients_running;
    return 0;
}

// ---- channel: 4 senders, 4 receivers, every form of send and receive ----------

constexpr int kSides = 4;
ZeqChannelHandle *g_tx, *g_rx;
std::atomic<int64_t> g_sent[kSides];
struct Tally {
    std::atomic<uint64_t> count, sum, squares;
} g_got[kSides];

int64_t sender(int64_t id) {
    int64_t seq = 0;
    for (; !g_stop; ++seq) {
        if (seq % 8) zeq_channel_send(g_tx, id << 48 | seq);
        else while (!zeq_channel_send_timeout(g_tx, id << 48 | seq, 5)) {}
    }
    g_sent[id] = seq;
    return 0;
}

int64_t receiver(int64_t) {
    int64_t last[kSides] = {-1, -1, -1, -1}, message = 0;
    for (int64_t n = 0;; ++n) {
        if (!(n % 8 ? zeq_channel_recv_opt(g_rx, &message) : zeq_channel_recv_timeout(g_rx, 5, &message))) {
            if (!zeq_channel_is_closed(g_rx)) continue;       // a time-out
            if (!zeq_channel_try_recv(g_rx, &message)) break;  // closed and empty: the end
        }
        int64_t from = message >> 48, seq = message & ((int64_t{1} << 48) - 1);
        if (from < 0 || from >= kSides || seq <= last[from]) fail("channel order");
        last[from] = seq;
        auto u = static_cast<uint64_t>(seq);
        ++g_got[from].count, g_got[from].sum += u, g_got[from].squares += u * u, ++g_channel_messages;
    }
    return 0;
}

// ---- pool rounds: tasks that queue tasks -----------------------------------------

ZeqThreadPool *g_pool;
std::atomic<int64_t> g_budget{0}, g_ran{0};

void task() {
    ++g_ran;
    if (g_budget.fetch_sub(1) > 0) zeq_thread_pool_execute(g_pool, task);
}

int64_t pool_rounds(int64_t) {
    while (!g_stop) {
        g_pool = zeq_thread_pool_new(4);
        g_ran = 0, g_budget = 200;
        for (int i = 0; i < 8; ++i) zeq_thread_pool_execute(g_pool, task);
        while (g_ran < 208) std::this_thread::sleep_for(std::chrono::microseconds(200));
        zeq_thread_pool_join(g_pool);  // the budget is spent: no task queues any more
        if (g_ran != 208) fail("pool tasks");
        g_tasks += g_ran;
    }
    return 0;
}

// ---- arena churn, and files ---------------------------------------------------------

int64_t arena_churn(int64_t) {
    ZeqString dot{const_cast<char *>("."), 1, 1};
    for (int64_t round = 0; !g_stop; ++round, ++g_arena_rounds) {
        zeq_arena_save();
        ZeqStringBuilder *b = zeq_sb_new();
        for (int i = 0; i < 200; ++i) zeq_sb_push(b, zeq_string_concat(zeq_int_to_string(round + i), &dot));
        ZeqString *all = zeq_sb_build(b);
        zeq_sb_free(b);
        if (round % 16 == 0) zeq_string_repeat(all, 8192);  // more than a block
        if (zeq_str_count(all, &dot) != 200) fail("arena strings");
        zeq_arena_restore();
        if (round % 256 == 0) zeq_arena_reset();
        if (zeq_arena_usage() > (64 << 20)) fail("the arena keeps growing");
    }
    zeq_arena_reset();
    return 0;
}

std::string g_dir;

int64_t files(int64_t) {
    for (int64_t round = 0; !g_stop; ++round, ++g_files) {
        zeq_arena_save();
        std::string path = g_dir + "/f" + std::to_string(round % 8);
        std::string content = std::string(static_cast<size_t>(round % 5000), 'x') + std::to_string(round);
        ZeqString p = zeqtest::view(path), c = zeqtest::view(content);
        bool ok = zeq_write_file(&p, &c) == 0 && zeq_append_file(path.c_str(), "!") == 0 &&
                  zeq_file_size(path.c_str()) == static_cast<int64_t>(content.size()) + 1;
        ZeqString *back = zeq_read_file(&p);
        ok = ok && zeqtest::content(back) == content + "!";
        if (back->len > 0) std::free(back->data);  // malloc memory even in arena mode
        if (!ok || zeq_delete_file(&p) != 0 || zeq_file_exists(&p)) fail("file round trip");
        zeq_arena_restore();
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    alarm(static_cast<unsigned>(seconds + 120));  // a hang ends the process
    zeqtest::TempDir dir;
    if (!dir.ok()) return 2;
    g_dir = dir.path();
    // Large blocks always mapped and unmapped, so that resident memory shows
    // what is live rather than what malloc keeps after a large free.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    zeq_arena_mode(1);
    // The baseline: the shared loop (it lives until the end) and whatever
    // helper threads the platform or a sanitizer starts with the first thread.
    ZeqEventLoop *loop = zeq_get_event_loop();
    zeq_join(zeq_spawn(nullptr, 0));
    const int fds_start = zeqtest::open_fd_count(), threads_start = threads_now();

    g_listener = zeq_async_socket_listen(0);
    fcntl(g_listener->fd, F_SETFL, O_NONBLOCK);
    zeq_event_loop_register(loop, g_listener->fd, 1, on_accept, 0);
    zeq_channel_new(64, &g_tx, &g_rx);
    std::vector<ZeqThread *> clients, senders, others;
    g_clients_running = 64;
    for (int i = 0; i < 64; ++i) clients.push_back(zeq_spawn(client, i));
    for (int i = 0; i < kSides; ++i) senders.push_back(zeq_spawn(sender, i)), others.push_back(zeq_spawn(receiver, i));
    for (ZeqThreadFn fn : {pool_rounds, arena_churn, files}) others.push_back(zeq_spawn(fn, 0));

    const auto start = Clock::now(), end = start + std::chrono::seconds(seconds);
    const auto warm = start + std::chrono::seconds(std::min(std::max(seconds / 5, 3), 30));
    int64_t rss_warm = -1;
    int fds_warm = 0, threads_warm = 0;
    std::vector<int64_t> samples;  // resident memory every tenth of the run
    size_t half = 0;                // the samples before the middle of the run
    for (auto next = start; Clock::now() < end;) {
        zeq_event_loop_run_once(loop, 50);
        if (rss_warm < 0 && Clock::now() >= warm)
            rss_warm = rss_kb(), fds_warm = zeqtest::open_fd_count(), threads_warm = threads_now();
        if (Clock::now() >= next) {
            if (next < start + (end - start) / 2) half = samples.size() + 1;
            samples.push_back(rss_kb()), next += (end - start) / 10;
        }
    }
    samples.push_back(rss_kb());
    // The churning threads may hold a large block (or keep one as their
    // arena's spare) for seconds on a busy machine, so one reading may be a
    // block above the level: the level after warm-up is the least reading
    // from then to the middle of the run, the level at the end the least
    // reading of the second half.  Memory that keeps growing raises both
    // the readings that hold the block and those that don't.
    const int64_t warm_tenths = std::max<int64_t>(1, (warm - start) * 10 / (end - start));
    for (size_t i = static_cast<size_t>(warm_tenths); i < half; ++i) rss_warm = std::min(rss_warm, samples[i]);
    const int64_t rss_end = *std::min_element(samples.begin() + static_cast<ptrdiff_t>(half), samples.end());
    std::string sampled;
    for (int64_t kb : samples) sampled += " " + std::to_string(kb / 1024);
    const int fds_running = zeqtest::open_fd_count(), threads_running = threads_now();
    g_stop = true;
    // Clients finish their round; the server answers until they are gone.
    while (g_clients_running > 0 || g_server_sockets > 0) zeq_event_loop_run_once(loop, 10);
    for (ZeqThread *t : clients) zeq_join(t);
    for (ZeqThread *t : senders) zeq_join(t);
    zeq_channel_close(g_tx);
    for (ZeqThread *t : others) zeq_join(t);
    zeq_channel_free(g_tx);
    zeq_event_loop_unregister(loop, g_listener->fd);
    zeq_async_socket_close(g_listener);

    for (int i = 0; i < kSides; ++i) {
        // Sums of 0 .. n - 1 and of their squares, both modulo 2^64.
        auto n = static_cast<unsigned __int128>(g_sent[i].load());
        auto sum = static_cast<uint64_t>(n * (n - 1) / 2), squares = static_cast<uint64_t>(n * (n - 1) * (2 * n - 1) / 6);
        if (g_got[i].count != static_cast<uint64_t>(n) || g_got[i].sum != sum || g_got[i].squares != squares)
            fail("channel messages lost or repeated");
    }
    if (g_sent_bytes != g_echoed_bytes) fail("the server echoed other bytes than the clients sent");
    for (int i = 0; i < 100 && threads_now() != threads_start; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int fds_end = zeqtest::open_fd_count(), threads_end = threads_now();
    if (fds_end != fds_start) fail("descriptors not back at their level");
    if (threads_end != threads_start) fail("threads not back at their level");
    const int64_t allowed_kb = static_cast<int64_t>(1024 * std::max(4.0, std::chrono::duration<double>(end - warm).count() / 60));
    if (!ZEQ_SOAK_SANITIZED && rss_end - rss_warm >= allowed_kb) fail("resident memory keeps growing");
    std::printf("soak: %d s: %ld connections, %ld echoed messages, %ld channel messages, %ld pool tasks, %ld files, "
                "%ld arena rounds; %ld KB of heap in use at the end\n",
                seconds, static_cast<long>(g_connections.load()), static_cast<long>(g_messages.load()),
                static_cast<long>(g_channel_messages.load()), static_cast<long>(g_tasks.load()),
                static_cast<long>(g_files.load()), static_cast<long>(g_arena_rounds.load()),
                static_cast<long>(zeqtest::live_heap_bytes() / 1024));
    std::printf("soak: descriptors %d at the start, %d after warm-up, %d running, %d at the end; threads %d, %d, %d, "
                "%d; resident memory %ld KB after warm-up, %ld KB at the end (growth allowed %ld KB; MB every tenth "
                "of the run:%s)\n",
                fds_start, fds_warm, fds_running, fds_end, threads_start, threads_warm, threads_running, threads_end,
                static_cast<long>(rss_warm), static_cast<long>(rss_end), static_cast<long>(allowed_kb), sampled.c_str());
    return g_failures == 0 ? 0 : 1;
}
