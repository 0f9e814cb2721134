// Builds the text-services fuzzing harness (tests/fuzz/text_fuzz.cpp) with
// clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and
// runs it for a bounded time: any finding fails the test.  Skipped when
// clang++ is not installed, and in sanitizer builds (the harness brings its
// own sanitizers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "child.h"

namespace {

TEST(TextFuzz, HarnessRunsWithoutFindings) {
    if (ZEQ_TEST_SANITIZED) GTEST_SKIP() << "sanitizer build";
    if (std::system("command -v clang++ >/dev/null 2>&1") != 0) GTEST_SKIP() << "clang++ not installed";
    const std::string src = ZEQ_TEST_SOURCE_DIR;
    const std::string out = std::string(ZEQ_TEST_PROGRAM_DIR) + "/text_fuzz";
    const std::string build =
        "cd '" + src + "' && clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined "
        "-fno-sanitize-recover=undefined -fno-exceptions -fno-rtti -Iinclude -Iruntime "
        "tests/fuzz/text_fuzz.cpp $(ls runtime/core/*.cpp | grep -v /entry.cpp) runtime/core/*.S "
        "runtime/strings/*.cpp runtime/collections/vector.cpp -lpthread -o '" + out + "'";
    auto built = zeqtest::run_program("/bin/sh", {"-c", build}, {}, "", 100);
    ASSERT_TRUE(built.exited && built.status == 0) << built.err;
    auto run = zeqtest::run_program(out, {"-max_total_time=10", "-seed=1", "-max_len=512",
                                          "-print_final_stats=0", "-rss_limit_mb=1024"},
                                    {}, "", 60);
    EXPECT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() > 4000 ? run.err.size() - 4000 : 0);
}

}  // namespace
