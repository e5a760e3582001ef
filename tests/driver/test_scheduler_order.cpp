// Which entry the scheduler serves next: burst limits across the three lists,
// the handshake for a new station, remote mode, and entries that can have no frame.
#include "conversation_support.h"

namespace {

std::vector<std::string> names(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

TEST_F(Conversation, SevenWritesThenTheCyclicReadInterleaves) {
    handshakeDone(1);
    for (int i = 0; i < 7; ++i)
        queueWrite(dWrite(100 + i, i));
    queueRead(dWord(0));
    EXPECT_EQ(serveTurns(9), names({"write D100 x1", "write D101 x1", "write D102 x1",
                                    "write D103 x1", "write D104 x1", "read D0 x1", "write D105 x1",
                                    "write D106 x1", "read D0 x1"}));
}

TEST_F(Conversation, WritesOneShotsAndCyclicReadsAllWaiting) {
    handshakeDone(1);
    for (int i = 0; i < 7; ++i)
        queueWrite(dWrite(100 + i, i));
    for (int i = 0; i < 7; ++i)
        queueOnce(onceBy(dWord(200 + i), 1, i));
    queueRead(dWord(0));
    EXPECT_EQ(serveTurns(17),
              names({"write D100 x1", "write D101 x1", "write D102 x1", "write D103 x1",
                     "write D104 x1", "read D200 x1", "read D201 x1", "read D202 x1",
                     "read D203 x1", "read D204 x1", "read D0 x1", "write D105 x1", "write D106 x1",
                     "read D205 x1", "read D206 x1", "read D0 x1", "read D0 x1"}));
}

TEST_F(Conversation, OneShotBurstIsNotResetByWrites) {
    handshakeDone(1);
    for (int i = 0; i < 6; ++i)
        queueOnce(onceBy(dWord(200 + i), 1, i));
    queueRead(dWord(0));
    EXPECT_EQ(serveTurns(3), names({"read D200 x1", "read D201 x1", "read D202 x1"}));
    queueWrite(dWrite(100, 1));
    EXPECT_EQ(serveTurns(5), names({"write D100 x1", "read D203 x1", "read D204 x1", "read D0 x1",
                                    "read D205 x1"}));
}

TEST_F(Conversation, EmptyListsSendNothingAndCompleteTheCycle) {
    PLC_driver.write_burst = 3;
    PLC_driver.once_burst = 2;
    PLC_driver.cur_kind = 1;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_burst, 0);
    EXPECT_EQ(PLC_driver.once_burst, 0);
    EXPECT_EQ(PLC_driver.cur_kind, 1);
}

TEST_F(Conversation, ExhaustedWriteBurstWithNothingElseRestartsTheBurst) {
    handshakeDone(1);
    queueWrite(dWrite(100, 1));
    PLC_driver.write_burst = 5;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_burst, 0);
    EXPECT_EQ(plc.serve().what, "write D100 x1");
    EXPECT_EQ(PLC_driver.write_burst, 1);
}

