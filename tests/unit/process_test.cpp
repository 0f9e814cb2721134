// Shell commands, captured output, environment and working directory.  The
// commands are /bin/sh built-ins and standard utilities that end on their
// own; captured sizes and capacities are checked against a model of the
// doubling read buffer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "child.h"
#include "temp_dir.h"
#include "zeq.h"

using zeqtest::content;
using zeqtest::TempDir;
using zeqtest::view;

namespace {

struct Result {
    ZeqString *s;
    explicit Result(ZeqString *r) : s(r) {}
    ~Result() { zeq_string_free(s); }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;
    ZeqString *operator->() const { return s; }
    std::string text() const { return content(s); }
};

ZeqString *capture(const std::string &command) {
    ZeqString c = view(command);
    return zeq_system_capture(&c);
}

ZeqString *exec(const std::string &command, const ZeqString *args) {
    ZeqString c = view(command);
    return zeq_exec_output(&c, args);
}

// The read buffer's final size: 4,096 doubled while the output and its NUL
// do not fit.
int64_t model_capacity(int64_t n) {
    int64_t size = 4096;
    while (n + 1 > size) size *= 2;
    return size;
}

// n bytes of a repeating pattern, the same text `head -c` cuts from `yes`.
std::string pattern_of(size_t n) {
    std::string s;
    while (s.size() < n) s += "abc\n";
    return s.substr(0, n);
}

const ZeqString kNullData = {nullptr, 0, 0};

}  // namespace

// ---------------------------------------------------------------------------
// system
// ---------------------------------------------------------------------------

TEST(ShellStatus, StatusWordIsUndecoded) {
    struct Case {
        const char *command;
        int64_t status;
    };
    for (const Case &c : {Case{"exit 0", 0}, Case{"exit 1", 256}, Case{"exit 3", 768}, Case{"true", 0},
                          Case{"false", 256}}) {
        std::string cmd = c.command;
        ZeqString s = view(cmd);
        EXPECT_EQ(zeq_system(&s), c.status) << c.command;
    }
    EXPECT_EQ(zeq_system(nullptr), -1);
    EXPECT_EQ(zeq_system(&kNullData), -1);
}

TEST(ShellStatus, CommandRunsToCompletionBeforeReturning) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::string cmd = "printf done > '" + (dir / "mark") + "'";
    ZeqString s = view(cmd);
    EXPECT_EQ(zeq_system(&s), 0);
    EXPECT_EQ(zeq_file_exists_cstr((dir / "mark").c_str()), 1);
}

// ---------------------------------------------------------------------------
// Capture
// ---------------------------------------------------------------------------

TEST(CommandCapture, StandardOutputOnly) {
    Result hello(capture("printf 'hello\\n'"));
    EXPECT_EQ(hello.text(), "hello\n");
    EXPECT_EQ(hello->len, 6);
    Result both(capture("echo out; echo err >&2"));
    EXPECT_EQ(both.text(), "out\n");
    Result nul(capture("printf 'a\\000b'"));
    EXPECT_EQ(nul.text(), std::string("a\0b", 3));
    Result silent(capture("exit 7"));
    EXPECT_EQ(silent->len, 0);
}

TEST(CommandCapture, SizesAndCapacitiesFollowTheDoublingBuffer) {
    for (int64_t n : {0, 1, 4095, 4096, 4097, 5000, 8191, 8192, 100000, 1 << 20}) {
        Result r(capture("yes abc | head -c " + std::to_string(n)));
        EXPECT_EQ(r->len, n);
        EXPECT_EQ(r->cap, model_capacity(n)) << n;
        EXPECT_EQ(r->data[n], '\0');
        EXPECT_EQ(r.text(), pattern_of(static_cast<size_t>(n))) << n;
    }
}

TEST(CommandCapture, ArenaModeCopiesWithCapEqualToLen) {
    zeq_arena_mode(1);
    for (int64_t n : {0, 5000, 70000}) {
        ZeqString *s = capture("yes abc | head -c " + std::to_string(n));
        EXPECT_EQ(s->len, n);
        EXPECT_EQ(s->cap, n);
        EXPECT_EQ(s->data[n], '\0');
        EXPECT_EQ(content(s), pattern_of(static_cast<size_t>(n)));
    }
    zeq_arena_destroy();
}

