// The fastest of a benchmark's repetitions, reported beside mean and median: on a
// machine shared with other work it is the measurement least disturbed by that work.
#ifndef BENCH_STATISTICS_H
#define BENCH_STATISTICS_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double fastest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

} // namespace bench

// Registers a benchmark with the "min" statistic over its repetitions.
#define FINS_BENCHMARK(fn) BENCHMARK(fn)->ComputeStatistics("min", bench::fastest)

#endif
