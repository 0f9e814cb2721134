// Processes, environment and working directory: shell commands run through
// system() or captured through popen(), environment look-ups and the
// working directory.  No state between calls; every capture stream is
// closed (and its child waited for) before the call returns.  Failures give
// -1 or the empty string, never a panic.
#include "system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zeq;

namespace {

constexpr uint64_t kCaptureInitial = 4096;
constexpr char kStderrToStdout[] = " 2>&1";
constexpr uint64_t kSuffixLen = sizeof kStderrToStdout - 1;
constexpr size_t kCwdBuffer = 4096;
// Pipe size asked for a capture: fewer round trips between the command and
// the reader on large outputs.  The request may be refused (limit of
// /proc/sys/fs/pipe-max-size); the default size then stays.
constexpr int kPipeSize = 1 << 20;

// Everything the command writes to its standard output, NUL bytes included.
//
// The bytes gather in a malloc buffer of 4,096 bytes that doubles whenever
// a further byte arrives and would leave no room for the terminating NUL, so
// the final size is the smallest 4,096 * 2^k above the output length.  When
// the buffer cannot grow, reading stops and the output so far is kept.  The
// stream is read in blocks; at a full buffer one byte is read on its own to
// learn whether the output goes on before growing.
//
// Arena mode on: the bytes are copied into a new arena string (cap = len)
// and the read buffer is freed.  Arena mode off: the string takes the read
// buffer itself, with cap = its size.
ZeqString *capture(const char *command) noexcept {
    FILE *p = ::popen(command, "re");
    if (!p) return string_empty();
    (void)::fcntl(::fileno(p), F_SETPIPE_SZ, kPipeSize);
    uint64_t size = kCaptureInitial;
    auto *buf = static_cast<char *>(std::malloc(size));
    if (!buf) {
        ::pclose(p);
        return string_empty();
    }
    uint64_t n = 0;
    for (;;) {
        if (n + 1 >= size) {
            int c = std::fgetc(p);
            if (c == EOF) {
                if (std::ferror(p) && errno == EINTR) {
                    std::clearerr(p);
                    continue;
                }
                break;
            }
            auto *grown = size <= UINT64_MAX / 2 ? static_cast<char *>(std::realloc(buf, size * 2)) : nullptr;
            if (!grown) break;
            buf = grown;
            size *= 2;
            buf[n++] = static_cast<char>(c);
            continue;
        }
        size_t want = static_cast<size_t>(size - 1 - n);
        size_t got = std::fread(buf + n, 1, want, p);
        n += got;
        if (got < want) {
            if (std::ferror(p) && errno == EINTR) {
                std::clearerr(p);
                continue;
            }
            break;
        }
    }
    buf[n] = '\0';
    ::pclose(p);

    if (arena_enabled()) {
        ZeqString *s = string_copy(buf, static_cast<int64_t>(n));
        std::free(buf);
        return s;
    }
    auto *s = static_cast<ZeqString *>(zeq_alloc(sizeof(ZeqString)));
    s->data = buf;
    s->len = static_cast<int64_t>(n);
    s->cap = static_cast<int64_t>(size);
    return s;
}

}  // namespace

extern "C" int64_t zeq_system(const ZeqString *command) noexcept {
    if (!usable(command)) return -1;
    return static_cast<int64_t>(static_cast<int32_t>(std::system(command->data)));
}

extern "C" ZeqString *zeq_system_capture(const ZeqString *command) noexcept {
    if (!usable(command)) return string_empty();
    return capture(command->data);
}

// Runs "<command> <arguments> 2>&1" (no space and no arguments when the
// argument string is null or empty): standard output and standard error
// together, interleaved as the shell delivers them.
extern "C" ZeqString *zeq_exec_output(const ZeqString *command, const ZeqString *arguments) noexcept {
    if (!usable(command) || command->len < 0) return string_empty();
    uint64_t clen = static_cast<uint64_t>(command->len);
    uint64_t alen = usable(arguments) && arguments->len > 0 ? static_cast<uint64_t>(arguments->len) : 0;
    uint64_t total = add_sat(add_sat(clen, alen), kSuffixLen + 2);
    if (total >= static_cast<uint64_t>(PTRDIFF_MAX)) return string_empty();
    auto *line = static_cast<char *>(std::malloc(total));
    if (!line) return string_empty();
    char *out = line;
    std::memcpy(out, command->data, clen);
    out += clen;
    if (alen > 0) {
        *out++ = ' ';
        std::memcpy(out, arguments->data, alen);
        out += alen;
    }
    std::memcpy(out, kStderrToStdout, kSuffixLen + 1);
    ZeqString *s = capture(line);
    std::free(line);
    return s;
}

// A null name is looked up as the empty name (never set).
extern "C" ZeqString *zeq_getenv(const ZeqString *name) noexcept {
    const char *value = std::getenv(usable(name) ? name->data : "");
    if (!value) return string_empty();
    return string_copy(value, static_cast<int64_t>(std::strlen(value)));
}

extern "C" ZeqString *zeq_getcwd(void) noexcept {
    char buf[kCwdBuffer];
    if (!::getcwd(buf, sizeof buf)) return string_empty();
    return string_copy(buf, static_cast<int64_t>(std::strlen(buf)));
}

ZEQ_ALIAS(system_capture, zeq_system_capture);
ZEQ_ALIAS(exec_output, zeq_exec_output);
ZEQ_ALIAS(current_dir, zeq_getcwd);