TEST(CommandCapture, NullCommandsGiveTheEmptyString) {
    Result a(zeq_system_capture(nullptr)), b(system_capture(&kNullData));
    Result c(zeq_exec_output(nullptr, nullptr)), d(exec_output(&kNullData, nullptr));
    EXPECT_EQ(a->len + b->len + c->len + d->len, 0);
}

TEST(CommandCapture, ExecOutputJoinsArgumentsAndStandardError) {
    // A command ending in a backslash escapes the byte that follows it, so
    // the output shows exactly what comes after the command: with empty or
    // null arguments the suffix directly, never a second space.
    std::string empty, args = "a";
    ZeqString e = view(empty), a = view(args);
    Result none(exec("printf '[%s]' x\\", nullptr));
    EXPECT_EQ(none.text(), "[x 2]");
    Result blank(exec("printf '[%s]' x\\", &e));
    EXPECT_EQ(blank.text(), "[x 2]");
    Result one(exec("printf '[%s]' x\\", &a));
    EXPECT_EQ(one.text(), "[x a]");

    std::string sh = "sh", err_args = "-c 'echo out; echo err >&2'";
    ZeqString shv = view(sh), ea = view(err_args);
    Result both(exec_output(&shv, &ea));
    EXPECT_EQ(both.text(), "out\nerr\n");
}

// ---------------------------------------------------------------------------
// Environment and working directory
// ---------------------------------------------------------------------------

TEST(EnvironmentAndCwd, GetenvCopiesTheValue) {
    setenv("ZEQ_SYS_TEST_VALUE", "some value", 1);
    setenv("ZEQ_SYS_TEST_EMPTY", "", 1);
    unsetenv("ZEQ_SYS_TEST_UNSET");
    std::string set = "ZEQ_SYS_TEST_VALUE", empty = "ZEQ_SYS_TEST_EMPTY", unset = "ZEQ_SYS_TEST_UNSET";
    ZeqString s = view(set), e = view(empty), u = view(unset);
    Result value(zeq_getenv(&s));
    EXPECT_EQ(value.text(), "some value");
    EXPECT_EQ(value->cap, value->len);
    EXPECT_NE(value->data, getenv("ZEQ_SYS_TEST_VALUE"));
    Result a(zeq_getenv(&e)), b(zeq_getenv(&u)), c(zeq_getenv(nullptr)), d(zeq_getenv(&kNullData));
    EXPECT_EQ(a->len + b->len + c->len + d->len, 0);
}

TEST(EnvironmentAndCwd, GetcwdIsTheAbsoluteWorkingDirectory) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    // The child changes directory; the test process keeps its own.
    auto r = zeqtest::run_child([&dir] {
        char *real = realpath(dir.path().c_str(), nullptr);
        if (!real || chdir(real) != 0) std::exit(2);
        ZeqString *cwd = zeq_getcwd();
        ZeqString *alias = current_dir();
        std::printf("%d%d", content(cwd) == real, content(alias) == real);
        // A working directory that no longer exists has no path.
        std::string gone = std::string(real) + "/gone";
        if (mkdir(gone.c_str(), 0755) != 0 || chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) std::exit(3);
        std::printf("%ld", static_cast<long>(zeq_getcwd()->len));
        free(real);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.out, "110");
    Result here(zeq_getcwd());
    ASSERT_GT(here->len, 0);
    EXPECT_EQ(here->data[0], '/');
    EXPECT_NE(here->data[here->len - 1], '\n');
}

TEST(CommandNames, ShortNamesAreAliases) {
    auto same = [](auto *a, auto *b) {
        return zeqtest::same_function(reinterpret_cast<void *>(a), reinterpret_cast<void *>(b));
    };
    EXPECT_TRUE(same(&system_capture, &zeq_system_capture));
    EXPECT_TRUE(same(&exec_output, &zeq_exec_output));
    EXPECT_TRUE(same(&current_dir, &zeq_getcwd));
}
