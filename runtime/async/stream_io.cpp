// File handles and IPv4 TCP sockets.  Every call is an ordinary blocking call
// on the calling thread; returned buffers come from malloc and belong to the
// caller.  Descriptors are made close-on-exec, and sends never raise SIGPIPE.
#include "async/async.h"
#include "core/core.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace zeq::async;

namespace zeq::async {

bool resolve_ipv4(const char *host, int32_t port, int socktype, sockaddr_in *addr) noexcept {
    memset(addr, 0, sizeof(*addr));
    addr->sin_family = AF_INET;
    addr->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &addr->sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = socktype;
    addrinfo *res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return false;
    bool ok = res->ai_family == AF_INET && res->ai_addrlen >= sizeof(sockaddr_in);
    if (ok) addr->sin_addr = reinterpret_cast<const sockaddr_in *>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return ok;
}

bool send_all(int fd, const char *data, size_t len) noexcept {
    while (len > 0) {
        ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Non-blocking socket with a full send buffer: wait for room as
            // a blocking send would.  An error or hang-up shows in the next
            // send.
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR) return false;
            continue;
        }
        return false;
    }
    return true;
}

char *recv_text(int fd, sockaddr_in *from, int32_t *length) noexcept {
    auto *buf = static_cast<char *>(malloc(kRecvBufferSize));
    if (!buf) return nullptr;
    ssize_t n;
    do {
        socklen_t alen = sizeof(sockaddr_in);
        n = from ? recvfrom(fd, buf, kRecvBufferSize - 1, 0, reinterpret_cast<sockaddr *>(from),
                            &alen)
                 : recv(fd, buf, kRecvBufferSize - 1, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        free(buf);
        return nullptr;
    }
    buf[n] = '\0';
    if (length) *length = static_cast<int32_t>(n);
    return buf;
}

}  // namespace zeq::async

namespace {

ZeqSocket *new_socket_record() noexcept {
    auto *s = static_cast<ZeqSocket *>(malloc(sizeof(ZeqSocket)));
    if (!s) return nullptr;
    s->fd = -1;
    s->host = nullptr;
    s->port = 0;
    s->connected = 0;
    s->pending = nullptr;
    return s;
}

// Closes what a failed constructor opened and returns null.
ZeqSocket *abandon(ZeqSocket *s, int fd) noexcept {
    if (fd >= 0) close(fd);
    free(s->host);
    free(s);
    return nullptr;
}

inline bool usable(const ZeqSocket *s) noexcept { return s && s->connected && s->fd >= 0; }

// A blocking connect.  A signal that interrupts it does not stop the
// connection, which goes on in the background: wait for it to complete and
// report how it ended.
bool connect_blocking(int fd, const sockaddr_in &addr) noexcept {
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) == 0) return true;
    if (errno != EINTR) return false;
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&p, 1, -1);
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t len = sizeof(error);
    return ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
}

}  // namespace

ZeqSocket *zeq::async::bind_any(int32_t port, int type) noexcept {
    if (!valid_port(port)) return nullptr;
    ZeqSocket *s = new_socket_record();
    if (!s) return nullptr;
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return abandon(s, -1);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) return abandon(s, fd);
    if (type == SOCK_STREAM && listen(fd, 4096) != 0) return abandon(s, fd);
    s->host = strdup("0.0.0.0");
    if (!s->host) return abandon(s, fd);
    sockaddr_in bound{};
    socklen_t blen = sizeof(bound);
    s->port = getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &blen) == 0
                  ? ntohs(bound.sin_port)
                  : port;
    s->fd = fd;
    s->connected = 1;
    return s;
}

