// UDP round trips, and the non-blocking connect and read that run on the
// shared event loop: completion, late failure, waiting for late data, and
// the cases in which the read must give up at once instead of waiting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
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

class IoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        loop_ = zeq_get_event_loop();
        ASSERT_NE(loop_, nullptr);
        fds_ = open_fd_count();
    }
    void TearDown() override { EXPECT_EQ(open_fd_count(), fds_); }
    ZeqEventLoop *loop_ = nullptr;
    int fds_ = 0;
};

using UdpSocket = IoTest;
using NbSocketConnect = IoTest;
using NbSocketRead = IoTest;

TEST_F(UdpSocket, RoundTripReportsBytesLengthAndSender) {
    ZeqSocket *a = zeq_async_udp_bind(0);
    ZeqSocket *b = zeq_async_udp_bind(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_GT(zeq_async_socket_port(a), 0);
    EXPECT_STREQ(zeq_async_socket_host(a), "0.0.0.0");
    const int32_t port_b = static_cast<int32_t>(zeq_async_socket_port(b));
    for (std::string text : {std::string("ping"), std::string(4095, 'q'), std::string("x")}) {
        EXPECT_EQ(zeq_async_udp_sendto(a, "127.0.0.1", port_b, text.c_str()),
                  static_cast<int64_t>(text.size()));
        ZeqUdpPacket *p = zeq_async_udp_recvfrom(b);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::string(zeq_udp_packet_payload(p)), text);
        EXPECT_EQ(zeq_udp_packet_len(p), static_cast<int64_t>(text.size()));
        EXPECT_STREQ(zeq_udp_packet_host(p), "127.0.0.1");
        EXPECT_EQ(zeq_udp_packet_port(p), zeq_async_socket_port(a));
        zeq_udp_packet_free(p);
    }
    // By name, and received without the sender; a long datagram is cut.
    std::string longer(5000, 'L');
    EXPECT_EQ(zeq_async_udp_sendto(a, "localhost", port_b, longer.c_str()), 5000);
    EXPECT_EQ(take(zeq_async_udp_recv(b)), std::string(4095, 'L'));
    zeq_async_udp_close(a);
    zeq_async_udp_close(b);
}

TEST_F(UdpSocket, BadInputGivesFailureResults) {
    ZeqSocket *a = zeq_async_udp_bind(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(zeq_async_udp_sendto(a, "127.0.0.1", 9, nullptr), -1);
    EXPECT_EQ(zeq_async_udp_sendto(a, nullptr, 9, "x"), -1);
    EXPECT_EQ(zeq_async_udp_sendto(nullptr, "127.0.0.1", 9, "x"), -1);
    EXPECT_EQ(zeq_async_udp_sendto(a, "bad host name!", 9, "x"), -1);
    EXPECT_EQ(zeq_async_udp_sendto(a, "127.0.0.1", 65536, "x"), -1);
    EXPECT_EQ(zeq_async_udp_bind(-5), nullptr);
    EXPECT_EQ(zeq_async_udp_recv(nullptr), nullptr);
    EXPECT_EQ(zeq_async_udp_recvfrom(nullptr), nullptr);
    EXPECT_EQ(zeq_udp_packet_payload(nullptr), nullptr);
    EXPECT_EQ(zeq_udp_packet_host(nullptr), nullptr);
    EXPECT_EQ(zeq_udp_packet_port(nullptr), 0);
    EXPECT_EQ(zeq_udp_packet_len(nullptr), 0);
    zeq_udp_packet_free(nullptr);
    zeq_async_udp_close(nullptr);
    zeq_async_udp_close(a);
}

// Runs the shared loop until the socket's connect has finished (bounded).
void settle(ZeqSocket *s) {
    for (int i = 0; i < 50 && s->pending; ++i) zeq_event_loop_run_once(zeq_get_event_loop(), 100);
}

TEST_F(NbSocketConnect, CompletesOnTheSharedLoopThenReadsAndWrites) {
    ZeqSocket *l = zeq_async_socket_listen(0);
    ASSERT_NE(l, nullptr);
    ZeqSocket *s = zeq_nb_socket_connect("127.0.0.1", l->port);
    ASSERT_NE(s, nullptr);
    if (!s->connected) {
        EXPECT_EQ(zeq_nb_socket_read(s), nullptr);  // in progress: no wait
    }
    ZeqSocket *peer = zeq_async_socket_accept(l);
    ASSERT_NE(peer, nullptr);
    zeqtest::bound_waits(peer->fd);
    settle(s);
    ASSERT_EQ(s->connected, 1);
    zeq_nb_socket_write(s, "ping");
    EXPECT_EQ(take(zeq_async_socket_read(peer)), "ping");
    zeq_async_socket_write(peer, "pong");
    EXPECT_EQ(take(zeq_nb_socket_read(s)), "pong");
    zeq_async_socket_close(peer);
    EXPECT_EQ(zeq_nb_socket_read(s), nullptr);  // peer closed
    zeq_async_socket_close(s);
    zeq_async_socket_close(l);
}

TEST_F(NbSocketConnect, RefusedConnectFailsNowOrLater) {
    ZeqSocket *s = zeq_nb_socket_connect("127.0.0.1", zeqtest::unused_port());
    if (s) {
        settle(s);
        EXPECT_EQ(s->fd, -1);
        EXPECT_EQ(s->connected, 0);
        EXPECT_EQ(zeq_nb_socket_read(s), nullptr);
        zeq_nb_socket_write(s, "ignored");
        zeq_async_socket_close(s);
    }
    EXPECT_EQ(zeq_nb_socket_connect(nullptr, 80), nullptr);
    EXPECT_EQ(zeq_nb_socket_connect("a..b", 80), nullptr);
    EXPECT_EQ(zeq_nb_socket_connect("127.0.0.1", -1), nullptr);
    EXPECT_EQ(zeq_nb_socket_read(nullptr), nullptr);
    zeq_nb_socket_write(nullptr, "x");
}

TEST_F(NbSocketConnect, ClosingWhileInProgressWithdrawsTheRegistration) {
    ZeqSocket *l = zeq_async_socket_listen(0);
    ASSERT_NE(l, nullptr);
    for (int i = 0; i < 20; ++i) {
        ZeqSocket *s = zeq_nb_socket_connect("127.0.0.1", l->port);
        ASSERT_NE(s, nullptr);
        zeq_async_socket_close(s);
        // A registration left behind would call back into the freed record.
        zeq_event_loop_run_once(loop_, 10);
        ZeqSocket *a = zeq_async_socket_accept(l);
        zeq_async_socket_close(a);
    }
    zeq_async_socket_close(l);
}

struct Connected {
    ZeqSocket *listener = zeq_async_socket_listen(0);
    ZeqSocket *sock = nullptr;
    ZeqSocket *peer = nullptr;
    Connected() {
        sock = zeq_nb_socket_connect("127.0.0.1", listener->port);
        peer = zeq_async_socket_accept(listener);
        settle(sock);
    }
    ~Connected() {
        zeq_async_socket_close(peer);
        zeq_async_socket_close(sock);
        zeq_async_socket_close(listener);
    }
};

TEST_F(NbSocketRead, WaitsForLateDataThenForEndOfStream) {
    Connected c;
    ASSERT_EQ(c.sock->connected, 1);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        zeq_async_socket_write(c.peer, "hello");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        shutdown(c.peer->fd, SHUT_WR);
    });
    EXPECT_EQ(take(zeq_nb_socket_read(c.sock)), "hello");
    EXPECT_EQ(zeq_nb_socket_read(c.sock), nullptr);
    sender.join();
}

