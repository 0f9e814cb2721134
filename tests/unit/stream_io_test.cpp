// File handles and TCP sockets over loopback: whole-file read and write from
// the start, connect by address and by name, listen and accept, split and
// whole-text transfers, closed peers, bad input, and an echo server driven
// by the shared event loop under many concurrent clients.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "io_support.h"
#include "zeq.h"

namespace {

using zeqtest::open_fd_count;
using zeqtest::take;

class AsyncFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *dir = getenv("TMPDIR");
        std::string tmpl = std::string(dir && *dir ? dir : P_tmpdir) + "/zeq_async_file_XXXXXX";
        int fd = mkstemp(tmpl.data());
        ASSERT_GE(fd, 0);
        close(fd);
        unlink(tmpl.c_str());  // the handle's open must create it
        path_ = tmpl;
        fds_ = open_fd_count();
    }
    void TearDown() override {
        unlink(path_.c_str());
        EXPECT_EQ(open_fd_count(), fds_);
    }
    std::string path_;
    int fds_ = 0;
};

TEST_F(AsyncFileTest, OpenCreatesWriteKeepsTheTail) {
    ZeqAsyncFile *f = zeq_async_file_open(path_.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(take(zeq_async_file_read(f)), "");  // empty text, not null
    zeq_async_file_write(f, "hello");
    EXPECT_EQ(take(zeq_async_file_read(f)), "hello");
    zeq_nb_file_write(f, "HE");
    EXPECT_EQ(take(zeq_nb_file_read(f)), "HEllo");
    zeq_async_file_write(f, nullptr);
    EXPECT_EQ(take(zeq_async_file_read(f)), "HEllo");
    zeq_async_file_close(f);
    // Reopening keeps the content.
    f = zeq_async_file_open(path_.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(take(zeq_async_file_read(f)), "HEllo");
    zeq_async_file_close(f);
}

TEST_F(AsyncFileTest, NullsAndUnopenablePaths) {
    EXPECT_EQ(zeq_async_file_open(nullptr), nullptr);
    EXPECT_EQ(zeq_async_file_open("/nonexistent-dir/x/y"), nullptr);
    EXPECT_EQ(zeq_async_file_read(nullptr), nullptr);
    EXPECT_EQ(zeq_nb_file_read(nullptr), nullptr);
    zeq_async_file_write(nullptr, "x");
    zeq_async_file_close(nullptr);
}

TEST_F(AsyncFileTest, ADirectoryOpensButReadsAsNullWithoutAnAllocation) {
    ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
    ZeqAsyncFile *f = zeq_async_file_open(path_.c_str());
    ASSERT_NE(f, nullptr);
    errno = 0;
    EXPECT_EQ(zeq_async_file_read(f), nullptr);
    EXPECT_NE(errno, ENOMEM) << "an allocation the size of no file was asked for";
    zeq_async_file_close(f);
    rmdir(path_.c_str());
}

// ---- sockets -----------------------------------------------------------

class AsyncSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zeq_get_event_loop();  // its descriptor stays for the whole process
        fds_ = open_fd_count();
    }
    void TearDown() override { EXPECT_EQ(open_fd_count(), fds_); }
    int fds_ = 0;
};

using AsyncSocketConnect = AsyncSocketTest;
using AsyncSocketTransfer = AsyncSocketTest;
using AsyncSocketEcho = AsyncSocketTest;

TEST_F(AsyncSocketConnect, ListenAcceptReportPortsAndPeer) {
    ZeqSocket *l = zeq_async_socket_listen(0);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(zeq_async_socket_host(l), "0.0.0.0");
    int port = static_cast<int>(zeq_async_socket_port(l));
    EXPECT_GT(port, 0);
    // A plain client: its own address is the accepted peer.
    int c = zeqtest::plain_connect(port);
    ASSERT_GE(c, 0);
    sockaddr_in me{};
    socklen_t len = sizeof(me);
    getsockname(c, reinterpret_cast<sockaddr *>(&me), &len);
    ZeqSocket *a = zeq_async_socket_accept(l);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(zeq_async_socket_host(a), "127.0.0.1");
    EXPECT_EQ(zeq_async_socket_port(a), ntohs(me.sin_port));
    EXPECT_EQ(a->connected, 1);
    close(c);
    zeq_async_socket_close(a);
    // By address and by name.
    for (const char *host : {"127.0.0.1", "localhost"}) {
        ZeqSocket *s = zeq_async_socket_connect(host, port);
        ASSERT_NE(s, nullptr) << host;
        EXPECT_STREQ(zeq_async_socket_host(s), host);
        EXPECT_EQ(zeq_async_socket_port(s), port);
        ZeqSocket *peer = zeq_async_socket_accept(l);
        ASSERT_NE(peer, nullptr);
        zeq_async_socket_close(peer);
        zeq_async_socket_close(s);
    }
    zeq_async_socket_close(l);
}