extern "C" {

// ---- files ---------------------------------------------------------------

ZeqAsyncFile *zeq_async_file_open(const char *path) noexcept {
    if (!path) return nullptr;
    auto *f = static_cast<ZeqAsyncFile *>(malloc(sizeof(ZeqAsyncFile)));
    if (!f) return nullptr;
    // Read-write keeping the content, else read-only, else create.  Only a
    // refused mode leads to the next: an open that lacked memory would turn
    // a writable file into a read-only handle, or truncate it.
    FILE *stream = fopen(path, "r+e");
    if (!stream && errno != ENOMEM) stream = fopen(path, "re");
    if (!stream && errno != ENOMEM) stream = fopen(path, "w+e");
    if (!stream) {
        free(f);
        return nullptr;
    }
    f->stream = stream;
    return f;
}

char *zeq_async_file_read(ZeqAsyncFile *file) noexcept {
    if (!file) return nullptr;
    FILE *s = file->stream;
    // A directory opens, and seeking to its end reports a position that is
    // no size at all: only what can hold bytes is read.
    struct stat st;
    if (fstat(fileno(s), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    if (fseek(s, 0, SEEK_END) != 0) return nullptr;
    long size = ftell(s);
    if (size < 0 || size >= PTRDIFF_MAX || fseek(s, 0, SEEK_SET) != 0) return nullptr;
    auto *buf = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
    if (!buf) return nullptr;
    size_t got = fread(buf, 1, static_cast<size_t>(size), s);
    buf[got] = '\0';
    return buf;
}
ZEQ_ALIAS(zeq_nb_file_read, zeq_async_file_read);

void zeq_async_file_write(ZeqAsyncFile *file, const char *text) noexcept {
    if (!file || !text) return;
    if (fseek(file->stream, 0, SEEK_SET) != 0) return;
    fwrite(text, 1, strlen(text), file->stream);
    fflush(file->stream);
}
ZEQ_ALIAS(zeq_nb_file_write, zeq_async_file_write);

void zeq_async_file_close(ZeqAsyncFile *file) noexcept {
    if (!file) return;
    fclose(file->stream);
    free(file);
}

// ---- TCP -----------------------------------------------------------------

ZeqSocket *zeq_async_socket_connect(const char *host, int32_t port) noexcept {
    if (!host || !valid_port(port)) return nullptr;
    ZeqSocket *s = new_socket_record();
    if (!s) return nullptr;
    // Memory first: a failure once connected would hand the peer a
    // connection that is dropped at once.
    s->host = strdup(host);
    if (!s->host) return abandon(s, -1);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return abandon(s, -1);
    sockaddr_in addr;
    if (!resolve_ipv4(host, port, SOCK_STREAM, &addr)) return abandon(s, fd);
    if (!connect_blocking(fd, addr)) return abandon(s, fd);
    s->fd = fd;
    s->port = port;
    s->connected = 1;
    return s;
}

ZeqSocket *zeq_async_socket_listen(int32_t port) noexcept { return bind_any(port, SOCK_STREAM); }

ZeqSocket *zeq_async_socket_accept(ZeqSocket *listener) noexcept {
    if (!usable(listener)) return nullptr;
    // Memory first: a connection taken off the queue and then dropped for
    // want of a record would be lost to the peer and to the next accept.
    ZeqSocket *s = new_socket_record();
    if (!s) return nullptr;
    s->host = static_cast<char *>(malloc(INET_ADDRSTRLEN));
    if (!s->host) return abandon(s, -1);
    sockaddr_in peer{};
    int fd;
    do {
        socklen_t plen = sizeof(peer);
        fd = accept4(listener->fd, reinterpret_cast<sockaddr *>(&peer), &plen, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return abandon(s, -1);
    if (!inet_ntop(AF_INET, &peer.sin_addr, s->host, INET_ADDRSTRLEN)) strcpy(s->host, "0.0.0.0");
    s->fd = fd;
    s->port = ntohs(peer.sin_port);
    s->connected = 1;
    return s;
}

char *zeq_async_socket_read(ZeqSocket *sock) noexcept {
    if (!usable(sock)) return nullptr;
    return recv_text(sock->fd, nullptr, nullptr);
}

void zeq_async_socket_write(ZeqSocket *sock, const char *text) noexcept {
    if (!usable(sock) || !text) return;
    send_all(sock->fd, text, strlen(text));
}
ZEQ_ALIAS(zeq_nb_socket_write, zeq_async_socket_write);

void zeq_async_socket_close(ZeqSocket *sock) noexcept {
    if (!sock) return;
    if (sock->pending) withdraw_pending_connect(sock);
    if (sock->fd >= 0) close(sock->fd);
    sock->fd = -1;
    free(sock->host);
    free(sock);
}
ZEQ_ALIAS(zeq_async_udp_close, zeq_async_socket_close);

const char *zeq_async_socket_host(const ZeqSocket *sock) noexcept {
    return sock ? sock->host : nullptr;
}

int64_t zeq_async_socket_port(const ZeqSocket *sock) noexcept { return sock ? sock->port : 0; }

}  // extern "C"
