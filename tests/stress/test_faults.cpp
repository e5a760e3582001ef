// Faults between the driver and the PLC, injected by the simulator on loopback: for each
// fault the exact sequence of result codes, the give-up of the write being served (its
// failure notice, the purge of the other queued writes, the handshake that follows) and
// then recovery to correct values in the PLC and on the screen.
//
// The test host (loopback_host.h) closes its connection after a timeout, a closed or a
// misframed reply, so that no late reply can be taken for the answer to a later frame.
// A new connection has had no node address exchange: the PLC refuses the driver's
// frames on it (FINS/TCP error 3, a 16-byte reply) until the driver gives up and
// repeats the handshake. That is why most faults below end in the same sequence.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "loopback_host.h"
#include "plcsim/sim_server.h"

namespace {

using plcsim::Area;
using plcsim::FaultKind;
using plcsim::FaultRule;

enum {
    HOST_TIMEOUT_MS = 1000,
    WRITE_KIND = 3, // requester kind of the screen writes: error codes carry k = 4
    WRITE_FRAME = 36,
    HANDSHAKE_FRAME = 20,
    READ_FRAME = 34
};

FaultRule rule(FaultKind kind, uint32_t value = 0) {
    FaultRule r;
    r.kind = kind;
    r.value = value;
    r.trigger = plcsim::FaultTrigger::Always;
    return r;
}

struct FaultRow {
    const char* name;
    std::vector<FaultRule> rules; // empty: the simulator is restarted instead
    int faulty_exchanges;         // exchanges made while the fault is active
    std::vector<int> results;     // result codes from the first write frame on
    std::vector<Transport> transports;
    bool write_landed; // the PLC carried out the first write, though its answer was spoilt
};

void PrintTo(const FaultRow& row, std::ostream* os) {
    *os << row.name;
}

const Transport OK = Transport::Ok;
const Transport TIMEOUT = Transport::Timeout;
const Transport CLOSED = Transport::Closed;
const Transport BAD_LENGTH = Transport::BadLength;

// Exhausted on the write: 10 + k for an error code, 70 + k for a wrong length (the
// refusals on a new connection are 16 bytes long), with k = 4.
const std::vector<FaultRow>& faultRows() {
    static const std::vector<FaultRow> rows = {
        {"error code 0x21",
         {rule(FaultKind::Error, 0x21)},
         3,
         {0, 0, 14, 1, 1},
         {OK, OK, OK, OK, OK},
         true},
        {"three extra bytes",
         {rule(FaultKind::Extra, 3)},
         3,
         {0, 0, 74, 1, 1},
         {OK, OK, OK, OK, OK},
         true},
        {"one byte missing",
         {rule(FaultKind::Short, 1)},
         1,
         {0, 0, 74, 1, 1},
         {TIMEOUT, OK, OK, OK, OK},
         true},
        {"dropped reply",
         {rule(FaultKind::Drop)},
         1,
         {0, 0, 74, 1, 1},
         {TIMEOUT, OK, OK, OK, OK},
         true},
        {"reply delayed past the host timeout",
         {rule(FaultKind::Delay, 60000)},
         1,
         {0, 0, 74, 1, 1},
         {TIMEOUT, OK, OK, OK, OK},
         true},
        {"every byte corrupted",
         {rule(FaultKind::Corrupt, 64)},
         1,
         {0, 0, 74, 1, 1},
         {BAD_LENGTH, OK, OK, OK, OK},
         true},
        {"connection closed",
         {rule(FaultKind::Close)},
         1,
         {0, 0, 74, 1, 1},
         {CLOSED, OK, OK, OK, OK},
         true},
        {"simulator restarted", {}, 1, {0, 0, 74, 1, 1}, {CLOSED, OK, OK, OK, OK}, false},
    };
    return rows;
}

std::string names(const std::vector<Transport>& v) {
    std::string s;
    for (Transport t : v)
        s += std::string(s.empty() ? "" : ", ") + transportName(t);
    return s;
}

class FaultReaction : public DriverTest, public ::testing::WithParamInterface<FaultRow> {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        startSimulator(0);
        host.reset(new LoopbackHost(port, HOST_TIMEOUT_MS));
        QList<VAR_DESC> vars;
        VAR_DESC d = VAR_DESC();
        d.reg_type = 11;
        d.addr_text = "100";
        d.name = "d100";
        d.length = 1;
        vars.append(d);
        ASSERT_EQ(ReCreatReadVarList(&vars), 1);
        ASSERT_EQ(host->turn().result, 1); // node address exchange
        ASSERT_EQ(host->turn().result, 1); // D100
        ASSERT_EQ(screenWord(100), 0x1234);
    }

