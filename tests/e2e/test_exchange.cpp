// The host's session code and the driver against the simulator: one table of sessions
// (every area, writes of words and bits, one-shot reads, two stations, remote mode,
// outside run mode 2) whose tags must end equal to the PLCs' memory. The bytes of a
// node address exchange and a read are in the driver's conversation tests.
#include <sstream>
#include <tuple>

#include "e2e_support.h"

namespace e2e {
namespace {

enum class Mode { Plain, TwoStations, Remote, NotRunning };

struct SessionRow {
    const char* name;
    Mode mode;
    const char* tags;   // station 2 is a second simulator
    const char* writes; // "NAME=VALUE ..."
    const char* once;   // "NAME ...": one-shot reads
    int once_frames;    // one-shot frames, all before the first cyclic read
    int max_block;
};

const char kEveryArea[] =
    "cio_bits CIO.bit 10.05 20\n w_bits W.bit 3.15 3\n h_bits H.bit 511.00 16\n"
    "a_bits A.bit 100.07 9\n d_bits D.bit 32767.08 8\n t_flags T.flag 13 3\n"
    "c_flags C.flag 4090 6\n cio CIO 6100 44\n w_words W 0 10\n h_words H 500 12\n"
    "a_words A 900 60\n d_long D 0 150\n d_inside D 130 5\n d_high D 32700 68\n"
    "t_pv T 0 70\n c_pv C 4000 96\n";

const SessionRow kSessions[] = {
    {"EveryArea", Mode::Plain, kEveryArea, "", "", 0, 64},
    {"WritesOfWordsAndBits", Mode::Plain,
     "sp D 100\n recipe D 200 10\n lamps CIO.bit 10.14 4\n motor W.bit 5.03\n hold H 7 2\n"
     "tpv T 5\n cpv C 9\n",
     "sp=1234 recipe=0,3,6,9,12,15,18,21,24,27 lamps=1,0,1,1 motor=1 hold=0xBEEF,-1 tpv=250 "
     "cpv=0x7fff",
     "", 0, 4},
    {"OneShotReadsFirst", Mode::Plain, "recipe D 200 4\n big D 1000 150\n lamps CIO.bit 3.04 12\n",
     "", "big lamps", 4, 64},
    {"TwoStationsEachOnItsOwnConnection", Mode::TwoStations,
     "sp1 D 100 1 1\n sp2 D 100 1 2\n bits1 CIO.bit 0.00 8 1\n bits2 CIO.bit 0.00 8 2\n"
     "tpv1 T 3 2 1\n tpv2 T 3 2 2\n flags2 C.flag 8 4 2\n",
     "sp2=999", "", 0, 64},
    {"RemoteFraming", Mode::Remote,
     "sp D 100\n recipe D 200 4\n bits CIO.bit 1.03 5\n tpv T 7\n cpv C 9 3\n", "sp=4321", "recipe",
     1, 64},
    // Outside run mode 2 a write changes only the driver's store; the next read undoes it.
    {"WriteOutsideRunModeTwoStaysLocal", Mode::NotRunning, "sp D 100\n", "sp=77", "", 0, 64},
};

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, by);)
        if (!item.empty()) out.push_back(item);
    return out;
}

// The values a write's text puts into the PLC: words as 16 bits, bits as 0 or 1.
std::vector<int> written(const std::string& text) {
    std::vector<int> out;
    for (const std::string& item : split(text, ','))
        out.push_back(std::stoi(item, nullptr, 0) & 0xFFFF);
    return out;
}

