// Multi-station mode with two simulated PLCs, and remote mode.
#include "e2e_support.h"

namespace e2e {
namespace {

std::vector<Tag> ofStation(const std::vector<Tag>& tags, int station) {
    std::vector<Tag> out;
    for (const Tag& t : tags)
        if (t.station == station) out.push_back(t);
    return out;
}

TEST(MultiStation, EachStationIsReadAndWrittenOnItsOwnConnection) {
    std::string error;
    auto plc1 = startSim(simConfig(), &error);
    ASSERT_TRUE(plc1) << error;
    auto plc2 = startSim(simConfig(), &error);
    ASSERT_TRUE(plc2) << error;
    HostOptions options = hostOptions(plc1->port());
    options.multi_station = true;
    options.stations[2] = fhost::Endpoint{"127.0.0.1", plc2->port()};
    Host host(options);
    ASSERT_TRUE(host.start("sp1    D       100  1  1\n"
                           "sp2    D       100  1  2\n"
                           "bits1  CIO.bit 0.00 8  1\n"
                           "bits2  CIO.bit 0.00 8  2\n"
                           "tpv1   T       3    2  1\n"
                           "tpv2   T       3    2  2\n"
                           "flags2 C.flag  8    4  2\n",
                           &error))
        << error;
    fillPattern(plc1->memory(), ofStation(host.session().tags(), 1), 1);
    fillPattern(plc2->memory(), ofStation(host.session().tags(), 2), 2);
    ASSERT_NE(plc1->memory().word(plcsim::Area::D, 100), plc2->memory().word(plcsim::Area::D, 100));

    ASSERT_GE(host.runUntil([&] { return host.session().counters().cycles >= 1; }, 50), 0);
    for (const Tag& t : host.session().tags()) {
        const plcsim::PlcMemory& m = t.station == 1 ? plc1->memory() : plc2->memory();
        EXPECT_EQ(host.session().readTag(t), simValues(m, t)) << t.name;
    }
    EXPECT_EQ(host.session().counters().handshakes, 2);
    EXPECT_EQ(host.session().counters().connects, 2);
    EXPECT_EQ(plc1->connectionsAccepted(), 1u);
    EXPECT_EQ(plc2->connectionsAccepted(), 1u);

    const uint16_t before1 = plc1->memory().word(plcsim::Area::D, 100);
    ASSERT_TRUE(host.session().queueWrite("sp2", "999", &error)) << error;
    ASSERT_GE(host.runUntil([&] { return !host.session().actionsPending(); }, 20), 0);
    EXPECT_EQ(plc2->memory().word(plcsim::Area::D, 100), 999);
    EXPECT_EQ(plc1->memory().word(plcsim::Area::D, 100), before1);
    EXPECT_EQ(host.session().readTag(host.tag("sp2")), std::vector<int>{999});
    EXPECT_EQ(host.session().readTag(host.tag("sp1")), std::vector<int>{before1});
}

TEST(RemoteMode, ReadsAndWritesUseTheRemoteFraming) {
    std::string error;
    auto sim = startSim(simConfig(0, true), &error);
    ASSERT_TRUE(sim) << error;
    HostOptions options = hostOptions(sim->port());
    options.remote_mode = true;
    Host host(options);
    ASSERT_TRUE(host.start("sp     D       100\n"
                           "recipe D       200  4\n"
                           "bits   CIO.bit 1.03 5\n"
                           "tpv    T       7\n"
                           "cpv    C       9    3\n",
                           &error))
        << error;
    fillPattern(sim->memory(), host.session().tags(), 4);
    ASSERT_GE(host.runUntil([&] { return host.session().counters().cycles >= 1; }, 30), 0);
    for (const Tag& t : host.session().tags())
        EXPECT_EQ(host.session().readTag(t), simValues(sim->memory(), t)) << t.name;

    const Exchange& first = host.history().front();
    EXPECT_NE(first.kind, FrameKind::Handshake);
    ASSERT_EQ(first.frame.size(), 22);
    EXPECT_EQ(static_cast<unsigned char>(first.frame[0]), 0x16);
    for (const Exchange& ex : host.history())
        EXPECT_EQ(ex.result, 1);

    ASSERT_TRUE(host.session().queueWrite("sp", "4321", &error)) << error;
    ASSERT_GE(host.runUntil([&] { return !host.session().actionsPending(); }, 20), 0);
    EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 4321);
    EXPECT_EQ(host.session().writes()[0].acked, 1);
}

} // namespace
} // namespace e2e
