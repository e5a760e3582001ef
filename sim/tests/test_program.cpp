// The fins-plcsim program as a user runs it: --help, --version, one-line errors with their exit
// codes, every bad memory-file line, a run stopped by SIGTERM, and the memory it starts with.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

const std::string EXE = std::string("'") + PLCSIM_EXE + "'";

// What a shell command writes on stdout and stderr, then "exit N" with its exit code.
std::string shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1; echo \"exit $?\"").c_str(), "r");
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        output.append(buf, n);
    if (pipe) pclose(pipe);
    return output;
}

TEST(PlcsimProgram, AnswersBadCommandLinesInOneLine) {
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "bad.mem") << "D1 = 1\nD2 == 3\nX5 = 1\n";
    const std::string mem = "fins-plcsim: " + dir;
    const std::pair<std::string, std::string> rows[] = {
        {"--version", std::string("fins-plcsim ") + PLCSIM_VERSION + "\nexit 0\n"},
        {"--help | head -n 1", "Usage: fins-plcsim [options]\nexit 0\n"},
        {"--bogus", "fins-plcsim: unknown option --bogus (see --help)\nexit 2\n"},
        {"--port=70000", "fins-plcsim: invalid value '70000' for --port: expected 0 to 65535 (see "
                         "--help)\nexit 2\n"},
        {"--node 7 --node=8",
         "fins-plcsim: option --node given more than once (see --help)\nexit 2\n"},
        {"--port 0 stray", "fins-plcsim: unexpected argument 'stray' (see --help)\nexit 2\n"},
        {"--profile plc5", "fins-plcsim: invalid value 'plc5' for --profile: expected cp1l (see "
                           "--help)\nexit 2\n"},
        {"--port 0 --status-file /nonexistent/s.json",
         "fins-plcsim: cannot write status file '/nonexistent/s.json': No such file or "
         "directory\nexit 1\n"},
        {"--max-message 19", "fins-plcsim: invalid value '19' for --max-message: expected 20 to "
                             "2040 (see --help)\nexit 2\n"},
        {"--bind 0.0.0.0 --port 0", "fins-plcsim: bind address '0.0.0.0' is not a loopback "
                                    "address (127.x.x.x); use --allow-remote-bind\nexit 1\n"},
        {"--port 0 --memory " + dir + "bad.mem --memory " + dir + "none.mem --memory " + dir,
         mem + "bad.mem:2: bad value '= 3' (0 to 65535, -32768 to -1, or 0x hex)\n" + mem +
             "bad.mem:3: unknown address 'X5' (use CIO, W, H, A, D, T or C and a number)\n" + mem +
             "none.mem: No such file or directory\n" + mem + ": Is a directory\nexit 1\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(shell(EXE + " " + row.first), row.second) << row.first;
}

// Options beside a profile override it; the status file holds the last status at stop.
TEST(PlcsimProgram, ServesOnLocalhostUntilSigterm) {
    const std::string status = ::testing::TempDir() + "status.json";
    std::remove(status.c_str());
    // The server's own output is read through a pipe; SIGTERM once it says it listens.
    const std::string out =
        shell("bash -c 'exec 3< <(exec \"$0\" --bind localhost --port=0 --remote --set D1=2 "
              "--profile cp1l --release-ms 5 --status-file \"$1\" 2>&1); "
              "pid=$!; read -r -t 20 line <&3; echo \"$line\"; kill -TERM $pid; "
              "cat <&3; wait $pid' " +
              EXE + " '" + status + "'");
    std::string json;
    std::getline(std::ifstream(status), json);
    EXPECT_EQ(json, "{\"slots\":3,\"release_ms\":5,\"slots_in_use\":0,\"peak_open\":0,"
                    "\"accepted\":0,\"refused_all_in_use\":0,\"refused_node_in_use\":0,"
                    "\"requests\":0,\"faults\":0,\"open\":[],\"releasing\":[]}");
    EXPECT_EQ(out.rfind("fins-plcsim: listening on 127.0.0.1:", 0), 0u) << out;
    const std::string tail = " (remote mode), node 1\nfins-plcsim: stopped\nexit 0\n";
    ASSERT_GE(out.size(), tail.size()) << out;
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
}

// Start-up memory values: the assignment syntax, whole files with every bad line
// reported, and the demo animation.
TEST(PlcsimMemory, AppliesGoodLinesAndReportsEveryBadOne) {
    PlcMemory memory;
    std::vector<std::string> errors;
    EXPECT_FALSE(loadMemoryText("\xEF\xBB\xBF"
                                "D100=1234   # a word\nD2 == 3\n\n  cio6143.15 = 1\r\nX5 = 1\n"
                                "T5.flag = 1\nc7.FLAG = 1\nC7 = 42\nT4095 = 0x10\nA959 = 1\n"
                                "DM20 = -1\nD21 = -32768\nW511 = 0xFFFF\n"
                                "D310:REAL = 23.5 # typed values\nD320:dint:swap = 100000\n"
                                "D300:STRING3 = \"A#B\", \"C\"\nT5:BCD = 250\nD200 = 11, -1\n"
                                "D32767:REAL = 1\n",
                                "start.mem", memory, &errors));
    EXPECT_EQ(errors,
              (std::vector<std::string>{
                  "start.mem:2: bad value '= 3' (0 to 65535, -32768 to -1, or 0x hex)",
                  "start.mem:5: unknown address 'X5' (use CIO, W, H, A, D, T or C and a "
                  "number)",
                  "start.mem:19: 2 words from 'D32767:REAL' run past the end of the area"}));
    for (const char* check :
         {"D100 = 1234", "CIO6143 = 0x8000", "T5.flag = 1", "C7.flag = 1", "C7 = 42", "T4095 = 16",
          "A959 = 1", "D20 = 0xFFFF", "D21 = 0x8000", "W511 = 0xFFFF", "D310 = 0, 0x41BC",
          "D320 = 1, 0x86A0", "D300 = 0x4123, 0x4200, 0x4300, 0", "T5 = 0x0250",
          "D200 = 11, 0xFFFF", "D32767 = 0"})
        expectMemory(memory, check);
    for (const char* bad : {"D = 1",
                            "D32768 = 1",
                            "W512 = 1",
                            "H512 = 1",
                            "T4096 = 1",
                            "CIO1.16 = 1",
                            "CIO1.3 = 2",
                            "T5.bit = 1",
                            "T5.flag = 2",
                            "D5",
                            "D5 = 70000",
                            "D5 = -32769",
                            "D5 = abc",
                            "D5 = ",
                            "CIO1.3 = 1, 0",
                            "CIO1.3:BOOL = 1",
                            "D5:FLOAT = 1",
                            "D5:INT = 40000",
                            "D5:REAL = ",
                            "D5:BCD = 0x10",
                            "D5:STRING2 = \"ABC\"",
                            "D32767 = 1, 2"}) {
        MemoryAssignment a;
        std::string error;
        EXPECT_TRUE(!parseAssignment(bad, &a, &error) && !error.empty()) << bad;
    }
}

TEST(PlcsimMemory, AnimationCountsAndToggles) {
    PlcMemory memory;
    memory.setWord(Area::D, ANIMATE_COUNTER_WORD, 0xFFFF);
    animateStep(memory);
    EXPECT_EQ(memory.word(Area::D, ANIMATE_COUNTER_WORD), 0);
    EXPECT_TRUE(memory.bit(Area::CIO, 0, 0));
    expectMemory(memory, "D310 = 0, 0x41AC"); // REAL 21.5, the middle of the wave
    expectMemory(memory, "D320 = 7, 0");      // DINT 7
    animateStep(memory);
    EXPECT_FALSE(memory.bit(Area::CIO, 0, 0));
    expectMemory(memory, "D320 = 14, 0");
}

} // namespace
