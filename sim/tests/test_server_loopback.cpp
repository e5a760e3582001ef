// The server over loopback sockets: several clients at once with packed and split
// frames, faults set at run time, the log line, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <utility>

#include "plc_connection.h"
#include "plcsim/sim_server.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

// The host's own connection code as the client; each call waits at most 5 s.
struct Client : fhost::PlcConnection {
    explicit Client(uint16_t port) : PlcConnection({"127.0.0.1", port}) {
        std::string error;
        EXPECT_TRUE(open(deadline(), &error)) << error;
    }
    static fhost::Clock::time_point deadline() {
        return fhost::Clock::now() + std::chrono::seconds(5);
    }
    void send(const Bytes& b) {
        std::string error;
        EXPECT_TRUE(sendAll(QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size())),
                            deadline(), &error))
            << error;
    }
    // The next `n` replies as hex; fewer when the server closes.
    std::string replies(int n) {
        std::string all;
        for (QByteArray r; n-- > 0 && readFinsReply(deadline(), &r) == fhost::ReadStatus::Complete;)
            all += r.toHex().toStdString();
        return all;
    }
};

// A read of D100 to PLC node 1 with this SID, and its reply to client node `node`.
Bytes readD100(uint8_t sid) {
    return tcpFrame(2, {0x80, 0, 2, 0, 1, 0, 0, 0x0A, 0, sid, 1, 1, 0x82, 0, 100, 0, 0, 1});
}
std::string d100Reply(uint8_t node, uint8_t sid) {
    return toHex(tcpFrame(2, {0xC0, 0, 2, 0, node, 0, 0, 1, 0, sid, 1, 1, 0, 0, 0x04, 0xD2}));
}
std::string nodeReply(uint8_t node) {
    return toHex(tcpFrame(1, {0, 0, 0, node, 0, 0, 0, 1}));
}

class PlcsimServer : public ::testing::Test {
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

TEST_F(PlcsimServer, ServesSeveralClientsUntilStopped) {
    start();
    Client a(server->port()), b(server->port()), c(server->port());
    a.send(nodeRequest(0));
    b.send(nodeRequest(0));
    EXPECT_EQ(a.replies(1), nodeReply(0xFB));
    EXPECT_EQ(b.replies(1), nodeReply(0xFA));
    // c packs its exchange and a read in one segment, and splits the next read.
    c.send(fromHex(toHex(nodeRequest(0x22)) + toHex(readD100(1))));
    const Bytes read = readD100(2);
    c.send(Bytes(read.begin(), read.begin() + 5));
    a.send(readD100(9));
    c.send(Bytes(read.begin() + 5, read.end()));
    EXPECT_EQ(c.replies(3), nodeReply(0x22) + d100Reply(0x22, 1) + d100Reply(0x22, 2));
    EXPECT_EQ(a.replies(1), d100Reply(0xFB, 9));
    EXPECT_EQ(server->stats().connectionsAccepted, 3u);
    EXPECT_EQ(server->stats().requestsServed, 6u);
    server->stop();
    EXPECT_EQ(b.replies(1), ""); // closed
    EXPECT_EQ(server->stats().openConnections, 0u);
}

TEST_F(PlcsimServer, AppliesFaultsSetAtRunTimeAndLogsEveryRequest) {
    SimConfig config;
    config.log = true;
    // Shared with the server thread, which may outlive this test's locals.
    auto log = std::make_shared<std::pair<std::mutex, std::vector<std::string>>>();
    config.logSink = [log](const std::string& line) {
        std::lock_guard<std::mutex> lock(log->first);
        log->second.push_back(line.substr(line.find(' '))); // without the peer address
    };
    start(config);
    std::vector<FaultRule> rules(4);
    const char* texts[] = {"drop@3", "error=0x21@4", "delay=40@5", "close-after=6"};
    for (size_t i = 0; i < rules.size(); ++i)
        ASSERT_TRUE(parseFaultRule(texts[i], &rules[i], nullptr)) << texts[i];
    server->setFaults(rules);
    Client c(server->port());
    c.send(fromHex(toHex(nodeRequest(1)) + toHex(nodeRequest(0x0A)))); // node 1 is refused
    for (uint8_t sid : {3, 4, 5, 6})
        c.send(readD100(sid));
    // 3 dropped, 4 with the error code, 5 late and 6 behind it, then closed (the 6th frame
    // answered; the close is no fault of that reply).
    std::string errored = d100Reply(0x0A, 4);
    errored.replace(24, 8, "00000021");
    EXPECT_EQ(c.replies(7), "46494e53000000080000000100000024" + nodeReply(0x0A) + errored +
                                d100Reply(0x0A, 5) + d100Reply(0x0A, 6));
    EXPECT_EQ(server->faultsInjected(), 4u);
    const std::string read = " read area=0x82 addr=100 count=1 end=0x0000 fault=";
    std::lock_guard<std::mutex> lock(log->first);
    EXPECT_EQ(log->second, (std::vector<std::string>{
                               " node addr=1 count=0 end=0x0000 tcp-error=0x00000024 fault=-",
                               " node addr=10 count=10 end=0x0000 fault=-", read + "drop",
                               read + "error=0x21", read + "delay=40", read + "-"}));
}

} // namespace