void ignore_signal(int) {}

TEST_F(AsyncSocketConnect, SignalsDuringTheWaitDoNotFailIt) {
    // A listener with a full accept queue drops new connection requests, so
    // the connect waits for a retransmission while signals arrive (their
    // handler is installed without SA_RESTART).
    int l = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    ASSERT_EQ(listen(l, 0), 0);
    getsockname(l, reinterpret_cast<sockaddr *>(&a), &len);
    const int port = ntohs(a.sin_port);
    int first = zeqtest::plain_connect(port);  // fills the queue
    ASSERT_GE(first, 0);
    struct sigaction quiet {}, old {};
    quiet.sa_handler = ignore_signal;
    sigemptyset(&quiet.sa_mask);
    sigaction(SIGUSR1, &quiet, &old);
    std::atomic<bool> done{false};
    ZeqSocket *s = nullptr;
    std::thread connector([&] {
        s = zeq_async_socket_connect("127.0.0.1", port);
        done = true;
    });
    auto signal_for = [&](std::chrono::milliseconds span) {
        auto end = std::chrono::steady_clock::now() + span;
        while (!done && std::chrono::steady_clock::now() < end) {
            pthread_kill(connector.native_handle(), SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    signal_for(std::chrono::milliseconds(300));
    int taken = accept(l, nullptr, nullptr);  // room for the retransmitted request
    signal_for(std::chrono::seconds(10));
    connector.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_NE(s, nullptr) << "an interrupted connect was reported as failed";
    zeq_async_socket_close(s);
    for (int fd : {taken, first, l}) close(fd);
}

TEST_F(AsyncSocketConnect, FailuresGiveNullAndLeaveNothingOpen) {
    int port = zeqtest::unused_port();
    EXPECT_EQ(zeq_async_socket_connect("127.0.0.1", port), nullptr);
    EXPECT_EQ(zeq_async_socket_connect(nullptr, port), nullptr);
    // Names the resolver rejects without asking any server.
    EXPECT_EQ(zeq_async_socket_connect("bad host name!", port), nullptr);
    EXPECT_EQ(zeq_async_socket_connect("a..b", port), nullptr);
    for (int bad : {-1, 65536, 70000}) {
        EXPECT_EQ(zeq_async_socket_connect("127.0.0.1", bad), nullptr);
        EXPECT_EQ(zeq_async_socket_listen(bad), nullptr);
    }
    // A port in use cannot be listened on twice.
    ZeqSocket *l = zeq_async_socket_listen(0);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(zeq_async_socket_listen(static_cast<int32_t>(zeq_async_socket_port(l))), nullptr);
    zeq_async_socket_close(l);
    // Null handles.
    EXPECT_EQ(zeq_async_socket_accept(nullptr), nullptr);
    EXPECT_EQ(zeq_async_socket_read(nullptr), nullptr);
    EXPECT_EQ(zeq_async_socket_host(nullptr), nullptr);
    EXPECT_EQ(zeq_async_socket_port(nullptr), 0);
    zeq_async_socket_write(nullptr, "x");
    zeq_async_socket_close(nullptr);
}

// A connected pair: a zeq socket and the plain descriptor of its peer.
struct Pair {
    ZeqSocket *listener = zeq_async_socket_listen(0);
    ZeqSocket *sock = nullptr;
    int peer = -1;
    Pair() {
        if (!listener) return;
        sock = zeq_async_socket_connect("127.0.0.1", static_cast<int32_t>(listener->port));
        ZeqSocket *a = zeq_async_socket_accept(listener);
        if (a) {
            peer = dup(a->fd);
            zeq_async_socket_close(a);
            zeqtest::bound_waits(peer);
        }
    }
    ~Pair() {
        zeq_async_socket_close(sock);
        zeq_async_socket_close(listener);
        if (peer >= 0) close(peer);
    }
};

TEST_F(AsyncSocketTransfer, LongMessageArrivesOverSeveralReads) {
    Pair p;
    ASSERT_NE(p.sock, nullptr);
    std::string msg;
    for (int i = 0; i < 5000; ++i) msg += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(zeqtest::send_text(p.peer, msg));
    shutdown(p.peer, SHUT_WR);
    std::string got;
    int reads = 0;
    while (char *chunk = zeq_async_socket_read(p.sock)) {
        size_t n = strlen(chunk);
        EXPECT_LE(n, 4095u);
        got += take(chunk);
        ++reads;
    }
    EXPECT_EQ(got, msg);
    EXPECT_GE(reads, 2);
    EXPECT_EQ(zeq_async_socket_read(p.sock), nullptr);  // peer closed
}

TEST_F(AsyncSocketTransfer, WriteSendsTheWholeText) {
    Pair p;
    ASSERT_NE(p.sock, nullptr);
    std::string big(3 << 20, 'z');
    for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>('A' + i % 26);
    std::string got;
    std::thread reader([&] { zeqtest::recv_exact(p.peer, got, big.size()); });
    zeq_async_socket_write(p.sock, big.c_str());
    reader.join();
    EXPECT_EQ(got, big);
}

TEST_F(AsyncSocketTransfer, WritingToAClosedPeerDoesNotEndTheProcess) {
    auto r = zeqtest::run_child([] {
        Pair p;
        if (!p.sock) _exit(2);
        close(p.peer);
        p.peer = -1;
        std::string chunk(64 << 10, 'x');
        for (int i = 0; i < 50; ++i) zeq_async_socket_write(p.sock, chunk.c_str());
        if (zeq_async_socket_read(p.sock) != nullptr) _exit(3);
    });
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.status, 0);
}

// ---- echo server on the shared loop -------------------------------------

struct EchoServer {
    ZeqEventLoop *loop;
    ZeqSocket *listener;
    int open_clients = 0;
    int accepted = 0;
};

void on_client(uint64_t user, int64_t, uint32_t);

void on_accept(uint64_t user, int64_t, uint32_t) {
    auto *server = reinterpret_cast<EchoServer *>(user);
    ZeqSocket *s = zeq_async_socket_accept(server->listener);
    if (!s) return;
    // Each client's user data is its socket; the server is reached through
    // g_server.
    ++server->accepted;
    ++server->open_clients;
    zeq_event_loop_register(server->loop, s->fd, 1, on_client, reinterpret_cast<uint64_t>(s));
}

EchoServer *g_server = nullptr;

void on_client(uint64_t user, int64_t fd, uint32_t) {
    auto *s = reinterpret_cast<ZeqSocket *>(user);
    char *data = zeq_async_socket_read(s);
    if (!data) {
        zeq_event_loop_unregister(g_server->loop, fd);
        zeq_async_socket_close(s);
        --g_server->open_clients;
        return;
    }
    zeq_async_socket_write(s, data);
    free(data);
}

// 200 clients on 4 threads, 100 round trips each, pipelined per thread: each
// message is distinct, of varying length, and must come back byte for byte.
TEST_F(AsyncSocketEcho, ManyConcurrentClientsGetEveryByteBack) {
    ASSERT_TRUE(zeqtest::ensure_fd_limit(1024));
    EchoServer server{zeq_get_event_loop(), zeq_async_socket_listen(0)};
    ASSERT_NE(server.listener, nullptr);
    g_server = &server;
    ASSERT_EQ(zeq_event_loop_register(server.loop, server.listener->fd, 1, on_accept,
                                      reinterpret_cast<uint64_t>(&server)), 0);
    const int port = server.listener->port;
    constexpr int kThreads = 4, kClientsPerThread = 50, kRounds = 100;
    std::atomic<int> finished{0}, failures{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < kThreads; ++t) {
        clients.emplace_back([&, t] {
            std::vector<int> fds;
            for (int c = 0; c < kClientsPerThread; ++c) fds.push_back(zeqtest::plain_connect(port));
            for (int round = 0; round < kRounds && !failures; ++round) {
                std::vector<std::string> sent(fds.size());
                for (size_t c = 0; c < fds.size(); ++c) {
                    std::string &m = sent[c];
                    m = "t" + std::to_string(t) + "c" + std::to_string(c) + "r" + std::to_string(round) + ":";
                    m.append(static_cast<size_t>((c * 37 + round * 11) % 300), static_cast<char>('a' + c % 26));
                    if (fds[c] < 0 || !zeqtest::send_text(fds[c], m)) ++failures;
                }
                for (size_t c = 0; c < fds.size() && !failures; ++c) {
                    std::string got;
                    if (!zeqtest::recv_exact(fds[c], got, sent[c].size()) || got != sent[c]) ++failures;
                }
            }
            for (int fd : fds)
                if (fd >= 0) close(fd);
            ++finished;
        });
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((finished < kThreads || server.open_clients > 0) &&
           std::chrono::steady_clock::now() < deadline)
        zeq_event_loop_run_once(server.loop, 50);
    for (auto &th : clients) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(server.accepted, kThreads * kClientsPerThread);
    EXPECT_EQ(server.open_clients, 0);
    EXPECT_EQ(zeq_event_loop_unregister(server.loop, server.listener->fd), 0);
    zeq_async_socket_close(server.listener);
    g_server = nullptr;
}

}  // namespace
