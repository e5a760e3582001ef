// Bad replies from the simulator: retries with the same frame, giving up with the
// code of the fault, what giving up purges, and handshake refusals.

#include "conversation.h"

namespace {

enum Source { WRITES, ONE_SHOTS, CYCLIC }; // index into lists()

QList<RW_VAR>* lists(int source) {
    QList<RW_VAR>* all[] = {&PLC_driver.write_list, &PLC_driver.once_list, &PLC_driver.read_list};
    return all[source];
}

TEST_F(Conversation, GivingUpAfterTheLimitWithTheCodeOfTheFault) {
    const struct {
        Source source;
        const char* fault;
        bool remote_area; // link_id differs from local_link
        int req_kind, code;
    } rows[] = {
        {WRITES, "error=1", false, 0, 11},     {WRITES, "drop", false, 3, 44},
        {WRITES, "short=1", false, 11, 82},    {WRITES, "extra=1", true, 12, 171},
        {WRITES, "error=1", true, -4, 111},    {ONE_SHOTS, "error=1", false, 1, 12},
        {ONE_SHOTS, "drop", true, 5, 146},     {ONE_SHOTS, "extra=1", false, 12, 71},
        {ONE_SHOTS, "short=1", true, 11, 182}, {CYCLIC, "error=1", true, 3, 114},
        {CYCLIC, "drop", false, 7, 48},        {CYCLIC, "short=1", false, 0, 71},
        {CYCLIC, "error=0x21", false, 11, 22},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.source << " " << row.fault << " " << row.req_kind);
        for (int source : {WRITES, ONE_SHOTS, CYCLIC})
            lists(source)->clear();
        PLC_driver.write_burst = PLC_driver.once_burst = 0;
        onceNotices().clear();
        failNotices().clear();
        handshakeDone(1);
        com.cycle_done = 1;
        for (int address : {100, 300}) {
            Entry e = row.source == WRITES ? dWrite(address, 1) : dRead(address);
            lists(row.source)
                ->append(address == 100 ? e.once(row.req_kind, 5).link(row.remote_area ? 3 : 0).v
                                        : e.once(1, 1).v);
        }
        const Turn first = plc.serve(row.fault);
        EXPECT_EQ(make_tuple(first.result, com.cycle_done, PLC_driver.comm_failed),
                  make_tuple(0, 0, 1));
        EXPECT_EQ(plc.serve(row.fault).result, 0);
        EXPECT_EQ(com.retry_count, 2);
        const Turn last = plc.serve(row.fault);
        EXPECT_EQ(last.frame.frame, first.frame.frame);
        // A write's value stays with its entry; the station must shake hands again.
        EXPECT_EQ(make_tuple(last.result, PLC_driver.cur_var.address, PLC_driver.cur_var.req_kind,
                             PLC_driver.cur_var.value.size(), com.retry_count, com.offline,
                             PLC_driver.protocol_list.size(), nodes(1)),
                  make_tuple(row.code, 100, row.req_kind, 0, 0, 1, 0, std::string("0 0 0")));
        EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, row.req_kind, 1}}));
        std::vector<OnceNotice> expected;
        if (row.source == ONE_SHOTS && !row.remote_area)
            expected.push_back({77, row.req_kind, 5, 2});
        EXPECT_EQ(onceNotices(), expected);
        const std::vector<std::vector<int>> left = {{}, {300}, {300, 100}}; // writes purged too
        EXPECT_EQ(addresses(*lists(row.source)), left[row.source]);
        queueWrite({dWrite(500, 1)});
        EXPECT_EQ(plc.serve().what, "node");
    }
}

