// Runs every libFuzzer harness (tests/fuzz/<name>_fuzz.cpp, built with
// clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer by the
// clang build) for a bounded time from its seed corpus: any finding - a
// sanitizer report, or a result that differs from the harness's reference -
// fails the test.  Skipped in builds without the harnesses.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "system_support.h"

namespace {

// The harnesses by name: "name=path" entries, '|'-separated.
std::map<std::string, std::string> harnesses() {
    std::map<std::string, std::string> out;
    std::stringstream list(ZEQ_TEST_FUZZERS);
    for (std::string entry; std::getline(list, entry, '|');)
        if (size_t eq = entry.find('='); eq != std::string::npos) out[entry.substr(0, eq)] = entry.substr(eq + 1);
    return out;
}

std::vector<std::string> harness_names() {
    std::vector<std::string> names;
    for (auto &[name, path] : harnesses()) names.push_back(name);
    return names;
}

class FuzzHarness : public testing::TestWithParam<std::string> {};

TEST_P(FuzzHarness, RunsWithoutFindings) {
    const std::string name = GetParam();
    zeqtest::TempDir found;  // new inputs go here; the seed corpus stays as it is
    ASSERT_TRUE(found.ok());
    auto run = zeqtest::run_program(harnesses().at(name),
                                    {"-max_total_time=10", "-seed=1", "-max_len=1024", "-timeout=10",
                                     "-print_final_stats=0", "-rss_limit_mb=1024", found.path(),
                                     std::string(ZEQ_TEST_FUZZ_CORPUS) + "/" + name},
                                    {}, "", 60);
    EXPECT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() > 4000 ? run.err.size() - 4000 : 0);
}

INSTANTIATE_TEST_SUITE_P(Harness, FuzzHarness, testing::ValuesIn(harness_names()),
                         [](const testing::TestParamInfo<std::string> &info) { return info.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzHarness);

}  // namespace
