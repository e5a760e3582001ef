// The server over real loopback sockets: several clients, packed frames, faults set
// at run time, closing, remote mode and the log line.
#include <gtest/gtest.h>

#include <mutex>

#include "plcsim/sim_server.h"
#include "sim_test_util.h"
#include "socket_client.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

SimConfig testConfig() {
    SimConfig c;
    c.port = 0;
    return c;
}

// A read of one D word with the given SID, as the driver would send it to node 1.
Bytes readD(uint16_t address, uint8_t sid, uint8_t sa1 = 0x0A) {
    Bytes m = fromHex("80 00 02 00 01 00 00");
    m.push_back(sa1);
    m.push_back(0);
    m.push_back(sid);
    m = concat(m, fromHex("0101 82"));
    m.push_back(static_cast<uint8_t>(address >> 8));
    m.push_back(static_cast<uint8_t>(address));
    return tcpFrame(2, concat(m, fromHex("00 0001")));
}

Bytes writeD(uint16_t address, uint16_t value) {
    Bytes m = fromHex("80 00 02 00 01 00 00 0a 00 09 0102 82");
    m.push_back(static_cast<uint8_t>(address >> 8));
    m.push_back(static_cast<uint8_t>(address));
    m = concat(m, fromHex("00 0001"));
    m.push_back(static_cast<uint8_t>(value >> 8));
    m.push_back(static_cast<uint8_t>(value));
    return tcpFrame(2, m);
}

class Loopback : public ::testing::Test {
  protected:
    void startServer(const SimConfig& config) {
        server = std::make_unique<SimServer>(config);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        ASSERT_NE(server->port(), 0);
        server->runInBackground();
    }
    void TearDown() override {
        if (server) server->stop();
    }
    // Connects and completes the node exchange; returns the node given.
    int connectAndHandshake(TestClient& c, uint8_t proposed = 0x0A) {
        EXPECT_TRUE(c.connectTo(server->port()));
        EXPECT_TRUE(c.sendAll(nodeRequest(proposed)));
        Bytes reply;
        EXPECT_TRUE(c.readFinsFrame(&reply));
        return reply.size() == 24 ? reply[19] : -1;
    }
    std::unique_ptr<SimServer> server;
};

TEST_F(Loopback, ServesReadAndWrite) {
    startServer(testConfig());
    server->memory().setWord(Area::D, 100, 1234);
    TestClient c;
    ASSERT_EQ(connectAndHandshake(c), 0x0A);
    Bytes reply;
    ASSERT_TRUE(c.sendAll(readD(100, 1)));
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(toHex(reply), normHex("46494e53 00000018 00000002 00000000 c0000200 0a000001 0001 "
                                    "0101 0000 04d2"));
    ASSERT_TRUE(c.sendAll(writeD(200, 0xBEEF)));
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(toHex(reply), normHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0009 "
                                    "0102 0000"));
    EXPECT_EQ(server->memory().word(Area::D, 200), 0xBEEF);
    const SimStats s = server->stats();
    EXPECT_EQ(s.connectionsAccepted, 1u);
    EXPECT_EQ(s.requestsServed, 3u);
    EXPECT_EQ(s.faultsInjected, 0u);
}

TEST_F(Loopback, SeveralClientsAtOnce) {
    startServer(testConfig());
    TestClient a, b, c;
    EXPECT_EQ(connectAndHandshake(a, 0), 0xFB);
    EXPECT_EQ(connectAndHandshake(b, 0), 0xFA);
    EXPECT_EQ(connectAndHandshake(c, 0x22), 0x22);
    // Requests on all three before any reply is read.
    ASSERT_TRUE(c.sendAll(writeD(7, 77)));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply));
    ASSERT_TRUE(a.sendAll(readD(7, 1)));
    ASSERT_TRUE(b.sendAll(readD(7, 2)));
    ASSERT_TRUE(b.readFinsFrame(&reply));
    EXPECT_EQ(reply[20], 0xFA); // DA1 = b's node
    EXPECT_EQ(reply[25], 2);    // SID
    EXPECT_EQ(reply[31], 77);
    ASSERT_TRUE(a.readFinsFrame(&reply));
    EXPECT_EQ(reply[20], 0xFB);
    EXPECT_EQ(reply[31], 77);
    EXPECT_EQ(server->stats().connectionsAccepted, 3u);
}

