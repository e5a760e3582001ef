// The server over loopback sockets: several clients at once, packed and split frames,
// faults set at run time, the log line, stopping, and the bind address.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "plcsim/sim_server.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

constexpr int IO_TIMEOUT_MS = 5000;

// A loopback client whose every wait is bounded.
class Client {
  public:
    explicit Client(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    }
    ~Client() { close(fd_); }
    void send(const Bytes& b) {
        EXPECT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    }
    // Up to n bytes as hex: fewer when the server closes or the time runs out.
    std::string read(size_t n) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(IO_TIMEOUT_MS);
        Bytes got(n);
        size_t have = 0;
        while (have < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            const ssize_t r = recv(fd_, got.data() + have, n - have, 0);
            if (r <= 0) break;
            have += static_cast<size_t>(r);
        }
        got.resize(have);
        return toHex(got);
    }
    std::string reply(const std::string& expectedHex) { return read(fromHex(expectedHex).size()); }
    bool closedByServer() { return read(1).empty(); }

  private:
    int fd_;
};

// A read of D100 to PLC node 1 with this SID, and the reply for client node `node`.
Bytes readD100(uint8_t sid) {
    Bytes m = fromHex("80 00 02 00 01 00 00 0a 00");
    m.push_back(sid);
    const Bytes command = fromHex("0101 82 0064 00 0001");
    m.insert(m.end(), command.begin(), command.end());
    return tcpFrame(2, m);
}
std::string d100Reply(uint8_t node, uint8_t sid, uint16_t value) {
    return toHex(tcpFrame(2, {0xC0, 0, 2, 0, node, 0, 0, 1, 0, sid, 1, 1, 0, 0,
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}));
}
std::string nodeReply(uint8_t node) {
    return toHex(tcpFrame(1, {0, 0, 0, node, 0, 0, 0, 1}));
}

class Loopback : public ::testing::Test {
  protected:
    void start(SimConfig config = {}) {
        config.port = 0;
        server = std::make_unique<SimServer>(config);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        server->memory().setWord(Area::D, 100, 1234);
        server->runInBackground();
    }
    std::unique_ptr<SimServer> server;
};

TEST_F(Loopback, ServesSeveralClientsWithPackedAndSplitFrames) {
    start();
    Client a(server->port()), b(server->port()), c(server->port());
    a.send(nodeRequest(0));
    b.send(nodeRequest(0));
    EXPECT_EQ(a.reply(nodeReply(0xFB)), nodeReply(0xFB));
    EXPECT_EQ(b.reply(nodeReply(0xFA)), nodeReply(0xFA));
    // c packs its exchange and two reads in one segment, then splits a third read.
    Bytes packed = nodeRequest(0x22);
    for (uint8_t sid : {1, 2}) {
        const Bytes r = readD100(sid);
        packed.insert(packed.end(), r.begin(), r.end());
    }
    c.send(packed);
    const Bytes third = readD100(3);
    c.send(Bytes(third.begin(), third.begin() + 5));
    a.send(readD100(9));
    c.send(Bytes(third.begin() + 5, third.end()));
    const std::string cReplies = nodeReply(0x22) + d100Reply(0x22, 1, 1234) +
                                 d100Reply(0x22, 2, 1234) + d100Reply(0x22, 3, 1234);
    EXPECT_EQ(c.reply(cReplies), cReplies);
    EXPECT_EQ(a.reply(d100Reply(0xFB, 9, 1234)), d100Reply(0xFB, 9, 1234));
    EXPECT_EQ(server->stats().connectionsAccepted, 3u);
    EXPECT_EQ(server->stats().requestsServed, 7u);
}

