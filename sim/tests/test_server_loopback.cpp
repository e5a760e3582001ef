// The server over loopback sockets: several clients at once with packed and split
// frames, faults set at run time, the log line, a CP1L-like port, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
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
    std::vector<FaultRule> rules(5);
    const char* texts[] = {"drop@3", "error=0x21@4", "delay=40@5", "close-after=6", "nonfatal@6"};
    for (size_t i = 0; i < rules.size(); ++i)
        ASSERT_TRUE(parseFaultRule(texts[i], &rules[i], nullptr)) << texts[i];
    server->setFaults(rules);
    Client c(server->port());
    c.send(fromHex(toHex(nodeRequest(1)) + toHex(nodeRequest(0x0A)))); // node 1 is refused
    for (uint8_t sid : {3, 4, 5, 6})
        c.send(readD100(sid));
    // 3 dropped, 4 with the error code, 5 late and 6 behind it with the non-fatal bit, then
    // closed (the 6th frame answered).
    std::string errored = d100Reply(0x0A, 4), nonFatal = d100Reply(0x0A, 6);
    errored.replace(24, 8, "00000021");
    nonFatal.replace(56, 4, "0040");
    EXPECT_EQ(c.replies(7), "46494e53000000080000000100000024" + nodeReply(0x0A) + errored +
                                d100Reply(0x0A, 5) + nonFatal);
    EXPECT_EQ(server->faultsInjected(), 4u);
    const std::string read = " read area=0x82 addr=100 count=1 end=0x0000 fault=";
    std::lock_guard<std::mutex> lock(log->first);
    EXPECT_EQ(log->second, (std::vector<std::string>{
                               " node addr=1 count=0 end=0x0000 tcp-error=0x00000024 fault=-",
                               " node addr=10 count=10 end=0x0000 fault=-", read + "drop",
                               read + "error=0x21", read + "delay=40", read + "nonfatal"}));
}

// One slot held for a minute after its close: a second connection and a quick reconnect are
// accepted, refused with 0x20 and closed; replies of 499 words come in 536-byte pieces.
TEST_F(PlcsimServer, PlaysACp1lPortWithOneSlot) {
    SimConfig config;
    config.rules = {1, 60000, true};
    config.segments = {536, 1};
    start(config);
    const std::string allInUse = "46494e53000000080000000100000020";
    Client a(server->port()), b(server->port());
    a.send(nodeRequest(0));
    EXPECT_EQ(a.replies(1), nodeReply(0xFB));
    b.send(nodeRequest(0));
    EXPECT_EQ(b.replies(2), allInUse); // and closed
    a.send(tcpFrame(2, {0x80, 0, 2, 0, 1, 0, 0, 0x0A, 0, 7, 1, 1, 0x82, 0, 100, 0, 0x01, 0xF3}));
    const std::string words = a.replies(1);
    EXPECT_EQ(words.substr(0, 64), normHex("46494e53 000003fc 00000002 00000000 c0000200fb000001"
                                           "0007 0101 0000 04d2"));
    EXPECT_EQ(words.size(), 2u * 1028);
    a.close();
    // The server has seen the close once the slot shows as releasing.
    const auto deadline = Client::deadline();
    while (server->status().port.releasing.empty() && fhost::Clock::now() < deadline)
        std::this_thread::yield();
    Client c(server->port());
    c.send(nodeRequest(0));
    EXPECT_EQ(c.replies(2), allInUse);
    const SimStatus s = server->status();
    ASSERT_EQ(s.port.releasing.size(), 1u);
    EXPECT_EQ(std::make_tuple(s.port.releasing[0].node, s.port.slotsInUse, s.port.refusedAllInUse),
              std::make_tuple(0xFB, size_t(1), uint64_t(2)));
    EXPECT_GT(s.port.releasing[0].releaseInMs, 50000u);
}

} // namespace
