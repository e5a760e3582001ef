// The real fins-host program: exit codes, the JSON report, the screen, the pcap
// recording (decoded by tshark when it is installed) and the real simulator program.
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <tuple>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <httplib.h>

#include "e2e_support.h"

namespace e2e {
namespace {

struct ProgramRun {
    int code = -1;
    std::string out, err;
};

std::string readFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

class HostProgram : public ::testing::Test {
  protected:
    std::string writeFile(const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    // Runs a shell command line; stdout and stderr are kept apart.
    ProgramRun run(const std::string& command) {
        const std::string out = dir + "/out.txt", err = dir + "/err.txt";
        const std::string line = "(" + command + ") >'" + out + "' 2>'" + err + "'";
        const int status = std::system(line.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    }
    std::unique_ptr<plcsim::SimServer> startSimulator() {
        std::string error;
        auto sim = startSim(simConfig(), &error);
        EXPECT_TRUE(sim) << error;
        return sim;
    }
    // fins-host on a tag file of `tags`; the PLC, the panel's address and the driver
    // are added unless `extra` gives its own.
    ProgramRun runHost(const std::string& tags, uint16_t port, const std::string& extra) {
        std::string args = "'" FINS_HOST_BIN "' " + extra;
        for (const std::string& option : {"--tags '" + writeFile("screen.tags", tags) + "'",
                                          "--plc 127.0.0.1:" + std::to_string(port),
                                          "--hmi-ip 127.0.0." + std::to_string(HMI_NODE),
                                          std::string("--driver '" FINS_DRIVER_PATH "'")})
            if (extra.find(option.substr(0, option.find(' ') + 1)) == std::string::npos)
                args += " " + option;
        return run(args);
    }

    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
};

// Help, version and every refused input end before a connection is made.
TEST_F(HostProgram, BadInputStopsBeforeConnecting) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    // tag file text, further arguments, exit code, a text expected in the output
    const std::tuple<const char*, std::string, int, const char*> rows[] = {
        {"a D 1\n", "--help", 0, "T.flag C.flag (5, 6)             timer / counter completion"},
        {"a D 1\n", "--version", 0, "fins-host 1."},
        {"a D 1\na D 2\n", "", 3, "screen.tags: line 2: duplicate name 'a' (first on line 1)"},
        {"# nothing\n", "", 3, "screen.tags: no tag in the file\n"},
        {"a D 1\nb D 2 1 2\n", "--multi-station", 2,
         "screen.tags: line 2: tag 'b' is on station 2, which has no --station address"},
        {"a D 1\n", "--tags /nonexistent.tags", 3, "/nonexistent.tags: No such file or directory"},
        {"a D 1\n", "--json=yes", 2, "fins-host: --json takes no value (see --help)\n"},
        {"a D 1\n", "--cycles 2", 2, "--cycles given more than once"},
        {"a D 1\n", "--explain --json", 2, "--explain prints the block map; --json carries"},
        {"a D 1\n", "--station 2=h:1", 2, "--station needs --multi-station"},
        {"a D 1\n", "--max-block 500", 2, "CP1L carries at most 499 words"},
        {"a D 1\n", "--write nope=1", 2, "no tag named 'nope'"},
        {"a D 1\n", "--write a=70000", 2, "bad value '70000' for 'a'"},
        {"i D:INT 1\n", "--write i=40000", 2, "INT takes -32768 to 32767 or 0x hex"},
        {"t D:REAL 32767\n", "", 3, "line 1: length 1 of REAL (2 words) runs past the end of D"},
        {"a D 1\n", "--bogus", 2, "unknown option --bogus"},
        {"a D 1\n", "--driver /nonexistent/libdriver.so", 4, "cannot load driver"},
    };
    for (const auto& [tags, extra, code, message] : rows) {
        ProgramRun r = runHost(tags, sim->port(), extra + " --cycles 1");
        EXPECT_EQ(r.code, code) << tags << " " << extra << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(message), std::string::npos) << r.out << r.err;
    }
    EXPECT_EQ(sim->connectionsAccepted(), 0u);
}

// Faults a user meets, each through the real program against the simulator: the
// reason shown, the JSON, the exit code, and no more connections than the backoff
// (20 ms, doubling to 2 s) allows in the run.
struct FaultRow {
    const char* what;
    const char* tags;
    const char* extra; // %C: a port nobody listens on
    const char* fault; // simulator fault rules, or ""
    int code;
    int station;        // whose state is checked
    const char* reason; // that station's reason, also in the status line
    const char* action; // "outcome: detail" of the first action, or ""
    int max_connects;
};

TEST_F(HostProgram, FaultsAreNamedPacedAndReportedInTheExitCode) {
    const uint16_t closed_port = startSimulator()->port(); // a free port, freed again
    const FaultRow rows[] = {
        {"refused connect", "a D 1\n", "--plc 127.0.0.1:%C", "", 5, 1, "connection refused", "", 9},
        {"node clash", "a D 1\n", "--hmi-ip 127.0.0.200", "", 5, 1,
         "node address refused: FINS/TCP error 0x24 (node in use: --hmi-ip proposes the PLC's "
         "own node)",
         "", 9},
        {"wrong framing", "a D 1\n", "--remote-mode", "", 5, 1,
         "FINS/TCP reply to a remote-mode frame (the port speaks FINS/TCP: no --remote-mode?)", "",
         9},
        {"write refused by end code", "ro A 10\n", "--write ro=7", "", 6, 1, "",
         "refused: end code 0x2101 (read-only area)", 1},
        // Request 1 is the node address exchange, 2 and 3 the write and its one retry.
        {"write given up", "sp D 100\n", "--write sp=7 --retry-limit 1",
         "error=0x21@2 error=0x21@3", 6, 1, "",
         "gave up: after 2 bad replies: error code in the reply (result 12)", 2},
        {"dead station", "a D 1 1\nb D 1 1 2\n", "--multi-station --station 2=127.0.0.1:%C", "", 5,
         2, "connection refused", "", 12},
    };
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.what);
        auto sim = startSimulator();
        ASSERT_TRUE(sim);
        std::vector<plcsim::FaultRule> rules;
        std::istringstream fault_texts(row.fault);
        for (std::string text, error; fault_texts >> text;) {
            rules.emplace_back();
            ASSERT_TRUE(plcsim::parseFaultRule(text, &rules.back(), &error)) << error;
        }
        sim->setFaults(rules);
        std::string extra = row.extra;
        const size_t mark = extra.find("%C");
        if (mark != std::string::npos) extra.replace(mark, 2, std::to_string(closed_port));
        ProgramRun r =
            runHost(row.tags, sim->port(), extra + " --seconds 2 --max-offline-seconds 1.5 --json");
        EXPECT_EQ(r.code, row.code) << r.err << r.out;
        const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_EQ(doc["exit_code"].toInt(), row.code); // the JSON tells the same
        QJsonObject station;
        for (const QJsonValue& st : doc["stations"].toArray())
            if (st["station"].toInt() == row.station) station = st.toObject();
        EXPECT_EQ(station["reason"].toString().toStdString(), row.reason) << r.out;
        const std::string summary = doc["status"]["summary"].toString().toStdString();
        const char* held = "station 2 down: connection refused (its tags stale, the others read)";
        EXPECT_NE(summary.find(row.station == 1 ? row.reason : held), std::string::npos) << summary;
        EXPECT_EQ(doc["status"]["online"].toBool(), row.code == 6);
        const QJsonValue action = doc["actions"][0];
        EXPECT_EQ(*row.action ? action["outcome"].toString() + ": " + action["detail"].toString()
                              : QString(),
                  row.action);
        const int connects = station["connects"].toInt();
        EXPECT_TRUE(connects >= 1 && connects <= row.max_connects) << connects;
        if (row.station == 1 && mark == std::string::npos) { // the simulator saw the same
            EXPECT_EQ(sim->connectionsAccepted(), static_cast<uint64_t>(connects));
        }
    }
}

