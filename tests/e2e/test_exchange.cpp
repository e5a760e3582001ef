// The host and the driver against the simulator: node address exchange, block reads
// of every area, writes and one-shot reads, compared with the simulator's memory.
#include "e2e_support.h"

namespace e2e {
namespace {

std::string hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper().toStdString();
}

const char kEveryArea[] = "cio_bits   CIO.bit 10.05    20\n"
                          "w_bits     W.bit   3.15     3\n"
                          "h_bits     H.bit   511.00   16\n"
                          "a_bits     A.bit   100.07   9\n"
                          "d_bits     D.bit   32767.08 8\n"
                          "t_flags    T.flag  13       3\n"
                          "c_flags    C.flag  4090     6\n"
                          "cio_words  CIO     6100     44\n"
                          "w_words    W       0        10\n"
                          "h_words    H       500      12\n"
                          "a_words    A       900      60\n"
                          "d_long     D       0        150\n"
                          "d_inside   D       130      5\n"
                          "d_high     D       32700    68\n"
                          "t_pv       T       0        70\n"
                          "c_pv       C       4000     96\n";

class Exchanges : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        sim = startSim(simConfig(), &error);
        ASSERT_TRUE(sim) << error;
        options = hostOptions(sim->port());
    }
    bool startHost(const std::string& tags) {
        host.reset(new Host(options));
        std::string error;
        bool ok = host->start(tags, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }
    int runCycles(long cycles, int max_turns) {
        return host->runUntil([&] { return host->session().counters().cycles >= cycles; },
                              max_turns);
    }

    std::unique_ptr<plcsim::SimServer> sim;
    HostOptions options;
    std::unique_ptr<Host> host;
};

TEST_F(Exchanges, NodeAddressExchangeThenReadsCarryBothNodes) {
    sim->memory().setWord(plcsim::Area::D, 100, 0x1234);
    ASSERT_TRUE(startHost("v D 100\n"));

    Exchange hs = host->turn();
    EXPECT_EQ(hs.kind, FrameKind::Handshake);
    EXPECT_EQ(hs.result, 1);
    EXPECT_EQ(hex(hs.frame), "46 49 4E 53 00 00 00 0C 00 00 00 00 00 00 00 00 00 00 00 17");
    EXPECT_EQ(hex(hs.reply), "46 49 4E 53 00 00 00 10 00 00 00 01 00 00 00 00 "
                             "00 00 00 17 00 00 00 C8");

    Exchange rd = host->turn();
    EXPECT_EQ(rd.kind, FrameKind::CyclicRead);
    EXPECT_EQ(rd.result, 1);
    // DA1 = the PLC's node 0xC8, SA1 = ours 0x17; D100, one word.
    EXPECT_EQ(hex(rd.frame), "46 49 4E 53 00 00 00 1A 00 00 00 02 00 00 00 00 "
                             "80 00 02 00 C8 00 00 17 00 00 01 01 82 00 64 00 00 01");
    EXPECT_EQ(hex(rd.reply), "46 49 4E 53 00 00 00 18 00 00 00 02 00 00 00 00 "
                             "C0 00 02 00 17 00 00 C8 00 00 01 01 00 00 12 34");
    EXPECT_EQ(host->session().readTag(host->tag("v")), std::vector<int>{0x1234});
    EXPECT_EQ(host->session().comInfo().offline, 0);
}

TEST_F(Exchanges, ClashingNodeNumbersAreRefusedAndTheExchangeRepeated) {
    options.hmi_ip = "127.0.0." + std::to_string(SIM_NODE); // proposes the PLC's own node
    ASSERT_TRUE(startHost("v D 100\n"));
    for (int i = 0; i < 3; ++i) {
        Exchange ex = host->turn();
        EXPECT_EQ(ex.kind, FrameKind::Handshake) << i;
        EXPECT_EQ(ex.result, 201) << i;
        EXPECT_EQ(hex(ex.reply.mid(12, 4)), "00 00 00 24") << i; // node used by the server
    }
    EXPECT_EQ(host->session().counters().handshake_refusals, 3);
    EXPECT_EQ(host->session().comInfo().offline, 1);
}

TEST_F(Exchanges, BlockReadsOfEveryAreaEqualTheSimulatorsMemory) {
    ASSERT_TRUE(startHost(kEveryArea));
    fillPattern(sim->memory(), host->session().tags(), 1);
    ASSERT_GE(runCycles(1, 200), 0);
    for (const Tag& t : host->session().tags())
        EXPECT_EQ(host->session().readTag(t), simValues(sim->memory(), t)) << t.name;

    // New values in the PLC show after the next pass: the screen is refreshed, not stale.
    fillPattern(sim->memory(), host->session().tags(), 2);
    ASSERT_GE(runCycles(2, 200), 0);
    for (const Tag& t : host->session().tags())
        EXPECT_EQ(host->session().readTag(t), simValues(sim->memory(), t)) << t.name;
    EXPECT_EQ(host->session().counters().retries, 0);
    EXPECT_EQ(host->session().counters().failures, 0);
}

