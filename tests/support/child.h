// Running code in a child process: process-ending behaviour (panics, exit
// statuses, fatal limits) and console I/O are observed from the outside.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <string>
#include <vector>

namespace zeqtest {

struct ChildResult {
    bool exited = false;      // ended through exit / return
    int status = -1;          // exit status when exited
    int signal = 0;           // terminating signal otherwise
    std::string out;          // everything written to standard output
    std::string err;          // everything written to standard error
};

// Forks; the child gets `input` on standard input, runs `body` and then
// exits with status 0 (flushing stdio).  Standard output and error are
// captured.  The child is killed after `timeout_s` seconds.
ChildResult run_child(const std::function<void()> &body, const std::string &input = "",
                      int timeout_s = 20);

// Runs an executable with arguments and extra environment entries
// ("NAME=value"; "NAME=" with nothing after removes NAME).
ChildResult run_program(const std::string &path, const std::vector<std::string> &args,
                        const std::vector<std::string> &env = {}, const std::string &input = "",
                        int timeout_s = 20);

// Whether two functions are one symbol (an alias): compared at run time,
// since a compiler may assume distinct functions have distinct addresses.
bool same_function(const void *a, const void *b);

// Bytes the process holds from malloc right now (the sanitizer's count when
// one replaces the allocator).
int64_t live_heap_bytes();

// Bytes of address space the process has mapped right now (thread stacks
// that nobody released show here).
int64_t address_space_bytes();

// Runs `body` on a fresh thread and waits for it: a new thread starts with
// empty per-thread runtime state (arena chain, limit, foreign-call region).
void on_fresh_thread(const std::function<void()> &body);

// Waits (at most ten seconds, polling) until pred holds; false on time-out.
template <class Pred>
bool eventually(Pred pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace zeqtest