// One good run: the JSON report, and its recording as tshark decodes it when installed.
TEST_F(HostProgram, JsonReportAndRecordingOfAGoodRun) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    sim->memory().writeWords(plcsim::Area::D, 200, {11, 0xABCD});
    sim->memory().setBit(plcsim::Area::CIO, 3, 1, true);
    const std::string pcap = dir + "/trace.pcap";
    ProgramRun r = runHost(
        "\xEF\xBB\xBFsp   D       100\nrec  D       200 2\n"
        "lamp CIO.bit 3.00 2\ndone T.flag  5 2\n",
        sim->port(), "--cycles 2 --json --write sp=321 --read-once rec --pcap '" + pcap + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    // Qt writes the keys of an object in order.
    const char* expected[] = {
        "{\"address\":\"100\",\"name\":\"sp\",\"station\":1,\"type\":\"D\",\"values\":[321]}",
        "\"name\":\"lamp\",\"stale\":false,\"stale_reason\":\"\",\"station\":1,\"type\":0,\"type_"
        "name\":\"CIO.bit\",\"typed\":[0,1],"
        "\"values\":[0,1]}",
        "\"actions\":[{\"detail\":\"\",\"id\":0,\"kind\":\"write\",\"outcome\":\"done\","
        "\"tag\":\"sp\",\"value\":\"321\",\"values\":[]},{\"detail\":\"\",\"id\":0,"
        "\"kind\":\"read-once\",\"outcome\":\"done\",\"tag\":\"rec\",\"typed\":[11,43981],"
        "\"values\":[11,43981]}]",
        "\"text\":\"one-shot read of rec done: 11 (0x000B)  43981 (0xABCD)\"}],"
        "\"notices_left_out\":0,",
    };
    for (const char* e : expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 321);

    EXPECT_EQ(readFile(pcap).substr(0, 4), std::string("\xD4\xC3\xB2\xA1", 4));
    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed";
    const std::string text = run("tshark -r '" + pcap + "' -Y omron").out;
    EXPECT_EQ(run("tshark -r '" + pcap + "' -Y 'tcp.analysis.flags || _ws.malformed'").out, "");
    for (const char* frame :
         {"Node Address Data Send (Client to Server)", "Node Address Data Send (Server to Client)",
          "Command  : Memory Area Write", "Response : Memory Area Read"})
        EXPECT_NE(text.find(frame), std::string::npos) << frame << "\n" << text;
    // handshake, write, one-shot read, two passes of four blocks: request and response each
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * (1 + 1 + 1 + 2 * 4)) << text;
}

