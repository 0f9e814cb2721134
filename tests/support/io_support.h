// Helpers for the event-loop and socket tests: open-descriptor counts,
// loopback ports, bounded receives, and a descriptor limit large enough for
// a full registration table.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zeqtest {

// Frees a malloc'd result and returns it as a string ("<null>" for null).
inline std::string take(char *p) {
    if (!p) return "<null>";
    std::string s(p);
    std::free(p);
    return s;
}

// Descriptors open in this process (the directory's own excluded).
inline int open_fd_count() {
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n - 1;
}

// A loopback TCP port that nothing listens on right now.
inline int unused_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A plain blocking loopback TCP client whose receives give up after
// `timeout_ms`; -1 if the connect fails.
inline int plain_connect(int port, int timeout_ms = 5000) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sets a receive/send time-out on a descriptor made elsewhere.
inline void bound_waits(int fd, int timeout_ms = 5000) {
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

// Receives exactly n bytes (false on time-out, error or end of stream).
inline bool recv_exact(int fd, std::string &out, size_t n) {
    out.clear();
    char buf[4096];
    while (out.size() < n) {
        size_t want = n - out.size() < sizeof(buf) ? n - out.size() : sizeof(buf);
        ssize_t got = recv(fd, buf, want, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out.append(buf, static_cast<size_t>(got));
    }
    return true;
}

inline bool send_text(int fd, const std::string &s) {
    size_t off = 0;
    while (off < s.size()) {
        ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

// Raises the soft descriptor limit to at least n if the hard limit allows.
inline bool ensure_fd_limit(rlim_t n) {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return false;
    if (rl.rlim_cur >= n) return true;
    if (rl.rlim_max != RLIM_INFINITY && rl.rlim_max < n) return false;
    rl.rlim_cur = n;
    return setrlimit(RLIMIT_NOFILE, &rl) == 0;
}

}  // namespace zeqtest
