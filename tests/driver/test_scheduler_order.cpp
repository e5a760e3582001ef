// Which entry the scheduler serves next: burst limits across the three lists, the
// handshake for a new station, and entries that can have no frame.
#include "conversation.h"

namespace {

using Names = std::vector<std::string>;

TEST_F(Conversation, BurstsInterleaveWritesOneShotsAndCyclicReads) {
    handshakeDone(1);
    for (int i = 0; i < 7; ++i)
        queueWrite(dWrite(100 + i, i));
    queueRead(dRead(0));
    EXPECT_EQ(plc.serveTurns(9), (Names{"write D100 x1", "write D101 x1", "write D102 x1",
                                        "write D103 x1", "write D104 x1", "read D0 x1",
                                        "write D105 x1", "write D106 x1", "read D0 x1"}));
    for (int i = 0; i < 7; ++i)
        queueWrite(dWrite(100 + i, i));
    for (int i = 0; i < 7; ++i)
        queueOnce(dRead(200 + i).once(1, i));
    EXPECT_EQ(plc.serveTurns(17),
              (Names{"write D100 x1", "write D101 x1", "write D102 x1", "write D103 x1",
                     "write D104 x1", "read D200 x1", "read D201 x1", "read D202 x1",
                     "read D203 x1", "read D204 x1", "read D0 x1", "write D105 x1", "write D106 x1",
                     "read D205 x1", "read D206 x1", "read D0 x1", "read D0 x1"}));
}

TEST_F(Conversation, OneShotBurstIsNotResetByWrites) {
    handshakeDone(1);
    for (int i = 0; i < 6; ++i)
        queueOnce(dRead(200 + i).once(1, i));
    queueRead(dRead(0));
    EXPECT_EQ(plc.serveTurns(3), (Names{"read D200 x1", "read D201 x1", "read D202 x1"}));
    queueWrite(dWrite(100, 1));
    EXPECT_EQ(plc.serveTurns(5), (Names{"write D100 x1", "read D203 x1", "read D204 x1",
                                        "read D0 x1", "read D205 x1"}));
}

TEST_F(Conversation, NothingToSendCompletesTheCycleAndRestartsTheBursts) {
    PLC_driver.write_burst = 3;
    PLC_driver.once_burst = 2;
    PLC_driver.cur_kind = 1;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_burst, 0);
    EXPECT_EQ(PLC_driver.once_burst, 0);
    EXPECT_EQ(PLC_driver.cur_kind, 1);
    // An exhausted write burst with nothing else waiting sends nothing this turn.
    handshakeDone(1);
    queueWrite(dWrite(100, 1));
    PLC_driver.write_burst = 5;
    com.cycle_done = 0;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_burst, 0);
    EXPECT_EQ(plc.serve().what, "write D100 x1");
}

TEST_F(Conversation, NewStationGetsTheHandshakeFirstFromEveryList) {
    void (Conversation::*queues[])(const Entry&) = {
        &Conversation::queueWrite, &Conversation::queueOnce, &Conversation::queueRead};
    const char* frames[] = {"write D100 x1", "read D100 x1", "read D100 x1"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(frames[i]);
        map_list.clear();
        PLC_driver.read_list.clear();
        (this->*queues[i])((i == 0 ? dWrite(100, 1) : dRead(100).once(1, 1)).at(4));
        const Turn hs = plc.serve();
        EXPECT_EQ(hs.what, "node");
        EXPECT_EQ(hs.frame.var.station, 4);
        EXPECT_EQ(plc_add_number, 4);
        EXPECT_EQ(plc.serve().what, frames[i]);
    }
}

TEST_F(Conversation, StationsKeepTheirOwnNodes) {
    com.multi_station = 1;
    plc.setPlcNode(2, 0x20);
    plc.setPlcNode(3, 0x30);
    queueRead(dRead(10).at(2));
    queueRead(dRead(10).at(3));
    EXPECT_EQ(plc.serveTurns(4), (Names{"node", "read D10 x1", "node", "read D10 x1"}));
    EXPECT_EQ(nodes(2), "1 32 10");
    EXPECT_EQ(nodes(3), "1 48 10");
    queueWrite(dWrite(7, 1).at(3));
    const Turn w = plc.serve();
    EXPECT_EQ(toHex(w.frame.frame.mid(16, 10)), "80 00 02 00 30 00 00 0A 00 00");
    EXPECT_EQ(plc.memory(3).word(Area::D, 7), 1);
    EXPECT_EQ(plc.memory(2).word(Area::D, 7), 0);
}

// ---- Entries that can have no frame ---------------------------------------------

// Types without a write frame, and word counts no frame can carry (beyond 0xFFFF or
// negative); an oversized write is mirrored into the store once, as a write is.
TEST_F(Conversation, WritesWithoutAFrameLeaveTheQueueAndStillReachTheStore) {
    handshakeDone(1);
    for (int type : {6, -1, 14})
        queueWrite(dWrite(8, 1).type(type));
    queueWrite(dWrite(50, 7).length(0x10000));
    queueWrite(dWrite(60, 7).length(-1));
    queueWrite(dWrite(100, 3));
    const Turn t = plc.serve();
    EXPECT_EQ(t.what, "write D100 x1");
    EXPECT_EQ(PLC_driver.write_burst, 1); // only frames count towards the burst
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(PLC_driver.d_image[50], 7);
    EXPECT_EQ(PLC_driver.d_image[60], 0);
    // Another station's flag in multi-station mode: no frame, stored for its station.
    com.multi_station = 1;
    queueWrite(dWrite(8, 1).type(5).at(2));
    EXPECT_EQ(ComCommunication(), nullptr);
    ASSERT_EQ(PLC_driver.extend_list.size(), 1);
    const EXTENDVAR& e = PLC_driver.extend_list.first();
    EXPECT_EQ(e.ext_station, 2);
    EXPECT_EQ(e.ext_type, 5);
    EXPECT_EQ(e.ext_address, 8);
    EXPECT_EQ(toHex(e.ext_value), "01 00");
}

TEST_F(Conversation, DisposalNeedsNoHandshake) {
    queueWrite(dWrite(8, 1).type(6));
    queueOnce(dRead(8).type(14).once(1, 1));
    queueRead(dRead(8).type(-3));
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_TRUE(map_list.empty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_EQ(com.cycle_done, 1);
}

TEST_F(Conversation, OneShotOrCyclicReadWithoutAFrameIsDropped) {
    handshakeDone(1);
    queueOnce(dRead(8).type(14).once(3, 7));
    queueOnce(dRead(100).once(3, 7));     // same requester: goes with it
    queueOnce(dRead(9).at(2).once(3, 7)); // also at another station
    queueOnce(dRead(200).once(4, 1));
    queueRead(dRead(8).type(14));
    queueRead(dRead(0));
    EXPECT_EQ(plc.serve().what, "read D200 x1");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}, {77, 4, 1, 1}}));
    EXPECT_TRUE(failNotices().empty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
    EXPECT_EQ(plc.serveTurns(2), (Names{"read D0 x1", "read D0 x1"}));
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{0}));
}

TEST_F(Conversation, RemoteModeFramesEveryType) {
    com.remote_mode = 1;
    com.retry_limit = 0; // a refused write is given up at once
    SimPlc remote(true);
    queueWrite(dWrite(8, 1).type(5));
    queueOnce(dRead(8).type(14).once(1, 1));
    EXPECT_EQ(remote.serve().what, "remote-write 5@8 x1");
    EXPECT_EQ(remote.serve().what, "remote-read 14@8 x1");
}

} // namespace
