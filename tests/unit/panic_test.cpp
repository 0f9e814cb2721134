// Assertions and panics, outside a foreign-call region (the process ends with
// one line on standard error) and inside one (control returns to the region's
// start with the message recorded).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "child.h"
#include "zeq.h"

namespace {

ZeqString make(const std::string &s) {
    return ZeqString{const_cast<char *>(s.c_str()), static_cast<int64_t>(s.size()),
                     static_cast<int64_t>(s.size())};
}

void expect_fatal(const std::function<void()> &body, const std::string &err) {
    auto r = zeqtest::run_child([&] {
        std::printf("before");  // buffered: exit must flush it
        body();
        std::printf("not reached");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "before");
    EXPECT_EQ(r.err, err);
}

// Recursion that panics at the bottom, so the region's return crosses many
// frames.
int64_t deep(int64_t n);
int64_t (*volatile descend)(int64_t) = deep;
int64_t deep(int64_t n) {
    if (n == 0) zeq_panic_bounds(n - 1, 0);
    return descend(n - 1) + 1;
}

// Opens a region, runs body in it, closes it; the result of zeq_ffi_begin.
int in_region(const std::function<void()> &body) {
    int rc = zeq_ffi_begin();
    if (rc == 0) body();
    zeq_ffi_end();
    return rc;
}

int64_t twice(int64_t x) { return 2 * x; }
int64_t divide_by_zero(int64_t) { zeq_panic_divzero(); }

}  // namespace

TEST(PanicOutsideRegion, WritesTheExactLineAndExitsWithOne) {
    expect_fatal([] { zeq_assert(0); }, "Assertion failed!\n");
    expect_fatal([] { zeq_panic(nullptr); }, "panic: panic\n");
    expect_fatal([] {
        ZeqString nodata{nullptr, 3, 3};
        zeq_panic(&nodata);
    }, "panic: panic\n");
    expect_fatal([] {
        ZeqString m = make(std::string("stop\0hidden", 11));
        zeq_panic(&m);
    }, "panic: stop\n");
    expect_fatal([] { zeq_panic_bounds(5, 3); }, "panic: array index 5 out of bounds [0, 3)\n");
    expect_fatal([] { zeq_panic_divzero(); }, "panic: division by zero\n");
    const std::string long_text(600, 'm');
    expect_fatal([&] {
        ZeqString m = make(long_text);
        zeq_panic(&m);
    }, "panic: " + long_text + "\n");  // printed whole
}

TEST(PanicOutsideRegion, AssertWithTrueConditionReturns) {
    zeq_assert(5);
    zeq_assert(-1);
}

TEST(PanicInRegion, ReturnsToBeginWithTheMessage) {
    volatile int step = 0;
    if (zeq_ffi_begin() == 0) {
        step = 1;
        zeq_assert(0);
        step = 2;
    }
    zeq_ffi_end();
    EXPECT_EQ(step, 1);
    EXPECT_EQ(zeq_ffi_has_error(), 1);  // kept after end
    EXPECT_STREQ(zeq_ffi_error_message(), "assertion failed");

    // A new region clears the flag and the message.
    EXPECT_EQ(zeq_ffi_begin(), 0);
    EXPECT_EQ(zeq_ffi_has_error(), 0);
    EXPECT_STREQ(zeq_ffi_error_message(), "");
    zeq_ffi_end();
}

TEST(PanicInRegion, RecordsEachKindOfPanic) {
    const std::string long_text(600, 'x');
    struct Case {
        std::function<void()> raise;
        std::string message;
    } cases[] = {
        {[] { zeq_panic_bounds(-1, 0); }, "array index -1 out of bounds [0, 0)"},
        {[] { zeq_panic_divzero(); }, "division by zero"},
        {[] { zeq_panic(nullptr); }, "panic"},
        {[&] {
             ZeqString m = make(long_text);
             zeq_panic(&m);
         },
         std::string(511, 'x')},
        {[] { deep(5000); }, "array index -1 out of bounds [0, 0)"},
    };
    for (auto &c : cases) {
        EXPECT_EQ(in_region(c.raise), 1);
        EXPECT_EQ(zeq_ffi_has_error(), 1);
        EXPECT_EQ(std::string(zeq_ffi_error_message()), c.message);
    }
}

TEST(PanicInRegion, RegionsArePerThread) {
    // Two threads hold regions at once; each catches its own panic.
    auto worker = [](int64_t index, std::string *seen) {
        if (zeq_ffi_begin() == 0) {
            for (int i = 0; i < 1000; ++i) zeq_assert(1);
            zeq_panic_bounds(index, 1);
        }
        zeq_ffi_end();
        *seen = zeq_ffi_error_message();
    };
    std::string a, b;
    std::thread t1(worker, 10, &a), t2(worker, 20, &b);
    t1.join();
    t2.join();
    EXPECT_EQ(a, "array index 10 out of bounds [0, 1)");
    EXPECT_EQ(b, "array index 20 out of bounds [0, 1)");
    // A thread without a region of its own ends the process, whatever this
    // thread holds.
    auto r = zeqtest::run_child([] {
        if (zeq_ffi_begin() == 0) std::thread([] { zeq_panic_divzero(); }).join();
        zeq_ffi_end();
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "panic: division by zero\n");
}

TEST(PanicInRegion, ArenaLimitStillEndsTheProcess) {
    auto r = zeqtest::run_child([] {
        zeqtest::on_fresh_thread([] {
            setenv("ZEQ_ARENA_MAX_SIZE", "1M", 1);
            zeq_arena_mode(1);
            static const std::string two_mib(2 << 20, 'x');
            in_region([] { zeq_string_new(two_mib.data(), 2 << 20); });
        });
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("arena memory limit exceeded (0 MB / 1 MB max)"), std::string::npos);
}

TEST(FfiCall, ReturnsResultsAndCatchesPanics) {
    int64_t result = 0;
    EXPECT_EQ(zeq_ffi_call(twice, 21, &result), 0);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(zeq_ffi_call(divide_by_zero, 1, &result), 1);
    EXPECT_STREQ(zeq_ffi_error_message(), "division by zero");
    EXPECT_EQ(zeq_ffi_call(nullptr, 1, nullptr), 1);
    EXPECT_EQ(zeq_ffi_call(twice, 1, nullptr), 0);
}

TEST(FfiCall, PutsAnOuterRegionBack) {
    volatile int inner_rc = -1;
    if (zeq_ffi_begin() == 0) {
        inner_rc = zeq_ffi_call(divide_by_zero, 0, nullptr);
        zeq_assert(0);  // caught by the outer region, not the finished call
    }
    zeq_ffi_end();
    EXPECT_EQ(inner_rc, 1);
    EXPECT_STREQ(zeq_ffi_error_message(), "assertion failed");
}

TEST(FfiCall, KeepsProtectingAfterTheCalledCodeEndsARegionOfItsOwn) {
    // Called code that opens and closes a region and then panics: the call
    // catches the panic (in a child: without the call's region the process
    // would end).
    auto r = zeqtest::run_child([] {
        auto inner = [](int64_t) -> int64_t {
            if (zeq_ffi_begin() == 0) zeq_assert(1);
            zeq_ffi_end();
            zeq_panic_divzero();
        };
        int64_t result = 7;
        int32_t rc = zeq_ffi_call(inner, 1, &result);
        std::printf("%d %ld %s\n", rc, static_cast<long>(result), zeq_ffi_error_message());
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 7 division by zero\n");
}

TEST(FfiCall, HostLanguageExample) {
    if (ZEQ_TEST_SANITIZED) GTEST_SKIP() << "the interpreter is not built with sanitizers";
    if (std::system("python3 -c 'import ctypes' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    auto r = zeqtest::run_program("/bin/sh", {"-c", std::string("exec python3 ") + ZEQ_TEST_SOURCE_DIR +
                                                        "/examples/host.py " + ZEQ_TEST_LIBRARY + " " +
                                                        ZEQ_TEST_MODULE});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ok 25\ncaught division by zero\nwords 3\n");
}

// ZEQ_BACKTRACE=1: every fatal path adds the failing thread's stack after its
// usual line, innermost frame first and without the runtime's fatal-error
// frames; without the variable the output stays the line alone, and a panic
// caught by a foreign-call region prints nothing.
TEST(PanicBacktrace, FollowsEveryFatalLineWhenAskedFor) {
    const std::string program = std::string(ZEQ_TEST_PROGRAM_DIR) + "/backtrace_program";
    struct Case {
        const char *kind;
        std::string line;
        bool inner_first;  // the failing function is frame #0
    } cases[] = {
        {"panic", "panic: three calls deep\n", true},
        {"assert", "Assertion failed!\n", true},
        {"bounds", "panic: array index 7 out of bounds [0, 1)\n", false},  // #0 zeq_array_get_safe
        {"divzero", "panic: division by zero\n", true},
        {"oom", "[zeq] FATAL: out of memory (18446744073709551615 bytes requested)\n", false},
        {"limit",
         "[zeq] FATAL: arena memory limit exceeded (8 MB / 1 MB max)\n"
         "[zeq] Set ZEQ_ARENA_MAX_SIZE environment variable to increase (e.g. 8G)\n",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        auto plain = zeqtest::run_program(program, {c.kind}, {"ZEQ_ARENA_MAX_SIZE=1M", "ZEQ_BACKTRACE="});
        EXPECT_EQ(plain.status, 1);
        EXPECT_EQ(plain.err, c.line);

        auto traced = zeqtest::run_program(program, {c.kind}, {"ZEQ_ARENA_MAX_SIZE=1M", "ZEQ_BACKTRACE=1"});
        EXPECT_EQ(traced.status, 1);
        ASSERT_EQ(traced.err.rfind(c.line, 0), 0u) << traced.err;
        std::string trace = traced.err.substr(c.line.size());
        EXPECT_EQ(trace.rfind("  #0 ", 0), 0u) << trace;
        if (c.inner_first) {
            EXPECT_EQ(trace.rfind("  #0 trace_inner+0x", 0), 0u) << trace;
        }
        // Dynamic symbols and the symbol table (the static trace_middle), in order.
        size_t inner = trace.find(" trace_inner+0x");
        size_t middle = trace.find(" trace_middle+0x");
        size_t outer = trace.find(" trace_outer+0x");
        EXPECT_NE(inner, std::string::npos) << trace;
        EXPECT_LT(inner, middle) << trace;
        EXPECT_LT(middle, outer) << trace;
        EXPECT_NE(outer, std::string::npos) << trace;
        EXPECT_EQ(trace.find("write_backtrace"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("panic_with"), std::string::npos) << trace;
    }
    auto caught = zeqtest::run_program(program, {"caught"}, {"ZEQ_BACKTRACE=1"});
    EXPECT_EQ(caught.status, 0);
    EXPECT_EQ(caught.out, "caught: three calls deep\n");
    EXPECT_EQ(caught.err, "");
}
