// Benchmark entry shared by every family: runs the registered benchmarks and
// then prints, for each group, every contender's time as a ratio to the zeq
// entry of the same group.  Benchmarks are named "<group>/<contender>[/args]"
// and the runtime's own contender is called "zeq".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

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
        std::printf("\nRatios (contender time / zeq time; above 1 means zeq is faster):\n");
        for (const auto &[group, entries] : results_) {
            double zeq = 0;
            for (const auto &e : entries)
                if (e.first == "zeq") zeq = e.second;
            if (zeq <= 0) continue;
            for (const auto &e : entries) {
                if (e.first == "zeq") continue;
                std::printf("  %-40s zeq %12.0f ns  %-22s %12.0f ns  ratio %.2f\n", group.c_str(),
                            zeq, e.first.c_str(), e.second, e.second / zeq);
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
