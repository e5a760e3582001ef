// ReCreatReadVarList: the host's variables turned into block reads, for screens of
// 1,000 to 100,000 variables.
#include <benchmark/benchmark.h>

#include "bench_session.h"
#include "statistics.h"

namespace {

void rebuild(benchmark::State& state, bool multi_station, QList<VAR_DESC> tags) {
    bench::DriverSession session(multi_station, 64);
    int blocks = 0;
    for (auto _ : state) {
        blocks = ReCreatReadVarList(&tags);
        benchmark::DoNotOptimize(blocks);
    }
    if (blocks <= 0) state.SkipWithError("the rebuild made no block");
    state.counters["vars"] = static_cast<double>(tags.size());
    state.counters["blocks"] = blocks;
}

// Single station: D words, CIO bits, W words, timer values and flags.
void BM_Rebuild_Single(benchmark::State& state) {
    rebuild(state, false, bench::panelTags(static_cast<int>(state.range(0)), 1, 11));
}
FINS_BENCHMARK(BM_Rebuild_Single)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// Multi-station, one big group: every variable a D word of station 1.
void BM_Rebuild_Multi_OneGroup(benchmark::State& state) {
    rebuild(state, true, bench::scatteredWords(static_cast<int>(state.range(0)), 1, 12));
}
FINS_BENCHMARK(BM_Rebuild_Multi_OneGroup)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// Multi-station, 250 stations with CIO and D words each at random addresses (500 groups):
// the worst case, where almost every variable opens a block of its own.
void BM_Rebuild_Multi_ManyStations(benchmark::State& state) {
    rebuild(state, true, bench::manyStations(static_cast<int>(state.range(0)), 13));
}
FINS_BENCHMARK(BM_Rebuild_Multi_ManyStations)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// Multi-station, 100 stations with a panel's clustered tags each (a realistic plant).
void BM_Rebuild_Multi_StationPanels(benchmark::State& state) {
    rebuild(state, true, bench::stationPanels(static_cast<int>(state.range(0)), 14));
}
FINS_BENCHMARK(BM_Rebuild_Multi_StationPanels)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

} // namespace