TEST_F(Loopback, PackedFramesGetOneReplyEach) {
    startServer(testConfig());
    server->memory().setWord(Area::D, 1, 11);
    server->memory().setWord(Area::D, 2, 22);
    TestClient c;
    ASSERT_TRUE(c.connectTo(server->port()));
    ASSERT_TRUE(c.sendAll(concat(concat(nodeRequest(0x0A), readD(1, 1)), readD(2, 2))));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply.size(), 24u);
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[31], 11);
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[31], 22);
    // A frame sent in two pieces.
    const Bytes frame = readD(1, 3);
    ASSERT_TRUE(c.sendAll(Bytes(frame.begin(), frame.begin() + 5)));
    ASSERT_TRUE(c.sendAll(Bytes(frame.begin() + 5, frame.end())));
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[25], 3);
}

TEST_F(Loopback, FaultsSetAtRunTime) {
    startServer(testConfig());
    std::vector<FaultRule> rules(2);
    ASSERT_TRUE(parseFaultRule("drop@2", &rules[0], nullptr));
    ASSERT_TRUE(parseFaultRule("error=0x21@3", &rules[1], nullptr));
    server->setFaults(rules);
    TestClient c;
    ASSERT_EQ(connectAndHandshake(c), 0x0A); // request 1
    ASSERT_TRUE(c.sendAll(readD(0, 1)));     // request 2: dropped
    ASSERT_TRUE(c.sendAll(readD(0, 2)));     // request 3: error code
    ASSERT_TRUE(c.sendAll(readD(0, 3)));     // request 4: normal
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[25], 2);
    EXPECT_EQ(toHex(Bytes(reply.begin() + 12, reply.begin() + 16)), "00000021");
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[25], 3);
    EXPECT_EQ(toHex(Bytes(reply.begin() + 12, reply.begin() + 16)), "00000000");
    EXPECT_EQ(server->stats().faultsInjected, 2u);
    EXPECT_EQ(server->stats().requestsServed, 4u);
}

TEST_F(Loopback, CloseAfterAndCloseFaults) {
    startServer(testConfig());
    FaultRule rule;
    ASSERT_TRUE(parseFaultRule("close-after=2", &rule, nullptr));
    server->setFaults({rule});
    TestClient c;
    ASSERT_EQ(connectAndHandshake(c), 0x0A);
    ASSERT_TRUE(c.sendAll(readD(0, 1)));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply)); // the second reply still arrives
    EXPECT_EQ(reply[25], 1);
    EXPECT_TRUE(c.waitClosed());

    ASSERT_TRUE(parseFaultRule("close@2", &rule, nullptr));
    server->setFaults({rule});
    TestClient d;
    ASSERT_EQ(connectAndHandshake(d), 0x0A);
    ASSERT_TRUE(d.sendAll(readD(0, 1)));
    EXPECT_TRUE(d.waitClosed()); // no reply, just the close
}

TEST_F(Loopback, DelayedReplyKeepsTheOrder) {
    startServer(testConfig());
    FaultRule rule;
    ASSERT_TRUE(parseFaultRule("delay=40@2", &rule, nullptr));
    server->setFaults({rule});
    TestClient c;
    ASSERT_EQ(connectAndHandshake(c), 0x0A);
    ASSERT_TRUE(c.sendAll(concat(readD(0, 1), readD(0, 2))));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[25], 1);
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(reply[25], 2);
}

TEST_F(Loopback, BadMagicIsAnsweredAndClosed) {
    startServer(testConfig());
    TestClient c;
    ASSERT_TRUE(c.connectTo(server->port()));
    ASSERT_TRUE(c.sendAll(fromHex("46494e54 0000000c 00000000 00000000 00000000")));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply));
    EXPECT_EQ(toHex(reply), normHex("46494e53 00000008 00000003 00000001"));
    EXPECT_TRUE(c.waitClosed());
}

