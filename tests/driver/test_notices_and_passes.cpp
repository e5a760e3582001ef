// One-shot notices for split requests, passes over the read list, remote-area and
// remote-mode results, and the result-code mapping itself.
#include "conversation_support.h"
#include "reply_processing.h"

namespace {

TEST_F(Conversation, SplitOneShotIsReportedOnceWhenItsLastPieceIsAnswered) {
    handshakeDone(1);
    queueOnce(onceBy(dWord(100), 3, 7));
    queueOnce(onceBy(dWord(164), 3, 7));
    queueOnce(onceBy(dWord(300), 3, 8));
    plc.memory().setWord(1, AREA_D, 164, 0x0A0B);

    EXPECT_EQ(plc.serve().what, "read D100 x1");
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(addresses(PLC_driver.once_list), (std::vector<int>{164, 300}));
    EXPECT_EQ(plc.serve().what, "read D164 x1");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 1}}));
    EXPECT_EQ(PLC_driver.d_image[164], 0x0A0B);
    EXPECT_EQ(plc.serve().what, "read D300 x1");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 1}, {77, 3, 8, 1}}));
    EXPECT_TRUE(failNotices().empty());
}

TEST_F(Conversation, SplitOneShotFailingIsReportedOnceAndDropped) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueOnce(onceBy(dWord(100), 3, 7));
    queueOnce(onceBy(dWord(164), 3, 7));
    EXPECT_EQ(plc.serveTcpError(0x22).result, 14);
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}}));
    EXPECT_EQ(failNotices(), (std::vector<FailNotice>{{0, 3, 1}}));
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

TEST_F(Conversation, RemoteAreaOneShotSendsNoNoticeAndStoresNothing) {
    handshakeDone(1);
    Entry remote = onceBy(dWord(100), 3, 7);
    remote.link_id = 9;
    queueOnce(remote);
    plc.memory().setWord(1, AREA_D, 100, 0x1111);
    const peer::Turn t = plc.serve();
    EXPECT_EQ(t.result, 100);
    EXPECT_EQ(PLC_driver.d_image[100], 0);
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

TEST_F(Conversation, PassOverTheReadListCompletesAfterSizePlusOneGoodReplies) {
    handshakeDone(1);
    queueRead(dWord(0));
    queueRead(dWord(10));
    queueRead(dWord(20));
    com.cycle_done = 0;
    const struct {
        const char* frame;
        int read_index, cycle_done;
        std::vector<int> list;
    } steps[] = {
        {"read D0 x1", 1, 0, {10, 20, 0}},  {"read D10 x1", 2, 0, {20, 0, 10}},
        {"read D20 x1", 3, 0, {0, 10, 20}}, {"read D0 x1", 0, 1, {10, 20, 0}},
        {"read D10 x1", 0, 1, {20, 0, 10}}, // counting stops while the cycle is done
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.frame);
        const peer::Turn t = plc.serve();
        EXPECT_EQ(t.what, step.frame);
        EXPECT_EQ(PLC_driver.read_index, step.read_index);
        EXPECT_EQ(com.cycle_done, step.cycle_done);
        EXPECT_EQ(addresses(PLC_driver.read_list), step.list);
    }
    EXPECT_EQ(plc.serveTcpError(1).result, 0);
    EXPECT_EQ(com.cycle_done, 0);
    EXPECT_EQ(PLC_driver.read_index, 0);
}

TEST_F(Conversation, EveryGoodLocalReplyCountsTowardsThePass) {
    handshakeDone(1);
    queueRead(dWord(0));
    queueWrite(dWrite(5, 1));
    Entry remote = dWord(10);
    remote.link_id = 4;
    queueOnce(onceBy(remote, 1, 1));
    com.cycle_done = 0;
    EXPECT_EQ(plc.serve().result, 1); // write
    EXPECT_EQ(PLC_driver.read_index, 1);
    EXPECT_EQ(plc.serve().result, 100); // remote-area one-shot: not counted
    EXPECT_EQ(PLC_driver.read_index, 1);
    EXPECT_EQ(plc.serve().result, 1); // cyclic read passes the list size
    EXPECT_EQ(PLC_driver.read_index, 0);
    EXPECT_EQ(com.cycle_done, 1);
}

// ---- Remote mode ------------------------------------------------------------

struct RemoteRow {
    const char* name;
    int fault; // 0 good, 1 error code, 2 empty, 3 wrong length
    int access;
    int req_kind;
    int result; // with retry_limit 0
};