TEST_F(Conversation, GoodReplyKeepsTheRetryCountAndGivingUpLeadsToANewHandshake) {
    queueRead({dRead(100)});
    plc.memory().setWord(Area::D, 100, 0xBEEF);
    EXPECT_EQ(plc.serveTurns(1), "node");
    EXPECT_EQ(plc.serve("error=1").result + plc.serve("error=1").result, 0);
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(make_tuple(com.retry_count, PLC_driver.comm_failed, com.offline),
              make_tuple(2, 0, 0));
    // Only passing the limit clears the count, so the next bad reply gives up.
    EXPECT_EQ(plc.serve("error=1").result, 11);
    PLC_driver.d_image[100] = 0;
    const Turn hs = plc.serve();
    // An accepted handshake changes neither flag.
    EXPECT_EQ(make_tuple(hs.what, hs.result, com.offline, PLC_driver.comm_failed),
              make_tuple(std::string("node"), 1, 1, 1));
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(make_tuple(PLC_driver.d_image[100], com.offline), make_tuple(0xBEEF, 0));
}

TEST_F(Conversation, RefusedHandshakeIsRepeatedAndNotCounted) {
    queueWrite({dWrite(100, 1)});
    com.cycle_done = 1;
    for (const char* refusal : {"error=0x21", "extra=1"}) { // 25 bytes are no answer either
        const Turn t = plc.serve(refusal);
        EXPECT_EQ(make_tuple(t.what, t.result, nodes(1)),
                  make_tuple(std::string("node"), 201, std::string("0 0 0")));
        EXPECT_EQ(make_tuple(PLC_driver.comm_failed, PLC_driver.protocol_list.size(),
                             com.retry_count, com.offline, com.cycle_done,
                             PLC_driver.write_list.size()),
                  make_tuple(1, 0, 0, 1, 1, 1));
        EXPECT_TRUE(failNotices().empty());
    }
    EXPECT_EQ(PLC_driver.write_burst, 2);
    // An answer is judged by its bytes, whatever length the host reports.
    QByteArray answer = plc.answer(*ComCommunication());
    EXPECT_EQ(DataCom(&answer, 0)->result, 1);
    const Turn w = plc.serve();
    EXPECT_EQ(make_tuple(w.what, w.result, PLC_driver.comm_failed),
              make_tuple(std::string("write D100 x1"), 1, 0));
}

// Giving up on a one-shot purges its requester's one-shots and the writes: in
// single-station mode all of them, with several stations only the failed station's.
TEST_F(Conversation, GivingUpOnAOneShotPurgesItsRequesterAndTheWrites) {
    for (int multi : {0, 1}) {
        SCOPED_TRACE(multi);
        com.multi_station = multi;
        com.retry_limit = 0;
        PLC_driver.once_list.clear();
        onceNotices().clear();
        handshakeDone(1);
        handshakeDone(2, 2);
        queueOnce({dRead(10).once(3, 7), dRead(20).at(2).once(3, 7), dRead(30).once(3, 8),
                   dRead(35).once(3, 7), dRead(40).once(4, 7)});
        queueWrite({dWrite(50, 1), dWrite(60, 1).at(2)});
        PLC_driver.write_burst = 5; // let the one-shot queue go first
        const Turn t = plc.serve("error=1");
        EXPECT_EQ(make_tuple(t.what, t.result), make_tuple(std::string("read D10 x1"), 14));
        const std::vector<int> once =
            multi ? std::vector<int>{20, 30, 40} : std::vector<int>{30, 40};
        EXPECT_EQ(addresses(PLC_driver.once_list), once);
        EXPECT_EQ(addresses(PLC_driver.write_list), std::vector<int>(multi, 60));
        EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}}));
        EXPECT_EQ(nodes(2), "1 2 10");
    }
}

TEST_F(Conversation, GivingUpOnAWritePurgesOneShotsOfTheSameRequesterSilently) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueWrite({dWrite(50, 1).once(3, 7), dWrite(51, 1)});
    queueOnce({dRead(10).once(3, 7), dRead(20).once(3, 8)});
    EXPECT_EQ(plc.serve("short=1").result, 74);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_EQ(addresses(PLC_driver.once_list), std::vector<int>{20});
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, 3, 1}}));
}

} // namespace
