// Counts heap allocations made by the calling thread, Qt's included: malloc,
// calloc and realloc of the benchmark program are routed through counters.
#ifndef BENCH_ALLOC_COUNT_H
#define BENCH_ALLOC_COUNT_H

#include <cstdint>

namespace bench {

// Allocations (malloc, calloc, realloc) made by this thread since it started.
uint64_t threadAllocations();

} // namespace bench

#endif
