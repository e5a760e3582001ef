// End to end over loopback: the driver, the host's own connection code, and the PLC
// simulator serving in a thread of its own (in-process, any free port).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench_session.h"
#include "plc_connection.h"
#include "plcsim/sim_server.h"
#include "statistics.h"

namespace {

using Clock = fhost::Clock;

const std::chrono::milliseconds kTimeout(2000);

plcsim::SimConfig simConfig() {
    plcsim::SimConfig config;
    config.bind = "127.0.0.1";
    config.port = 0;
    return config;
}

// Simulator plus one host connection to it.
class LoopbackRig {
  public:
    LoopbackRig() : server_(simConfig()) {
        std::string error;
        if (!server_.start(&error)) return;
        server_.runInBackground();
        client_.reset(new fhost::PlcConnection(fhost::Endpoint{"127.0.0.1", server_.port()}));
        ok_ = client_->open(Clock::now() + kTimeout, &error);
    }
    ~LoopbackRig() { server_.stop(); }

    bool ok() const { return ok_; }
    plcsim::PlcMemory& memory() { return server_.memory(); }

    // One turn of the host loop; the time spent inside the driver is added to
    // driver_ns. Returns DataCom's result code, or -1 when there was nothing to send or
    // the connection failed.
    int exchange(int64_t& driver_ns) {
        const Clock::time_point t0 = Clock::now();
        Protocol* p = ComCommunication();
        const Clock::time_point t1 = Clock::now();
        if (!p) return -1;
        std::string error;
        const Clock::time_point deadline = t1 + kTimeout;
        if (!client_->sendAll(p->frame.left(p->send_len), deadline, &error) ||
            client_->readFinsReply(deadline, &reply_) != fhost::ReadStatus::Complete)
            return -1;
        const Clock::time_point t2 = Clock::now();
        const int result = DataCom(&reply_, reply_.size())->result;
        const Clock::time_point t3 = Clock::now();
        driver_ns +=
            std::chrono::duration_cast<std::chrono::nanoseconds>((t1 - t0) + (t3 - t2)).count();
        return result;
    }

  private:
    plcsim::SimServer server_;
    std::unique_ptr<fhost::PlcConnection> client_;
    QByteArray reply_;
    bool ok_ = false;
};

// The driver's time per exchange inside the loop (ComCommunication + DataCom). Its share
// of the exchange is not reported: the socket and the simulator thread set that.
void reportDriverTime(benchmark::State& state, int64_t driver_ns, int64_t exchanges) {
    if (exchanges > 0) state.counters["drv_ns/exch"] = static_cast<double>(driver_ns) / exchanges;
}

// Exchanges per second: the cyclic read of 64 Data Memory words, again and again.
void BM_Loopback_Exchange_Read64Words(benchmark::State& state) {
    bench::DriverSession session(false, 64);
    LoopbackRig rig;
    QList<VAR_DESC> tags;
    tags.append(bench::varDesc(bench::D_WORD, 1, QStringLiteral("100"), 64));
    int64_t driver_ns = 0;
    if (!rig.ok() || ReCreatReadVarList(&tags) != 1 || rig.exchange(driver_ns) != 1) {
        state.SkipWithError("loopback setup or handshake failed");
        return;
    }
    driver_ns = 0;
    int64_t exchanges = 0;
    int bad = 0;
    for (auto _ : state) {
        bad += rig.exchange(driver_ns) != 1;
        ++exchanges;
    }
    if (bad) state.SkipWithError("an exchange failed");
    reportDriverTime(state, driver_ns, exchanges);
    state.SetItemsProcessed(state.iterations());
}
FINS_BENCHMARK(BM_Loopback_Exchange_Read64Words)->UseRealTime();

// One full refresh pass over a screen of 2,000 tags: as many exchanges as the rebuilt
// read list has blocks. range(0) is max_block: 64 merges neighbours into blocks,
// 1 reads (almost) every tag alone, which shows the gain of the merging.
void BM_Loopback_RefreshPass_2000Tags(benchmark::State& state) {
    const int max_block = static_cast<int>(state.range(0));
    bench::DriverSession session(false, max_block);
    LoopbackRig rig;
    QList<VAR_DESC> tags = bench::panelTags(2000, 1, 21);
    const int blocks = rig.ok() ? ReCreatReadVarList(&tags) : 0;
    int64_t driver_ns = 0;
    if (blocks <= 0 || rig.exchange(driver_ns) != 1) {
        state.SkipWithError("loopback setup or handshake failed");
        return;
    }
    // A value placed in the simulator must reach the screen after one pass.
    QString name = QStringLiteral("check");
    QString first = tags.first().addr_text;
    rig.memory().setWord(plcsim::Area::D, static_cast<uint32_t>(first.toInt()), 0x4D2);
    driver_ns = 0;
    int64_t exchanges = 0;
    int bad = 0;
    for (auto _ : state) {
        for (int i = 0; i < blocks; ++i)
            bad += rig.exchange(driver_ns) != 1;
        exchanges += blocks;
    }
    QByteArray shown;
    GetRegisterData(&name, bench::D_WORD, &first, 1, &shown, 1);
    if (bad) state.SkipWithError("an exchange failed");
    if (shown != QByteArray("\xD2\x04", 2)) state.SkipWithError("the screen missed a PLC value");
    state.counters["tags"] = tags.size();
    state.counters["frames/pass"] = blocks;
    reportDriverTime(state, driver_ns, exchanges);
}
FINS_BENCHMARK(BM_Loopback_RefreshPass_2000Tags)
    ->Arg(64)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
