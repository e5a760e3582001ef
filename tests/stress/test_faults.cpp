// Faults between the host and the PLC, injected by the simulator while the host's own
// session code (host/host_session.h) runs the driver. For each fault: the exact kind and
// result code of every turn from the first queued write on, the give-up when the fault
// outlasts the retries (one failure notice, the other queued write purged, offline, a
// new node address exchange), what the PLC holds, and then a correct write and read.
//
// The host closes its connection after a timeout or a broken reply and repeats the node
// address exchange on the new one before the next frame, so a single fault costs one
// retry; a fault that lasts is given up after retry_limit + 1 frames.
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "driver_session.h"
#include "e2e_support.h"

namespace e2e {
namespace {

struct FaultRow {
    const char* name;
    const char* fault; // simulator fault rule; "stop": the simulator is stopped, then restarted
    int fault_turns;   // turns made while the fault lasts
    const char* turns; // kind and result of each turn: W write, H node address, R cyclic read
    bool landed;       // the PLC carried out the first write, though its answer was spoilt
};

// Write requester kind 1 (k = 2) gives up with 10 + k for a FINS/TCP error code, 40 + k
// for no reply, 70 + k for a wrong length; a refused node address exchange is 201.
const FaultRow kFaultRows[] = {
    {"ErrorCodeUntilGiveUpThenRefusedHandshakes", "error=0x21", 5, "W0 W0 W12 H201 H201 H1 R1",
     true},
    {"ExtraBytesUntilGiveUp", "extra=3", 3, "W0 W0 W72 H1 R1", true},
    {"EveryByteCorruptedUntilGiveUp", "corrupt=64", 3, "W0 W0 W42 H1 R1", true},
    {"ConnectionClosedUntilGiveUp", "close", 3, "W0 W0 W42 H1 R1", true},
    {"SimulatorStoppedUntilGiveUp", "stop", 3, "W0 W0 W42 H1 R1", false},
    {"OneByteMissingOnce", "short=1@1", 1, "W0 W1 W1 R1", true},
    {"DroppedReplyOnce", "drop@1", 1, "W0 W1 W1 R1", true},
    {"ReplyDelayedPastTheTimeoutOnce", "delay=60000@1", 1, "W0 W1 W1 R1", true},
    {"ErrorCodeOnce", "error=0x01@1", 1, "W0 W1 W1 R1", true},
};

class Faults : public ::testing::TestWithParam<FaultRow> {};

TEST_P(Faults, ResultCodesGiveUpAndRecovery) {
    const FaultRow& row = GetParam();
    const bool stop = std::string(row.fault) == "stop";
    plcsim::FaultRule rule;
    std::string error;
    ASSERT_TRUE(stop || plcsim::parseFaultRule(row.fault, &rule, &error)) << error;
    std::unique_ptr<plcsim::SimServer> sim = startSim(simConfig(), &error);
    ASSERT_TRUE(sim) << error;
    const uint16_t port = sim->port();
    auto plcWord = [&](uint32_t address) { return sim->memory().word(plcsim::Area::D, address); };
    Host host(hostOptions(port));
    ASSERT_TRUE(host.start("v D 100\na D 200\nb D 201\n", &error)) << error;
    auto value = [&](const char* tag) { return host.session().readTag(host.tag(tag)); };
    // The driver's own comm-fail callback arguments rather than the host's notice texts.
    RegistCallBackFuncIntf(nullptr, recordCommFail);
    failNotices().clear();
    sim->memory().setWord(plcsim::Area::D, 100, 0x1234);
    ASSERT_GE(host.runUntil([&] { return host.session().counters().cycles >= 1; }, 10), 0);
    ASSERT_EQ(value("v"), std::vector<int>{0x1234});

    ASSERT_TRUE(host.session().queueWrite("a", "0x5555", &error)) << error;
    ASSERT_TRUE(host.session().queueWrite("b", "0x6666", &error)) << error;
    sim->memory().setWord(plcsim::Area::D, 100, 0x2222);
    stop ? sim->stop() : sim->setFaults({rule});
    std::string turns;
    bool gave_up = false;
    for (int i = 0; turns.size() < strlen(row.turns); ++i) { // each turn adds 2 or more
        if (i == row.fault_turns) {
            if (stop)
                sim = startSim(simConfig(port), &error);
            else
                sim->setFaults({});
            ASSERT_TRUE(sim) << error;
        }
        const Exchange ex = host.turn();
        // A letter per FrameKind: none, node address, cyclic read, one-shot read, write, other.
        turns += std::string(turns.empty() ? "" : " ") + "-HROWX"[static_cast<int>(ex.kind)] +
                 std::to_string(ex.result);
        if (ex.result >= 10 && ex.result != 201 && !gave_up) {
            gave_up = true;
            EXPECT_EQ(std::make_tuple(host.session().comInfo().offline, map_list[1].hs_done,
                                      PLC_driver.write_list.size()),
                      std::make_tuple(1, 0, 0));
        }
    }
    EXPECT_EQ(turns, row.turns);
    const std::vector<FailNotice> notice = {{0, fhost::WRITE_REQ_KIND, 1}};
    EXPECT_EQ(failNotices(), gave_up ? notice : std::vector<FailNotice>());
    // Online again; a spoilt answer does not undo a write the PLC carried out, a purged
    // write never left, and a restarted PLC starts empty.
    EXPECT_EQ(std::make_tuple(host.session().comInfo().offline, plcWord(200), plcWord(201)),
              std::make_tuple(0, row.landed ? 0x5555 : 0, gave_up ? 0 : 0x6666));
    EXPECT_EQ(value("v"), std::vector<int>{stop ? 0 : 0x2222});

    ASSERT_TRUE(host.session().queueWrite("a", "0x7777", &error)) << error;
    const Exchange ex = host.turn();
    EXPECT_EQ(std::make_tuple(ex.kind, ex.result, plcWord(200), value("a")),
              std::make_tuple(FrameKind::Write, 1, 0x7777, std::vector<int>{0x7777}));
}

INSTANTIATE_TEST_SUITE_P(Host, Faults, ::testing::ValuesIn(kFaultRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
