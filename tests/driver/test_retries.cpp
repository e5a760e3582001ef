// Bad replies from the simulator: retries with the same frame, giving up with the
// code of the fault, what giving up purges, and handshake refusals.
#include "conversation.h"

namespace {

enum Source { WRITES, ONE_SHOTS, CYCLIC };

class Retries : public Conversation {
  protected:
    void queueFrom(Source source, const Entry& e) {
        source == WRITES ? queueWrite(e) : source == ONE_SHOTS ? queueOnce(e) : queueRead(e);
    }
    static Entry entry(Source source, int address) {
        return source == WRITES ? dWrite(address, 1) : dRead(address);
    }
};

TEST_F(Retries, GivingUpAfterTheLimitWithTheCodeOfTheFault) {
    const struct {
        Source source;
        const char* fault;
        bool remote_area; // link_id differs from local_link
        int req_kind, code;
    } rows[] = {
        {WRITES, "error=1", false, 0, 11},     {WRITES, "drop", false, 3, 44},
        {WRITES, "short=1", false, 11, 82},    {WRITES, "extra=1", true, 12, 171},
        {WRITES, "error=1", true, -4, 111},    {ONE_SHOTS, "error=1", false, 3, 14},
        {ONE_SHOTS, "drop", true, 5, 146},     {ONE_SHOTS, "extra=1", false, 12, 71},
        {ONE_SHOTS, "short=1", true, 11, 182}, {CYCLIC, "error=1", true, 3, 114},
        {CYCLIC, "drop", false, 7, 48},        {CYCLIC, "short=1", false, 0, 71},
        {CYCLIC, "error=0x21", false, 11, 22},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.source << " " << row.fault << " kind " << row.req_kind);
        PLC_driver.write_list.clear();
        PLC_driver.once_list.clear();
        PLC_driver.read_list.clear();
        PLC_driver.write_burst = PLC_driver.once_burst = 0;
        onceNotices().clear();
        failNotices().clear();
        handshakeDone(1);
        com.cycle_done = 1;
        queueFrom(row.source,
                  entry(row.source, 100).once(row.req_kind, 5).link(row.remote_area ? 3 : 0));
        queueFrom(row.source, entry(row.source, 300).once(1, 1));

        const Turn first = plc.serve(row.fault);
        EXPECT_EQ(first.result, 0);
        EXPECT_EQ(com.cycle_done, 0);
        EXPECT_EQ(PLC_driver.comm_failed, 1);
        EXPECT_EQ(plc.serve(row.fault).result, 0);
        EXPECT_EQ(com.retry_count, 2);
        const Turn last = plc.serve(row.fault);
        EXPECT_EQ(last.frame.frame, first.frame.frame);
        EXPECT_EQ(last.result, row.code);
        EXPECT_EQ(last.returned.address, 100);
        EXPECT_EQ(last.returned.req_kind, row.req_kind);

        EXPECT_EQ(com.retry_count, 0);
        EXPECT_EQ(com.offline, 1);
        EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
        EXPECT_EQ(nodes(1), "0 0 0");
        EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, row.req_kind, 1}}));
        std::vector<OnceNotice> expected;
        if (row.source == ONE_SHOTS && !row.remote_area)
            expected.push_back({77, row.req_kind, 5, 2});
        EXPECT_EQ(onceNotices(), expected);
        const std::vector<std::vector<int>> left = {{}, {300}, {300, 100}}; // writes purged too
        const QList<RW_VAR>* lists[] = {&PLC_driver.write_list, &PLC_driver.once_list,
                                        &PLC_driver.read_list};
        EXPECT_EQ(addresses(*lists[row.source]), left[row.source]);
        queueWrite(dWrite(500, 1)); // the station's next frame is the handshake
        EXPECT_EQ(plc.serve().what, "node");
    }
}

TEST_F(Retries, GoodReplyKeepsTheCountAndGivingUpLeadsToANewHandshake) {
    queueRead(dRead(100));
    plc.memory().setWord(Area::D, 100, 0xBEEF);
    EXPECT_EQ(plc.serve().what, "node");
    EXPECT_EQ(plc.serve("error=1").result, 0);
    EXPECT_EQ(plc.serve("error=1").result, 0);
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(com.retry_count, 2);
    EXPECT_EQ(PLC_driver.comm_failed, 0);
    EXPECT_EQ(com.offline, 0);
    // Only passing the limit clears the count, so the next bad reply gives up.
    EXPECT_EQ(plc.serve("error=1").result, 11);
    EXPECT_EQ(PLC_driver.d_image[100], 0xBEEF);
    PLC_driver.d_image[100] = 0;

    const Turn hs = plc.serve();
    EXPECT_EQ(hs.what, "node");
    EXPECT_EQ(hs.result, 1);
    EXPECT_EQ(com.offline, 1); // a handshake answer changes no flag
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(PLC_driver.d_image[100], 0xBEEF);
    EXPECT_EQ(com.offline, 0);
}