TEST_F(Conversation, NewStationGetsTheHandshakeFirstFromEveryList) {
    struct Row {
        const char* name;
        void (Conversation::*queue)(const Entry&);
        Entry entry;
        const char* frame;
    } rows[] = {
        {"write", &Conversation::queueWrite, dWrite(100, 1), "write D100 x1"},
        {"one-shot", &Conversation::queueOnce, onceBy(dWord(100), 1, 1), "read D100 x1"},
        {"cyclic", &Conversation::queueRead, dWord(100), "read D100 x1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        map_list.clear();
        PLC_driver.write_list.clear();
        PLC_driver.once_list.clear();
        PLC_driver.read_list.clear();
        (this->*row.queue)(atStation(row.entry, 4));
        const peer::Turn hs = plc.serve();
        EXPECT_EQ(hs.what, "handshake");
        EXPECT_EQ(hs.frame_var.station, 4);
        EXPECT_EQ(plc_add_number, 4);
        EXPECT_EQ(plc.serve().what, row.frame);
    }
}

TEST_F(Conversation, StationsKeepTheirOwnNodes) {
    com.multi_station = 1;
    plc.setPlcNode(2, 0x20);
    plc.setPlcNode(3, 0x30);
    queueRead(atStation(dWord(10), 2));
    queueRead(atStation(dWord(10), 3));
    const std::vector<std::string> turns = serveTurns(4);
    EXPECT_EQ(turns, names({"handshake", "read D10 x1", "handshake", "read D10 x1"}));
    EXPECT_TRUE(sameNodes(map_list[2], Check_Plc{1, 0x20, 10}));
    EXPECT_TRUE(sameNodes(map_list[3], Check_Plc{1, 0x30, 10}));
    queueWrite(atStation(dWrite(7, 1), 3));
    const peer::Turn w = plc.serve();
    EXPECT_EQ(toHex(w.frame.mid(16, 10)), "80 00 02 00 30 00 00 0A 00 00");
}

// ---- Entries that can have no frame ------------------------------------------

// Types without a write frame, and word counts no frame can carry (beyond 0xFFFF or
// negative); an oversized write is mirrored into the store once, as a write is.
TEST_F(Conversation, WritesWithoutAFrameLeaveTheQueueAtOnce) {
    handshakeDone(1);
    for (int type : {5, 6, -1, 14})
        queueWrite(typed(dWrite(8, 1), type));
    for (int length : {0x10000, -1}) {
        Entry oversized = dWrite(length < 0 ? 60 : 50, 7);
        oversized.length = length;
        queueWrite(oversized);
    }
    queueWrite(dWrite(100, 3));
    const peer::Turn t = plc.serve();
    EXPECT_EQ(t.what, "write D100 x1");
    EXPECT_EQ(t.returned.address, 100);
    EXPECT_EQ(PLC_driver.write_burst, 1); // only frames count towards the burst
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(PLC_driver.d_image[50], 7);
    EXPECT_EQ(PLC_driver.d_image[60], 0);
}

TEST_F(Conversation, DisposedWriteIsStillAppliedToTheStore) {
    com.multi_station = 1;
    handshakeDone(2);
    Entry flag = atStation(typed(dWrite(8, 0x0001), 5), 2);
    queueWrite(flag);
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    ASSERT_EQ(PLC_driver.extend_list.size(), 1);
    const EXTENDVAR& e = PLC_driver.extend_list.first();
    EXPECT_EQ(e.ext_station, 2);
    EXPECT_EQ(e.ext_type, 5);
    EXPECT_EQ(e.ext_address, 8);
    EXPECT_EQ(toHex(e.ext_value), "01 00");
}

TEST_F(Conversation, DisposalNeedsNoHandshake) {
    queueWrite(typed(dWrite(8, 1), 6));
    queueOnce(onceBy(typed(dWord(8), 14), 1, 1));
    queueRead(typed(dWord(8), -3));
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_TRUE(map_list.empty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_EQ(com.cycle_done, 1);
}

TEST_F(Conversation, OneShotWithoutAFrameFailsItsRequesterOnce) {
    handshakeDone(1);
    queueOnce(onceBy(typed(dWord(8), 14), 3, 7));
    queueOnce(onceBy(dWord(100), 3, 7));             // same requester: goes with it
    queueOnce(onceBy(atStation(dWord(9), 2), 3, 7)); // also at another station
    queueOnce(onceBy(dWord(200), 4, 1));
    const peer::Turn t = plc.serve();
    EXPECT_EQ(t.what, "read D200 x1");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}, {77, 4, 1, 1}}));
    EXPECT_TRUE(failNotices().empty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

TEST_F(Conversation, CyclicReadWithoutAFrameIsDropped) {
    handshakeDone(1);
    queueRead(typed(dWord(8), 14));
    queueRead(dWord(0));
    EXPECT_EQ(serveTurns(2), names({"read D0 x1", "read D0 x1"}));
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{0}));
}

TEST_F(Conversation, RemoteModeFramesEveryType) {
    com.remote_mode = 1;
    peer::PlcPeer remote(true);
    queueWrite(typed(dWrite(8, 1), 5));
    queueOnce(onceBy(typed(dWord(8), 14), 1, 1));
    EXPECT_EQ(remote.serve().what, "remote write type 5 @8 x1");
    EXPECT_EQ(remote.serve().what, "remote read type 14 @8 x1");
}

} // namespace