// The simulator program started the way scripts start it (in the background, telling
// its port in a file), and the plain screen against it.
TEST_F(HostProgram, PlainScreenAgainstTheSimulatorProgram) {
    const std::string memory = writeFile(
        "plc.txt", "D100 = 1234\nCIO3.01 = 1\nC7 = 42\nD310:REAL = 23.5\nD300:STRING8 = \"P 3\"\n");
    const std::string port = dir + "/port";
    const ProgramRun started =
        run("'" FINS_SIM_BIN "' --port 0 --port-file '" + port + "' --node " +
            std::to_string(SIM_NODE) + " --memory '" + memory + "' >/dev/null 2>&1 & echo $!");
    const pid_t pid = std::stoi(started.out);
    const std::shared_ptr<void> stop(nullptr, [pid](void*) { kill(pid, SIGTERM); });
    for (int i = 0; i < 1000 && readFile(port).find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // bounded: 20 s
    const std::string csv = dir + "/values.csv";
    const std::string tags =
        "sp D 100\nlamp CIO.bit 3.00 2\ncnt C 7\nt D:REAL 310\nn D:STRING8 300\nr D 400 10\n";
    const std::string plc = "--plc 127.0.0.1:" + std::to_string(std::stoi(readFile(port)));
    ProgramRun r = runHost(tags, 0, plc + " --cycles 2 --plain --csv '" + csv + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* line :
         {"sp               D 100              1234 (0x04D2)", "frames/cycle | ",
          "lamp             CIO.bit 3.00       0 1", "| retries 0 | failures 0 | online",
          "cnt              C 7                42 (0x002A)", "fins-host: cycles done",
          "t                D:REAL 310         23.5\n",
          "n                D:STRING8 300      \"P 3\"\n",
          "\n                 D 408              0 (0x0000)  0 (0x0000)\n", "\ntime 20"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    // The block map after one pass: what the frames carried and the tags each covers.
    const ProgramRun map = runHost(tags, 0, plc + " --explain");
    EXPECT_EQ(map.code, 0) << map.err;
    for (const char* line :
         {"5 read block(s), 5 frame(s) a pass over 6 tag(s), --max-block 64\n",
          "station 1  D         300  12 words      area 0x82 start 300 items 12  rtt ",
          " ms  tags: t n\n",
          "station 1  C           7  1 word        area 0x89 start 32775 items 1"})
        EXPECT_NE(map.out.find(line), std::string::npos) << line << "\n" << map.out;
    EXPECT_EQ(r.out.find("\x1b["), std::string::npos); // no terminal codes in plain mode
    // The value log: typed values from the simulator's typed memory file.
    const std::string log = readFile(csv);
    EXPECT_EQ(log.rfind("time,sp,lamp[1],lamp[2],cnt,t,n,r[1],", 0), 0u) << log;
    EXPECT_NE(log.find(",1234,0,1,42,23.5,P 3,0,"), std::string::npos) << log;
}

} // namespace
} // namespace e2e

namespace e2e {
namespace {

using fhost::Clock;

// fins-host started in the background; its output goes to files, its panel's port is
// read from the address it prints.
struct BackgroundHost {
    pid_t pid = -1;
    std::string out, err;
    ~BackgroundHost() {
        if (pid > 0) kill(pid, SIGTERM);
    }
    int panelPort(int within_ms) const {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(within_ms);
        for (; Clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            const std::string text = readFile(err);
            const size_t at = text.find("panel at http://127.0.0.1:");
            if (at != std::string::npos) return std::stoi(text.substr(at + 26));
        }
        return -1;
    }
    // The JSON report it prints at its end, waited for up to within_ms.
    QJsonObject report(int within_ms) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(within_ms);
        while (readFile(out).find('\n') == std::string::npos && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pid = -1;
        return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(out))).object();
    }
};

// Polls `done` every 10 ms until it holds or `within_ms` passes.
bool eventually(const std::function<bool()>& done, int within_ms) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(within_ms);
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class Situations : public HostProgram {
  protected:
    BackgroundHost startHost(const std::string& tags, const std::string& args) {
        BackgroundHost h;
        const std::string n = std::to_string(++started_);
        h.out = dir + "/bg-out" + n + ".txt"; // a host killed at the end of a row may still write
        h.err = dir + "/bg-err" + n + ".txt";
        const std::string line = "'" FINS_HOST_BIN "' --driver '" FINS_DRIVER_PATH "' --tags '" +
                                 writeFile("bg.tags", tags) + "' " + args + " >'" + h.out +
                                 "' 2>'" + h.err + "' & echo $!";
        h.pid = std::stoi(run(line).out);
        return h;
    }
    int started_ = 0;
};

// What an engineer meets at a plant, through the real programs: each row a situation,
// its exit code and what the JSON says.
TEST_F(Situations, ActionsSettleFaultsStaySporadicDefaultsMeshAndPortsClash) {
    // Three writes to one tag: the middle one is overtaken in the driver's queue.
    {
        auto sim = startSimulator();
        ProgramRun r = runHost("sp D 100\n", sim->port(),
                               "--write sp=1 --write sp=2 --write sp=3 --cycles 2 --json");
        EXPECT_EQ(r.code, 0) << r.err;
        const QJsonArray actions =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["actions"].toArray();
        std::string outcomes;
        for (const QJsonValue& a : actions)
            outcomes +=
                (a["outcome"].toString() + " " + a["detail"].toString() + ";").toStdString();
        EXPECT_EQ(outcomes, "done ;superseded by write 3;done ;");
        EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 3);
    }
    // Isolated bad replies, each answered well when sent again: no failure at all.
    {
        auto sim = startSimulator();
        std::vector<plcsim::FaultRule> rules(2);
        std::string error;
        ASSERT_TRUE(plcsim::parseFaultRule("error=0x21@every:10", &rules[0], &error)) << error;
        ASSERT_TRUE(plcsim::parseFaultRule("extra@every:11", &rules[1], &error)) << error;
        sim->setFaults(rules);
        ProgramRun r = runHost("a D 1\nb D 500\n", sim->port(), "--cycles 40 --poll-ms 0 --json");
        EXPECT_EQ(r.code, 0) << r.err;
        const QJsonObject c = QJsonDocument::fromJson(QByteArray::fromStdString(r.out))
                                  .object()["counters"]
                                  .toObject();
        EXPECT_EQ(c["failures"].toInt(), 0);
        EXPECT_EQ(c["retries"].toInt(), static_cast<int>(sim->faultsInjected()));
        EXPECT_GT(sim->faultsInjected(), 5u);
    }
    // A panel port already in use: the second program says so and stops.
    {
        auto sim = startSimulator();
        BackgroundHost first =
            startHost("a D 1\n", "--plc 127.0.0.1:" + std::to_string(sim->port()) +
                                     " --http 127.0.0.1:0 --seconds 20");
        const int port = first.panelPort(10000);
        ASSERT_GT(port, 0);
        ProgramRun r = runHost("a D 1\n", sim->port(),
                               "--http 127.0.0.1:" + std::to_string(port) + " --seconds 5");
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(":" + std::to_string(port) + ": Address already in use"),
                  std::string::npos)
            << r.err;
    }
    // Both tools with their defaults: node 1 for the PLC, node 0 proposed by the host,
    // which the PLC answers with a node it assigns.
    {
        const std::string port = dir + "/port";
        const ProgramRun started =
            run("'" FINS_SIM_BIN "' --port 0 --port-file '" + port + "' >/dev/null 2>&1 & echo $!");
        const pid_t pid = std::stoi(started.out);
        const std::shared_ptr<void> stop(nullptr, [pid](void*) { kill(pid, SIGTERM); });
        ASSERT_TRUE(
            eventually([&] { return readFile(port).find('\n') != std::string::npos; }, 10000));
        ProgramRun r = run("'" FINS_HOST_BIN "' --driver '" FINS_DRIVER_PATH "' --tags '" +
                           writeFile("d.tags", "a D 1\n") + "' --plc 127.0.0.1:" +
                           std::to_string(std::stoi(readFile(port))) + " --cycles 2 --plain");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(": online | nodes 251/1 |"), std::string::npos) << r.out;
    }
}

