// Every blocking service under a storm of signals: a handler installed
// without SA_RESTART, and a thread that sends the signal to the waiting
// thread every 100 microseconds.  A helper thread makes each wait end after
// a while (sends the message, writes the bytes, connects, ...).  Every call
// must return what it returns without signals - sleeps may end early, and an
// interrupted run_once gives -1, as their contracts say - none may hang (an
// alarm ends the process, naming the case), and no write may raise SIGPIPE.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "io_support.h"
#include "owned_string.h"
#include "system_support.h"
#include "zeq.h"

namespace {

using namespace std::chrono_literals;
using zeqtest::take;
using zeqtest::view;

std::atomic<int64_t> g_signals{0}, g_sigpipes{0};
std::atomic<int> g_tasks{0};
std::atomic<const char *> g_current{"setup"};

// Runs fn on a helper thread after a pause; joined when the result goes.
std::jthread later(std::function<void()> fn, std::chrono::milliseconds pause = 30ms) {
    return std::jthread([fn, pause] { std::this_thread::sleep_for(pause), fn(); });
}

void slow_task() {
    std::this_thread::sleep_for(30ms);
    ++g_tasks;
}
void bump(uint64_t user, int64_t, uint32_t) { ++*reinterpret_cast<int *>(user); }

// Standard input is a pipe for the console cases; the helper writes two
// pieces 20 ms apart.
bool console(const std::function<bool()> &read, const std::string &a, const std::string &b) {
    int p[2], saved = dup(0);
    if (pipe(p) != 0) return false;
    dup2(p[0], 0), close(p[0]), std::clearerr(stdin);
    bool wrote = false, ok;
    {
        auto writer = later([&] {
            wrote = write(p[1], a.data(), a.size()) == static_cast<ssize_t>(a.size());
            std::this_thread::sleep_for(20ms);
            wrote = wrote && write(p[1], b.data(), b.size()) == static_cast<ssize_t>(b.size());
            close(p[1]);
        });
        ok = read();
    }
    while (std::getchar() != EOF) {
    }
    dup2(saved, 0), close(saved), std::clearerr(stdin);
    return ok && wrote;
}

struct Case {
    const char *name;
    bool (*run)();  // true when every result is the one expected
};

const Case kCases[] = {
    {"sleep", [] { return zeq_sleep_ms(20) <= 0 && sleep_ms(20) == 0; }},
    {"channel receives", [] {
         ZeqChannelHandle *tx, *rx;
         zeq_channel_new(1, &tx, &rx);
         int64_t got, opt = 0, timed = 0, ok;
         { auto send = later([&] { zeq_channel_send(tx, 42); }); got = zeq_channel_recv(rx); }
         { auto send = later([&] { zeq_channel_send(tx, 43); }); ok = zeq_channel_recv_opt(rx, &opt); }
         { auto send = later([&] { zeq_channel_send(tx, 44); }); ok += zeq_channel_recv_timeout(rx, 5000, &timed); }
         bool quiet = zeq_channel_recv_timeout(rx, 30, &timed) == 0;
         zeq_channel_free(tx);
         return got == 42 && ok == 2 && opt == 43 && timed == 44 && quiet;
     }},
    {"channel sends and the end", [] {
         ZeqChannelHandle *tx, *rx, *tx0, *rx0;
         zeq_channel_new(1, &tx, &rx);
         zeq_channel_new(0, &tx0, &rx0);
         zeq_channel_send(tx, 1);
         int64_t a = 0, b = 0, c = 0, ok, end;
         { auto receiver = later([&] { a = zeq_channel_recv(rx); }); zeq_channel_send(tx, 2); }
         { auto receiver = later([&] { b = zeq_channel_recv(rx); }); ok = zeq_channel_send_timeout(tx, 3, 5000); }
         bool full = zeq_channel_send_timeout(tx, 4, 30) == 0;
         zeq_channel_try_recv(rx, &c);
         { auto closer = later([&] { zeq_channel_close(tx0); }); end = zeq_channel_recv(rx0); }
         zeq_channel_free(tx), zeq_channel_free(tx0);
         return a == 1 && b == 2 && ok == 1 && full && c == 3 && end == 0;
     }},
    {"mutex, condition variable, read-write lock, barrier", [] {
         ZeqMutex *m = zeq_mutex_new(0);
         ZeqCondvar *cv = zeq_condvar_new();
         ZeqRwLock *l = zeq_rwlock_new(5);
         ZeqBarrier *bar = zeq_barrier_new(2);
         int64_t seen, locked, written, mine, theirs = -1;
         {
             auto notify = later([&] { zeq_mutex_lock(m), zeq_mutex_unlock(m, 7), zeq_condvar_notify_all(cv); });
             for (seen = zeq_mutex_lock(m); seen != 7;) seen = zeq_condvar_wait(cv, m);
             zeq_mutex_unlock(m, 8);
         }
         {
             std::atomic<bool> held{false};
             auto holder = later([&] {
                 zeq_mutex_lock(m), zeq_rwlock_read(l), held = true;
                 std::this_thread::sleep_for(30ms);
                 zeq_rwlock_read_unlock(l), zeq_mutex_unlock(m, 9);
             }, 0ms);
             while (!held) std::this_thread::yield();
             zeq_mutex_unlock(m, locked = zeq_mutex_lock(m));
             zeq_rwlock_write_unlock(l, written = zeq_rwlock_write(l));
         }
         { auto other = later([&] { theirs = zeq_barrier_wait(bar); }); mine = zeq_barrier_wait(bar); }
         zeq_mutex_free(m), zeq_condvar_free(cv), zeq_rwlock_free(l), zeq_barrier_free(bar);
         return seen == 7 && locked == 9 && written == 5 && mine + theirs == 1;
     }},
    {"thread, pool and scope joins", [] {
         int64_t joined = zeq_join(zeq_spawn([](int64_t x) -> int64_t { return slow_task(), x + 1; }, 6));
         ZeqThreadPool *pool = zeq_thread_pool_new(2);
         zeq_thread_pool_execute(pool, slow_task);
         zeq_thread_pool_join(pool);
         ZeqScope *s = zeq_scope_new();
         zeq_scope_spawn(s, slow_task);
         zeq_scope_wait(s);
         return joined == 7 && g_tasks.exchange(0) == 3;
     }},
    {"console lines and bytes", [] {
         return console([] { return take(zeq_read_line()) == "hello" && take(zeq_read_line()) == "next"; },
                        "hel", "lo\r\nnext\n") &&
                console([] { return take(zeq_read_bytes(8)) == "abcdefgh" && take(zeq_read_bytes(8)) == "i"; },
                        "abcd", "efghi");
     }},
    {"command output", [] {
         std::string sleepy = "sleep 0.05; echo out", status = "sleep 0.05; exit 3";
         ZeqString a = view(sleepy), b = view(status);
         return zeqtest::Result(zeq_system_capture(&a)).text() == "out\n" && zeq_system(&b) == 768;  // cap: its buffer
     }},
    {"tcp connect, accept, read", [] {
         ZeqSocket *listener = zeq_async_socket_listen(0), *s;
         int port = static_cast<int>(zeq_async_socket_port(listener)), plain = -1;
         bool ok = true, wrote = false;
         for (int i = 0; i < 20; ++i) {
             ZeqSocket *c = zeq_async_socket_connect("127.0.0.1", port), *a = zeq_async_socket_accept(listener);
             ok = ok && c && a;
             zeq_async_socket_close(c), zeq_async_socket_close(a);
         }
         { auto client = later([&] { plain = zeqtest::plain_connect(port); }); s = zeq_async_socket_accept(listener); }
         std::string got;
         { auto send = later([&] { wrote = write(plain, "ping", 4) == 4; }); got = take(zeq_async_socket_read(s)); }
         close(plain);
         ok = ok && wrote && got == "ping" && take(zeq_async_socket_read(s)) == "<null>";  // end of stream
         zeq_async_socket_close(s), zeq_async_socket_close(listener);
         return ok;
     }},
    {"tcp write, and writes to a peer that left", [] {
         ZeqSocket *listener = zeq_async_socket_listen(0);
         ZeqSocket *c = zeq_async_socket_connect("127.0.0.1", static_cast<int32_t>(zeq_async_socket_port(listener)));
         ZeqSocket *s = zeq_async_socket_accept(listener);
         std::string big(8 << 20, 'w'), received;
         {
             auto reader = later([&] {
                 for (char *chunk; received.size() < big.size() && (chunk = zeq_async_socket_read(s));)
                     received += take(chunk);
             });
             zeq_async_socket_write(c, big.c_str());
         }
         zeq_async_socket_close(s), zeq_async_socket_close(listener);
         for (int i = 0; i < 50; ++i) zeq_async_socket_write(c, "to nobody");
         zeq_async_socket_close(c);
         return received == big;
     }},
    {"file reads and writes of a pipe, and writes to one whose reader left", [] {
         zeqtest::TempDir dir;
         std::string fifo = dir / "fifo", big(1 << 20, 'f');
         mkfifo(fifo.c_str(), 0600);
         ZeqString path = view(fifo), content = view(big);
         bool unreadable = take(zeq_read_file(&path)).empty();  // a stream that cannot seek: "" at once
         int r = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
         int64_t all, cut;
         size_t got = 0;
         {
             auto reader = later([&] {
                 fcntl(r, F_SETFL, 0);
                 char buf[65536];
                 for (ssize_t k; got < big.size() && (k = read(r, buf, sizeof buf)) > 0;) got += static_cast<size_t>(k);
             });
             all = zeq_write_file(&path, &content);
         }
         { auto leave = later([&] { close(r); }); cut = zeq_write_file(&path, &content); }
         return unreadable && all == 0 && got == big.size() && cut == -1;
     }},
    {"udp receive", [] {
         ZeqSocket *a = zeq_async_udp_bind(0), *b = zeq_async_udp_bind(0);
         auto port = static_cast<int32_t>(zeq_async_socket_port(b));
         std::string got;
         ZeqUdpPacket *pk;
         auto send = [&](const char *d) { return later([=] { zeq_async_udp_sendto(a, "127.0.0.1", port, d); }); };
         { auto sender = send("datagram"); got = take(zeq_async_udp_recv(b)); }
         { auto sender = send("again"); pk = zeq_async_udp_recvfrom(b); }
         bool ok = got == "datagram" && pk && std::string(zeq_udp_packet_payload(pk)) == "again";
         zeq_udp_packet_free(pk), zeq_async_udp_close(a), zeq_async_udp_close(b);
         return ok;
     }},
    {"non-blocking read", [] {
         ZeqSocket *listener = zeq_async_socket_listen(0);
         ZeqSocket *nb = zeq_nb_socket_connect("127.0.0.1", static_cast<int32_t>(zeq_async_socket_port(listener)));
         ZeqSocket *s = zeq_async_socket_accept(listener);
         while (nb && !nb->connected && nb->fd >= 0) zeq_event_loop_run_once(zeq_get_event_loop(), 10);
         std::string got;
         { auto send = later([&] { zeq_async_socket_write(s, "nb"); }); got = take(zeq_nb_socket_read(nb)); }
         zeq_async_socket_close(nb), zeq_async_socket_close(s), zeq_async_socket_close(listener);
         return got == "nb";
     }},
    {"run_once", [] {
         ZeqEventLoop *loop = zeq_event_loop_create();
         int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), fired = 0;
         zeq_event_loop_register(loop, fd, 1, bump, reinterpret_cast<uint64_t>(&fired));
         bool ok = true, wrote = false;
         {
             auto wake = later([&] {
                 uint64_t one = 1;
                 wrote = write(fd, &one, sizeof one) == sizeof one;
             });
             while (fired == 0) {
                 int32_t n = zeq_event_loop_run_once(loop, 5000);
                 ok = ok && (n == 1 || (n == -1 && errno == EINTR));
             }
         }
         zeq_event_loop_destroy(loop), close(fd);
         return ok && wrote && fired == 1;
     }},
};

