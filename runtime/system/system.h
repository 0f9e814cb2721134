// Declarations shared between the files of the system services only.
#pragma once

#include "core/core.h"

#include <unistd.h>

#include <cerrno>

namespace zeq {

// A path, command or content string that can be handed to the platform.
inline bool usable(const ZeqString *s) noexcept { return s && s->data; }

// Owns a file descriptor for the length of a scope.
class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const noexcept { return fd_; }
    bool ok() const noexcept { return fd_ >= 0; }
    // Closes now; false when the close reported an error (an earlier write
    // may then not have reached the file).
    bool reset() noexcept {
        if (fd_ < 0) return true;
        int r = ::close(fd_);
        fd_ = -1;
        return r == 0 || errno == EINTR;
    }

private:
    int fd_;
};

}  // namespace zeq
