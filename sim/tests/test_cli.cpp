// The fins-plcsim program: --help, error messages and exit codes, and a real run
// stopped by SIGTERM.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>

#include "cli_options.h"
#include "sim_test_util.h"
#include "socket_client.h"

extern char** environ;

using namespace plcsim;
using namespace plcsim_test;

namespace {

// A child process with its stdout and stderr on pipes; every wait has a deadline.
class Child {
  public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), PLCSIM_EXE);
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, PLCSIM_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        fds_[0] = out[0];
        fds_[1] = err[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : fds_)
            if (fd >= 0) close(fd);
    }

    // Reads both pipes until stderr holds `needle` (or, with an empty needle, until
    // both pipes end). False on timeout.
    bool readUntil(const std::string& needle) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(IO_TIMEOUT_MS);
        for (;;) {
            if (!needle.empty() && err.find(needle) != std::string::npos) return true;
            if (needle.empty() && fds_[0] < 0 && fds_[1] < 0) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            pollfd p[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
            if (poll(p, 2, static_cast<int>(left)) < 0 && errno != EINTR) return false;
            for (int i = 0; i < 2; ++i) {
                if (fds_[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP))) continue;
                char buf[4096];
                const ssize_t n = read(fds_[i], buf, sizeof buf);
                if (n > 0)
                    (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
                else {
                    close(fds_[i]);
                    fds_[i] = -1;
                }
            }
            if (!needle.empty() && fds_[1] < 0 && err.find(needle) == std::string::npos)
                return false;
        }
    }

    // Exit code once both pipes have ended; -1 on timeout or an abnormal end.
    int exitCode() {
        if (!readUntil("")) return -1;
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void signal(int sig) { kill(pid_, sig); }

    std::string out, err;

  private:
    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};
};

TEST(Cli, HelpListsOptionsAndFaults) {
    Child c({"--help"});
    EXPECT_EQ(c.exitCode(), 0);
    EXPECT_EQ(c.out.rfind("Usage: fins-plcsim [OPTIONS]", 0), 0u);
    for (const char* word : {"--port-file", "--remote", "--memory", "--fault", "close-after=N",
                             "every:N", "p:P", "--allow-remote-bind"})
        EXPECT_NE(c.out.find(word), std::string::npos) << word;
    EXPECT_TRUE(c.err.empty());
}

TEST(Cli, BadUsageRows) {
    struct Row {
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const Row rows[] = {
        {{"--bogus"}, 2, "fins-plcsim: unknown option '--bogus'\n"},
        {{"--port"}, 2, "fins-plcsim: option --port needs a value\n"},
        {{"--port", "70000"}, 2, "invalid value '70000' for --port"},
        {{"--node=0"}, 2, "invalid value '0' for --node"},
        {{"--fault", "explode@3"}, 2, "unknown fault 'explode'"},
        {{"--set", "Q1=2"}, 2, "unknown address 'Q1'"},
        {{"--log=yes"}, 2, "option --log takes no value"},
        {{"--bind", "0.0.0.0", "--port", "0"}, 1, "not a loopback address"},
        {{"--memory", "/nonexistent/x.mem", "--port", "0"}, 1, "cannot open memory file"},
    };
    for (const Row& row : rows) {
        Child c(row.args);
        EXPECT_EQ(c.exitCode(), row.code) << row.message;
        EXPECT_NE(c.err.find(row.message), std::string::npos) << c.err;
    }
}

TEST(Cli, ServesUntilSigterm) {
    char dir[] = "/tmp/plcsim-cli-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string portFile = std::string(dir) + "/port";
    const std::string memFile = std::string(dir) + "/start.mem";
    std::ofstream(memFile) << "# start values\nD100 = 1234\n";
    Child c(
        {"--port", "0", "--port-file", portFile, "--memory", memFile, "--set", "D101=7", "--log"});
    ASSERT_TRUE(c.readUntil(", node 1\n")) << c.err;
    int port = 0;
    std::ifstream(portFile) >> port;
    ASSERT_GT(port, 0);
    EXPECT_NE(c.err.find(":" + std::to_string(port) + ", node 1"), std::string::npos);
    TestClient client;
    ASSERT_TRUE(client.connectTo(static_cast<uint16_t>(port)));
    ASSERT_TRUE(client.sendAll(nodeRequest(0x0A)));
    Bytes reply;
    ASSERT_TRUE(client.readFinsFrame(&reply));
    ASSERT_TRUE(
        client.sendAll(tcpFrame(2, fromHex("80 00 02 00 01 00 00 0a 00 01 0101 82 0064 00 0002"))));
    ASSERT_TRUE(client.readFinsFrame(&reply));
    EXPECT_EQ(toHex(Bytes(reply.end() - 4, reply.end())), "04d20007");
    ASSERT_TRUE(c.readUntil("read area=0x82 addr=100 count=2 end=0x0000 fault=-"));
    c.signal(SIGTERM);
    EXPECT_EQ(c.exitCode(), 0);
    EXPECT_NE(c.err.find("fins-plcsim: stopped"), std::string::npos);
    EXPECT_TRUE(client.waitClosed());
    unlink(portFile.c_str());
    unlink(memFile.c_str());
    rmdir(dir);
}

TEST(CliOptions, ParsesEveryOption) {
    const char* argv[] = {"fins-plcsim",
                          "--port=0",
                          "--bind",
                          "127.0.0.2",
                          "--node",
                          "200",
                          "--remote",
                          "--log",
                          "--seed",
                          "9",
                          "--fault",
                          "drop@3",
                          "--fault=close-after=4",
                          "--memory",
                          "a.mem",
                          "--set",
                          "D1=2",
                          "--animate",
                          "--animate-interval",
                          "250",
                          "--port-file",
                          "p.txt",
                          "--max-connections",
                          "3"};
    CliOptions o;
    std::string error;
    ASSERT_EQ(parseCommandLine(sizeof argv / sizeof *argv, argv, &o, &error), CliAction::Run)
        << error;
    EXPECT_EQ(o.config.port, 0);
    EXPECT_EQ(o.config.bind, "127.0.0.2");
    EXPECT_EQ(o.config.node, 200);
    EXPECT_TRUE(o.config.remote);
    EXPECT_TRUE(o.config.log);
    EXPECT_EQ(o.config.seed, 9u);
    ASSERT_EQ(o.config.faults.size(), 2u);
    EXPECT_EQ(o.config.faults[1].kind, FaultKind::CloseAfter);
    EXPECT_EQ(o.memoryFiles, std::vector<std::string>{"a.mem"});
    ASSERT_EQ(o.sets.size(), 1u);
    EXPECT_EQ(o.sets[0].value, 2);
    EXPECT_TRUE(o.config.animate);
    EXPECT_EQ(o.config.animateIntervalMs, 250u);
    EXPECT_EQ(o.portFile, "p.txt");
    EXPECT_EQ(o.config.maxConnections, 3u);
}

} // namespace
