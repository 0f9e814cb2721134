// Allocation-failure driver: runs one representative program per subsystem
// in a child process with the N-th allocation failing, for every N from 1 to
// the number of allocations the program makes.  A run must end with status 0
// after every result proved to be the right one or the documented failure
// result of a call during which the allocation failed, or with the runtime's
// out-of-memory line and status 1.  A signal, a hang (the child's alarm) or
// any other ending is a finding.
//
// malloc, calloc, realloc, posix_memalign, aligned_alloc, memalign and
// strdup (whose libc version allocates out of an interposer's sight) are
// defined here and forwarded to libc's allocator; the driver's own C++
// allocations (operator new) bypass them.  Not for sanitizer builds, whose
// allocator owns these names.
//
// Usage: alloc_failure PROGRAM [N]   (text, collections, files, threads,
// sockets; N: only that failure point)
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "zeq.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void *__libc_memalign(size_t, size_t);

namespace {

std::atomic<uint64_t> g_calls{0};
uint64_t g_fail_at = 0;  // 0: no failure
std::atomic<bool> g_counting{false};

bool fail_now() {
    if (!g_counting.load(std::memory_order_relaxed) || g_calls.fetch_add(1) + 1 != g_fail_at) return false;
    return errno = ENOMEM, true;
}

uint64_t calls() { return g_calls.load(); }
bool failed_since(uint64_t mark) { return g_fail_at > mark && g_fail_at <= calls(); }
bool failed() { return failed_since(0); }

[[noreturn]] void finding(const char *what) {
    g_counting = false;
    std::fprintf(stderr, "finding: %s\n", what), _exit(3);
}

}  // namespace

extern "C" {
void *malloc(size_t n) { return fail_now() ? nullptr : __libc_malloc(n); }
void *calloc(size_t k, size_t n) { return fail_now() ? nullptr : __libc_calloc(k, n); }
void *realloc(void *p, size_t n) { return fail_now() ? nullptr : __libc_realloc(p, n); }
void *aligned_alloc(size_t a, size_t n) { return fail_now() ? nullptr : __libc_memalign(a, n); }
void *memalign(size_t a, size_t n) { return fail_now() ? nullptr : __libc_memalign(a, n); }
int posix_memalign(void **out, size_t a, size_t n) {
    return fail_now() || !(*out = __libc_memalign(a, n)) ? ENOMEM : 0;
}
char *strdup(const char *s) {
    size_t n = std::strlen(s) + 1;
    void *p = malloc(n);
    return p ? static_cast<char *>(std::memcpy(p, s, n)) : nullptr;
}
}
void *operator new(size_t n) {
    if (void *p = __libc_malloc(n ? n : 1)) return p;
    std::abort();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }

