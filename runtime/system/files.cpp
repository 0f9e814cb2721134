// Files and directories: whole-file reading and writing, appending,
// existence and size queries, removal, and directory creation, listing and
// removal.  Every operation is one synchronous call that keeps no state and
// closes whatever it opened before it returns, on every path.  Integer
// results are 0 / -1 (or 0 / 1 for the tests); string results are new
// strings, the empty string on any failure.
//
// Paths are ZeqString records whose data is used as a NUL-terminated path
// (len is not consulted, except by zeq_mkdir, which walks len bytes).
//
// Files are opened with O_NONBLOCK so that a FIFO without a writer (or
// reader) never blocks the open; regular files ignore the flag, and writers
// clear it again before writing.
#include "system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

using namespace zeq;

namespace {

constexpr mode_t kDirMode = 0755;
constexpr mode_t kFileMode = 0666;  // "wb" / "ab": before the umask
constexpr unsigned char kUnitSeparator = 0x1F;
constexpr uint64_t kListInitial = 1024;
// Largest single read or write handed to the kernel (Linux moves at most
// about 2 GiB a call anyway).
constexpr uint64_t kIoChunk = 1ull << 30;
// Files of at least this size are read into a buffer faulted in at once.
constexpr int64_t kBulkRead = 4 << 20;
// Buffer of the newline translation.
constexpr size_t kTranslateChunk = 16 * 1024;

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};
using MallocBuffer = std::unique_ptr<char, FreeDeleter>;

