// Runs every libFuzzer harness (tests/fuzz/<name>_fuzz.cpp, built with
// clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer by the
// clang build) for a bounded time from its seed corpus: any finding - a
// sanitizer report, or a result that differs from the harness's reference -
// fails the test.  Skipped in builds without the harnesses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "system_support.h"

namespace {

// "name=path" entries, '|'-separated.
std::vector<std::string> harness_entries() {
    std::vector<std::string> out;
    std::stringstream list(ZEQ_TEST_FUZZERS);
    for (std::string entry; std::getline(list, entry, '|');)
        if (!entry.empty()) out.push_back(entry);
    return out;
}

class FuzzHarness : public testing::TestWithParam<std::string> {};

TEST_P(FuzzHarness, RunsWithoutFindings) {
    const std::string entry = GetParam();
    const std::string name = entry.substr(0, entry.find('=')), path = entry.substr(entry.find('=') + 1);
    zeqtest::TempDir found;  // new inputs go here; the seed corpus stays as it is
    ASSERT_TRUE(found.ok());
    auto run = zeqtest::run_program(path, {"-max_total_time=10", "-seed=1", "-max_len=1024", "-timeout=10",
                                           "-print_final_stats=0", "-rss_limit_mb=1024", found.path(),
                                           std::string(ZEQ_TEST_FUZZ_CORPUS) + "/" + name},
                                    {}, "", 60);
    EXPECT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() > 4000 ? run.err.size() - 4000 : 0);
}

INSTANTIATE_TEST_SUITE_P(Harness, FuzzHarness, testing::ValuesIn(harness_entries()),
                         [](const testing::TestParamInfo<std::string> &info) {
                             return info.param.substr(0, info.param.find('='));
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzHarness);

}  // namespace