// Two PLCs, station 2's stopped for 10 s: station 1's reads go on all along, a write to
// station 2 is refused while it is down, and its values are live again soon after it
// returns.
TEST_F(Situations, ADeadStationStopsNoOtherAndRefusesWrites) {
    auto sim1 = startSimulator();
    auto sim2 = startSimulator();
    ASSERT_TRUE(sim1 && sim2);
    const uint16_t port2 = sim2->port();
    BackgroundHost host =
        startHost("a D 1 1 1\nb D 1 1 2\n",
                  "--multi-station --plc 127.0.0.1:" + std::to_string(sim1->port()) +
                      " --station 2=127.0.0.1:" + std::to_string(port2) +
                      " --hmi-ip 127.0.0.23 --http 127.0.0.1:0 --seconds 14 --json");
    const int panel = host.panelPort(10000);
    ASSERT_GT(panel, 0);
    ASSERT_TRUE(eventually([&] { return sim2->requestsServed() > 2; }, 5000));
    sim2->stop();
    const Clock::time_point down_at = Clock::now();
    httplib::Client client("127.0.0.1", panel);
    // Station 1 is read at least every second while station 2 is down.
    bool refused = false;
    for (uint64_t seen = sim1->requestsServed();
         Clock::now() - down_at < std::chrono::seconds(10);) {
        ASSERT_TRUE(eventually([&] { return sim1->requestsServed() > seen; }, 1000))
            << readFile(host.err); // a host that ended says why there
        seen = sim1->requestsServed();
        auto res = client.Post("/api/write", "{\"tag\":\"b\",\"value\":5}", "application/json");
        if (res && res->status == 409) {
            refused = true;
            EXPECT_EQ(res->body, "{\"error\":\"station 2 is down: connection refused\"}");
        }
    }
    EXPECT_TRUE(refused);
    plcsim::SimConfig again = simConfig(port2);
    std::string error;
    auto back = startSim(again, &error);
    ASSERT_TRUE(back) << error;
    back->memory().writeWords(plcsim::Area::D, 1, {4321});
    EXPECT_TRUE(eventually([&] { return back->requestsServed() > 2; }, 2500));
    const QJsonObject doc = host.report(10000);
    EXPECT_EQ(doc["exit_code"].toInt(), 6); // the refused writes
    EXPECT_EQ(doc["tags"][1]["values"][0].toInt(), 4321) << readFile(host.out);
    EXPECT_FALSE(doc["tags"][1]["stale"].toBool());
    EXPECT_EQ(back->memory().word(plcsim::Area::D, 1), 4321); // the refused write never came
}

