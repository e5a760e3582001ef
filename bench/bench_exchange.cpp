// One exchange of the communication loop, as the host runs it: ComCommunication
// builds (or returns) the request frame, DataCom evaluates the PLC's reply.
#include <benchmark/benchmark.h>

#include "alloc_count.h"
#include "bench_session.h"
#include "statistics.h"

namespace {

// Single station, handshake done, one cyclic read of 64 Data Memory words.
void BM_Exchange_Read64Words(benchmark::State& state) {
    bench::DriverSession session(false, 64);
    QList<VAR_DESC> tags;
    tags.append(bench::varDesc(bench::D_WORD, 1, QStringLiteral("100"), 64));
    if (ReCreatReadVarList(&tags) != 1 || !session.handshake()) {
        state.SkipWithError("driver setup failed");
        return;
    }
    // The host reuses its receive buffer; the reply of every read is the same.
    Protocol* first = ComCommunication();
    if (!first || first->reply_len != 30 + 128) {
        state.SkipWithError("unexpected read frame");
        return;
    }
    QByteArray reply = bench::replyFor(*first, 0x5A);
    if (DataCom(&reply, reply.size())->result != 1) {
        state.SkipWithError("reply refused");
        return;
    }
    const uint64_t allocs_before = bench::threadAllocations();
    int bad = 0;
    for (auto _ : state) {
        Protocol* p = ComCommunication();
        benchmark::DoNotOptimize(p);
        bad += DataCom(&reply, reply.size())->result != 1;
    }
    const uint64_t allocs = bench::threadAllocations() - allocs_before;
    if (bad) state.SkipWithError("a reply was refused");
    state.counters["allocs/exch"] =
        benchmark::Counter(static_cast<double>(allocs), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations());
}
FINS_BENCHMARK(BM_Exchange_Read64Words);

} // namespace
