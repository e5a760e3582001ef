// A PLC's Ethernet port, each rule as rows with time passed in: connection slots and their
// slow release, one node per connection, automatic nodes, the status it reports; replies in
// segments; the log's rate. The same rules over sockets: test_server_loopback.cpp.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "plcsim/connection_table.h"
#include "plcsim/reply_queue.h"
#include "plcsim/request_log.h"
#include "plcsim/status_report.h"

using namespace plcsim;

namespace {

const TimePoint T0{};
TimePoint at(int ms) {
    return T0 + std::chrono::milliseconds(ms);
}

// One step of a connection script: 'o' opens connection `conn` from address `arg`
// ("127.0.0.arg"), 'x' exchanges node `arg`, 'c' closes; at `ms`. An exchange expects the
// node given, or minus the FINS/TCP error.
struct Step {
    char op;
    int conn;
    uint32_t arg;
    int ms;
    int expect;
};

struct PortRow {
    const char* what;
    PortRules rules;
    std::vector<Step> steps;
};

// clang-format off
const PortRow PORT_ROWS[] = {
    {"slots: one more is refused and closed; a close frees one",
     {2, 0, false},
     {{'o', 1, 1, 0, 0}, {'o', 2, 1, 0, 0}, {'o', 3, 1, 0, 0}, {'x', 1, 0, 0, 0xFB},
      {'x', 2, 0, 0, 0xFA}, {'x', 3, 0, 0, -0x20}, {'c', 1, 0, 5, 0}, {'o', 4, 1, 6, 0},
      {'x', 4, 0, 6, 0xFB}}},
    {"slow release: the slot and its node are held for the release time",
     {2, 1000, false},
     {{'o', 1, 1, 0, 0}, {'x', 1, 0, 0, 0xFB}, {'c', 1, 0, 0, 0}, {'o', 2, 1, 1, 0},
      {'x', 2, 0, 1, 0xFA}, {'o', 3, 1, 999, 0}, {'x', 3, 0, 999, -0x20}, {'o', 4, 1, 1000, 0},
      {'x', 4, 0, 1000, 0xFB}}},
    {"a refused or never exchanged connection holds no slot to release",
     {1, 1000, false},
     {{'o', 1, 1, 0, 0}, {'x', 1, 7, 0, 7}, {'o', 2, 1, 0, 0}, {'x', 2, 8, 0, -0x20},
      {'o', 3, 1, 0, 0}, {'c', 1, 0, 10, 0}, {'c', 2, 0, 500, 0}, {'c', 3, 0, 500, 0},
      {'o', 4, 1, 1010, 0}, {'x', 4, 8, 1010, 8}}},
    {"a repeated exchange keeps the connection's slot",
     {1, 0, false},
     {{'o', 1, 1, 0, 0}, {'x', 1, 0, 0, 0xFB}, {'x', 1, 0, 0, 0xFB}, {'x', 1, 9, 0, 9}}},
    {"one node, one connection: per address, live connections only",
     {0, 1000, true},
     {{'o', 1, 1, 0, 0}, {'x', 1, 5, 0, 5}, {'o', 2, 1, 0, 0}, {'x', 2, 5, 0, -0x21},
      {'x', 2, 6, 0, 6}, {'o', 3, 2, 0, 0}, {'x', 3, 5, 0, 5}, {'c', 1, 0, 0, 0},
      {'o', 4, 1, 0, 0}, {'x', 4, 5, 0, 5}}},
    {"without the rule two connections may share a node",
     {0, 0, false},
     {{'o', 1, 1, 0, 0}, {'x', 1, 5, 0, 5}, {'o', 2, 1, 0, 0}, {'x', 2, 5, 0, 5}}},
    {"automatic nodes skip nodes in use and the server's (0xF9)",
     {0, 0, false},
     {{'o', 1, 1, 0, 0}, {'x', 1, 0xFB, 0, 0xFB}, {'o', 2, 1, 0, 0}, {'x', 2, 0, 0, 0xFA},
      {'o', 3, 2, 0, 0}, {'x', 3, 0, 0, 0xF8}, {'c', 2, 0, 0, 0}, {'o', 4, 1, 0, 0},
      {'x', 4, 0, 0, 0xFA}}},
};
// clang-format on

TEST(PlcsimPort, FollowsEveryConnectionRuleRow) {
    for (const PortRow& row : PORT_ROWS) {
        ConnectionTable table(row.rules, 0xF9);
        std::map<int, uint64_t> ids;
        for (const Step& s : row.steps) {
            const std::string where = std::string(row.what) + ", connection " +
                                      std::to_string(s.conn) + " at " + std::to_string(s.ms);
            if (s.op == 'o')
                ids[s.conn] = table.open("127.0.0." + std::to_string(s.arg) + ":" +
                                         std::to_string(1000 + s.conn));
            if (s.op == 'c') table.close(ids[s.conn], at(s.ms));
            if (s.op != 'x') continue;
            const NodeGrant g = table.exchange(ids[s.conn], s.arg, at(s.ms));
            EXPECT_EQ(g.tcpError ? -int(g.tcpError) : int(g.node), s.expect) << where;
            EXPECT_EQ(g.close, g.tcpError == 0x20) << where;
        }
    }
}

// What the port reports: open connections, slots of the limit, releases with time left.
TEST(PlcsimPort, ReportsConnectionsSlotsAndReleases) {
    ConnectionTable table({3, 1000, true}, 1);
    const uint64_t a = table.open("127.0.0.1:4001"), b = table.open("127.0.0.1:4002");
    table.open("127.0.0.1:4003");
    table.exchange(a, 0, T0);
    table.exchange(b, 0, T0);
    table.exchange(table.open("127.0.0.1:4004"), 0xFA, T0); // 0x21
    table.close(a, at(100));
    SimStatus s{table.rules(), table.snapshot(at(350)), {5, 9, 2, 3}};
    EXPECT_EQ(statusLine(s),
              "status open=3 slots=2/3 releasing=1 peak-open=4 accepted=5 refused-all-in-use=0 "
              "refused-node-in-use=1 requests=9 faults=2 | 127.0.0.1:4002 node=250 | "
              "127.0.0.1:4003 node=- | 127.0.0.1:4004 node=- | releasing 127.0.0.1:4001 "
              "node=251 in=750ms");
    s.port = table.snapshot(at(1100));
    s.rules.slotLimit = 0;
    EXPECT_EQ(statusJson(s),
              "{\"slots\":0,\"release_ms\":1000,\"slots_in_use\":1,\"peak_open\":4,"
              "\"accepted\":5,\"refused_all_in_use\":0,\"refused_node_in_use\":1,\"requests\":9,"
              "\"faults\":2,\"open\":[{\"peer\":\"127.0.0.1:4002\",\"node\":250},{\"peer\":"
              "\"127.0.0.1:4003\",\"node\":null},{\"peer\":\"127.0.0.1:4004\",\"node\":null}],"
              "\"releasing\":[]}");
}

// Pieces a 1028-byte reply and the next go out in, with when each may go: (at ms, bytes
// the socket takes) -> piece offered, or 0 when nothing is due.
TEST(PlcsimPort, SendsRepliesInPiecesWithAPause) {
    // Segment bytes, pause, the steps as {at, takes, offered}.
    const std::tuple<size_t, uint32_t, std::vector<std::tuple<int, size_t, size_t>>> rows[] = {
        {536, 2, {{0, 536, 536}, {1, 0, 0}, {2, 100, 492}, {2, 392, 392}, {2, 20, 20}}},
        {536, 0, {{0, 536, 536}, {0, 492, 492}, {0, 20, 20}}},
        {0, 5, {{0, 1000, 1028}, {0, 28, 28}, {0, 20, 20}}},
        {1024, 0, {{0, 1024, 1024}, {0, 4, 4}, {0, 20, 20}}},
    };
    for (const auto& [bytes, pause, steps] : rows) {
        ReplyQueue q({bytes, pause});
        q.push(std::vector<uint8_t>(1028, 1), T0, false);
        q.push(std::vector<uint8_t>(20, 2), T0, true);
        bool closed = false;
        for (const auto& [ms, takes, offered] : steps) {
            EXPECT_EQ(q.ready(at(ms)) ? q.pieceSize() : 0, offered) << bytes << " at " << ms;
            if (offered) closed = q.sent(takes, at(ms));
        }
        EXPECT_TRUE(closed && q.empty()) << bytes;
    }
    // A late reply holds back the one behind it; a bare close waits its turn too.
    ReplyQueue q;
    q.push({1, 2}, at(40), false);
    q.push({3}, T0, false);
    q.push({}, T0, true);
    EXPECT_FALSE(q.ready(at(39)));
    EXPECT_FALSE(q.sent(2, at(40)));
    EXPECT_EQ(std::make_tuple(q.pieceSize(), *q.pieceData()),
              std::make_tuple(size_t(1), uint8_t(3)));
    EXPECT_FALSE(q.sent(1, at(40)));
    EXPECT_EQ(q.pieceSize(), 0u);
    EXPECT_TRUE(q.sent(0, at(40)));
}

// At most N request lines a second, then one summary line once that second is over.
TEST(PlcsimPort, LogsAtMostTheRateAndSummarisesTheRest) {
    std::vector<std::string> lines;
    RequestLog log([&lines](const std::string& l) { lines.push_back(l); }, 2);
    RequestInfo read{"read", 0x82, 100, 1, 0, 0}, node{"node", -1, 0, 0, 0, 0x20};
    FaultDecision none, dropped;
    dropped.drop = true;
    log.request("p", read, none, at(0));
    log.request("p", node, none, at(10));
    log.request("p", read, dropped, at(20));
    log.request("p", read, none, at(30));
    log.request("p", node, none, at(40));
    EXPECT_EQ(log.summaryDue(), at(1000));
    log.tick(at(999));
    EXPECT_EQ(lines.size(), 2u);
    log.tick(at(1000));
    log.request("p", read, none, at(1500));
    EXPECT_EQ(log.summaryDue(), TimePoint::max());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "p read area=0x82 addr=100 count=1 end=0x0000 fault=-",
                         "p node addr=0 count=0 end=0x0000 tcp-error=0x00000020 fault=-",
                         "log: 3 more requests in that second not shown (node 1, read 2; 1 with "
                         "a fault); at most 2 request lines a second (--log-rate)",
                         "p read area=0x82 addr=100 count=1 end=0x0000 fault=-"}));
    RequestLog unbounded([&lines](const std::string& l) { lines.push_back(l); }, 0);
    lines.clear();
    for (int i = 0; i < 500; ++i)
        unbounded.request("p", read, none, T0);
    EXPECT_EQ(lines.size(), 500u);
}

} // namespace
