// UDP sockets, and the two operations that use the shared event loop: a
// connect that completes through a callback, and a read that runs the loop
// in waits of 100 ms until its callback has received.
#include "async/async.h"
#include "core/core.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace zeq::async;

struct ZeqPendingRead {
    ZeqSocket *socket;
    char *buffer;
    int32_t capacity;
    int32_t received;
    uint32_t done;
};

namespace {

constexpr uint32_t kReadable = 1;
constexpr uint32_t kWritable = 2;
constexpr uint32_t kErrorOrHangUp = 4;
constexpr int32_t kReadWaitMs = 100;

// Ends a connect in progress: withdraws the registration, frees the record.
void finish_connect(ZeqSocket *sock, int64_t fd) noexcept {
    zeq_event_loop_unregister(zeq_get_event_loop(), fd);
    free(sock->pending);
    sock->pending = nullptr;
}

void fail_connect(ZeqSocket *sock, int64_t fd) noexcept {
    finish_connect(sock, fd);
    if (sock->fd >= 0) close(sock->fd);
    sock->fd = -1;
    sock->connected = 0;
}

}  // namespace

namespace zeq::async {

void withdraw_pending_connect(ZeqSocket *sock) noexcept { finish_connect(sock, sock->fd); }

}  // namespace zeq::async

// Completion of a non-blocking connect: an error or hang-up fails it, a
// writable socket reports its outcome through SO_ERROR.
extern "C" __attribute__((visibility("hidden"))) void on_connect_ready(uint64_t user, int64_t fd,
                                                                       uint32_t events) noexcept {
    auto *pending = reinterpret_cast<ZeqPendingConnect *>(user);
    ZeqSocket *sock = pending->socket;
    if (events & kErrorOrHangUp) {
        fail_connect(sock, fd);
        return;
    }
    if (!(events & kWritable)) return;
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(sock->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        fail_connect(sock, fd);
        return;
    }
    finish_connect(sock, fd);
    sock->connected = 1;
}

