// Runs the benchmarks, prints Google Benchmark's table, then checks the measured
// costs against the driver's performance targets in a second, short table.
// In-process costs are CPU time of the benchmark thread; loopback costs wall time.
// Options: those of Google Benchmark, plus --enforce-targets (exit 1 when one fails)
// and --smoke (a run too short to judge: no target table).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Measured {
    double ns_per_iteration = 0;
    std::map<std::string, double> counters;
};

// Console table as usual, and every run kept for the target checks.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    explicit RecordingReporter(bool color)
        : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                failed.push_back(run.benchmark_name() + ": " + run.error_message);
                continue;
            }
            // With repetitions the fastest one stands for the benchmark (the "min"
            // statistic is reported after the single runs and replaces them).
            const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            if (run.iterations == 0 || (run.run_type != Run::RT_Iteration && !fastest)) continue;
            const std::string name = run.run_name.str();
            // In-process benchmarks are judged by CPU time, which other load on the
            // machine does not inflate; loopback ones by wall time, as the panel sees it.
            const bool wall = name.find("/real_time") != std::string::npos;
            Measured m;
            m.ns_per_iteration = (wall ? run.real_accumulated_time : run.cpu_accumulated_time) *
                                 1e9 / static_cast<double>(run.iterations);
            for (const auto& c : run.counters)
                m.counters[c.first] = c.second.value;
            results[name] = m;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Measured> results;
    std::vector<std::string> failed; // benchmarks that stopped with an error
};

class TargetTable {
  public:
    explicit TargetTable(const std::map<std::string, Measured>& results) : results_(results) {}

    const Measured* find(const std::string& name) const {
        auto it = results_.find(name);
        return it == results_.end() ? nullptr : &it->second;
    }

    void row(const char* what, bool measured, double value, const char* unit, const char* target,
             bool pass) {
        if (!measured) {
            std::printf("  %-52s %12s %-6s %-22s %s\n", what, "-", "", target, "not run");
            return;
        }
        std::printf("  %-52s %12.2f %-6s %-22s %s\n", what, value, unit, target,
                    pass ? "PASS" : "FAIL");
        failed_ |= !pass;
    }

    bool failed() const { return failed_; }

  private:
    const std::map<std::string, Measured>& results_;
    bool failed_ = false;
};

double counter(const Measured* m, const char* name) {
    if (!m) return 0;
    auto it = m->counters.find(name);
    return it == m->counters.end() ? 0 : it->second;
}

bool checkTargets(const std::map<std::string, Measured>& results) {
    TargetTable t(results);
    std::printf("\nPerformance targets\n");
    std::printf("  %-52s %12s %-6s %-22s %s\n", "measure", "value", "unit", "target", "verdict");

    const Measured* exch = t.find("BM_Exchange_Read64Words");
    t.row("one exchange (64-word read), driver time", exch, exch ? exch->ns_per_iteration : 0, "ns",
          "< 2000 ns", exch && exch->ns_per_iteration < 2000);
    // The interface needs the frame's bytes and the Protocol record that holds them.
    const double allocs = counter(exch, "allocs/exch");
    t.row("heap allocations per exchange", exch, allocs, "", "<= 2 (frame, Protocol)",
          allocs <= 2.0 + 1e-9);

    const Measured* m100 = t.find("BM_ScreenRead_Multi_100Words/100");
    const Measured* m100k = t.find("BM_ScreenRead_Multi_100Words/100000");
    const double ratio_read = m100 && m100k ? m100k->ns_per_iteration / m100->ns_per_iteration : 0;
    t.row("multi-station read, 100,000 vs 100 entries", m100 && m100k, ratio_read, "x", "<= 3 x",
          ratio_read <= 3.0);

    const char* rebuilds[] = {"BM_Rebuild_Single", "BM_Rebuild_Multi_OneGroup",
                              "BM_Rebuild_Multi_ManyStations", "BM_Rebuild_Multi_StationPanels"};
    for (const char* name : rebuilds) {
        const Measured* big = t.find(std::string(name) + "/100000");
        const Measured* mid = t.find(std::string(name) + "/10000");
        const std::string what_time = std::string(name + 3) + ", 100,000 variables";
        t.row(what_time.c_str(), big, big ? big->ns_per_iteration / 1e6 : 0, "ms", "< 1000 ms",
              big && big->ns_per_iteration < 1e9);
        const double ratio = big && mid ? big->ns_per_iteration / mid->ns_per_iteration : 0;
        const std::string what_ratio = std::string(name + 3) + ", 100,000 vs 10,000";
        t.row(what_ratio.c_str(), big && mid, ratio, "x", "<= 15 x", ratio <= 15.0);
    }

    const Measured* loop = t.find("BM_Loopback_Exchange_Read64Words/real_time");
    // The driver's own time inside the loop; its share of the wall time is set by the socket.
    const double in_loop = counter(loop, "drv_ns/exch");
    t.row("loopback exchange, driver time per exchange", loop, in_loop, "ns", "< 2000 ns",
          in_loop < 2000.0);
    return !t.failed();
}

} // namespace

int main(int argc, char** argv) {
    bool enforce = false;
    bool smoke = false;
    bool color = isatty(STDOUT_FILENO) != 0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--enforce-targets") == 0) {
            enforce = true;
            continue;
        }
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
            continue;
        }
        if (std::strcmp(argv[i], "--benchmark_color=false") == 0) color = false;
        args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RecordingReporter reporter(color);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const std::string& f : reporter.failed)
        std::printf("benchmark failed: %s\n", f.c_str());
    if (!reporter.failed.empty()) return 1;
    if (smoke) {
        std::printf("\nsmoke run: %zu benchmarks ran; timings too short to judge the targets\n",
                    reporter.results.size());
        return reporter.results.empty() ? 1 : 0;
    }
    const bool met = checkTargets(reporter.results);
    return enforce && !met ? 1 : 0;
}
