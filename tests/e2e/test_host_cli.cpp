// The real fins-host program: exit codes, the JSON report, the screen, the pcap
// recording (decoded by tshark when it is installed) and the real simulator program.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "e2e_support.h"
#include "host_bridge.h"
#include "host_runner.h"

extern char** environ;

namespace e2e {
namespace {

struct ProgramRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class HostProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fins-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string writeFile(const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    // Runs a shell command line; stdout and stderr are kept apart.
    ProgramRun run(const std::string& args) {
        ProgramRun r;
        const std::string out = dir + "/out.txt", err = dir + "/err.txt";
        std::string cmd = "'" FINS_HOST_BIN "' " + args + " >'" + out + "' 2>'" + err + "'";
        int status = std::system(cmd.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }
    std::unique_ptr<plcsim::SimServer> startSimulator() {
        std::string error;
        auto sim = startSim(simConfig(), &error);
        EXPECT_TRUE(sim) << error;
        return sim;
    }
    // The PLC, the panel's address and the driver, each unless `extra` gives its own.
    std::string plcArg(uint16_t port, const std::string& extra = "") {
        std::string args = extra;
        if (extra.find("--plc ") == std::string::npos)
            args += " --plc 127.0.0.1:" + std::to_string(port);
        if (extra.find("--hmi-ip ") == std::string::npos)
            args += " --hmi-ip 127.0.0." + std::to_string(HMI_NODE);
        if (extra.find("--driver ") == std::string::npos)
            args += " --driver '" FINS_DRIVER_PATH "'";
        return args;
    }

    std::string dir;
};

TEST_F(HostProgram, HelpDescribesTheOptionsAndExitsZero) {
    ProgramRun r = run("--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("Usage: fins-host --tags FILE"), std::string::npos);
    EXPECT_NE(r.out.find("--station N=HOST:PORT"), std::string::npos);
    EXPECT_NE(r.out.find("T.flag C.flag (5, 6)             timer / counter completion"),
              std::string::npos);
    r = run("--version");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("fins-host 1.", 0), 0u) << r.out;
}

struct BadInputRow {
    const char* tags;  // tag file text
    const char* extra; // further arguments
    int code;
    const char* message; // expected on stderr
};

TEST_F(HostProgram, BadInputStopsBeforeConnecting) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    const BadInputRow rows[] = {
        {"a D 1\nb D 2\nc Q 3\n", "", 3, "screen.tags: line 3: unknown register type 'Q'"},
        {"a D 1\na D 2\n", "", 3, "screen.tags: line 2: duplicate name 'a' (first on line 1)"},
        {"a CIO.bit 7\n", "", 3, "screen.tags: line 1: bit address '7' needs word.bit"},
        {"# nothing\n", "", 3, "screen.tags: no tag in the file\n"},
        {"a D 1\nb D 2 1 2\n", "--multi-station", 2,
         "screen.tags: line 2: tag 'b' is on station 2, which has no --station address"},
        {"a D 1\n", "--tags /nonexistent.tags", 3, "/nonexistent.tags: No such file or directory"},
        {"a D 1\n", "--hmi-ip 300.1.1.1", 2, "A.B.C.D, got '300.1.1.1' (see --help)\n"},
        {"a D 1\n", "--json=yes", 2, "fins-host: --json takes no value (see --help)\n"},
        {"a D 1\n", "--cycles 2", 2, "--cycles given more than once"},
        {"a D 1\n", "--station 2=h:1", 2, "--station needs --multi-station"},
        {"a D 1\n", "--max-block 500", 2, "CP1L carries at most 499 words"},
        {"a D 1\n", "--write nope=1", 2, "no tag named 'nope'"},
        {"a D 1\n", "--read-once nope", 2, "no tag named 'nope'"},
        {"a D 1\n", "--write a=70000", 2, "bad value '70000' for 'a'"},
        {"a D 1 2\n", "--write a=1,2,3", 2, "'a' takes 1 to 2 value(s), got '1,2,3'"},
        {"a D 1\n", "--bogus", 2, "unknown option --bogus"},
        {"a D 1\n", "--driver /nonexistent/libdriver.so", 4, "cannot load driver"},
    };
    for (const BadInputRow& row : rows) {
        std::string tags = writeFile("screen.tags", row.tags);
        const std::string tags_arg =
            std::string(row.extra).find("--tags ") == 0 ? "" : "--tags '" + tags + "' ";
        ProgramRun r = run(tags_arg + plcArg(sim->port(), row.extra) + " --cycles 1");
        EXPECT_EQ(r.code, row.code) << row.tags << " " << row.extra << "\n" << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(sim->connectionsAccepted(), 0u);
}

// Faults a user meets, each through the real program against the simulator: the
// reason shown, the JSON, the exit code, and no more connections than the backoff
// (20 ms, doubling to 2 s) allows in the run.
struct FaultRow {
    const char* what;
    const char* tags;
    bool plc_gone;     // --plc names a port nobody listens on
    const char* extra; // %C: a port nobody listens on
    const char* fault; // simulator fault rules, or ""
    int code;
    int station;        // whose state is checked
    const char* reason; // that station's reason, also in the status line
    const char* action; // "outcome: detail" of the first action, or ""
    int max_connects;
};

TEST_F(HostProgram, FaultsAreNamedPacedAndReportedInTheExitCode) {
    uint16_t closed_port = 0;
    {
        std::string error;
        auto gone = startSim(simConfig(), &error); // take a free port, then free it again
        ASSERT_TRUE(gone) << error;
        closed_port = gone->port();
    }
    const FaultRow rows[] = {
        {"refused connect", "a D 1\n", true, "", "", 5, 1, "connection refused", "", 9},
        {"node clash", "a D 1\n", false, "--hmi-ip 127.0.0.200", "", 5, 1,
         "node address refused: FINS/TCP error 0x24 (node in use: --hmi-ip proposes the PLC's "
         "own node)",
         "", 9},
        {"wrong framing", "a D 1\n", false, "--remote-mode", "", 5, 1,
         "FINS/TCP reply to a remote-mode frame (the port speaks FINS/TCP: no --remote-mode?)", "",
         9},
        {"write refused by end code", "ro A 10\n", false, "--write ro=7", "", 6, 1, "",
         "refused: end code 0x2101 (read-only area)", 1},
        // Request 1 is the node address exchange, 2 and 3 the write and its one retry.
        {"write given up", "sp D 100\n", false, "--write sp=7 --retry-limit 1",
         "error=0x21@2 error=0x21@3", 6, 1, "",
         "gave up: after 2 bad replies: error code in the reply (result 12)", 2},
        {"dead station", "a D 1 1\nb D 1 1 2\n", false, "--multi-station --station 2=127.0.0.1:%C",
         "", 5, 2, "connection refused", "", 9},
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
        std::string tags = writeFile("screen.tags", row.tags);
        ProgramRun r =
            run("--tags '" + tags + "' " + plcArg(row.plc_gone ? closed_port : sim->port(), extra) +
                " --seconds 2 --max-offline-seconds 1.5 --json");
        EXPECT_EQ(r.code, row.code) << r.err << r.out;
        const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_EQ(doc["exit_code"].toInt(), row.code);
        QJsonObject station;
        for (const QJsonValue& st : doc["stations"].toArray())
            if (st["station"].toInt() == row.station) station = st.toObject();
        EXPECT_EQ(station["reason"].toString().toStdString(), row.reason) << r.out;
        const std::string summary = doc["status"]["summary"].toString().toStdString();
        EXPECT_NE(summary.find(row.station == 1 ? row.reason
                                                : "station 2 unreachable: cyclic "
                                                  "reads of every station wait for it"),
                  std::string::npos)
            << summary;
        EXPECT_EQ(doc["status"]["online"].toBool(), row.code == 6);
        const QJsonValue action = doc["actions"][0];
        EXPECT_EQ(*row.action ? action["outcome"].toString() + ": " + action["detail"].toString()
                              : QString(),
                  row.action);
        const int connects = station["connects"].toInt();
        EXPECT_GE(connects, 1);
        EXPECT_LE(connects, row.max_connects);
        if (row.station == 1 && !row.plc_gone) { // the simulator saw the same
            EXPECT_EQ(sim->connectionsAccepted(), static_cast<uint64_t>(connects));
        }
    }
}

// Another thread's requests go the way of --write and --read-once; their outcomes
// come back in the published state document.
TEST_F(HostProgram, BridgeRequestsAreServedByTheLoop) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    const std::string tags = writeFile("screen.tags", "sp D 100\nro A 10\n");
    const std::string port = "127.0.0.1:" + std::to_string(sim->port());
    const char* argv[] = {"fins-host", "--tags",       tags.c_str(), "--plc",          port.c_str(),
                          "--hmi-ip",  "127.0.0.23",   "--driver",   FINS_DRIVER_PATH, "--seconds",
                          "30",        "--refresh-ms", "20",         "--json"};
    fhost::HostBridge bridge;
    int code = -1;
    std::thread loop([&] { code = fhost::runHost(sizeof argv / sizeof argv[0], argv, &bridge); });
    ASSERT_TRUE(bridge.waitNewer(0, 10000));
    using Kind = fhost::HostBridge::Request;
    const quint64 ids[] = {bridge.request(Kind::Write, "sp", "99"),
                           bridge.request(Kind::Write, "ro", "1"),
                           bridge.request(Kind::ReadOnce, "nope")};
    std::map<quint64, QString> outcomes;
    quint64 seq = 0;
    for (int i = 0; i < 500 && outcomes.size() < 3; ++i) {
        bridge.waitNewer(seq, 100);
        outcomes.clear();
        for (const QJsonValue& a : bridge.state(&seq)["actions"].toArray())
            if (a["outcome"].toString() != "pending")
                outcomes[a["id"].toVariant().toULongLong()] =
                    a["outcome"].toString() + ": " + a["detail"].toString();
    }
    fhost::requestStop();
    loop.join();
    EXPECT_EQ(outcomes[ids[0]], "done: ");
    EXPECT_EQ(outcomes[ids[1]], "refused: end code 0x2101 (read-only area)");
    EXPECT_EQ(outcomes[ids[2]], "refused: no tag named 'nope'");
    EXPECT_EQ(sim->memory().word(plcsim::Area::D, 100), 99);
    EXPECT_EQ(code, 6);
}

TEST_F(HostProgram, JsonReportHoldsTheSimulatorsValuesTheWriteAndTheOneShotRead) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    plcsim::PlcMemory& m = sim->memory();
    m.setWord(plcsim::Area::D, 200, 11);
    m.setWord(plcsim::Area::D, 201, 0xABCD);
    m.setBit(plcsim::Area::CIO, 3, 1, true);
    m.setFlag(plcsim::Area::TimerFlag, 6, true);
    std::string tags = writeFile("screen.tags", "\xEF\xBB\xBFsp   D       100\n"
                                                "rec  D       200 2\n"
                                                "lamp CIO.bit 3.00 2\n"
                                                "done T.flag  5 2\n");
    ProgramRun r = run("--tags '" + tags + "' " + plcArg(sim->port()) +
                       " --cycles 2 --json --write sp=321 --read-once rec");
    EXPECT_EQ(r.code, 0) << r.err;
    // Qt writes the keys of an object in order.
    const char* expected[] = {
        "\"exit_code\":0,",
        "\"outcome\":\"cycles done\",",
        "{\"address\":\"100\",\"name\":\"sp\",\"station\":1,\"type\":\"D\",\"values\":[321]}",
        "{\"address\":\"200\",\"name\":\"rec\",\"station\":1,\"type\":\"D\","
        "\"values\":[11,43981]}",
        "{\"address\":\"3.00\",\"name\":\"lamp\",\"station\":1,\"type\":\"CIO.bit\","
        "\"values\":[0,1]}",
        "\"name\":\"done\",\"stale\":false,\"station\":1,\"type\":5,\"type_name\":\"T.flag\","
        "\"values\":[0,1]}",
        "\"actions\":[{\"detail\":\"\",\"id\":0,\"kind\":\"write\",\"outcome\":\"done\","
        "\"tag\":\"sp\",\"value\":\"321\",\"values\":[]},{\"detail\":\"\",\"id\":0,"
        "\"kind\":\"read-once\",\"outcome\":\"done\",\"tag\":\"rec\",\"values\":[11,43981]}]",
        "\"count\":1,",
        "\"text\":\"one-shot read of rec done: 11 (0x000B)  43981 (0xABCD)\"}],"
        "\"notices_left_out\":0,",
        "\"cycles\":2,",
        "\"read_blocks\":4,",
        "\"online\":true,",
    };
    for (const char* e : expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(m.word(plcsim::Area::D, 100), 321);
}

TEST_F(HostProgram, PcapRecordingDecodesAsFins) {
    auto sim = startSimulator();
    ASSERT_TRUE(sim);
    std::string tags = writeFile("screen.tags", "sp D 100\nlamp CIO.bit 3.00\n");
    const std::string pcap = dir + "/trace.pcap";
    ProgramRun r = run("--tags '" + tags + "' " + plcArg(sim->port()) +
                       " --cycles 3 --json --pcap '" + pcap + "' --write sp=5");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bytes = readFile(pcap);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xD4\xC3\xB2\xA1", 4));

    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed";
    const std::string decoded = dir + "/decoded.txt", problems = dir + "/problems.txt";
    ASSERT_EQ(
        std::system(("tshark -r '" + pcap + "' -Y omron >'" + decoded + "' 2>/dev/null").c_str()),
        0);
    ASSERT_EQ(std::system(("tshark -r '" + pcap + "' -Y 'tcp.analysis.flags || _ws.malformed' >'" +
                           problems + "' 2>/dev/null")
                              .c_str()),
              0);
    const std::string text = readFile(decoded);
    EXPECT_NE(text.find("Node Address Data Send (Client to Server)"), std::string::npos) << text;
    EXPECT_NE(text.find("Node Address Data Send (Server to Client)"), std::string::npos) << text;
    EXPECT_NE(text.find("Command  : Memory Area Write"), std::string::npos) << text;
    EXPECT_NE(text.find("Response : Memory Area Read"), std::string::npos) << text;
    // handshake 2 + write 2 + three passes of two blocks, request and response each
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 16) << text;
    EXPECT_EQ(readFile(problems), "");
}

// The simulator program itself, started the way scripts start it.
class SimProgram {
  public:
    bool start(const std::string& dir, const std::string& memory_file) {
        port_file_ = dir + "/port";
        std::vector<std::string> args = {FINS_SIM_BIN,
                                         "--port",
                                         "0",
                                         "--port-file",
                                         port_file_,
                                         "--node",
                                         std::to_string(SIM_NODE),
                                         "--memory",
                                         memory_file};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, FINS_SIM_BIN, nullptr, nullptr, argv.data(), environ) != 0)
            return false;
        // Poll for the port file, bounded.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string text = readFile(port_file_);
            if (!text.empty() && text.back() == '\n') {
                port_ = static_cast<uint16_t>(std::stoi(text));
                return true;
            }
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    uint16_t port() const { return port_; }
    ~SimProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

  private:
    std::string port_file_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

TEST_F(HostProgram, PlainScreenAgainstTheSimulatorProgram) {
    SimProgram sim;
    std::string memory = writeFile("plc.txt", "D100 = 1234\nCIO3.01 = 1\nC7 = 42\n");
    ASSERT_TRUE(sim.start(dir, memory));
    std::string tags = writeFile("screen.tags", "sp D 100\nlamp CIO.bit 3.00 2\ncnt C 7\n");
    ProgramRun r = run("--tags '" + tags + "' " + plcArg(sim.port()) + " --cycles 2 --plain");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("sp               D 100              1234 (0x04D2)"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("lamp             CIO.bit 3.00       0 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cnt              C 7                42 (0x002A)"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("frames/cycle | "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| retries 0 | failures 0 | online"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("fins-host: cycles done"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\x1b["), std::string::npos); // no terminal codes in plain mode
}

} // namespace
} // namespace e2e