// A CP1L's port (few slots, a slow release, one node per connection, small segments),
// through the real programs: each row a rule of the port and how the host meets it.
TEST_F(Situations, ACp1lPortIsMetWithOneConnectionAndNamedRefusals) {
    auto cp1l = [](const char* faults, size_t slot_limit = 2) {
        plcsim::SimConfig c = simConfig();
        c.rules = plcsim::PortRules{slot_limit, 1000, true};
        c.segments = plcsim::SegmentRule{536, 2};
        std::istringstream texts(faults);
        std::string error;
        for (std::string text; texts >> text;) {
            c.faults.emplace_back();
            EXPECT_TRUE(plcsim::parseFaultRule(text, &c.faults.back(), &error)) << error;
        }
        return startSim(c, &error);
    };
    const std::string all_in_use = "node address refused: FINS/TCP error 0x20 (all FINS/TCP "
                                   "connections of the PLC are in use)";
    // Closed after every 50 requests, its slot released 1 s later: one connection at a
    // time, 0x20 named while both slots are held, no tag older than the release time
    // plus the longest backoff step (bench/cp1l_reconnect.sh measures the 30-s run).
    {
        auto sim = cp1l("close-after=50");
        BackgroundHost host =
            startHost("a D 1\nb D 600 10\n",
                      "--plc 127.0.0.1:" + std::to_string(sim->port()) +
                          " --http 127.0.0.1:0 --poll-ms 20 --seconds 6 --max-offline-seconds 0");
        const int panel = host.panelPort(10000);
        ASSERT_GT(panel, 0);
        httplib::Client client("127.0.0.1", panel);
        double oldest = 0;
        bool named = false;
        for (const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
             Clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            auto res = client.Get("/api/state");
            if (!res) continue;
            const QJsonObject doc = QJsonDocument::fromJson(res->body.c_str()).object();
            named |= doc["stations"][0]["reason"].toString().toStdString() == all_in_use;
            if (Clock::now() + std::chrono::seconds(4) < end) continue; // the first second
            for (const QJsonValue& t : doc["tags"].toArray())
                oldest = std::max(oldest, t["age_ms"].toDouble());
        }
        const plcsim::SimStatus st = sim->status();
        EXPECT_EQ(st.port.peakOpen, 1u);
        EXPECT_GT(st.port.refusedAllInUse, 0u);
        EXPECT_TRUE(named);
        EXPECT_LT(oldest, 1000 + 2000);
        EXPECT_GT(sim->connectionsAccepted(), 5u); // it came back every time
    }
    // One slot, released 1 s after each close: a station set aside comes back on its
    // probe's connection. A probe that closed it would hold the slot for a second while
    // the driver's own connection was refused, time after time.
    {
        auto sim = cp1l("close-after=50", 1);
        ProgramRun r = runHost("a D 1 1 1\n", sim->port(),
                               "--multi-station --poll-ms 20 --seconds 5 --max-offline-seconds 0 "
                               "--json");
        const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        const QJsonObject counters = doc["counters"].toObject();
        EXPECT_GT(counters["probes"].toInt(), 0) << r.out;
        // Closed after every 50 requests and read again after each release (about 150).
        EXPECT_GT(sim->requestsServed(), 100u) << r.out;
        EXPECT_EQ(sim->status().port.peakOpen, 1u);
    }
    // A second host proposing the node the first holds: 0x21, named; the first goes on.
    {
        auto sim = cp1l("");
        BackgroundHost first =
            startHost("a D 1\n", "--plc 127.0.0.1:" + std::to_string(sim->port()) +
                                     " --hmi-ip 127.0.0.23 --seconds 4 --json");
        ASSERT_TRUE(eventually([&] { return sim->requestsServed() > 2; }, 5000));
        ProgramRun second =
            runHost("a D 1\n", sim->port(), "--seconds 1.5 --max-offline-seconds 1 --json");
        EXPECT_EQ(second.code, 5);
        const QJsonObject doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(second.out)).object();
        EXPECT_EQ(doc["stations"][0]["reason"].toString(),
                  "node address refused: FINS/TCP error 0x21 (the specified node is already "
                  "connected)");
        const QJsonObject report = first.report(10000);
        EXPECT_EQ(report["exit_code"].toInt(), 0) << readFile(first.out);
        const QJsonObject counters = report["counters"].toObject();
        EXPECT_EQ(counters["failures"].toInt(), 0);
        EXPECT_EQ(counters["connects"].toInt(), 1);
    }
    // The non-fatal CPU error bit on every reply: reads stored, the write done, noted.
    {
        auto sim = cp1l("nonfatal");
        sim->memory().writeWords(plcsim::Area::D, 1, {4242});
        ProgramRun r = runHost("a D 1\nsp D 100\n", sim->port(), "--write sp=7 --cycles 2 --json");
        EXPECT_EQ(r.code, 0) << r.err;
        const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_EQ(doc["tags"][0]["values"][0].toInt(), 4242);
        EXPECT_EQ(doc["actions"][0]["outcome"].toString() + ": " +
                      doc["actions"][0]["detail"].toString(),
                  "done: the PLC reports a non-fatal CPU error (end code 0x0040)");
        EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 7);
    }
    // The 2,000-tag panel in 536-byte segments 2 ms apart, at 499 words a frame.
    {
        auto sim = cp1l("");
        std::string tags;
        for (int i = 0; i < 2000; ++i)
            tags += "t" + std::to_string(i) + " D " + std::to_string(1000 + 3 * i) + "\n";
        fhost::TagFile file = fhost::parseTagText(tags);
        fillPattern(sim->memory(), file.tags, 7);
        ProgramRun r = runHost(tags, sim->port(), "--max-block 499 --cycles 2 --json");
        EXPECT_EQ(r.code, 0) << r.err;
        const QJsonArray shown =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["tags"].toArray();
        ASSERT_EQ(shown.size(), 2000);
        int wrong = 0;
        for (int i = 0; i < 2000; ++i)
            wrong += shown[i]["values"][0].toInt() != simValues(sim->memory(), file.tags[i])[0];
        EXPECT_EQ(wrong, 0);
    }
}