namespace {

// Runs call; its result r must pass ok, or doc when the failing allocation
// happened during the call.
#define CHECKED(call, ok, doc)                                                  \
    [&] {                                                                       \
        uint64_t mark_ = calls();                                               \
        auto r = (call);                                                        \
        if (!(ok) && !(failed_since(mark_) && (doc))) finding(#call);           \
        return r;                                                               \
    }()

// Something made, or null when an allocation failed during the call.
#define MAYBE(call) CHECKED(call, r != nullptr, r == nullptr)

// Makes something, calling again as long as the call fails for lack of
// memory (and only then): what it would have made is still to be had.
#define MADE(call)                              \
    [&] {                                       \
        decltype(call) made_ = nullptr;         \
        while (!made_) made_ = MAYBE(call);     \
        return made_;                           \
    }()

std::string text(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }
ZeqString view(const char *t) { return ZeqString{const_cast<char *>(t), static_cast<int64_t>(std::strlen(t)), 0}; }
std::string str(ZeqString *s) {
    std::string t = text(s);
    return zeq_string_free(s), t;
}
using Texts = std::vector<std::string>;
Texts svec(int64_t h) {
    Texts out;
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) out.push_back(text(zeq_svec_get(h, i)));
    return zeq_svec_free(h), out;
}
// want without one of its elements: a splitter drops a segment it cannot store.
bool one_dropped(const Texts &got, const Texts &want) {
    for (size_t i = 0; i < want.size(); ++i)
        if (Texts w = want; w.erase(w.begin() + static_cast<ptrdiff_t>(i)), got == w) return true;
    return false;
}

void text_program() {
    ZeqString hello = view("hello, world"), comma = view(", "), ab = view("a-b--c-");
    CHECKED(str(zeq_string_concat(&hello, &comma)), r == "hello, world, ", false);
    CHECKED(str(zeq_string_replace(&hello, &comma, &ab)), r == "helloa-b--c-world", false);
    CHECKED(str(zeq_string_to_upper(&hello)), r == "HELLO, WORLD", false);
    CHECKED(str(zeq_string_repeat(&comma, 3)), r == ", , , ", false);
    CHECKED(str(zeq_int_to_string(-1234567)), r == "-1234567", false);
    CHECKED(str(zeq_f64_to_string(0.1)), r == "0.1", false);
    std::string digits(300, '7');
    ZeqString long_number = view(digits.c_str());
    CHECKED(zeq_parse_f64(&long_number), r > 7e299, false);
    ZeqVec *parts = CHECKED(zeq_string_split(&ab, &comma), r->len == 1, false);
    ZeqString dash = view("-");
    CHECKED(str(zeq_string_join(parts, &dash)), r == "a-b--c-", false);
    zeq_vec_free(parts);
    ZeqStringBuilder *b = CHECKED(zeq_sb_with_capacity(2), r != nullptr, false);
    for (int i = 0; i < 40; ++i) zeq_sb_push_int(b, i), zeq_sb_push_f64(b, 0.5), zeq_sb_push_escaped(b, &hello);
    ZeqString inside{b->data, b->len, b->len};
    CHECKED(zeq_sb_push_escaped(b, &inside), r > 0, false);
    CHECKED(str(zeq_sb_build(b)).size(), r == static_cast<size_t>(b->len), false);
    zeq_sb_free(b);
    // String vectors: -1 when the pool cannot grow; a segment the vector
    // cannot store is dropped.
    Texts want{"a", "b", "", "c"}, want_lines{"one", "two", "three"};
    ZeqString lines = view("one\r\ntwo\nthree");
    for (int round = 0; round < 3; ++round)
        CHECKED(svec(zeq_str_split(&ab, &dash)), r == want, r.empty() || one_dropped(r, want));
    CHECKED(svec(zeq_str_lines(&lines)), r == want_lines, r.empty() || one_dropped(r, want_lines));
    // The arena: a block that cannot be had is replaced by plain memory.
    zeq_arena_mode(1);
    ZeqString *kept = CHECKED(zeq_string_concat(&hello, &hello), text(r) == "hello, worldhello, world", false);
    zeq_arena_save();
    for (int i = 0; i < 100; ++i) CHECKED(text(zeq_int_to_string(i)), r == std::to_string(i), false);
    zeq_arena_restore();
    CHECKED(text(zeq_string_repeat(&hello, 1000000)).size(), r == 12000000, false);
    if (text(kept) != "hello, worldhello, world") finding("arena string after restore");
    zeq_arena_destroy();
    // Console input: a pipe holding "line one\nabc".
    CHECKED(str(zeq_read_line()), r == "line one", false);
    CHECKED(str(zeq_read_bytes(100)), r == "abc", r.empty());
}

void collections_program() {
    ZeqVec *v = zeq_vec_new();
    for (int i = 0; i < 100; ++i) zeq_vec_push(v, i);
    CHECKED(zeq_vec_sum(v), r == 4950, false);
    int64_t base[] = {3, 3, 1, 2, 3};
    int64_t *arr = CHECKED(zeq_array_concat(zeq_array_push(base, 4), base), r[1] == 7 && r[5] == 4, false);
    std::free(zeq_array_slice(arr, 1, 3));
    zeq_vec_free(v);
    if (ZeqHashMap *m = MAYBE(hashmap_new())) {
        for (int i = 0; i < 100; ++i) hashmap_insert(m, i * 7, i);
        ZeqVec *keys = hashmap_keys(m);
        CHECKED(hashmap_len(m) + keys->len + hashmap_get(m, 7 * 99), r == 299, false);
        zeq_vec_free(keys), hashmap_free(m);
    }
    std::vector<std::string> names(3000);
    std::vector<ZeqString> keys;
    for (int i = 0; i < 3000; ++i) names[i] = "key" + std::to_string(i), keys.push_back(view(names[i].c_str()));
    if (ZeqStrHashMap *m = MAYBE(zeq_str_hashmap_new())) {
        // Growth at 2,868 entries; a growth that fails leaves the map working.
        for (int i = 0; i < 3000; ++i) zeq_str_hashmap_inc(m, &keys[i], i);
        for (int i = 0; i < 3000; i += 7)
            if (zeq_str_hashmap_get(m, &keys[i]) != i) finding("str_hashmap lost a value");
        if (int64_t h = CHECKED(zeq_str_hashmap_sorted_keys(m), zeq_svec_len(r) == 3000, r == -1); h >= 0)
            zeq_svec_free(h);
        zeq_str_hashmap_free(m);
    }
    if (ZeqStrMap *m = MAYBE(zeq_strmap_new())) {
        std::vector<bool> stored(100);
        for (int i = 0; i < 100; ++i) stored[i] = CHECKED(zeq_strmap_insert(m, &keys[i], i), r == 1, r == 0);
        int64_t n = 0;
        for (int i = 0; i < 100; ++i) {
            if (zeq_strmap_get(m, &keys[i]) != (stored[i] ? i : -1)) finding("strmap content");
            n += stored[i];
        }
        ZeqVec *ks = CHECKED(zeq_strmap_keys(m), r->len == n && zeq_strmap_size(m) == n, false);
        for (int64_t i = 0; i < ks->len; ++i) zeq_string_free(reinterpret_cast<ZeqString *>(ks->data[i]));
        zeq_vec_free(ks), zeq_strmap_free(m);
    }
    ZeqString list = view("a=1;b=22;c=333"), key = view("b");
    for (int round = 0; round < 2; ++round)
        CHECKED(text(reg_cached_lookup(&list, &key, 0)), r == "22", r.empty());
}

void files_program() {
    std::string dir = (std::filesystem::temp_directory_path() / "zeq-alloc-XXXXXX").string();
    if (!mkdtemp(dir.data())) finding("mkdtemp");
    std::string file = dir + "/f", nested = dir + "/a/b", a = dir + "/a";
    ZeqString path = view(file.c_str()), dirs = view(nested.c_str()), top = view(dir.c_str()), mid = view(a.c_str());
    ZeqString content = view("alpha\x1f" "beta");
    CHECKED(zeq_write_file_newlines(&path, &content), r == 0, false);
    CHECKED(zeq_append_file(file.c_str(), "!"), r == 0, false);
    CHECKED(str(zeq_read_file(&path)), r == "alpha\nbeta!", r.empty());
    int64_t made = CHECKED(zeq_mkdir(&dirs), r == 0, r == -1);
    CHECKED(str(zeq_readdir(&top)), r == "a\nf" || r == "f\na" || (made != 0 && r == "f"), r.empty());
    if (ZeqAsyncFile *f = MAYBE(zeq_async_file_open(file.c_str()))) {
        zeq_async_file_write(f, "ALPHA");
        char *got = CHECKED(zeq_async_file_read(f), r && std::strcmp(r, "ALPHA\nbeta!") == 0, r == nullptr);
        std::free(got), zeq_async_file_close(f);
    }
    std::string xs(6000, 'x');
    std::string command = "printf %6000s | tr ' ' x";
    ZeqString cmd = view(command.c_str()), printf_cmd = view("printf"), args = view("'%s' out");
    CHECKED(str(zeq_system_capture(&cmd)), r == xs, xs.rfind(r, 0) == 0);  // the output so far
    CHECKED(str(zeq_exec_output(&printf_cmd, &args)), r == "out", r.empty());
    ZeqString status = view("exit 3");
    CHECKED(zeq_system(&status), r == 768, r == -1);
    ZeqString home = view("ZEQ_ALLOC_TEST");
    CHECKED(str(zeq_getenv(&home)), r == "set", false);
    CHECKED(str(zeq_getcwd()).empty(), !r, false);
    zeq_delete_file(&path), zeq_rmdir(&dirs), zeq_rmdir(&mid);
    if (zeq_rmdir(&top) != 0) finding("temporary directory left non-empty");
}

std::atomic<int64_t> g_task_runs{0}, g_parents{0};
std::atomic<bool> g_gate{false};
ZeqThreadPool *g_pool;
void child_task() { ++g_task_runs; }
void parent_task() {  // queues a task once the gate opens
    while (!g_gate) std::this_thread::yield();
    zeq_thread_pool_execute(g_pool, child_task);
    ++g_parents;
}
int64_t twice(int64_t x) { return 2 * x; }
ZeqChannelHandle *g_tx;
int64_t produce(int64_t n) {
    for (int64_t i = 1; i <= n; ++i) zeq_channel_send(g_tx, i);
    zeq_channel_close(g_tx);
    return n;
}

void threads_program() {
    ZeqThread *t[4];
    for (int i = 0; i < 4; ++i) t[i] = MAYBE(zeq_spawn(twice, i));
    for (int i = 0; i < 4; ++i)
        if (t[i] && zeq_join(t[i]) != 2 * i) finding("join result");
    ZeqChannelHandle *tx = nullptr, *rx = nullptr;
    if (CHECKED(zeq_channel_new(4, &tx, &rx), r && tx && rx, !r && !tx && !rx)) {
        g_tx = MAYBE(zeq_sender_clone(tx));
        if (!g_tx) g_tx = tx;
        ZeqThread *p = MAYBE(zeq_spawn(produce, 500));
        if (!p) produce(0);
        int64_t got = 0, m = 0;
        while (zeq_channel_recv_opt(rx, &m))
            if (m != ++got) finding("channel order");
        if (p && (zeq_join(p) != 500 || got != 500)) finding("channel delivery");
        zeq_channel_free(tx);
    }
    // Parents are queued while the workers wait at the gate, so that a
    // failure in this thread is told from one in theirs; a task that could
    // not be queued is dropped.  No execute may race the join.
    if ((g_pool = MAYBE(zeq_thread_pool_new(3)))) {
        int64_t queued = 0;
        for (int i = 0; i < 50; ++i) {
            uint64_t mark = calls();
            zeq_thread_pool_execute(g_pool, parent_task);
            queued += !failed_since(mark);
        }
        g_gate = true;
        while (g_parents < queued) std::this_thread::yield();
        zeq_thread_pool_join(g_pool);
        if (g_task_runs != queued && !(failed() && g_task_runs == queued - 1)) finding("pool task count");
    }
    g_task_runs = 0;
    if (ZeqScope *s = MAYBE(zeq_scope_new())) {
        for (int i = 0; i < 4; ++i) zeq_scope_spawn(s, child_task);
        zeq_scope_wait(s);
        if (g_task_runs != 4 && !(failed() && g_task_runs == 3)) finding("scope thread count");
    }
    ZeqMutex *mu = MAYBE(zeq_mutex_new(5));
    ZeqCondvar *cv = MAYBE(zeq_condvar_new());
    ZeqBarrier *bar = MAYBE(zeq_barrier_new(1));
    ZeqArc *arc = MAYBE(zeq_arc_new(9));
    if (mu && zeq_mutex_lock(mu) != 5) finding("mutex value");
    zeq_mutex_unlock(mu, 6);
    if (bar && zeq_barrier_wait(bar) != 1) finding("barrier of one");
    if (arc && zeq_arc_get(zeq_arc_clone(arc)) != 9) finding("arc value");
    zeq_arc_drop(arc), zeq_arc_drop(arc), zeq_mutex_free(mu), zeq_condvar_free(cv), zeq_barrier_free(bar);
    if (ZeqExecutor *ex = MAYBE(zeq_executor_new())) {
        if (ZeqTask *task = MAYBE(zeq_task_new(3))) zeq_executor_spawn(ex, task);
        zeq_executor_run(ex);
        CHECKED(zeq_executor_block_on(ex, 4), r == 4, false), zeq_executor_free(ex);
    }
}

std::string read_all(ZeqSocket *s, char *(*read)(ZeqSocket *)) {
    char *got = MADE(read(s));
    std::string t = got;
    return std::free(got), t;
}

void sockets_program() {
    ZeqSocket *listener = MAYBE(zeq_async_socket_listen(0));
    if (!listener) return;
    auto port = static_cast<int32_t>(zeq_async_socket_port(listener));
    if (ZeqSocket *c = MAYBE(zeq_async_socket_connect("127.0.0.1", port))) {
        ZeqSocket *s = MADE(zeq_async_socket_accept(listener));
        zeq_async_socket_write(c, "ping");
        if (read_all(s, zeq_async_socket_read) != "ping") finding("tcp data");
        zeq_async_socket_close(s), zeq_async_socket_close(c);
    }
    ZeqSocket *u1 = MAYBE(zeq_async_udp_bind(0));
    ZeqSocket *u2 = MAYBE(zeq_async_udp_bind(0));
    if (u1 && u2) {
        auto p2 = static_cast<int32_t>(zeq_async_socket_port(u2));
        for (const char *dgram : {"one", "two"}) {
            CHECKED(zeq_async_udp_sendto(u1, "127.0.0.1", p2, dgram), r == 3, false);
            ZeqUdpPacket *pk = MADE(zeq_async_udp_recvfrom(u2));
            if (std::strcmp(zeq_udp_packet_payload(pk), dgram) != 0) finding("udp datagram");
            zeq_udp_packet_free(pk);
        }
    }
    zeq_async_udp_close(u1), zeq_async_udp_close(u2);
    ZeqSocket *nb = MADE(zeq_nb_socket_connect("127.0.0.1", port));
    while (!nb->connected && nb->fd >= 0) zeq_event_loop_run_once(zeq_get_event_loop(), 100);
    ZeqSocket *s = MADE(zeq_async_socket_accept(listener));
    zeq_async_socket_write(s, "pong");
    if (read_all(nb, zeq_nb_socket_read) != "pong") finding("non-blocking read");
    zeq_async_socket_close(s), zeq_async_socket_close(nb), zeq_async_socket_close(listener);
    zeq_event_loop_destroy(MAYBE(zeq_event_loop_create()));
}

struct Program {
    const char *name;
    void (*run)();
};
const Program kPrograms[] = {{"text", text_program},       {"collections", collections_program},
                             {"files", files_program},     {"threads", threads_program},
                             {"sockets", sockets_program}};

struct Outcome {
    bool ok;
    uint64_t allocations;
    std::string report;
};

// One run in a child: standard input holds two lines for the console
// readers; the allocation count comes back on standard output.
Outcome run(const Program &p, uint64_t fail_at) {
    zeqtest::ChildResult r = zeqtest::run_child([&] {
        signal(SIGPIPE, SIG_DFL);  // the parent ignores it; a program of its own would not
        setenv("ZEQ_ALLOC_TEST", "set", 1);
        g_fail_at = fail_at, g_counting = true;
        p.run();
        g_counting = false;
        std::printf("\nallocations %lu\n", static_cast<unsigned long>(calls())), std::fflush(stdout), _exit(0);
    }, "line one\nabc", 20);
    size_t count = r.out.rfind("\nallocations ");
    bool oom = r.err.find("[zeq] FATAL: out of memory") != std::string::npos;
    std::string report = p.name + (" with allocation " + std::to_string(fail_at)) + " failing: " +
                         (r.exited ? "status " + std::to_string(r.status) : "signal " + std::to_string(r.signal));
    return Outcome{r.exited && ((r.status == 0 && r.err.empty()) || (r.status == 1 && oom)),
                   count == std::string::npos ? 0 : std::strtoull(r.out.c_str() + count + 13, nullptr, 10),
                   report + "\n" + r.err};
}

}  // namespace

int main(int argc, char **argv) {
    int findings = 0;
    for (const Program &p : kPrograms) {
        if (argc > 1 && std::strcmp(argv[1], p.name) != 0) continue;
        Outcome clean = run(p, 0);
        if (!clean.ok || clean.allocations == 0) return std::printf("%s", clean.report.c_str()), 1;
        // Every failure point, or only the one asked for.
        uint64_t from = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1, to = argc > 2 ? from : clean.allocations;
        for (uint64_t n = from; n <= to; ++n)
            if (Outcome o = run(p, n); (!o.ok && ++findings <= 10) || argc > 2) std::printf("%s", o.report.c_str());
        std::printf("%s: %lu allocation-failure points tried\n", p.name, static_cast<unsigned long>(to - from + 1));
    }
    std::printf("%d findings\n", findings);
    return findings == 0 ? 0 : 1;
}