TEST_F(Loopback, AppliesFaultsSetAtRunTime) {
    start();
    std::vector<FaultRule> rules(3);
    ASSERT_TRUE(parseFaultRule("drop@2", &rules[0], nullptr));
    ASSERT_TRUE(parseFaultRule("error=0x21@3", &rules[1], nullptr));
    ASSERT_TRUE(parseFaultRule("delay=40@4", &rules[2], nullptr));
    server->setFaults(rules);
    Client c(server->port());
    c.send(nodeRequest(0x0A)); // request 1
    EXPECT_EQ(c.reply(nodeReply(0x0A)), nodeReply(0x0A));
    for (uint8_t sid : {2, 3, 4, 5})
        c.send(readD100(sid));
    std::string errored = d100Reply(0x0A, 3, 1234);
    errored.replace(24, 8, "00000021");
    // 2 dropped, 3 with the error code, 4 late and 5 still behind it.
    const std::string expected = errored + d100Reply(0x0A, 4, 1234) + d100Reply(0x0A, 5, 1234);
    EXPECT_EQ(c.reply(expected), expected);
    EXPECT_EQ(server->faultsInjected(), 3u);

    ASSERT_TRUE(parseFaultRule("close-after=2", &rules[0], nullptr));
    ASSERT_TRUE(parseFaultRule("close@3", &rules[1], nullptr));
    server->setFaults({rules[0]});
    Client d(server->port());
    d.send(nodeRequest(0x0A));
    d.send(readD100(1));
    const std::string twoReplies = nodeReply(0x0A) + d100Reply(0x0A, 1, 1234);
    EXPECT_EQ(d.reply(twoReplies), twoReplies);
    EXPECT_TRUE(d.closedByServer());
    server->setFaults({rules[1]});
    Client e(server->port());
    e.send(nodeRequest(0x0A));
    e.send(readD100(1));
    e.send(readD100(2));
    EXPECT_EQ(e.read(100), nodeReply(0x0A) + d100Reply(0x0A, 1, 1234)); // then closed
}

TEST_F(Loopback, LogsEveryRequestWithTheRefusedNode) {
    SimConfig config;
    config.log = true;
    auto lines = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    config.logSink = [lines, mutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(*mutex);
        lines->push_back(line.substr(line.find(' '))); // without the peer address
    };
    start(config);
    Client c(server->port());
    c.send(nodeRequest(1)); // the PLC's own node
    c.send(nodeRequest(0x0A));
    c.send(readD100(1));
    const std::string expected = "46494e53000000080000000100000024" + nodeReply(0x0A) +
                                 d100Reply(0x0A, 1, 1234); // each logged before it is sent
    EXPECT_EQ(c.reply(expected), expected);
    std::lock_guard<std::mutex> lock(*mutex);
    EXPECT_EQ(*lines, (std::vector<std::string>{
                          " node addr=1 count=0 end=0x0000 tcp-error=0x00000024 fault=-",
                          " node addr=10 count=10 end=0x0000 fault=-",
                          " read area=0x82 addr=100 count=1 end=0x0000 fault=-"}));
}

TEST_F(Loopback, StopClosesEveryConnection) {
    start();
    Client a(server->port()), b(server->port());
    a.send(nodeRequest(0x0A));
    EXPECT_EQ(a.reply(nodeReply(0x0A)), nodeReply(0x0A));
    server->stop();
    EXPECT_TRUE(a.closedByServer());
    EXPECT_TRUE(b.closedByServer());
    EXPECT_EQ(server->stats().openConnections, 0u);
}

TEST(SimServerStart, BindsOnlyToLoopbackUnlessAllowed) {
    const struct {
        const char* bind;
        const char* address; // after start, or "" when refused
    } rows[] = {
        {"localhost", "127.0.0.1"}, {"127.0.0.2", "127.0.0.2"}, {"0.0.0.0", ""}, {"192.0.2.1", ""}};
    for (const auto& row : rows) {
        SimConfig config;
        config.port = 0;
        config.bind = row.bind;
        SimServer server(config);
        std::string error;
        EXPECT_EQ(server.start(&error), *row.address != '\0') << row.bind << ": " << error;
        if (*row.address)
            EXPECT_EQ(server.address(), row.address);
        else
            EXPECT_NE(error.find("not a loopback address"), std::string::npos) << error;
    }
}

} // namespace
