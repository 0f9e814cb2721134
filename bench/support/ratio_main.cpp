// Benchmark entry shared by every family: runs the registered benchmarks and
// then prints, for each group, the runtime's time as a ratio to every
// anchor's time in the same group (below 1: the runtime is faster), as the
// benchmark report (bench/report.py) does.  Benchmarks are named
// "<group>/<contender>[/args]"; the runtime's contender is called "zeq" (its
// variants "zeq_<how>"), every other contender is an anchor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

bool is_runtime(const std::string &contender) {
    return contender == "zeq" || contender.rfind("zeq_", 0) == 0;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            std::string name = r.benchmark_name();
            auto slash = name.find('/');
            if (slash == std::string::npos) continue;
            std::string group = name.substr(0, slash);
            std::string rest = name.substr(slash + 1);
            auto next = rest.find('/');
            std::string contender = rest.substr(0, next);
            std::string args = next == std::string::npos ? "" : rest.substr(next);
            double ns = r.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(r.time_unit);
            results_[group + args].push_back({contender, ns});
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios (zeq time / anchor time; below 1 means zeq is faster):\n");
        for (const auto &[group, entries] : results_)
            for (const auto &[runtime, runtime_ns] : entries) {
                if (!is_runtime(runtime)) continue;
                for (const auto &[anchor, anchor_ns] : entries) {
                    if (is_runtime(anchor) || anchor_ns <= 0) continue;
                    std::printf("  %-32s %-16s %12.0f ns  %-22s %12.0f ns  ratio %.2f\n", group.c_str(),
                                runtime.c_str(), runtime_ns, anchor.c_str(), anchor_ns, runtime_ns / anchor_ns);
                }
            }
    }

private:
    std::map<std::string, std::vector<std::pair<std::string, double>>> results_;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