// SIGHUP rereads the tag file: a bad one is refused and the run goes on with the old
// tags; a good one replaces them and the read list.
TEST_F(Situations, TheTagFileIsReloadedOnHangUp) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    sim->memory().writeWords(plcsim::Area::D, 5, {77});
    BackgroundHost host = startHost("a D 1\n", "--plc 127.0.0.1:" + std::to_string(sim->port()) +
                                                   " --hmi-ip 127.0.0.23 --seconds 4 --json");
    ASSERT_TRUE(eventually([&] { return sim->requestsServed() > 2; }, 5000)); // handler set
    writeFile("bg.tags", "a D 1\nb D 40000\n");
    kill(host.pid, SIGHUP);
    ASSERT_TRUE(eventually(
        [&] { return readFile(host.err).find("reload refused") != std::string::npos; }, 3000));
    EXPECT_NE(readFile(host.err).find("bg.tags: line 2: address 40000 is outside D (0-32767)"),
              std::string::npos);
    writeFile("bg.tags", "a D 1\nb D 5\n");
    kill(host.pid, SIGHUP);
    const QJsonObject doc = host.report(10000);
    EXPECT_EQ(doc["exit_code"].toInt(), 0);
    EXPECT_EQ(doc["tags"][1]["name"].toString(), "b");
    EXPECT_EQ(doc["tags"][1]["values"][0].toInt(), 77);
    std::string notices;
    for (const QJsonValue& n : doc["notices"].toArray())
        notices += n["text"].toString().toStdString() + ";";
    EXPECT_NE(notices.find("tag file reload refused (" + dir +
                           "/bg.tags has errors): going on with the tags read before;tag file "
                           "reloaded: 2 tags;"),
              std::string::npos)
        << notices;
}

} // namespace
} // namespace e2e
