// The fins-plcsim program as a user runs it: --help, --version, one-line errors with
// their exit codes, every bad memory-file line, and a run stopped by SIGTERM.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

namespace {

const std::string EXE = std::string("'") + PLCSIM_EXE + "'";

struct ProgramRun {
    std::string output; // stdout and stderr
    int code = -1;
};

ProgramRun shell(const std::string& command) {
    ProgramRun r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        r.output.append(buf, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(PlcsimProgram, AnswersBadCommandLinesInOneLine) {
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "bad.mem") << "D1 = 1\nD2 == 3\nX5 = 1\n";
    const struct {
        std::string args;
        int code;
        std::string output;
    } rows[] = {
        {"--version", 0, std::string("fins-plcsim ") + PLCSIM_VERSION + "\n"},
        {"--bogus", 2, "fins-plcsim: unknown option --bogus (see --help)\n"},
        {"--port", 2, "fins-plcsim: missing value after '--port' (see --help)\n"},
        {"--port=70000", 2,
         "fins-plcsim: invalid value '70000' for --port: expected 0 to 65535 (see --help)\n"},
        {"--node 7 --node=8", 2, "fins-plcsim: option --node given more than once (see --help)\n"},
        {"--log=yes", 2, "fins-plcsim: unexpected value after '--log' (see --help)\n"},
        {"--port 0 stray", 2, "fins-plcsim: unexpected argument 'stray' (see --help)\n"},
        {"--bind 0.0.0.0 --port 0", 1,
         "fins-plcsim: bind address '0.0.0.0' is not a loopback address (127.x.x.x); use "
         "--allow-remote-bind\n"},
        {"--port 0 --memory " + dir + "bad.mem --memory " + dir + "none.mem", 1,
         "fins-plcsim: " + dir +
             "bad.mem:2: bad value '= 3' (0 to 65535, -32768 to -1, or 0x hex)\n"
             "fins-plcsim: " +
             dir +
             "bad.mem:3: unknown address 'X5' (use CIO, W, H, A, D, T or C "
             "and a number)\nfins-plcsim: " +
             dir + "none.mem: No such file or directory\n"},
    };
    for (const auto& row : rows) {
        const ProgramRun r = shell(EXE + " " + row.args);
        EXPECT_EQ(r.code, row.code) << row.args;
        EXPECT_EQ(r.output, row.output) << row.args;
    }
}

TEST(PlcsimProgram, HelpShowsTheOptionsAndTheValueSyntax) {
    const ProgramRun r = shell(EXE + " --help");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output.rfind("Usage: fins-plcsim [options]\n", 0), 0u) << r.output;
    for (const char* text : {"--animate-interval <MS>", "-h, --help", "--version",
                             "Tn.flag / Cn.flag", "close-after=N", "every:N"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text;
}

TEST(PlcsimProgram, ServesOnLocalhostUntilSigterm) {
    // The server's own output is read through a pipe; SIGTERM once it says it listens.
    const ProgramRun r =
        shell("bash -c 'exec 3< <(exec \"$0\" --bind localhost --port=0 --set D1=2 2>&1); "
              "pid=$!; read -r -t 20 line <&3; echo \"$line\"; kill -TERM $pid; "
              "cat <&3; wait $pid; echo \"exit $?\"' " +
              EXE);
    EXPECT_EQ(r.output.rfind("fins-plcsim: listening on 127.0.0.1:", 0), 0u) << r.output;
    const std::string tail = ", node 1\nfins-plcsim: stopped\nexit 0\n";
    ASSERT_GE(r.output.size(), tail.size()) << r.output;
    EXPECT_EQ(r.output.substr(r.output.size() - tail.size()), tail) << r.output;
}

} // namespace
