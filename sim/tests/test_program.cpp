// The fins-plcsim program as a user runs it: --help, --version, one-line errors with their exit
// codes, every bad memory-file line, and a run stopped by SIGTERM.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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

TEST(PlcsimProgram, ServesOnLocalhostUntilSigterm) {
    // The server's own output is read through a pipe; SIGTERM once it says it listens.
    const std::string out =
        shell("bash -c 'exec 3< <(exec \"$0\" --bind localhost --port=0 --remote --set D1=2 2>&1); "
              "pid=$!; read -r -t 20 line <&3; echo \"$line\"; kill -TERM $pid; "
              "cat <&3; wait $pid' " +
              EXE);
    EXPECT_EQ(out.rfind("fins-plcsim: listening on 127.0.0.1:", 0), 0u) << out;
    const std::string tail = " (remote mode), node 1\nfins-plcsim: stopped\nexit 0\n";
    ASSERT_GE(out.size(), tail.size()) << out;
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
}

} // namespace