struct DirCloser {
    void operator()(DIR *d) const noexcept { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

int open_for_reading(const char *path) noexcept {
    return ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Opens for writing the way fopen's "wb" / "ab" would, without blocking on
// a FIFO that has no reader (that open fails instead); the descriptor is
// made blocking again so writes behave normally.
int open_for_writing(const char *path, int how) noexcept {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | how, kFileMode);
    if (fd < 0) return -1;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// The size that seeking to the end of an open file reports, or -1 when
// there is none: regular files give their size, devices what lseek says,
// pipes, sockets and terminals (which cannot seek) and directories give -1.
// The position is left at the start.
int64_t seekable_size(int fd) noexcept {
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    if (S_ISREG(st.st_mode)) return static_cast<int64_t>(st.st_size);
    off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return -1;
    return static_cast<int64_t>(end);
}

// Reads until n bytes arrived or the file ends; -1 on a read error.
int64_t read_up_to(int fd, char *buf, uint64_t n) noexcept {
    uint64_t got = 0;
    while (got < n) {
        uint64_t want = n - got < kIoChunk ? n - got : kIoChunk;
        ssize_t r = ::read(fd, buf + got, static_cast<size_t>(want));
        if (r > 0) {
            got += static_cast<uint64_t>(r);
        } else if (r == 0) {
            break;
        } else if (errno != EINTR) {
            return -1;
        }
    }
    return static_cast<int64_t>(got);
}

// Writes all n bytes; false on an error (the file keeps what was written).
bool write_all(int fd, const char *p, uint64_t n) noexcept {
    while (n > 0) {
        uint64_t want = n < kIoChunk ? n : kIoChunk;
        ssize_t w = ::write(fd, p, static_cast<size_t>(want));
        if (w > 0) {
            p += w;
            n -= static_cast<uint64_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

// Writes n bytes with every 0x1F byte turned into a line feed.
bool write_translated(int fd, const char *p, uint64_t n) noexcept {
    char out[kTranslateChunk];
    while (n > 0) {
        size_t k = n < kTranslateChunk ? static_cast<size_t>(n) : kTranslateChunk;
        for (size_t i = 0; i < k; ++i) {
            char c = p[i];
            out[i] = static_cast<unsigned char>(c) == kUnitSeparator ? '\n' : c;
        }
        if (!write_all(fd, out, k)) return false;
        p += k;
        n -= k;
    }
    return true;
}

// Keeps writes to a pipe whose reader has gone from raising SIGPIPE (they
// fail with EPIPE instead): the signal is blocked in the calling thread
// while the guard lives, and one that the writes raised is taken back
// before the caller's mask returns.  A SIGPIPE already pending when the
// guard began is the caller's and stays.
class QuietPipe {
public:
    explicit QuietPipe(bool active) noexcept : active_(active) {
        if (!active_) return;
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &caller_);
    }
    ~QuietPipe() {
        if (!active_) return;
        if (!was_pending_) {
            const timespec now{0, 0};
            while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &caller_, nullptr);
    }
    QuietPipe(const QuietPipe &) = delete;
    QuietPipe &operator=(const QuietPipe &) = delete;

private:
    bool active_;
    bool was_pending_ = false;
    sigset_t pipe_;
    sigset_t caller_;
};

bool is_pipe_or_socket(int fd) noexcept {
    struct stat st;
    return ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// Opens, writes with `write` and closes; 0 when every byte was written and
// the close succeeded, else -1.
template <class Writer>
int64_t write_whole(const char *path, int how, Writer write) noexcept {
    Fd fd(open_for_writing(path, how));
    if (!fd.ok()) return -1;
    QuietPipe quiet(is_pipe_or_socket(fd.get()));
    bool written = write(fd.get());
    bool closed = fd.reset();
    return written && closed ? 0 : -1;
}

bool stat_ok(const char *path, struct stat *st) noexcept { return ::stat(path, st) == 0; }

int64_t exists(const char *path) noexcept {
    struct stat st;
    return stat_ok(path, &st) ? 1 : 0;
}

int64_t directory_at(const char *path) noexcept {
    struct stat st;
    return stat_ok(path, &st) && S_ISDIR(st.st_mode) ? 1 : 0;
}

int64_t size_of(const char *path) noexcept {
    Fd fd(open_for_reading(path));
    if (!fd.ok()) return -1;
    return seekable_size(fd.get());
}

bool is_dot_entry(const char *name) noexcept {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

// ---------------------------------------------------------------------------
// Whole files
// ---------------------------------------------------------------------------

// Every byte of the file, NUL bytes included.  The bytes live in a malloc
// buffer of size + 1 (even in arena mode), the record comes from zeq_alloc.
// A path that cannot be opened, a directory, a stream that cannot seek (a
// FIFO, a terminal), a failed allocation or a read error give "".
extern "C" ZeqString *zeq_read_file(const ZeqString *path) noexcept {
    if (!usable(path)) return string_empty();
    Fd fd(open_for_reading(path->data));
    if (!fd.ok()) return string_empty();
    int64_t n = seekable_size(fd.get());
    if (n < 0 || static_cast<uint64_t>(n) >= static_cast<uint64_t>(PTRDIFF_MAX)) return string_empty();
    MallocBuffer buf(static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1)));
    if (!buf) return string_empty();
    if (n >= kBulkRead) prepare_bulk_memory(buf.get(), static_cast<uint64_t>(n) + 1, true);
    int64_t got = read_up_to(fd.get(), buf.get(), static_cast<uint64_t>(n));
    fd.reset();
    if (got < 0) return string_empty();
    buf.get()[got] = '\0';
    auto *s = static_cast<ZeqString *>(zeq_alloc(sizeof(ZeqString)));
    s->data = buf.release();
    s->len = got;
    s->cap = got;
    return s;
}

extern "C" int64_t zeq_write_file(const ZeqString *path, const ZeqString *content) noexcept {
    if (!usable(path) || !usable(content) || content->len < 0) return -1;
    return write_whole(path->data, O_TRUNC, [content](int fd) noexcept {
        return write_all(fd, content->data, static_cast<uint64_t>(content->len));
    });
}

extern "C" int64_t zeq_write_file_newlines(const ZeqString *path, const ZeqString *content) noexcept {
    if (!usable(path) || !usable(content) || content->len < 0) return -1;
    return write_whole(path->data, O_TRUNC, [content](int fd) noexcept {
        return write_translated(fd, content->data, static_cast<uint64_t>(content->len));
    });
}

extern "C" int64_t zeq_append_file(const char *path, const char *data) noexcept {
    if (!path || !data) return -1;
    return write_whole(path, O_APPEND,
                       [data](int fd) noexcept { return write_all(fd, data, std::strlen(data)); });
}

// ---------------------------------------------------------------------------
// Queries and removal
// ---------------------------------------------------------------------------

extern "C" int64_t zeq_file_exists(const ZeqString *path) noexcept {
    return usable(path) ? exists(path->data) : 0;
}

extern "C" int64_t zeq_file_exists_cstr(const char *path) noexcept { return path ? exists(path) : 0; }

extern "C" int64_t zeq_file_size(const char *path) noexcept { return path ? size_of(path) : -1; }

// The short name takes a string record instead of a byte string.
extern "C" int64_t file_size(const ZeqString *path) noexcept {
    return usable(path) ? size_of(path->data) : -1;
}

extern "C" int64_t zeq_is_dir(const ZeqString *path) noexcept {
    return usable(path) ? directory_at(path->data) : 0;
}

extern "C" int64_t zeq_delete_file(const ZeqString *path) noexcept {
    if (!usable(path)) return -1;
    return std::remove(path->data) == 0 ? 0 : -1;
}

// ---------------------------------------------------------------------------
// Directories
// ---------------------------------------------------------------------------

// Creates every prefix that ends before a slash, a backslash or a NUL among
// the first len bytes (never the empty prefix at position 0), then the whole
// path; existing directories along the way are fine.  0 when the path names
// a directory afterwards.
extern "C" int64_t zeq_mkdir(const ZeqString *path) noexcept {
    if (!usable(path) || path->len <= 0) return -1;
    uint64_t len = static_cast<uint64_t>(path->len);
    if (len >= static_cast<uint64_t>(PTRDIFF_MAX)) return -1;
    MallocBuffer work(static_cast<char *>(std::malloc(len + 1)));
    if (!work) return -1;
    char *w = work.get();
    std::memcpy(w, path->data, len + 1);
    for (uint64_t i = 1; i <= len; ++i) {
        char c = w[i];
        if (c != '\0' && c != '/' && c != '\\') continue;
        w[i] = '\0';
        ::mkdir(w, kDirMode);
        w[i] = c;
    }
    work.reset();
    return directory_at(path->data) ? 0 : -1;
}

// Entry names in readdir order, "." and ".." left out, separated by line
// feeds (none after the last).  Gathered in a malloc buffer of 1,024 bytes
// that doubles as needed, then copied into a new string; "" on any failure
// (including a read error part-way through the directory).
extern "C" ZeqString *zeq_readdir(const ZeqString *path) noexcept {
    if (!usable(path)) return string_empty();
    DirHandle dir(::opendir(path->data));
    if (!dir) return string_empty();
    uint64_t size = kListInitial;
    MallocBuffer buf(static_cast<char *>(std::malloc(size)));
    if (!buf) return string_empty();
    uint64_t used = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir.get());
        if (!e) {
            if (errno != 0) return string_empty();
            break;
        }
        if (is_dot_entry(e->d_name)) continue;
        uint64_t n = std::strlen(e->d_name);
        if (used + n + 1 >= size) {
            while (used + n + 1 >= size) size *= 2;
            auto *grown = static_cast<char *>(std::realloc(buf.get(), size));
            if (!grown) return string_empty();
            (void)buf.release();
            buf.reset(grown);
        }
        std::memcpy(buf.get() + used, e->d_name, n);
        buf.get()[used + n] = '\n';
        used += n + 1;
    }
    dir.reset();
    if (used > 0) --used;  // the last byte is always the line feed of the last name
    return string_copy(buf.get(), static_cast<int64_t>(used));
}

extern "C" int64_t zeq_rmdir(const ZeqString *path) noexcept {
    if (!usable(path)) return -1;
    return ::rmdir(path->data) == 0 ? 0 : -1;
}

ZEQ_ALIAS(read_file, zeq_read_file);
ZEQ_ALIAS(write_file, zeq_write_file);
ZEQ_ALIAS(write_file_newlines, zeq_write_file_newlines);
ZEQ_ALIAS(file_exists, zeq_file_exists);
ZEQ_ALIAS(file_exists_cstr, zeq_file_exists_cstr);
ZEQ_ALIAS(is_dir, zeq_is_dir);
ZEQ_ALIAS(zeq_remove_file, zeq_delete_file);
ZEQ_ALIAS(delete_file, zeq_delete_file);
ZEQ_ALIAS(remove_file, zeq_delete_file);
ZEQ_ALIAS(make_dir, zeq_mkdir);
ZEQ_ALIAS(list_dir, zeq_readdir);
ZEQ_ALIAS(remove_dir, zeq_rmdir);
