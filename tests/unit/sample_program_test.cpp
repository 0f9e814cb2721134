// The sample program delivered with the library, run as the zeq-sample
// executable through the library's main.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child.h"
#include "zeq.h"

namespace {

void expect_twelve_lines(const zeqtest::ChildResult &r) {
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "6\n-1\n1\n3\n1\n1\n1\n1\n0\n2\n2\n4\n");
    EXPECT_EQ(r.err, "");
}

TEST(SampleProgram, PrintsTheTwelveLines) {
    expect_twelve_lines(zeqtest::run_program(ZEQ_TEST_SAMPLE, {}, {"ZEQ_ARENA_MAX_SIZE="}));
}

TEST(SampleProgram, IgnoresArgumentsAndInput) {
    expect_twelve_lines(
        zeqtest::run_program(ZEQ_TEST_SAMPLE, {"a", "--help", "", "42"}, {}, "input\n"));
    expect_twelve_lines(zeqtest::run_program(ZEQ_TEST_SAMPLE, std::vector<std::string>(200, "x")));
}

TEST(SampleProgram, NeedsNoArenaMemory) {
    // Only its failure tables are dynamic, and they are vectors: even a
    // one-byte arena limit holds.
    for (const char *limit :
         {"ZEQ_ARENA_MAX_SIZE=1", "ZEQ_ARENA_MAX_SIZE=8G", "ZEQ_ARENA_MAX_SIZE=junk"}) {
        SCOPED_TRACE(limit);
        expect_twelve_lines(zeqtest::run_program(ZEQ_TEST_SAMPLE, {}, {limit}));
    }
}

}  // namespace