class Sessions : public ::testing::TestWithParam<SessionRow> {
  protected:
    // Two simulators (station 1 and 2) and a host started with `tags`.
    void start(const char* tags, Mode mode, int max_block = 64) {
        std::string error;
        for (auto& sim : sims) {
            sim = startSim(simConfig(0, mode == Mode::Remote), &error);
            ASSERT_TRUE(sim) << error;
        }
        HostOptions options = hostOptions(sims[0]->port());
        options.stations[2] = fhost::Endpoint{"127.0.0.1", sims[1]->port()};
        options.multi_station = mode == Mode::TwoStations;
        options.remote_mode = mode == Mode::Remote;
        options.run_mode = mode == Mode::NotRunning ? 0 : 2;
        options.max_block = max_block;
        host.reset(new Host(options));
        ASSERT_TRUE(host->start(tags, &error)) << error;
    }
    plcsim::PlcMemory& memoryOf(const Tag& tag) {
        return sims[host->session().stationOf(tag) - 1]->memory();
    }
    // Values that differ between the two PLCs too.
    void fill(int seed) {
        for (const Tag& t : host->session().tags())
            fillPattern(memoryOf(t), {t}, seed + 10 * host->session().stationOf(t));
    }
    void expectTagsEqualThePlcs() {
        for (const Tag& t : host->session().tags())
            EXPECT_EQ(host->session().readTag(t), simValues(memoryOf(t), t)) << t.name;
    }
    bool cycled(long n) { return host->session().counters().cycles >= n; }

    std::unique_ptr<plcsim::SimServer> sims[2];
    std::unique_ptr<Host> host;
};

TEST_P(Sessions, TagsEqualThePlcsMemory) {
    const SessionRow& row = GetParam();
    start(row.tags, row.mode, row.max_block);
    fill(1);
    std::string error;
    std::vector<std::pair<std::string, std::string>> writes;
    for (const std::string& w : split(row.writes, ' '))
        writes.emplace_back(w.substr(0, w.find('=')), w.substr(w.find('=') + 1));
    const std::vector<std::string> once = split(row.once, ' ');
    for (const auto& w : writes)
        ASSERT_TRUE(host->session().queueWrite(w.first, w.second, &error)) << error;
    for (const std::string& name : once)
        ASSERT_TRUE(host->session().queueOnceRead(name, &error)) << error;

    ASSERT_GE(host->runUntil([&] { return !host->session().actionsPending(); }, 100), 0);
    ASSERT_GE(host->runUntil([&] { return cycled(1); }, 200), 0);
    expectTagsEqualThePlcs();
    const bool running = row.mode != Mode::NotRunning;
    for (size_t i = 0; i < writes.size() && running; ++i) {
        const Tag& t = host->tag(writes[i].first);
        EXPECT_EQ(simValues(memoryOf(t), t), written(writes[i].second)) << t.name;
        const fhost::WriteAction& w = host->session().writes()[i];
        EXPECT_EQ(std::make_tuple(w.acked, w.outcome),
                  std::make_tuple(w.pieces, fhost::Outcome::Done))
            << t.name;
    }
    for (size_t i = 0; i < once.size(); ++i) {
        const Tag& t = host->tag(once[i]);
        const auto& read = host->session().onceReads()[i];
        EXPECT_EQ(std::tie(read.status, read.values),
                  std::make_tuple(1, simValues(memoryOf(t), t)));
    }
    int once_frames = 0, write_frames = 0;
    for (const Exchange& ex : host->history()) {
        write_frames += ex.kind == FrameKind::Write;
        if (ex.kind == FrameKind::CyclicRead) break;
        once_frames += ex.kind == FrameKind::OnceRead;
    }
    EXPECT_EQ(once_frames, row.once_frames);
    EXPECT_EQ(write_frames > 0, running && !writes.empty());
    const int stations = row.mode == Mode::TwoStations ? 2 : 1;
    const fhost::Counters& counted = host->session().counters();
    EXPECT_EQ(std::make_tuple(counted.handshakes, counted.connects),
              std::make_tuple(row.mode == Mode::Remote ? 0 : stations, stations));
    if (row.mode == Mode::Remote) { // the write of sp = 4321 goes first, in the remote framing
        EXPECT_EQ(host->history().front().frame.toHex(' ').toUpper(),
                  "18 01 01 00 01 00 0B 00 00 00 64 00 01 00 00 00 00 00 00 00 00 E1 10 7C");
    }

    // New values in the PLCs show after the next pass: the screen is refreshed, not stale.
    fill(2);
    ASSERT_GE(host->runUntil([&] { return cycled(2); }, 200), 0);
    expectTagsEqualThePlcs();
    EXPECT_EQ(host->session().counters().retries, 0);
    EXPECT_EQ(host->session().counters().failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Host, Sessions, ::testing::ValuesIn(kSessions),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