const RemoteRow kRemoteRows[] = {
    {"good read", 0, READ, 0, 100},
    {"good write", 0, WRITE, 0, 100},
    {"error code, kind 2", 1, READ, 2, 113},
    {"error code on a write, kind 11", 1, WRITE, 11, 122},
    {"empty, kind 12", 2, READ, 12, 141},
    {"wrong length, kind 0", 3, READ, 0, 171},
    {"wrong length on a write, kind 5", 3, WRITE, 5, 176},
};

TEST_F(Conversation, RemoteModeResultsStoreNothing) {
    com.remote_mode = 1;
    com.retry_limit = 0;
    peer::PlcPeer remote(true);
    for (const RemoteRow& row : kRemoteRows) {
        SCOPED_TRACE(row.name);
        PLC_driver.write_list.clear();
        PLC_driver.read_list.clear();
        Entry e =
            onceBy(row.access == WRITE ? dWrite(100, 0x2222) : dWord(100, 2), row.req_kind, 1);
        e.link_id = 6;
        e.station = 4;
        if (row.access == WRITE)
            queueWrite(e);
        else
            queueRead(e);
        PLC_driver.d_image[100] = 0x5555;
        peer::Turn t;
        const Protocol* p = ComCommunication();
        ASSERT_NE(p, nullptr);
        switch (row.fault) {
        case 0:
            t = remote.serve();
            break;
        case 1:
            t = remote.serveTcpError(1);
            break;
        case 2:
            t = remote.serveLength(0);
            break;
        case 3:
            t = remote.serveLength(p->reply_len + 2);
            break;
        }
        EXPECT_EQ(t.result, row.result);
        // A remote write mirrors its value into the store when its frame is built.
        EXPECT_EQ(PLC_driver.d_image[100], row.access == WRITE ? 0x2222 : 0x5555);
        EXPECT_TRUE(map_list.empty());
    }
}

TEST_F(Conversation, RemoteModeRemoteReplyIsEvaluatedWithoutAStationEntry) {
    com.remote_mode = 1;
    peer::PlcPeer remote(true);
    Entry e = dWord(100, 4);
    e.link_id = 2;
    queueRead(e);
    const peer::Turn t = remote.serve();
    EXPECT_EQ(t.what, "remote read type 11 @100 x4");
    EXPECT_EQ(t.reply_len, 43);
    EXPECT_EQ(t.result, 100);
    EXPECT_TRUE(map_list.empty());
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_EQ(com.offline, 0);
}

TEST_F(Conversation, RemoteModeGivingUpNeedsNoHandshake) {
    com.remote_mode = 1;
    com.retry_limit = 1;
    peer::PlcPeer remote(true);
    Entry e = dWord(100, 1);
    e.link_id = 2;
    queueRead(e);
    EXPECT_EQ(remote.serveTcpError(1).result, 0);
    EXPECT_EQ(remote.serveTcpError(1).result, 111);
    EXPECT_EQ(com.offline, 1);
    EXPECT_EQ(remote.serve().what, "remote read type 11 @100 x1");
}

// ---- Result-code mapping -------------------------------------------------------

TEST(ResultCodes, IndexTableForRequesterKindFour) {
    Protocol p = {};
    p.var.req_kind = 4;
    PLC_driver.protocol_list.append(p);
    const int expected[] = {1, 15, 45, 75, 100, 115, 145, 175, 200, 200};
    const int indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(GetDriverReturnValue(indices[i]), expected[i]) << i;
}

TEST(ResultCodes, OffsetByRequesterKind) {
    const struct {
        int req_kind, code;
    } rows[] = {{-1, 11}, {0, 11}, {1, 12}, {10, 21}, {11, 22}, {12, 11}, {-2147483647 - 1, 11}};
    for (const auto& row : rows) {
        PLC_driver.protocol_list.clear();
        Protocol p = {};
        p.var.req_kind = row.req_kind;
        PLC_driver.protocol_list.append(p);
        EXPECT_EQ(SwitchErrorReturn(10), row.code) << row.req_kind;
        EXPECT_EQ(SwitchErrorReturn(170), row.code + 160) << row.req_kind;
    }
    PLC_driver.protocol_list.clear();
    EXPECT_EQ(SwitchErrorReturn(40), 41); // no frame: the offset of an unknown kind
}

} // namespace
