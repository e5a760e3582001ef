// Screen reads (GetRegisterData) and writes (SetRegisterData) as the host's screen
// threads call them, against the local image or the extended variables.
#include <benchmark/benchmark.h>

#include "alloc_count.h"
#include "bench_session.h"
#include "statistics.h"

namespace {

void countAllocations(benchmark::State& state, uint64_t since) {
    state.counters["allocs/call"] =
        benchmark::Counter(static_cast<double>(bench::threadAllocations() - since),
                           benchmark::Counter::kAvgIterations);
}

void screenRead(benchmark::State& state, int reg_type, QString text, int count) {
    QString name = QStringLiteral("tag");
    QByteArray buffer;
    buffer.reserve(2 * count);
    int bad = 0;
    const uint64_t since = bench::threadAllocations();
    for (auto _ : state) {
        bad += GetRegisterData(&name, reg_type, &text, 1, &buffer, count) != 1;
        benchmark::DoNotOptimize(buffer.constData());
    }
    countAllocations(state, since);
    if (bad) state.SkipWithError("GetRegisterData refused the read");
}

// Single station: 100 Data Memory words from the local image.
void BM_ScreenRead_Single_100Words(benchmark::State& state) {
    bench::DriverSession session(false, 64);
    screenRead(state, bench::D_WORD, QStringLiteral("100"), 100);
}
FINS_BENCHMARK(BM_ScreenRead_Single_100Words);

// Single station: 100 CIO bits from the local image.
void BM_ScreenRead_Single_100Bits(benchmark::State& state) {
    bench::DriverSession session(false, 64);
    screenRead(state, bench::CIO_BIT, QStringLiteral("100.00"), 100);
}
FINS_BENCHMARK(BM_ScreenRead_Single_100Bits);

// Fills the extended-variable list to `entries` entries: the 100 words the screen
// reads (station 1, D100..D199) first, the rest spread over other stations.
bool fillExtendedVariables(int entries) {
    QString name = QStringLiteral("tag");
    QString first = QStringLiteral("100");
    QByteArray buffer;
    if (GetRegisterData(&name, bench::D_WORD, &first, 1, &buffer, 100) != 1) return false;
    const int per_read = 100;
    for (int made = 100, i = 0; made < entries; ++i) {
        const int count = entries - made < per_read ? entries - made : per_read;
        const int station = 2 + i / 300; // 300 reads of 100 words per station
        QString text = QString::number((i % 300) * per_read);
        if (GetRegisterData(&name, bench::D_WORD, &text, station, &buffer, count) != 1)
            return false;
        made += count;
    }
    return PLC_driver.extend_list.size() == entries;
}

// Multi-station: 100 Data Memory words of station 1 with range(0) entries in the list.
void BM_ScreenRead_Multi_100Words(benchmark::State& state) {
    bench::DriverSession session(true, 64);
    const int entries = static_cast<int>(state.range(0));
    if (!fillExtendedVariables(entries)) {
        state.SkipWithError("filling the extended variables failed");
        return;
    }
    screenRead(state, bench::D_WORD, QStringLiteral("100"), 100);
    state.counters["entries"] = entries;
}
FINS_BENCHMARK(BM_ScreenRead_Multi_100Words)->Arg(100)->Arg(10000)->Arg(100000);

// run_mode 2: 1,000 Data Memory words written, split into pieces of max_block 64.
void BM_ScreenWrite_1000Words(benchmark::State& state) {
    bench::DriverSession session(false, 64);
    QString name = QStringLiteral("setpoints");
    QString text = QStringLiteral("2000");
    QByteArray values(2000, '\x11');
    int pieces = 0;
    uint64_t allocs = 0;
    for (auto _ : state) {
        const uint64_t since = bench::threadAllocations();
        pieces = SetRegisterData(&name, bench::D_WORD, &text, 1, &values, 1000, 3, 7);
        allocs += bench::threadAllocations() - since;
        state.PauseTiming();
        PLC_driver.write_list.clear(); // the queue starts empty for every call
        state.ResumeTiming();
    }
    if (pieces != 16) state.SkipWithError("expected 16 queued pieces");
    state.counters["pieces"] = pieces;
    state.counters["allocs/call"] =
        benchmark::Counter(static_cast<double>(allocs), benchmark::Counter::kAvgIterations);
}
FINS_BENCHMARK(BM_ScreenWrite_1000Words);

} // namespace
