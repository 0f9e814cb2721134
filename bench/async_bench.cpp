// The event loop and sockets against anchors measured in the same run:
// pipe ping-pong round trips through one run per hop (libuv doing the same
// with uv_poll), TCP echo round trips over loopback (plain recv/send), and
// dispatch of one ready descriptor among 1,000 registered ones (raw epoll,
// and raw epoll plus the linear slot scan that an unindexed table costs).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef ZEQ_HAVE_LIBUV
#include <uv.h>
#endif

#include "zeq.h"

namespace {

// ---- pipe ping-pong --------------------------------------------------------
// Two pipes; a byte written into the first is read by its callback, which
// writes it into the second, whose callback reads it back: one round trip is
// two dispatches.

struct PingPong {
    int a[2], b[2];
    int64_t returned = 0;
    PingPong() {
        if (pipe2(a, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(b, O_CLOEXEC | O_NONBLOCK) != 0) abort();
    }
    ~PingPong() {
        close(a[0]), close(a[1]), close(b[0]), close(b[1]);
    }
    void hop_a() {
        char c;
        if (read(a[0], &c, 1) == 1 && write(b[1], &c, 1) != 1) abort();
    }
    void hop_b() {
        char c;
        if (read(b[0], &c, 1) == 1) ++returned;
    }
    void serve() {
        if (write(a[1], "p", 1) != 1) abort();
    }
};

void zeq_hop_a(uint64_t user, int64_t, uint32_t) { reinterpret_cast<PingPong *>(user)->hop_a(); }
void zeq_hop_b(uint64_t user, int64_t, uint32_t) { reinterpret_cast<PingPong *>(user)->hop_b(); }

void BM_PingPongZeq(benchmark::State &state) {
    PingPong pp;
    ZeqEventLoop *loop = zeq_event_loop_create();
    zeq_event_loop_register(loop, pp.a[0], 1, zeq_hop_a, reinterpret_cast<uint64_t>(&pp));
    zeq_event_loop_register(loop, pp.b[0], 1, zeq_hop_b, reinterpret_cast<uint64_t>(&pp));
    for (auto _ : state) {
        pp.serve();
        int64_t want = pp.returned + 1;
        while (pp.returned < want) zeq_event_loop_run_once(loop, -1);
    }
    zeq_event_loop_destroy(loop);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PingPongZeq)->Name("pipe_pingpong/zeq");

#ifdef ZEQ_HAVE_LIBUV
void uv_hop_a(uv_poll_t *h, int, int) { static_cast<PingPong *>(h->data)->hop_a(); }
void uv_hop_b(uv_poll_t *h, int, int) { static_cast<PingPong *>(h->data)->hop_b(); }

void BM_PingPongLibuv(benchmark::State &state) {
    PingPong pp;
    uv_loop_t loop;
    uv_loop_init(&loop);
    uv_poll_t ha, hb;
    uv_poll_init(&loop, &ha, pp.a[0]);
    uv_poll_init(&loop, &hb, pp.b[0]);
    ha.data = hb.data = &pp;
    uv_poll_start(&ha, UV_READABLE, uv_hop_a);
    uv_poll_start(&hb, UV_READABLE, uv_hop_b);
    for (auto _ : state) {
        pp.serve();
        int64_t want = pp.returned + 1;
        while (pp.returned < want) uv_run(&loop, UV_RUN_ONCE);
    }
    uv_close(reinterpret_cast<uv_handle_t *>(&ha), nullptr);
    uv_close(reinterpret_cast<uv_handle_t *>(&hb), nullptr);
    uv_run(&loop, UV_RUN_DEFAULT);
    uv_loop_close(&loop);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PingPongLibuv)->Name("pipe_pingpong/libuv");
#endif

// ---- TCP echo ----------------------------------------------------------------
// A plain echo thread on the far side; the measured side sends a 1,024-byte
// message and reads until it is back.

constexpr size_t kEchoBytes = 1024;

class EchoPeer {
  public:
    EchoPeer() {
        listener_ = zeq_async_socket_listen(0);
        port_ = static_cast<int32_t>(zeq_async_socket_port(listener_));
        thread_ = std::thread([this] {
            ZeqSocket *s = zeq_async_socket_accept(listener_);
            if (!s) return;
            int one = 1;
            setsockopt(s->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            char buf[4096];
            for (;;) {
                ssize_t n = recv(s->fd, buf, sizeof(buf), 0);
                if (n <= 0) break;
                for (ssize_t off = 0; off < n;) {
                    ssize_t w = send(s->fd, buf + off, static_cast<size_t>(n - off), MSG_NOSIGNAL);
                    if (w <= 0) break;
                    off += w;
                }
            }
            zeq_async_socket_close(s);
        });
    }
    ~EchoPeer() {
        thread_.join();
        zeq_async_socket_close(listener_);
    }
    int32_t port() const { return port_; }

  private:
    ZeqSocket *listener_;
    int32_t port_;
    std::thread thread_;
};

void nodelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

void BM_EchoZeq(benchmark::State &state) {
    EchoPeer peer;
    ZeqSocket *s = zeq_async_socket_connect("127.0.0.1", peer.port());
    nodelay(s->fd);
    std::string msg(kEchoBytes, 'e');
    for (auto _ : state) {
        zeq_async_socket_write(s, msg.c_str());
        size_t got = 0;
        while (got < kEchoBytes) {
            char *chunk = zeq_async_socket_read(s);
            if (!chunk) abort();
            got += strlen(chunk);
            free(chunk);
        }
    }
    zeq_async_socket_close(s);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEchoBytes));
}
BENCHMARK(BM_EchoZeq)->Name("tcp_echo_1k/zeq")->UseRealTime();

void BM_EchoPlain(benchmark::State &state) {
    EchoPeer peer;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(peer.port()));
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) abort();
    nodelay(fd);
    std::string msg(kEchoBytes, 'e');
    char buf[4096];
    for (auto _ : state) {
        if (send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(msg.size())) abort();
        size_t got = 0;
        while (got < kEchoBytes) {
            ssize_t n = recv(fd, buf, sizeof(buf) - 1, 0);
            if (n <= 0) abort();
            got += static_cast<size_t>(n);
        }
    }
    close(fd);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEchoBytes));
}
BENCHMARK(BM_EchoPlain)->Name("tcp_echo_1k/recv_send")->UseRealTime();