    void startSimulator(uint16_t at) {
        plcsim::SimConfig config;
        config.port = at;
        config.node = 1;
        sim.reset(new plcsim::SimServer(config));
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
        port = sim->port();
        sim->memory().setWord(Area::D, 100, 0x1234);
        sim->runInBackground();
    }

    int screenWord(int address) {
        QString text = QString::number(address);
        QByteArray out;
        EXPECT_EQ(GetRegisterData(nullptr, 11, &text, 1, &out, 1), 1);
        return out.size() == 2
                   ? (static_cast<unsigned char>(out[1]) << 8) | static_cast<unsigned char>(out[0])
                   : -1;
    }

    int screenWrite(int address, int value) {
        QString name = "w", text = QString::number(address);
        QByteArray bytes;
        bytes.append(static_cast<char>(value & 0xFF)).append(static_cast<char>(value >> 8));
        return SetRegisterData(&name, 11, &text, 1, &bytes, 1, WRITE_KIND, 9);
    }

    std::unique_ptr<plcsim::SimServer> sim;
    uint16_t port = 0;
    std::unique_ptr<LoopbackHost> host;
};

TEST_P(FaultReaction, ResultCodesGiveUpAndRecovery) {
    const FaultRow& row = GetParam();
    ASSERT_EQ(screenWrite(200, 0x5555), 1);
    ASSERT_EQ(screenWrite(201, 0x6666), 2);
    sim->memory().setWord(Area::D, 100, 0x2222);
    if (row.rules.empty())
        sim->stop();
    else
        sim->setFaults(row.rules);

    std::vector<int> results, frames;
    std::vector<Transport> transports;
    for (size_t i = 0; i < row.results.size(); ++i) {
        if (static_cast<int>(i) == row.faulty_exchanges) {
            if (row.rules.empty()) {
                startSimulator(port);
                sim->memory().setWord(Area::D, 100, 0x2222);
            } else {
                sim->setFaults({});
            }
        }
        const Exchange ex = host->turn();
        results.push_back(ex.result);
        frames.push_back(ex.frame_size);
        transports.push_back(ex.transport);
        if (ex.result == 74 || ex.result == 14) {
            // Given up on the write: offline, handshake to repeat, every write purged.
            EXPECT_EQ(com.offline, 1);
            EXPECT_EQ(map_list[1].hs_done, 0);
            EXPECT_TRUE(PLC_driver.write_list.isEmpty());
        }
    }
    EXPECT_EQ(results, row.results);
    EXPECT_EQ(names(transports), names(row.transports));
    const std::vector<int> want_frames = {WRITE_FRAME, WRITE_FRAME, WRITE_FRAME, HANDSHAKE_FRAME,
                                          READ_FRAME};
    EXPECT_EQ(frames, want_frames);
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, WRITE_KIND, 1}}));
    EXPECT_EQ(com.offline, 0);
    EXPECT_EQ(com.retry_count, 0);
    // A spoilt answer does not undo the write in the PLC: the driver reports a failure
    // for a write that may have been carried out. The purged write never left.
    EXPECT_EQ(sim->memory().word(Area::D, 200), row.write_landed ? 0x5555 : 0);
    EXPECT_EQ(sim->memory().word(Area::D, 201), 0);
    EXPECT_EQ(screenWord(100), 0x2222);

    // Recovered: a new write reaches the PLC with the next frame.
    ASSERT_EQ(screenWrite(200, 0x5555), 1);
    const Exchange ex = host->turn();
    EXPECT_EQ(ex.frame_size, WRITE_FRAME);
    EXPECT_EQ(ex.result, 1);
    EXPECT_EQ(sim->memory().word(Area::D, 200), 0x5555);
    EXPECT_EQ(screenWord(200), 0x5555);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultReaction, ::testing::ValuesIn(faultRows()),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                             std::string n;
                             for (const char* c = info.param.name; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

// A handshake refused by the PLC does not count against the retries: the driver asks
// again at every turn (201 each time) and reads as soon as the PLC accepts.
TEST_F(FaultReaction, RefusedHandshakeIsRepeatedWithoutGivingUp) {
    sim->setFaults({rule(FaultKind::Error, 0x21)});
    ASSERT_EQ(screenWrite(200, 0x5555), 1);
    std::vector<int> results;
    for (int i = 0; i < 3; ++i)
        results.push_back(host->turn().result); // write: 0, 0, 14
    for (int i = 0; i < 4; ++i)
        results.push_back(host->turn().result); // handshakes
    sim->setFaults({});
    results.push_back(host->turn().result); // handshake accepted
    results.push_back(host->turn().result); // D100
    EXPECT_EQ(results, (std::vector<int>{0, 0, 14, 201, 201, 201, 201, 1, 1}));
    EXPECT_EQ(com.retry_count, 0);
    EXPECT_EQ(failNotices().size(), 1u);
}

} // namespace