// Other registrations of the shared loop are served while a read waits.
int g_pipe_calls = 0;
void drain_pipe(uint64_t, int64_t fd, uint32_t) {
    char b;
    if (read(static_cast<int>(fd), &b, 1) == 1) ++g_pipe_calls;
}

TEST_F(NbSocketRead, ServesOtherRegistrationsWhileWaiting) {
    Connected c;
    ASSERT_EQ(c.sock->connected, 1);
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    ASSERT_EQ(zeq_event_loop_register(loop_, p[0], 1, drain_pipe, 0), 0);
    g_pipe_calls = 0;
    ASSERT_EQ(write(p[1], "ab", 2), 2);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        zeq_async_socket_write(c.peer, "late");
    });
    EXPECT_EQ(take(zeq_nb_socket_read(c.sock)), "late");
    sender.join();
    EXPECT_EQ(g_pipe_calls, 2);
    zeq_event_loop_unregister(loop_, p[0]);
    close(p[0]);
    close(p[1]);
}

TEST_F(NbSocketRead, GivesUpAtOnceWhenTheLoopIsFull) {
    if (!zeqtest::ensure_fd_limit(2200)) GTEST_SKIP() << "descriptor limit too low";
    Connected c;
    ASSERT_EQ(c.sock->connected, 1);
    zeq_async_socket_write(c.peer, "unread");
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    std::vector<int> fds;
    for (;;) {
        int fd = fcntl(p[0], F_DUPFD_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        if (zeq_event_loop_register(loop_, fd, 1, drain_pipe, 0) != 0) {
            close(fd);
            break;
        }
        fds.push_back(fd);
        ASSERT_LE(fds.size(), 1024u);
    }
    EXPECT_EQ(zeq_nb_socket_read(c.sock), nullptr);
    for (int fd : fds) {
        zeq_event_loop_unregister(loop_, fd);
        close(fd);
    }
    close(p[0]);
    close(p[1]);
    EXPECT_EQ(take(zeq_nb_socket_read(c.sock)), "unread");
}

TEST(NbSocketStoppedLoop, ReadGivesUpAtOnce) {
    // Stopping the shared loop is for good: in a child process.
    auto r = zeqtest::run_child([] {
        Connected c;
        if (c.sock->connected != 1) _exit(2);
        zeq_async_socket_write(c.peer, "unread");
        zeq_event_loop_stop(zeq_get_event_loop());
        if (zeq_nb_socket_read(c.sock) != nullptr) _exit(3);
        // A connect that could never complete fails at once.
        if (zeq_nb_socket_connect("127.0.0.1", c.listener->port) != nullptr) _exit(4);
    }, "", 10);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
}

}  // namespace
