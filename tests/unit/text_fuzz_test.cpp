// Runs the text-services fuzzing harness (tests/fuzz/text_fuzz.cpp, built
// with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer by
// the clang build) for a bounded time: any finding fails the test.  Skipped
// in builds without the harness.
#include <gtest/gtest.h>

#include <string>

#include "child.h"

namespace {

TEST(TextFuzz, HarnessRunsWithoutFindings) {
    const std::string fuzzer = ZEQ_TEST_FUZZER;
    if (fuzzer.empty()) GTEST_SKIP() << "the harness is built by the clang build only";
    auto run = zeqtest::run_program(fuzzer, {"-max_total_time=10", "-seed=1", "-max_len=512",
                                             "-print_final_stats=0", "-rss_limit_mb=1024"},
                                    {}, "", 60);
    EXPECT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() > 4000 ? run.err.size() - 4000 : 0);
}

}  // namespace
