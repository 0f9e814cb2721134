// Shell commands, captured output, environment and working directory.  The
// commands are /bin/sh built-ins and standard utilities that end on their
// own; captures are checked against a model of the doubling read buffer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "child.h"
#include "system_support.h"
#include "zeq.h"

using zeqtest::Result;
using zeqtest::view;

namespace {

ZeqString *capture(const std::string &command) {
    ZeqString c = view(command);
    return zeq_system_capture(&c);
}

// n bytes of the text `yes abc | head -c n` writes.
std::string yes_abc(size_t n) {
    std::string s;
    while (s.size() < n) s += "abc\n";
    return s.substr(0, n);
}

const ZeqString kNullData = {nullptr, 0, 0};

}  // namespace

TEST(ShellStatus, StatusWordIsUndecoded) {
    struct Case { std::string command; int64_t status; };
    for (const Case &c : {Case{"exit 0", 0}, Case{"exit 1", 256}, Case{"exit 3", 768}, Case{"false", 256}}) {
        ZeqString s = view(c.command);
        EXPECT_EQ(zeq_system(&s), c.status) << c.command;
    }
    EXPECT_EQ(zeq_system(nullptr) + zeq_system(&kNullData), -2);
}

TEST(CommandCapture, StandardOutputOnlyWithEveryByte) {
    EXPECT_EQ(Result(capture("printf 'hello\\n'")).text(), "hello\n");
    EXPECT_EQ(Result(capture("echo out; echo err >&2")).text(), "out\n");
    EXPECT_EQ(Result(capture("printf 'a\\000b'")).text(), std::string("a\0b", 3));
    Result a(zeq_system_capture(nullptr)), b(system_capture(&kNullData));
    Result c(zeq_exec_output(nullptr, nullptr)), d(exec_output(&kNullData, nullptr));
    EXPECT_EQ(a->len + b->len + c->len + d->len, 0);
}

TEST(CommandCapture, CapacityFollowsTheDoublingBuffer) {
    for (int64_t n : {0, 4095, 4096, 5000, 8191, 8192, 1 << 20}) {
        int64_t model = 4096;  // doubled while the output and its NUL do not fit
        while (n + 1 > model) model *= 2;
        for (int arena : {0, 1}) {
            zeq_arena_mode(arena);
            ZeqString *s = capture("yes abc | head -c " + std::to_string(n));
            EXPECT_EQ(zeqtest::content(s), yes_abc(static_cast<size_t>(n))) << n;
            EXPECT_EQ(s->data[n], '\0');
            EXPECT_EQ(s->cap, arena ? n : model) << n << " arena " << arena;
            if (!arena) zeq_string_free(s);
        }
        zeq_arena_destroy();
    }
}

TEST(CommandCapture, ExecOutputAppendsArgumentsAndStandardError) {
    // A command ending in a backslash escapes the byte that follows it, so
    // the output shows what comes right after the command: one space before
    // arguments, none at all for null or empty arguments.
    std::string cmd = "printf '[%s]' x\\", empty, arg = "a", sh = "sh", both = "-c 'echo out; echo err >&2'";
    ZeqString c = view(cmd), e = view(empty), a = view(arg), s = view(sh), b = view(both);
    EXPECT_EQ(Result(zeq_exec_output(&c, nullptr)).text(), "[x 2]");
    EXPECT_EQ(Result(zeq_exec_output(&c, &e)).text(), "[x 2]");
    EXPECT_EQ(Result(exec_output(&c, &a)).text(), "[x a]");
    EXPECT_EQ(Result(zeq_exec_output(&s, &b)).text(), "out\nerr\n");
}

TEST(EnvironmentAndCwd, GetenvCopiesTheValue) {
    setenv("ZEQ_SYS_TEST_VALUE", "some value", 1);
    setenv("ZEQ_SYS_TEST_EMPTY", "", 1);
    unsetenv("ZEQ_SYS_TEST_UNSET");
    std::string set = "ZEQ_SYS_TEST_VALUE", empty = "ZEQ_SYS_TEST_EMPTY", unset = "ZEQ_SYS_TEST_UNSET";
    ZeqString s = view(set), e = view(empty), u = view(unset);
    Result value(zeq_getenv(&s));
    EXPECT_EQ(value.text(), "some value");
    EXPECT_NE(value->data, getenv("ZEQ_SYS_TEST_VALUE"));
    Result a(zeq_getenv(&e)), b(zeq_getenv(&u)), c(zeq_getenv(nullptr)), d(zeq_getenv(&kNullData));
    EXPECT_EQ(a->len + b->len + c->len + d->len, 0);
}

TEST(EnvironmentAndCwd, GetcwdIsTheAbsoluteWorkingDirectory) {
    zeqtest::TempDir dir;
    ASSERT_TRUE(dir.ok());
    auto r = zeqtest::run_child([&dir] {  // the child changes directory, not the test
        char *real = realpath(dir.path().c_str(), nullptr);
        if (!real || chdir(real) != 0) std::exit(2);
        std::printf("%d%d", zeqtest::content(zeq_getcwd()) == real, zeqtest::content(current_dir()) == real);
        std::string gone = std::string(real) + "/gone";  // a directory that no longer exists has no path
        if (mkdir(gone.c_str(), 0755) != 0 || chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) std::exit(3);
        std::printf("%ld", static_cast<long>(zeq_getcwd()->len));
        free(real);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.out, "110");
}

TEST(CommandNames, ShortNamesAreAliases) {
    EXPECT_TRUE(zeqtest::same_function((void *)system_capture, (void *)zeq_system_capture));
    EXPECT_TRUE(zeqtest::same_function((void *)exec_output, (void *)zeq_exec_output));
    EXPECT_TRUE(zeqtest::same_function((void *)current_dir, (void *)zeq_getcwd));
}
