#include "child.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

// Sanitizer settings for every test binary: allocation failures come back as
// null (the runtime's out-of-memory path is under test), and the arena
// blocks of threads that ended are kept on purpose (their strings may have
// been handed to other threads), so they are not reported as leaks.  That
// the arena does release its blocks (destroy, end of main) is measured with
// live_heap_bytes instead.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char *__lsan_default_suppressions() { return "leak:alloc_new_block\n"; }
extern "C" const char *__lsan_default_options() { return "print_suppressions=0"; }

// Present when a sanitizer's allocator replaces malloc.
extern "C" __attribute__((weak)) size_t __sanitizer_get_current_allocated_bytes();

namespace zeqtest {
namespace {

struct Pipes {
    int in[2], out[2], err[2];
};

void child_setup(Pipes &p, int timeout_s) {
    dup2(p.in[0], 0);
    dup2(p.out[1], 1);
    dup2(p.err[1], 2);
    for (int fd : {p.in[0], p.in[1], p.out[0], p.out[1], p.err[0], p.err[1]}) close(fd);
    alarm(static_cast<unsigned>(timeout_s));
}

// Feeds input, drains both output pipes and reaps the child, killing it
// when the deadline passes.
ChildResult parent_collect(pid_t pid, Pipes &p, const std::string &input, int timeout_s) {
    close(p.in[0]);
    close(p.out[1]);
    close(p.err[1]);
    // Small inputs fit the pipe buffer; larger ones are written as the
    // child reads them.
    fcntl(p.in[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    if (input.empty()) {
        close(p.in[1]);
        p.in[1] = -1;
    }
    ChildResult r;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s + 5);
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        struct pollfd fds[3];
        int n = 0;
        int io = -1, oo = -1, eo = -1;
        if (p.in[1] >= 0) { fds[n] = {p.in[1], POLLOUT, 0}; io = n++; }
        if (out_open) { fds[n] = {p.out[0], POLLIN, 0}; oo = n++; }
        if (err_open) { fds[n] = {p.err[0], POLLIN, 0}; eo = n++; }
        int rc = poll(fds, n, 200);
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        if (rc <= 0) continue;
        if (io >= 0 && (fds[io].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = write(p.in[1], input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            if (w < 0 || written == input.size()) {
                close(p.in[1]);
                p.in[1] = -1;
            }
        }
        if (oo >= 0 && (fds[oo].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t k = read(p.out[0], buf, sizeof buf);
            if (k > 0) r.out.append(buf, static_cast<size_t>(k)); else out_open = false;
        }
        if (eo >= 0 && (fds[eo].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t k = read(p.err[0], buf, sizeof buf);
            if (k > 0) r.err.append(buf, static_cast<size_t>(k)); else err_open = false;
        }
    }
    if (p.in[1] >= 0) close(p.in[1]);
    close(p.out[0]);
    close(p.err[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st)) {
        r.exited = true;
        r.status = WEXITSTATUS(st);
    } else if (WIFSIGNALED(st)) {
        r.signal = WTERMSIG(st);
    }
    return r;
}

void make_pipes(Pipes &p) {
    if (pipe(p.in) || pipe(p.out) || pipe(p.err)) {
        perror("pipe");
        std::abort();
    }
    signal(SIGPIPE, SIG_IGN);
}

// Forks with the standard streams on pipes; the child runs in_child (which
// must not return), the parent feeds input and collects.
ChildResult fork_collect(const std::function<void()> &in_child, const std::string &input,
                         int timeout_s) {
    Pipes p;
    make_pipes(p);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        child_setup(p, timeout_s);
        in_child();
        _exit(127);
    }
    return parent_collect(pid, p, input, timeout_s);
}

}  // namespace

ChildResult run_child(const std::function<void()> &body, const std::string &input, int timeout_s) {
    return fork_collect([&] {
        body();
        std::exit(0);
    }, input, timeout_s);
}

ChildResult run_program(const std::string &path, const std::vector<std::string> &args,
                        const std::vector<std::string> &env, const std::string &input,
                        int timeout_s) {
    return fork_collect([&] {
        for (const auto &e : env) {
            auto eq = e.find('=');
            std::string name = e.substr(0, eq), value = e.substr(eq + 1);
            if (value.empty()) unsetenv(name.c_str()); else setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(path.c_str()));
        for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
    }, input, timeout_s);
}

bool same_function(const void *a, const void *b) {
    asm volatile("" : "+r"(a), "+r"(b));
    return a == b;
}

int64_t live_heap_bytes() {
    if (__sanitizer_get_current_allocated_bytes)
        return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
    struct mallinfo2 m = mallinfo2();
    return static_cast<int64_t>(m.uordblks + m.hblkhd);
}

int64_t address_space_bytes() {
    long long pages = -1;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld", &pages) != 1) pages = -1;
        std::fclose(f);
    }
    return pages * sysconf(_SC_PAGESIZE);
}

void on_fresh_thread(const std::function<void()> &body) {
    std::thread t(body);
    t.join();
}

}  // namespace zeqtest
