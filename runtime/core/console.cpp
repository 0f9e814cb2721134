// Console services: printers for integers, doubles and strings on standard
// output and standard error, and readers of numbers, lines and byte counts
// from standard input.  Everything goes through stdio's buffered streams;
// only zeq_write_stdout, zeq_read_line and zeq_read_bytes flush standard
// output themselves.
#include "core.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zeq;

namespace {

inline bool usable(const ZeqString *s) noexcept { return s && s->data; }

constexpr char kEofText[] = "__EOF__";
constexpr int64_t kEofLen = sizeof kEofText - 1;
constexpr int kLineBuffer = 4096;  // fgets buffer: at most 4095 bytes a call

// zeq_read_bytes grows its temporary buffer from this size (or count, when
// smaller) by doubling, up to count, so a huge count on a short input never
// asks for its whole size up front.
constexpr uint64_t kReadChunk = 64 * 1024;

}  // namespace

// ---------------------------------------------------------------------------
// Standard output
// ---------------------------------------------------------------------------

extern "C" void zeq_print_i64(int64_t value) noexcept { std::printf("%ld", static_cast<long>(value)); }

extern "C" void zeq_println_i64(int64_t value) noexcept {
    std::printf("%ld\n", static_cast<long>(value));
}

extern "C" void zeq_print_f64(double value) noexcept { std::printf("%.9f", value); }

extern "C" void zeq_println_f64(double value) noexcept { std::printf("%.9f\n", value); }

// The recorded length, taken as a 32-bit int, bounds the output; printf
// stops earlier at an embedded NUL.
extern "C" void zeq_print_str(const ZeqString *s) noexcept {
    if (!usable(s)) return;
    std::printf("%.*s", static_cast<int>(s->len), s->data);
}

extern "C" void zeq_println_str(const ZeqString *s) noexcept {
    if (!usable(s)) {
        std::fputc('\n', stdout);
        return;
    }
    std::printf("%.*s\n", static_cast<int>(s->len), s->data);
}

extern "C" int64_t zeq_puts_cstr(const char *text) noexcept {
    std::puts(text ? text : "");
    return 0;
}

// Exactly len bytes, embedded NULs included, then a flush.
extern "C" void zeq_write_stdout(const ZeqString *s) noexcept {
    if (!s) return;
    if (s->data && s->len > 0) std::fwrite(s->data, 1, static_cast<size_t>(s->len), stdout);
    std::fflush(stdout);
}

// Short-name-only printers.
extern "C" void print_char(int32_t c) noexcept { std::fputc(static_cast<unsigned char>(c), stdout); }

// The data up to its first NUL, whatever the recorded length.
extern "C" void print_str(const ZeqString *s) noexcept {
    if (!usable(s)) return;
    std::fputs(s->data, stdout);
}

extern "C" void println_str(const ZeqString *s) noexcept { std::puts(usable(s) ? s->data : ""); }

// ---------------------------------------------------------------------------
// Standard error (short names only)
// ---------------------------------------------------------------------------

extern "C" void eprint(int64_t value) noexcept { std::fprintf(stderr, "%ld", static_cast<long>(value)); }

extern "C" void eprintln(int64_t value) noexcept {
    std::fprintf(stderr, "%ld\n", static_cast<long>(value));
}

extern "C" void eprint_f64(double value) noexcept { std::fprintf(stderr, "%.9f", value); }

extern "C" void eprintln_f64(double value) noexcept { std::fprintf(stderr, "%.9f\n", value); }

extern "C" void eprint_str(const ZeqString *s) noexcept {
    if (!usable(s)) return;
    std::fputs(s->data, stderr);
}

extern "C" void eprintln_str(const ZeqString *s) noexcept {
    if (!usable(s)) {
        std::fputc('\n', stderr);
        return;
    }
    std::fprintf(stderr, "%s\n", s->data);
}

// ---------------------------------------------------------------------------
// Standard input
// ---------------------------------------------------------------------------

// One number with scanf; 0 when none can be read (end of input, or input
// that does not start with a number).  Standard output is not flushed.
extern "C" int64_t zeq_read_int(void) noexcept {
    long value = 0;
    if (std::scanf("%ld", &value) != 1) value = 0;
    return static_cast<int64_t>(value);
}

extern "C" double zeq_read_f64(void) noexcept {
    double value = 0.0;
    if (std::scanf("%lf", &value) != 1) value = 0.0;
    return value;
}

// True when the last read of standard input (errno cleared before it, the
// stream locked) failed because a signal interrupted it: the error flag is
// cleared, and reading may go on.
inline bool interrupted() noexcept {
    if (!ferror_unlocked(stdin) || errno != EINTR) return false;
    clearerr_unlocked(stdin);
    return true;
}

// The next line (at most 4095 bytes a call, so longer lines come in pieces)
// up to its first NUL, without its trailing run of CR and LF bytes;
// "__EOF__" at end of input.  Read byte by byte rather than with fgets,
// which drops what it had read when a signal interrupts the wait for more.
extern "C" ZeqString *zeq_read_line(void) noexcept {
    std::fflush(stdout);
    char buf[kLineBuffer];
    size_t n = 0;
    flockfile(stdin);
    while (n < sizeof buf - 1) {
        errno = 0;
        int c = getc_unlocked(stdin);
        if (c == EOF) {
            if (interrupted()) continue;
            break;
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    funlockfile(stdin);
    if (n == 0) return string_copy(kEofText, kEofLen);
    n = strnlen(buf, n);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) --n;
    return string_copy(buf, static_cast<int64_t>(n));
}

// Up to count bytes of standard input, fewer when the input ends first.  The
// bytes are gathered in a temporary malloc buffer that grows as data
// arrives, then copied into a new string.  If the buffer can't be obtained
// at all the result is empty; if it can't grow further, what arrived so far
// is returned.  A wait for input that a signal interrupts goes on.
extern "C" ZeqString *zeq_read_bytes(int64_t count) noexcept {
    if (count <= 0) return string_empty();
    std::fflush(stdout);

    const uint64_t want = static_cast<uint64_t>(count);
    uint64_t cap = want < kReadChunk ? want : kReadChunk;
    auto *buf = static_cast<char *>(std::malloc(cap));
    if (!buf) return string_empty();

    uint64_t n = 0;
    flockfile(stdin);
    while (n < want) {
        if (n == cap) {
            uint64_t next = cap > want / 2 ? want : cap * 2;
            auto *grown = static_cast<char *>(std::realloc(buf, next));
            if (!grown) break;
            buf = grown;
            cap = next;
        }
        errno = 0;
        size_t got = std::fread(buf + n, 1, static_cast<size_t>(cap - n), stdin);
        n += got;
        if (!interrupted() && got == 0) break;
    }
    funlockfile(stdin);
    ZeqString *s = string_copy(buf, static_cast<int64_t>(n));
    std::free(buf);
    return s;
}

ZEQ_ALIAS(print, zeq_print_i64);
ZEQ_ALIAS(println, zeq_println_i64);
ZEQ_ALIAS(print_f64, zeq_print_f64);
ZEQ_ALIAS(println_f64, zeq_println_f64);
ZEQ_ALIAS(puts_cstr, zeq_puts_cstr);
ZEQ_ALIAS(read_int, zeq_read_int);