TEST_F(Exchanges, WritesOfWordsAndBitsReachTheSimulator) {
    plcsim::PlcMemory& m = sim->memory();
    m.setBit(plcsim::Area::CIO, 10, 15, true); // the write of 0 must clear it
    m.setWord(plcsim::Area::D, 100, 1);
    ASSERT_TRUE(startHost("sp     D       100\n"
                          "recipe D       200   70\n"
                          "lamps  CIO.bit 10.14 4\n"
                          "motor  W.bit   5.03\n"
                          "hold   H       7     2\n"
                          "tpv    T       5\n"
                          "cpv    C       9\n"));
    std::string recipe;
    for (int i = 0; i < 70; ++i)
        recipe += (i ? "," : "") + std::to_string(i * 3);
    std::string error;
    for (auto w : std::vector<std::pair<std::string, std::string>>{{"sp", "1234"},
                                                                   {"recipe", recipe},
                                                                   {"lamps", "1,0,1,1"},
                                                                   {"motor", "1"},
                                                                   {"hold", "0xBEEF,-1"},
                                                                   {"tpv", "250"},
                                                                   {"cpv", "0x7fff"}})
        ASSERT_TRUE(host->session().queueWrite(w.first, w.second, &error)) << error;

    ASSERT_GE(host->runUntil([&] { return !host->session().actionsPending(); }, 100), 0);
    ASSERT_GE(runCycles(1, 100), 0);

    EXPECT_EQ(m.word(plcsim::Area::D, 100), 1234);
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(m.word(plcsim::Area::D, 200 + i), i * 3) << i;
    EXPECT_TRUE(m.bit(plcsim::Area::CIO, 10, 14));
    EXPECT_FALSE(m.bit(plcsim::Area::CIO, 10, 15));
    EXPECT_TRUE(m.bit(plcsim::Area::CIO, 11, 0));
    EXPECT_TRUE(m.bit(plcsim::Area::CIO, 11, 1));
    EXPECT_TRUE(m.bit(plcsim::Area::W, 5, 3));
    EXPECT_EQ(m.word(plcsim::Area::H, 7), 0xBEEF);
    EXPECT_EQ(m.word(plcsim::Area::H, 8), 0xFFFF);
    EXPECT_EQ(m.word(plcsim::Area::TimerPV, 5), 250);
    EXPECT_EQ(m.word(plcsim::Area::CounterPV, 9), 0x7FFF);
    EXPECT_TRUE(hostMatchesSim(host->session(), m));

    const int pieces[] = {1, 2, 4, 1, 1, 1, 1}; // recipe: 64 + 6 words; lamps: one per bit
    ASSERT_EQ(host->session().writes().size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(host->session().writes()[i].acked, pieces[i]) << i;
        EXPECT_EQ(host->session().writes()[i].failed, 0) << i;
    }
}

TEST_F(Exchanges, OutsideRunModeTwoAWriteStaysInTheDriversStore) {
    options.run_mode = 0;
    sim->memory().setWord(plcsim::Area::D, 100, 5);
    ASSERT_TRUE(startHost("sp D 100\n"));
    std::string error;
    ASSERT_TRUE(host->session().queueWrite("sp", "77", &error)) << error;
    EXPECT_EQ(host->session().readTag(host->tag("sp")), std::vector<int>{77});
    EXPECT_TRUE(host->session().writes()[0].local_only);

    ASSERT_GE(runCycles(1, 20), 0);
    EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 5);
    EXPECT_EQ(host->session().readTag(host->tag("sp")), std::vector<int>{5});
    for (const Exchange& ex : host->history())
        EXPECT_NE(ex.kind, FrameKind::Write);
}

TEST_F(Exchanges, OneShotReadsAreServedFirstAndReportedOnce) {
    ASSERT_TRUE(startHost("recipe D 200  4\n"
                          "big    D 1000 150\n"
                          "lamps  CIO.bit 3.04 12\n"));
    fillPattern(sim->memory(), host->session().tags(), 3);
    std::string error;
    ASSERT_TRUE(host->session().queueOnceRead("big", &error)) << error;
    ASSERT_TRUE(host->session().queueOnceRead("lamps", &error)) << error;

    auto done = [&] {
        for (const fhost::OnceAction& o : host->session().onceReads())
            if (o.status == 0) return false;
        return true;
    };
    ASSERT_GE(host->runUntil(done, 50), 0);
    const auto& reads = host->session().onceReads();
    EXPECT_EQ(reads[0].status, 1);
    EXPECT_EQ(reads[0].values, simValues(sim->memory(), host->tag("big")));
    EXPECT_EQ(reads[1].status, 1);
    EXPECT_EQ(reads[1].values, simValues(sim->memory(), host->tag("lamps")));

    // big is split into three pieces of at most 64 words, lamps is one: four one-shot
    // frames, all before the first cyclic read, and one notice per requester.
    int once_frames = 0;
    for (const Exchange& ex : host->history()) {
        if (ex.kind == FrameKind::CyclicRead) break;
        if (ex.kind == FrameKind::OnceRead) ++once_frames;
    }
    EXPECT_EQ(once_frames, 4);
    ASSERT_EQ(host->session().notices().size(), 2u);
    EXPECT_EQ(host->session().notices()[0].text.rfind("one-shot read of big done: ", 0), 0u)
        << host->session().notices()[0].text;
    EXPECT_EQ(host->session().notices()[1].text.rfind("one-shot read of lamps done: ", 0), 0u)
        << host->session().notices()[1].text;
}

} // namespace
} // namespace e2e