// ---- dispatch among 1,000 registrations -----------------------------------
// 999 duplicates of an idle pipe end and, registered last (highest slot), a
// readable pipe.  Each run dispatches exactly that one descriptor.

struct Crowd {
    int idle[2], ready[2];
    std::vector<int> fds;  // the 1,000 registered descriptors, ready one last
    explicit Crowd(int min_fd) {
        rlimit rl{};
        getrlimit(RLIMIT_NOFILE, &rl);
        if (rl.rlim_cur < 8192 && rl.rlim_max >= 8192) {
            rl.rlim_cur = 8192;
            setrlimit(RLIMIT_NOFILE, &rl);
        }
        if (pipe2(idle, O_CLOEXEC) != 0 || pipe2(ready, O_CLOEXEC) != 0) abort();
        for (int i = 0; i < 999; ++i) fds.push_back(fcntl(idle[0], F_DUPFD_CLOEXEC, min_fd));
        fds.push_back(fcntl(ready[0], F_DUPFD_CLOEXEC, min_fd));
        for (int fd : fds)
            if (fd < 0) abort();
        if (write(ready[1], "r", 1) != 1) abort();
    }
    ~Crowd() {
        for (int fd : fds) close(fd);
        close(idle[0]), close(idle[1]), close(ready[0]), close(ready[1]);
    }
};

int64_t g_dispatched = 0;
void count_dispatch(uint64_t, int64_t, uint32_t) { ++g_dispatched; }

void dispatch_zeq(benchmark::State &state, int min_fd) {
    Crowd crowd(min_fd);
    ZeqEventLoop *loop = zeq_event_loop_create();
    for (int fd : crowd.fds)
        if (zeq_event_loop_register(loop, fd, 1, count_dispatch, 0) != 0) abort();
    for (auto _ : state) benchmark::DoNotOptimize(zeq_event_loop_run_once(loop, 0));
    zeq_event_loop_destroy(loop);
}
void BM_DispatchZeq(benchmark::State &state) { dispatch_zeq(state, 0); }
BENCHMARK(BM_DispatchZeq)->Name("dispatch_1000_fds/zeq");
// The same with descriptor numbers from 5,000 up.
void BM_DispatchZeqHighFds(benchmark::State &state) { dispatch_zeq(state, 5000); }
BENCHMARK(BM_DispatchZeqHighFds)->Name("dispatch_1000_fds/zeq_high_fds");

struct ScanSlot {
    int64_t fd;
    void (*callback)(uint64_t, int64_t, uint32_t);
    uint64_t user;
    uint32_t active;
};

template <bool kScan>
void dispatch_raw(benchmark::State &state) {
    Crowd crowd(0);
    int ep = epoll_create1(EPOLL_CLOEXEC);
    std::vector<ScanSlot> slots(1024);
    for (size_t i = 0; i < crowd.fds.size(); ++i) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = static_cast<uint64_t>(crowd.fds[i]);
        epoll_ctl(ep, EPOLL_CTL_ADD, crowd.fds[i], &ev);
        slots[i] = {crowd.fds[i], count_dispatch, 0, 1};
    }
    const int used = static_cast<int>(crowd.fds.size());
    for (auto _ : state) {
        epoll_event events[64];
        int n = epoll_wait(ep, events, 64, 0);
        for (int k = 0; k < n; ++k) {
            auto fd = static_cast<int64_t>(events[k].data.u64);
            if (kScan) {
                for (int i = 0; i < used; ++i) {
                    benchmark::DoNotOptimize(slots[i]);
                    if (slots[i].active && slots[i].fd == fd) {
                        slots[i].callback(slots[i].user, fd, 1);
                        break;
                    }
                }
            } else {
                count_dispatch(0, fd, 1);
            }
        }
    }
    close(ep);
}
BENCHMARK(dispatch_raw<false>)->Name("dispatch_1000_fds/raw_epoll");
BENCHMARK(dispatch_raw<true>)->Name("dispatch_1000_fds/raw_epoll_linear_scan");

}  // namespace