void on_signal(int signal) {
    if (signal == SIGUSR2) return void(++g_signals);
    if (signal == SIGPIPE) return void(++g_sigpipes);
    const char *name = g_current.load();  // SIGALRM: a wait hangs
    [[maybe_unused]] bool told =
        write(2, "hangs: ", 7) == 7 && write(2, name, std::strlen(name)) > 0 && write(2, "\n", 1) == 1;
    std::abort();
}

TEST(Signals, EveryWaitReturnsItsResultUnderASignalStorm) {
    struct sigaction sa {};
    sa.sa_handler = on_signal;  // no SA_RESTART: interrupted calls fail with EINTR
    for (int s : {SIGUSR2, SIGPIPE, SIGALRM}) sigaction(s, &sa, nullptr);
    alarm(100);  // before the suite's time-out, so that the report names the case
    std::atomic<bool> done{false};
    pthread_t target = pthread_self();
    std::thread storm([&] {
        while (!done) pthread_kill(target, SIGUSR2), std::this_thread::sleep_for(100us);
    });
    for (const Case &c : kCases) {
        g_current = c.name;
        int64_t before = g_signals;
        EXPECT_TRUE(c.run()) << c.name;
        EXPECT_GT(g_signals - before, 0) << c.name << ": no signal arrived";
    }
    alarm(0), done = true, storm.join();
    signal(SIGUSR2, SIG_IGN);
    EXPECT_EQ(g_sigpipes, 0);
    std::printf("signals delivered: %ld\n", static_cast<long>(g_signals.load()));
}

}  // namespace
