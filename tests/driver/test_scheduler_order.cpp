// Which entry the scheduler serves next: burst limits across the three lists, the
// handshake for a new station, and entries that can have no frame.

#include "conversation.h"

namespace {

TEST_F(Conversation, BurstsInterleaveWritesOneShotsAndCyclicReads) {
    handshakeDone(1);
    for (int i = 0; i < 7; ++i)
        queueWrite({dWrite(100 + i, i)});
    queueRead({dRead(0)});
    EXPECT_EQ(plc.serveTurns(9), "w100 w101 w102 w103 w104 r0 w105 w106 r0");
    for (int i = 0; i < 7; ++i) {
        queueWrite({dWrite(100 + i, i)});
        queueOnce({dRead(200 + i).once(1, i)});
    }
    EXPECT_EQ(plc.serveTurns(17), "w100 w101 w102 w103 w104 r200 r201 r202 r203 r204 r0 "
                                  "w105 w106 r205 r206 r0 r0");
    // A one-shot burst is not restarted by writes.
    PLC_driver.write_burst = PLC_driver.once_burst = 0;
    for (int i = 0; i < 6; ++i)
        queueOnce({dRead(200 + i).once(1, i)});
    EXPECT_EQ(plc.serveTurns(3), "r200 r201 r202");
    queueWrite({dWrite(100, 1)});
    EXPECT_EQ(plc.serveTurns(5), "w100 r203 r204 r0 r205");
}

// Entries that can have no frame are disposed of without a handshake; with nothing
// to send the cycle is complete and the bursts restart.
TEST_F(Conversation, NothingToSendCompletesTheCycleAndRestartsTheBursts) {
    queueWrite({dWrite(8, 1).type(6)});
    queueOnce({dRead(8).type(14).once(1, 1)});
    queueRead({dRead(8).type(-3)});
    PLC_driver.write_burst = 3;
    PLC_driver.once_burst = 2;
    PLC_driver.cur_kind = 1;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(make_tuple(map_list.size(), PLC_driver.write_list.size(), PLC_driver.once_list.size(),
                         PLC_driver.read_list.size()),
              make_tuple(0u, 0, 0, 0));
    EXPECT_EQ(make_tuple(com.cycle_done, PLC_driver.write_burst, PLC_driver.once_burst,
                         PLC_driver.cur_kind),
              make_tuple(1, 0, 0, 1));
    // An exhausted write burst with nothing else waiting sends nothing this turn.
    handshakeDone(1);
    queueWrite({dWrite(100, 1)});
    PLC_driver.write_burst = 5;
    com.cycle_done = 0;
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(make_tuple(com.cycle_done, PLC_driver.write_burst), make_tuple(1, 0));
    EXPECT_EQ(plc.serveTurns(1), "w100");
}

TEST_F(Conversation, NewStationGetsTheHandshakeFirstFromEveryList) {
    for (int list = 0; list < 3; ++list) {
        map_list.clear();
        PLC_driver.read_list.clear();
        const Entry e = (list == 0 ? dWrite(100, 1) : dRead(100).once(1, 1)).at(4);
        list == 0 ? queueWrite({e}) : list == 1 ? queueOnce({e}) : queueRead({e});
        const Turn hs = plc.serve();
        EXPECT_EQ(make_tuple(hs.what, hs.frame.var.station, plc_add_number),
                  make_tuple(std::string("node"), 4, 4));
        EXPECT_EQ(plc.serveTurns(1), list == 0 ? "w100" : "r100");
    }
}

TEST_F(Conversation, StationsKeepTheirOwnNodes) {
    com.multi_station = 1;
    plc.setPlcNode(2, 0x20);
    plc.setPlcNode(3, 0x30);
    queueRead({dRead(10).at(2), dRead(10).at(3)});
    EXPECT_EQ(plc.serveTurns(4), "node r10 node r10");
    EXPECT_EQ(nodes(2) + " " + nodes(3), "1 32 10 1 48 10");
    queueWrite({dWrite(7, 1).at(3)});
    const Turn w = plc.serve();
    EXPECT_EQ(toHex(w.frame.frame.mid(16, 10)), "80 00 02 00 30 00 00 0A 00 00");
    EXPECT_EQ(make_tuple(plc.memory(3).word(Area::D, 7), plc.memory(2).word(Area::D, 7)),
              make_tuple(1, 0));
}

// Types without a frame, and word counts no frame can carry (beyond 0xFFFF or negative):
// the entry leaves its queue, a one-shot with all of its requester's pieces; an
// oversized write is mirrored into the store once, as a write is.
TEST_F(Conversation, EntriesWithoutAFrameLeaveTheQueue) {
    handshakeDone(1);
    for (int type : {6, -1, 14})
        queueWrite({dWrite(8, 1).type(type)});
    queueWrite({dWrite(50, 7).length(0x10000), dWrite(60, 7).length(-1), dWrite(100, 3)});
    // The same requester's other pieces go with it, also at another station.
    queueOnce({dRead(8).type(14).once(3, 7), dRead(100).once(3, 7), dRead(9).at(2).once(3, 7),
               dRead(200).once(4, 1)});
    queueRead({dRead(8).type(14), dRead(0)});
    EXPECT_EQ(plc.serveTurns(1), "w100");
    EXPECT_EQ(make_tuple(PLC_driver.write_burst, PLC_driver.d_image[50], PLC_driver.d_image[60]),
              make_tuple(1, 7, 0)); // only frames count towards the burst
    EXPECT_EQ(plc.serveTurns(3), "r200 r0 r0");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 2}, {77, 4, 1, 1}}));
    EXPECT_TRUE(failNotices().empty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty() && PLC_driver.once_list.isEmpty());
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{0}));
    PLC_driver.read_list.clear();
    // Another station's flag in multi-station mode: no frame, stored for its station.
    com.multi_station = 1;
    queueWrite({dWrite(8, 1).type(5).at(2)});
    EXPECT_EQ(ComCommunication(), nullptr);
    ASSERT_EQ(PLC_driver.extend_list.size(), 1);
    const EXTENDVAR& e = PLC_driver.extend_list.first();
    EXPECT_EQ(make_tuple(e.ext_station, e.ext_type, e.ext_address, toHex(e.ext_value)),
              make_tuple(2, 5, 8, std::string("01 00")));
}

} // namespace
