// Bad replies: retries with the same frame, giving up with the right error code,
// what giving up does to the station and the lists, and handshake refusals.
#include "conversation_support.h"

namespace {

enum Source { WRITES, ONE_SHOTS, CYCLIC };
enum Fault { TCP_ERROR, EMPTY, SHORT, LONG };

struct RetryRow {
    const char* name;
    Source source;
    Fault fault;
    bool remote_area; // link_id differs from local_link
    int req_kind;
    int code; // result once the retries are exhausted
};

const RetryRow kRetryRows[] = {
    {"write, error code, kind 0", WRITES, TCP_ERROR, false, 0, 11},
    {"write, empty, kind 3", WRITES, EMPTY, false, 3, 44},
    {"write, short, kind 11", WRITES, SHORT, false, 11, 82},
    {"write, long, remote area, kind 12", WRITES, LONG, true, 12, 171},
    {"write, error code, remote area, kind -4", WRITES, TCP_ERROR, true, -4, 111},
    {"one-shot, error code, kind 3", ONE_SHOTS, TCP_ERROR, false, 3, 14},
    {"one-shot, empty, remote area, kind 5", ONE_SHOTS, EMPTY, true, 5, 146},
    {"one-shot, long, kind 12", ONE_SHOTS, LONG, false, 12, 71},
    {"one-shot, short, remote area, kind 11", ONE_SHOTS, SHORT, true, 11, 182},
    {"cyclic, error code, remote area, kind 3", CYCLIC, TCP_ERROR, true, 3, 114},
    {"cyclic, empty, kind 7", CYCLIC, EMPTY, false, 7, 48},
    {"cyclic, short, kind 0", CYCLIC, SHORT, false, 0, 71},
    {"cyclic, error code, kind 11", CYCLIC, TCP_ERROR, false, 11, 22},
    {"cyclic, empty, remote area, kind 99", CYCLIC, EMPTY, true, 99, 141},
};

class Retries : public Conversation {
  protected:
    peer::Turn serveFault(Fault fault) {
        const Protocol* p = ComCommunication();
        if (!p) return peer::Turn();
        switch (fault) {
        case TCP_ERROR:
            return plc.serveTcpError(0x01);
        case EMPTY:
            return plc.serveLength(0);
        case SHORT:
            return plc.serveLength(p->reply_len - 1);
        case LONG:
            return plc.serveLength(p->reply_len + 1);
        }
        return peer::Turn();
    }

    void queueFrom(Source source, Entry e) {
        switch (source) {
        case WRITES:
            queueWrite(e);
            break;
        case ONE_SHOTS:
            queueOnce(e);
            break;
        case CYCLIC:
            queueRead(e);
            break;
        }
    }
};

TEST_F(Retries, GivingUpAfterTheLimitWithTheCodeOfTheFault) {
    for (const RetryRow& row : kRetryRows) {
        SCOPED_TRACE(row.name);
        PLC_driver.write_list.clear();
        PLC_driver.once_list.clear();
        PLC_driver.read_list.clear();
        onceNotices().clear();
        failNotices().clear();
        PLC_driver.write_burst = PLC_driver.once_burst = 0;
        handshakeDone(1);
        com.cycle_done = 1;
        Entry failing = onceBy(row.source == WRITES ? dWrite(100, 1) : dWord(100), row.req_kind, 5);
        failing.link_id = row.remote_area ? 3 : 0;
        queueFrom(row.source, failing);
        queueFrom(row.source, onceBy(row.source == WRITES ? dWrite(300, 1) : dWord(300), 1, 1));

        const peer::Turn first = serveFault(row.fault);
        EXPECT_EQ(first.result, 0);
        EXPECT_EQ(com.cycle_done, 0);
        EXPECT_EQ(PLC_driver.comm_failed, 1);
        const peer::Turn second = serveFault(row.fault);
        EXPECT_EQ(second.result, 0);
        EXPECT_EQ(second.frame, first.frame);
        EXPECT_EQ(com.retry_count, 2);
        const peer::Turn last = serveFault(row.fault);
        EXPECT_EQ(last.frame, first.frame);
        EXPECT_EQ(last.result, row.code);
        EXPECT_EQ(last.returned.address, 100);
        EXPECT_EQ(last.returned.req_kind, row.req_kind);

        EXPECT_EQ(com.retry_count, 0);
        EXPECT_EQ(com.offline, 1);
        EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
        EXPECT_TRUE(sameNodes(map_list[1], Check_Plc{0, 0, 0}));
        EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, row.req_kind, 1}}));
        const bool notice = row.source == ONE_SHOTS && !row.remote_area;
        std::vector<OnceNotice> expected;
        if (notice) expected.push_back({77, row.req_kind, 5, 2});
        EXPECT_EQ(onceNotices(), expected);
        switch (row.source) {
        case WRITES:
            EXPECT_TRUE(PLC_driver.write_list.isEmpty());
            break; // purged as well
        case ONE_SHOTS:
            EXPECT_EQ(addresses(PLC_driver.once_list), std::vector<int>{300});
            break;
        case CYCLIC:
            EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{300, 100}));
            break;
        }
        queueWrite(dWrite(500, 1)); // the station's next frame is the handshake
        EXPECT_EQ(plc.peek().what, "handshake");
        PLC_driver.protocol_list.clear();
    }
}