TEST_F(Loopback, StopClosesEveryConnection) {
    startServer(testConfig());
    TestClient a, b;
    ASSERT_EQ(connectAndHandshake(a), 0x0A);
    ASSERT_EQ(connectAndHandshake(b), 0x0A);
    server->stop();
    EXPECT_TRUE(a.waitClosed());
    EXPECT_TRUE(b.waitClosed());
    EXPECT_EQ(server->stats().openConnections, 0u);
}

TEST_F(Loopback, SameSeedSameBytes) {
    auto run = [this](uint32_t seed) {
        SimConfig config = testConfig();
        config.seed = seed;
        config.faults.resize(1);
        EXPECT_TRUE(parseFaultRule("corrupt=2@p:0.5", &config.faults[0], nullptr));
        startServer(config);
        TestClient c;
        EXPECT_TRUE(c.connectTo(server->port()));
        Bytes all;
        for (uint8_t sid = 1; sid <= 12; ++sid) {
            EXPECT_TRUE(c.sendAll(readD(sid, sid)));
            Bytes reply;
            EXPECT_TRUE(c.readExact(16, &reply)); // before a node exchange: 16-byte errors
            all = concat(all, reply);
        }
        server->stop();
        return toHex(all);
    };
    const std::string first = run(5);
    EXPECT_EQ(run(5), first);
    EXPECT_NE(run(6), first);
}

TEST_F(Loopback, RemoteModeServer) {
    SimConfig config = testConfig();
    config.remote = true;
    startServer(config);
    server->memory().setWord(Area::D, 100, 0x1234);
    TestClient c;
    ASSERT_TRUE(c.connectTo(server->port()));
    ASSERT_TRUE(c.sendAll(fromHex("1603000102000b00000064000400000000000000008f")));
    Bytes reply;
    ASSERT_TRUE(c.readExact(43, &reply));
    EXPECT_EQ(toHex(Bytes(reply.begin() + 12, reply.begin() + 16)), "00000000");
    EXPECT_EQ(toHex(Bytes(reply.begin() + 23, reply.begin() + 27)), "12340000");
}

TEST_F(Loopback, LogsOneLinePerRequest) {
    SimConfig config = testConfig();
    config.log = true;
    auto lines = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    config.logSink = [lines, mutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(*mutex);
        lines->push_back(line);
    };
    startServer(config);
    TestClient c;
    ASSERT_EQ(connectAndHandshake(c), 0x0A);
    ASSERT_TRUE(c.sendAll(readD(100, 1)));
    Bytes reply;
    ASSERT_TRUE(c.readFinsFrame(&reply)); // logged before it was sent
    std::lock_guard<std::mutex> lock(*mutex);
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ(lines->at(0).rfind("127.0.0.1:", 0), 0u);
    const std::string tail = " read area=0x82 addr=100 count=1 end=0x0000 fault=-";
    ASSERT_GE(lines->at(1).size(), tail.size());
    EXPECT_EQ(lines->at(1).substr(lines->at(1).size() - tail.size()), tail);
    EXPECT_NE(lines->at(0).find(" node addr=10 count=10"), std::string::npos) << lines->at(0);
}

TEST(SimServerStart, RefusesNonLoopbackBind) {
    struct Row {
        const char* bind;
        const char* message;
    };
    const Row rows[] = {{"0.0.0.0", "not a loopback address"},
                        {"192.0.2.1", "not a loopback address"},
                        {"localhost", "not an IPv4 address"},
                        {"127.0.0.300", "not an IPv4 address"}};
    for (const Row& row : rows) {
        SimConfig config;
        config.port = 0;
        config.bind = row.bind;
        SimServer server(config);
        std::string error;
        EXPECT_FALSE(server.start(&error)) << row.bind;
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }
    EXPECT_TRUE(isLoopbackAddress("127.0.0.1"));
    EXPECT_TRUE(isLoopbackAddress("127.5.6.7"));
    EXPECT_FALSE(isLoopbackAddress("128.0.0.1"));
}

} // namespace