TEST_F(Retries, RefusedHandshakeIsRepeatedAndNotCounted) {
    queueWrite(dWrite(100, 1));
    com.cycle_done = 1;
    for (const char* refusal : {"error=0x21", "extra=1"}) { // 25 bytes are no answer either
        const Turn t = plc.serve(refusal);
        EXPECT_EQ(t.what, "node");
        EXPECT_EQ(t.result, 201);
        EXPECT_EQ(PLC_driver.comm_failed, 1);
        EXPECT_EQ(nodes(1), "0 0 0");
        EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
        EXPECT_EQ(com.retry_count, 0);
        EXPECT_EQ(com.offline, 1);
        EXPECT_EQ(com.cycle_done, 1);
        EXPECT_EQ(PLC_driver.write_list.size(), 1);
        EXPECT_TRUE(failNotices().empty());
    }
    EXPECT_EQ(PLC_driver.write_burst, 2);
    // An answer is judged by its bytes, whatever length the host reports.
    QByteArray answer = plc.answer(*ComCommunication());
    EXPECT_EQ(DataCom(&answer, 0)->result, 1);
    const Turn w = plc.serve();
    EXPECT_EQ(w.what, "write D100 x1");
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(PLC_driver.comm_failed, 0);
}

// ---- Purges after giving up -----------------------------------------------------

TEST_F(Retries, SingleStationGivingUpOnAOneShotPurgesItsRequesterAndAllWrites) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueOnce(dRead(10).once(3, 7));
    queueOnce(dRead(20).once(3, 8));
    queueOnce(dRead(30).at(2).once(3, 7));
    queueOnce(dRead(40).once(4, 7));
    queueWrite(dWrite(50, 1));
    queueWrite(dWrite(60, 1).at(2));
    PLC_driver.write_burst = 5; // let the one-shot queue go first
    const Turn t = plc.serve("error=1");
    EXPECT_EQ(t.what, "read D10 x1");
    EXPECT_EQ(t.result, 14);
    EXPECT_EQ(addresses(PLC_driver.once_list), (std::vector<int>{20, 40}));
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}}));
}

TEST_F(Retries, MultiStationGivingUpPurgesOnlyTheFailedStation) {
    com.multi_station = 1;
    com.retry_limit = 0;
    handshakeDone(1);
    handshakeDone(2, 2);
    queueOnce(dRead(10).once(3, 7));
    queueOnce(dRead(20).at(2).once(3, 7));
    queueOnce(dRead(30).once(3, 7));
    queueOnce(dRead(40).once(3, 8));
    queueWrite(dWrite(50, 1));
    queueWrite(dWrite(60, 1).at(2));
    queueWrite(dWrite(70, 1));
    queueWrite(dWrite(80, 1).at(3));
    PLC_driver.write_burst = 5;
    EXPECT_EQ(plc.serve("error=1").result, 14);
    EXPECT_EQ(addresses(PLC_driver.once_list), (std::vector<int>{20, 40}));
    EXPECT_EQ(addresses(PLC_driver.write_list), (std::vector<int>{60, 80}));
    EXPECT_EQ(nodes(1), "0 0 0");
    EXPECT_EQ(nodes(2), "1 2 10");
}

TEST_F(Retries, GivingUpOnAWritePurgesOneShotsOfTheSameRequesterSilently) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueWrite(dWrite(50, 1).once(3, 7));
    queueWrite(dWrite(51, 1));
    queueOnce(dRead(10).once(3, 7));
    queueOnce(dRead(20).once(3, 8));
    EXPECT_EQ(plc.serve("short=1").result, 74);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_EQ(addresses(PLC_driver.once_list), std::vector<int>{20});
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, 3, 1}}));
}

TEST_F(Retries, SplitOneShotFailingIsReportedOnceAndCallbacksAreOptional) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueOnce(dRead(100).once(3, 7));
    queueOnce(dRead(164).once(3, 7));
    EXPECT_EQ(plc.serve("error=0x22").result, 14);
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}}));
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, 3, 1}}));
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());

    RegistCallBackFuncIntf(nullptr, nullptr);
    handshakeDone(1);
    queueOnce(dRead(10).once(3, 7));
    EXPECT_EQ(plc.serve("error=1").result, 14);
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

TEST_F(Retries, RemoteModeGivingUpNeedsNoHandshake) {
    com.remote_mode = 1;
    com.retry_limit = 1;
    SimPlc remote(true);
    queueRead(dRead(100).link(2));
    EXPECT_EQ(remote.serve("error=1").result, 0);
    EXPECT_EQ(remote.serve("error=1").result, 111);
    EXPECT_EQ(com.offline, 1);
    EXPECT_EQ(remote.serve().what, "remote-read 11@100 x1");
}

} // namespace
