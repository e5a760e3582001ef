// Faults between the host and the PLC: each ends with the host reading correct values
// again within retry_limit + 2 exchanges after the fault clears.
#include "e2e_support.h"

namespace e2e {
namespace {

using plcsim::FaultKind;
using plcsim::FaultRule;
using plcsim::FaultTrigger;

FaultRule onRequest(FaultKind kind, uint64_t request, uint32_t value = 0) {
    FaultRule r;
    r.kind = kind;
    r.value = value;
    r.trigger = FaultTrigger::Nth;
    r.n = request;
    return r;
}

FaultRule always(FaultKind kind, uint32_t value = 0) {
    FaultRule r;
    r.kind = kind;
    r.value = value;
    r.trigger = FaultTrigger::Always;
    return r;
}

std::string hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper().toStdString();
}

class Recovery : public ::testing::Test {
  protected:
    enum { RETRY_LIMIT = 2, RECOVERY_TURNS = RETRY_LIMIT + 2 };

    void SetUp() override {
        std::string error;
        sim = startSim(simConfig(), &error);
        ASSERT_TRUE(sim) << error;
        port = sim->port();
        HostOptions options = hostOptions(port);
        options.retry_limit = RETRY_LIMIT;
        host.reset(new Host(options));
        // One block: every good cyclic read refreshes every tag.
        ASSERT_TRUE(host->start("v D 100 4\n", &error)) << error;
        fillPattern(sim->memory(), host->session().tags(), 1);
        ASSERT_GE(host->runUntil([&] { return host->session().counters().cycles >= 1; }, 10), 0);
        ASSERT_TRUE(hostMatchesSim(host->session(), sim->memory()));
    }

    // New PLC values, so that only a fresh read can match them.
    void changePlcValues(int seed) { fillPattern(sim->memory(), host->session().tags(), seed); }
    // Fault rules count requests from the moment they are set.
    static uint64_t nextRequest() { return 1; }
    int turnsToRecover() {
        return host->runUntil([&] { return hostMatchesSim(host->session(), sim->memory()); },
                              RECOVERY_TURNS);
    }

    std::unique_ptr<plcsim::SimServer> sim;
    uint16_t port = 0;
    std::unique_ptr<Host> host;
};

TEST_F(Recovery, DroppedReply) {
    changePlcValues(2);
    sim->setFaults({onRequest(FaultKind::Drop, nextRequest())});
    Exchange ex = host->turn();
    EXPECT_EQ(ex.transport_error, "timeout");
    EXPECT_EQ(ex.reply_bytes, 0);
    EXPECT_EQ(ex.result, 0);
    int turns = turnsToRecover();
    EXPECT_GE(turns, 1);
    EXPECT_LE(turns, RECOVERY_TURNS);
    EXPECT_EQ(host->session().counters().session_reopens, 1);
}

TEST_F(Recovery, ErrorCodeInOneReply) {
    changePlcValues(3);
    sim->setFaults({onRequest(FaultKind::Error, nextRequest(), 0x21)});
    Exchange ex = host->turn();
    EXPECT_EQ(ex.result, 0);
    EXPECT_EQ(hex(ex.reply.mid(12, 4)), "00 00 00 21");
    int turns = turnsToRecover();
    EXPECT_GE(turns, 1);
    EXPECT_LE(turns, RECOVERY_TURNS);
}

TEST_F(Recovery, ErrorCodesUntilTheDriverGivesUp) {
    changePlcValues(4);
    sim->setFaults({always(FaultKind::Error, 0x01)});
    // Cyclic reads carry requester kind 0: the give-up code is 10 + 1.
    std::vector<int> results;
    for (int i = 0; i <= RETRY_LIMIT; ++i)
        results.push_back(host->turn().result);
    EXPECT_EQ(results, (std::vector<int>{0, 0, 11}));
    EXPECT_EQ(host->session().comInfo().offline, 1);
    ASSERT_FALSE(host->session().notices().empty());
    EXPECT_EQ(host->session().notices().back().text,
              "gave up on the cyclic read of v (D 100) after 3 bad replies: error code in the "
              "reply (result 11)");

    sim->setFaults({});
    int turns = turnsToRecover();
    EXPECT_GE(turns, 2); // a new node address exchange first
    EXPECT_LE(turns, RECOVERY_TURNS);
    const size_t n = host->history().size();
    EXPECT_EQ(host->history()[n - size_t(turns)].kind, FrameKind::Handshake);
    EXPECT_EQ(host->session().comInfo().offline, 0);
}

TEST_F(Recovery, OneShotReadThatRunsOutOfRetriesIsReportedAsFailed) {
    std::string error;
    sim->setFaults({always(FaultKind::Error, 0x01)});
    ASSERT_TRUE(host->session().queueOnceRead("v", &error)) << error;
    std::vector<int> results;
    for (int i = 0; i <= RETRY_LIMIT; ++i)
        results.push_back(host->turn().result);
    EXPECT_EQ(results, (std::vector<int>{0, 0, 13})); // one-shot requester kind 2: 10 + 3
    ASSERT_EQ(host->session().onceReads().size(), 1u);
    EXPECT_EQ(host->session().onceReads()[0].status, 2);
    const std::vector<fhost::Notice>& notices = host->session().notices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].text, "one-shot read of v failed");
    EXPECT_EQ(notices[1].text, "gave up on a one-shot read of v (D 100) after 3 bad replies: "
                               "error code in the reply (result 13)");

    sim->setFaults({});
    changePlcValues(5);
    int turns = turnsToRecover();
    EXPECT_GE(turns, 2);
    EXPECT_LE(turns, RECOVERY_TURNS);
}