// Completion of a waiting read: one receive, unless the readiness was
// spurious (the socket would block), in which case it stays registered.
extern "C" __attribute__((visibility("hidden"))) void on_recv_ready(uint64_t user, int64_t fd,
                                                                    uint32_t events) noexcept {
    auto *pr = reinterpret_cast<ZeqPendingRead *>(user);
    if (!(events & (kReadable | kErrorOrHangUp)) || pr->done) return;
    ssize_t n;
    do {
        n = recv(pr->socket->fd, pr->buffer, static_cast<size_t>(pr->capacity - 1), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    pr->received = static_cast<int32_t>(n);
    if (n > 0) pr->buffer[n] = '\0';
    pr->done = 1;
    zeq_event_loop_unregister(zeq_get_event_loop(), fd);
}

extern "C" {

// ---- UDP -----------------------------------------------------------------

ZeqSocket *zeq_async_udp_bind(int32_t port) noexcept { return bind_any(port, SOCK_DGRAM); }

int64_t zeq_async_udp_sendto(ZeqSocket *sock, const char *host, int32_t port,
                             const char *text) noexcept {
    if (!sock || !host || !text || !sock->connected || sock->fd < 0 || !valid_port(port)) return -1;
    sockaddr_in addr;
    if (!resolve_ipv4(host, port, SOCK_DGRAM, &addr)) return -1;
    ssize_t n;
    do {
        n = sendto(sock->fd, text, strlen(text), 0, reinterpret_cast<sockaddr *>(&addr),
                   sizeof(addr));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

char *zeq_async_udp_recv(ZeqSocket *sock) noexcept {
    if (!sock || !sock->connected || sock->fd < 0) return nullptr;
    sockaddr_in from{};
    return recv_text(sock->fd, &from, nullptr);
}

ZeqUdpPacket *zeq_async_udp_recvfrom(ZeqSocket *sock) noexcept {
    if (!sock || !sock->connected || sock->fd < 0) return nullptr;
    // Memory first: a datagram received and then dropped for want of a
    // record would be lost.
    auto *p = static_cast<ZeqUdpPacket *>(malloc(sizeof(ZeqUdpPacket)));
    char *host = p ? static_cast<char *>(malloc(INET_ADDRSTRLEN)) : nullptr;
    sockaddr_in from{};
    int32_t length = 0;
    char *payload = host ? recv_text(sock->fd, &from, &length) : nullptr;
    if (!payload) {
        free(host);
        free(p);
        return nullptr;
    }
    if (!inet_ntop(AF_INET, &from.sin_addr, host, INET_ADDRSTRLEN)) strcpy(host, "0.0.0.0");
    p->payload = payload;
    p->host = host;
    p->port = ntohs(from.sin_port);
    p->length = length;
    return p;
}

char *zeq_udp_packet_payload(const ZeqUdpPacket *packet) noexcept {
    return packet ? packet->payload : nullptr;
}
const char *zeq_udp_packet_host(const ZeqUdpPacket *packet) noexcept {
    return packet ? packet->host : nullptr;
}
int64_t zeq_udp_packet_port(const ZeqUdpPacket *packet) noexcept {
    return packet ? packet->port : 0;
}
int64_t zeq_udp_packet_len(const ZeqUdpPacket *packet) noexcept {
    return packet ? packet->length : 0;
}

void zeq_udp_packet_free(ZeqUdpPacket *packet) noexcept {
    if (!packet) return;
    free(packet->payload);
    free(packet->host);
    free(packet);
}

// ---- non-blocking TCP ----------------------------------------------------

ZeqSocket *zeq_nb_socket_connect(const char *host, int32_t port) noexcept {
    if (!host || !valid_port(port)) return nullptr;
    auto *s = static_cast<ZeqSocket *>(calloc(1, sizeof(ZeqSocket)));
    if (!s) return nullptr;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in addr;
    if (fd < 0 || !resolve_ipv4(host, port, SOCK_STREAM, &addr) || !(s->host = strdup(host))) {
        if (fd >= 0) close(fd);
        free(s);
        return nullptr;
    }
    s->fd = fd;
    s->port = port;
    // The loop and the record of a connect in progress are had before the
    // connect starts: failing for want of them afterwards would leave the
    // peer a connection that is dropped at once.
    ZeqEventLoop *loop = zeq_get_event_loop();
    auto *pending = loop ? static_cast<ZeqPendingConnect *>(malloc(sizeof(ZeqPendingConnect))) : nullptr;
    if (pending) {
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0) {
            free(pending);
            s->connected = 1;
            return s;
        }
        // One in progress completes while the shared loop runs; a loop that
        // is stopped or full could never complete it, so that is a failure
        // now.
        if (errno == EINPROGRESS && !zeq_event_loop_is_stopped(loop)) {
            pending->socket = s;
            s->pending = pending;
            if (zeq_event_loop_register(loop, fd, kWritable, on_connect_ready,
                                        reinterpret_cast<uint64_t>(pending)) == 0)
                return s;
            s->pending = nullptr;
        }
        free(pending);
    }
    close(fd);
    free(s->host);
    free(s);
    return nullptr;
}

char *zeq_nb_socket_read(ZeqSocket *sock) noexcept {
    if (!sock || !sock->connected || sock->fd < 0) return nullptr;
    ZeqEventLoop *loop = zeq_get_event_loop();
    if (!loop || zeq_event_loop_is_stopped(loop)) return nullptr;
    auto *pr = static_cast<ZeqPendingRead *>(calloc(1, sizeof(ZeqPendingRead)));
    if (!pr) return nullptr;
    pr->socket = sock;
    pr->buffer = static_cast<char *>(malloc(kRecvBufferSize));
    pr->capacity = kRecvBufferSize;
    if (!pr->buffer ||
        zeq_event_loop_register(loop, sock->fd, kReadable, on_recv_ready,
                                reinterpret_cast<uint64_t>(pr)) != 0) {
        free(pr->buffer);
        free(pr);
        return nullptr;
    }
    while (!pr->done) {
        int32_t r = zeq_event_loop_run_once(loop, kReadWaitMs);
        if (pr->done) break;
        // A failed wait other than an interruption, or a loop stopped by a
        // callback, would never deliver: give up instead of spinning.
        if ((r < 0 && errno != EINTR) || zeq_event_loop_is_stopped(loop)) {
            zeq_event_loop_unregister(loop, sock->fd);
            break;
        }
    }
    char *result = nullptr;
    if (pr->done && pr->received > 0) result = pr->buffer;
    else free(pr->buffer);
    free(pr);
    return result;
}

}  // extern "C"
