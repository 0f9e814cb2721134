// Internal declarations shared by the asynchronous files: the socket and
// file records, address resolution, whole-text sends, and the withdrawal of
// a connect in progress from the shared loop.
#pragma once

#include "zeq.h"

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>

// The user data of a connect in progress (kept in ZeqSocket::pending): the
// socket being connected.
struct ZeqPendingConnect {
    ZeqSocket *socket;
};

struct ZeqAsyncFile {
    FILE *stream;
};

namespace zeq::async {

constexpr int32_t kRecvBufferSize = 4096;  // 4095 bytes of data and a NUL

inline bool valid_port(int32_t port) noexcept { return port >= 0 && port <= 65535; }

// Fills addr with host (dotted quad, else resolved for IPv4 with the given
// socket type) and port.  False if the name does not resolve.
bool resolve_ipv4(const char *host, int32_t port, int socktype, sockaddr_in *addr) noexcept;

// Sends all len bytes, resuming after short sends and interruptions and
// waiting for room on a non-blocking descriptor; never raises SIGPIPE.
// False if the connection failed before everything was sent.
bool send_all(int fd, const char *data, size_t len) noexcept;

// One receive of at most 4095 bytes into a new 4096-byte malloc buffer,
// NUL-terminated; null at end of stream, on error or without memory.
// `from` (may be null) receives the sender's address.
char *recv_text(int fd, sockaddr_in *from, int32_t *length) noexcept;

// A socket of the given type bound to 0.0.0.0:port (SO_REUSEADDR), listening
// with a backlog of 4096 for SOCK_STREAM; host "0.0.0.0", the bound port,
// connected 1.  Null on any failure, with nothing left open.
ZeqSocket *bind_any(int32_t port, int type) noexcept;

// Removes a connect still in progress from the shared loop and frees its
// record, so that no callback can reach the socket afterwards.
void withdraw_pending_connect(ZeqSocket *sock) noexcept;

}  // namespace zeq::async