TEST_F(Recovery, ClosedConnection) {
    changePlcValues(6);
    sim->setFaults({onRequest(FaultKind::Close, nextRequest())});
    Exchange ex = host->turn();
    EXPECT_EQ(ex.transport_error, "connection closed");
    EXPECT_EQ(ex.result, 0);
    int turns = turnsToRecover();
    EXPECT_GE(turns, 1);
    EXPECT_LE(turns, RECOVERY_TURNS);
    EXPECT_EQ(host->session().counters().connects, 2);
    EXPECT_EQ(host->session().counters().session_reopens, 1);
    EXPECT_EQ(sim->connectionsAccepted(), 2u);
}

TEST_F(Recovery, SimulatorRestartedBeforeTheDriverGivesUp) {
    sim->stop();
    Exchange ex = host->turn();
    EXPECT_FALSE(ex.transport_error.empty());
    EXPECT_EQ(ex.result, 0);

    std::string error;
    sim = startSim(simConfig(port), &error);
    ASSERT_TRUE(sim) << error;
    fillPattern(sim->memory(), host->session().tags(), 7);
    int turns = turnsToRecover();
    EXPECT_GE(turns, 1);
    EXPECT_LE(turns, RECOVERY_TURNS);
}

TEST_F(Recovery, SimulatorRestartedAfterTheDriverGaveUp) {
    sim->stop();
    std::vector<int> results;
    for (int i = 0; i < RETRY_LIMIT + 3; ++i) {
        Exchange ex = host->turn();
        EXPECT_FALSE(ex.transport_error.empty()) << i;
        results.push_back(ex.result);
    }
    // Two retries, the give-up for an empty reply (40 + 1), then refused node exchanges.
    EXPECT_EQ(results, (std::vector<int>{0, 0, 41, 201, 201}));
    EXPECT_EQ(host->session().comInfo().offline, 1);

    std::string error;
    sim = startSim(simConfig(port), &error);
    ASSERT_TRUE(sim) << error;
    fillPattern(sim->memory(), host->session().tags(), 8);
    int turns = turnsToRecover();
    EXPECT_GE(turns, 2);
    EXPECT_LE(turns, RECOVERY_TURNS);
    EXPECT_EQ(host->session().comInfo().offline, 0);
}

} // namespace
} // namespace e2e