TEST_F(Retries, GoodReplyBetweenBadOnesKeepsTheCount) {
    handshakeDone(1);
    queueRead(dWord(100));
    EXPECT_EQ(plc.serveTcpError(1).result, 0);
    EXPECT_EQ(plc.serveTcpError(1).result, 0);
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(com.retry_count, 2);
    EXPECT_EQ(PLC_driver.comm_failed, 0);
    EXPECT_EQ(com.offline, 0);
    // Only passing the limit clears the count, so the next bad reply gives up.
    EXPECT_EQ(plc.serveTcpError(1).result, 11);
}

TEST_F(Retries, ServedAReadPlcAnsweredErrorsGaveUpShookHandsAgainAndRead) {
    queueRead(dWord(100));
    plc.memory().setWord(1, AREA_D, 100, 0xBEEF);
    EXPECT_EQ(plc.serve().what, "handshake");
    EXPECT_EQ(plc.serveTcpError(1).result, 0);
    EXPECT_EQ(plc.serveTcpError(1).result, 0);
    EXPECT_EQ(plc.serveTcpError(1).result, 11);
    EXPECT_EQ(PLC_driver.d_image[100], 0);

    const peer::Turn hs = plc.serve();
    EXPECT_EQ(hs.what, "handshake");
    EXPECT_EQ(hs.result, 1);
    EXPECT_EQ(com.offline, 1); // a handshake answer changes no flag
    const peer::Turn rd = plc.serve();
    EXPECT_EQ(rd.what, "read D100 x1");
    EXPECT_EQ(rd.result, 1);
    EXPECT_EQ(PLC_driver.d_image[100], 0xBEEF);
    EXPECT_EQ(com.offline, 0);
}

TEST_F(Retries, RefusedHandshakeIsRepeatedAndNotCounted) {
    queueWrite(dWrite(100, 1));
    com.cycle_done = 1;
    const peer::Turn refused = plc.serveHandshakeRefusal(0x21);
    EXPECT_EQ(refused.what, "handshake");
    EXPECT_EQ(refused.result, 201);
    EXPECT_EQ(PLC_driver.comm_failed, 1);
    EXPECT_TRUE(sameNodes(map_list[1], Check_Plc{0, 0, 0}));
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_EQ(com.retry_count, 0);
    EXPECT_EQ(com.offline, 1);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_list.size(), 1);
    EXPECT_TRUE(failNotices().empty());

    // Twenty-five bytes with a zero error code are no node address answer either.
    const peer::Turn odd = plc.serveBytes(peer::resized(peer::handshakeAnswer(10, 1), 25), 25);
    EXPECT_EQ(odd.what, "handshake");
    EXPECT_EQ(odd.result, 201);
    EXPECT_EQ(PLC_driver.write_burst, 2);

    EXPECT_EQ(plc.serve().result, 1);
    const peer::Turn w = plc.serve();
    EXPECT_EQ(w.what, "write D100 x1");
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(PLC_driver.comm_failed, 0);
}

// ---- Purges after giving up ---------------------------------------------------

TEST_F(Retries, SingleStationGivingUpOnAOneShotPurgesItsRequesterAndAllWrites) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueOnce(onceBy(dWord(10), 3, 7));
    queueOnce(onceBy(dWord(20), 3, 8));
    queueOnce(onceBy(atStation(dWord(30), 2), 3, 7));
    queueOnce(onceBy(dWord(40), 4, 7));
    queueWrite(dWrite(50, 1));
    queueWrite(atStation(dWrite(60, 1), 2));
    PLC_driver.write_burst = 5; // let the one-shot queue go first
    const peer::Turn t = plc.serveTcpError(1);
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
    queueOnce(onceBy(dWord(10), 3, 7));
    queueOnce(onceBy(atStation(dWord(20), 2), 3, 7));
    queueOnce(onceBy(dWord(30), 3, 7));
    queueOnce(onceBy(dWord(40), 3, 8));
    queueWrite(dWrite(50, 1));
    queueWrite(atStation(dWrite(60, 1), 2));
    queueWrite(dWrite(70, 1));
    queueWrite(atStation(dWrite(80, 1), 3));
    PLC_driver.write_burst = 5;
    EXPECT_EQ(plc.serveTcpError(1).result, 14);
    EXPECT_EQ(addresses(PLC_driver.once_list), (std::vector<int>{20, 40}));
    EXPECT_EQ(addresses(PLC_driver.write_list), (std::vector<int>{60, 80}));
    EXPECT_TRUE(sameNodes(map_list[1], Check_Plc{0, 0, 0}));
    EXPECT_TRUE(sameNodes(map_list[2], Check_Plc{1, 2, 10}));
}

TEST_F(Retries, GivingUpOnAWritePurgesOneShotsOfTheSameRequesterSilently) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueWrite(onceBy(dWrite(50, 1), 3, 7));
    queueWrite(dWrite(51, 1));
    queueOnce(onceBy(dWord(10), 3, 7));
    queueOnce(onceBy(dWord(20), 3, 8));
    EXPECT_EQ(plc.serveLength(29).result, 74);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_EQ(addresses(PLC_driver.once_list), std::vector<int>{20});
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, 3, 1}}));
}

TEST_F(Retries, CallbacksAreOptional) {
    RegistCallBackFuncIntf(nullptr, nullptr);
    com.retry_limit = 0;
    handshakeDone(1);
    queueOnce(onceBy(dWord(10), 3, 7));
    EXPECT_EQ(plc.serveTcpError(1).result, 14);
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

} // namespace
