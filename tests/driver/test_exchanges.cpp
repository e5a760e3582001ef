// One exchange at a time: what DataCom does with replies that are missing, cut, padded
// or answer nothing, passes over the read list, one-shot notices, remote mode, and the
// result-code mapping. (The typical read's exact bytes: tests/e2e and tests/frames;
// DataCom with nothing outstanding: fuzz_reply.)
#include "conversation.h"
#include "reply_processing.h"

namespace {

// Replies whose bytes and reported length disagree: only bytes that exist are read. A
// frame may accept any length (reply_len -1), but still no empty reply.
TEST_F(Conversation, ReportedLengthAgainstTheArray) {
    const struct {
        int array_size, reported, result; // result with retry_limit 0
        bool stored, any_length;
    } rows[] = {{32, 32, 1, true, false},   {30, 32, 1, false, false}, {16, 32, 1, false, false},
                {15, 32, 11, false, false}, {40, 32, 1, true, false},  {32, 31, 71, false, false},
                {32, 33, 71, false, false}, {32, 0, 41, false, false}, {0, 0, 41, false, false},
                {32, -1, 71, false, false}, {40, 40, 1, true, true},   {0, 0, 41, false, true}};
    com.retry_limit = 0;
    plc.memory().setWord(Area::D, 100, 0x1234);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.array_size << " bytes reported as " << row.reported);
        handshakeDone(1);
        queueRead({dRead(100)});
        PLC_driver.d_image[100] = 0xAAAA;
        Protocol* p = ComCommunication();
        ASSERT_NE(p, nullptr);
        if (row.any_length) p->reply_len = -1;
        QByteArray reply = plc.answer(*p).leftJustified(row.array_size, '\0', true);
        EXPECT_EQ(DataCom(&reply, row.reported)->result, row.result);
        EXPECT_EQ(PLC_driver.d_image[100], row.stored ? 0x1234 : 0xAAAA);
        PLC_driver.read_list.clear();
        PLC_driver.protocol_list.clear();
    }
    handshakeDone(1);
    queueRead({dRead(100).once(4, 1)});
    ASSERT_NE(ComCommunication(), nullptr);
    EXPECT_EQ(DataCom(nullptr, 32)->result, 45); // no reply at all is an empty one
}

// The outstanding frame is given again until answered; its answer stores nothing.
TEST_F(Conversation, WriteAcknowledgementStoresNothingAndOtherAccessIsBad) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueWrite({dWrite(100, 0x0506)});
    const Protocol* p = ComCommunication();
    ASSERT_NE(p, nullptr);
    // The value is mirrored into the store when the frame is built.
    EXPECT_EQ(make_tuple(ComCommunication(), PLC_driver.write_burst, PLC_driver.d_image[100]),
              make_tuple(p, 1, 0x0506));
    PLC_driver.d_image[100] = 0x7777;
    // An acknowledgement padded with data-like bytes, reported at its proper length.
    QByteArray reply = plc.answer(*p) + hex("12 34");
    EXPECT_EQ(DataCom(&reply, fins::WRITE_REPLY_SIZE)->result, 1);
    EXPECT_EQ(make_tuple(PLC_driver.d_image[100], PLC_driver.write_list.size()),
              make_tuple(0x7777, 0));
    Entry odd = dRead(100).once(2, 9);
    odd.v.access = 2; // neither read nor write
    queueRead({odd});
    plc.memory().setWord(Area::D, 100, 0x4444);
    EXPECT_EQ(plc.serve().result, 13);
    EXPECT_EQ(PLC_driver.d_image[100], 0x7777);
}

TEST_F(Conversation, EntryNeedingMoreFramesStaysAtTheHead) {
    handshakeDone(1);
    queueRead({dRead(100), dRead(200)});
    ASSERT_NE(ComCommunication(), nullptr);
    com.frames_total = 2;
    EXPECT_EQ(plc.serve().result, 1);
    EXPECT_EQ(make_tuple(com.frames_done, PLC_driver.read_index, com.offline), make_tuple(1, 0, 0));
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{100, 200}));
    // The next frame is built afresh for the same entry and finishes it.
    EXPECT_EQ(plc.serveTurns(1), "r100");
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{200, 100}));
}

TEST_F(Conversation, PassOverTheReadListCompletesAfterSizePlusOneGoodReplies) {
    handshakeDone(1);
    queueRead({dRead(0), dRead(10)});
    queueWrite({dWrite(5, 1)});
    queueOnce({dRead(20).link(4).once(1, 1)}); // remote area: not counted
    com.cycle_done = 0;
    const struct {
        const char* frame;
        int result, read_index, cycle_done;
    } steps[] = {
        {"write D5 x1", 1, 1, 0}, {"read D20 x1", 100, 1, 0}, {"read D0 x1", 1, 2, 0},
        {"read D10 x1", 1, 0, 1}, {"read D0 x1", 1, 0, 1}, // counting stops while done
    };
    for (const auto& step : steps) {
        const Turn t = plc.serve();
        EXPECT_EQ(
            make_tuple(t.what, t.result, PLC_driver.read_index, com.cycle_done),
            make_tuple(std::string(step.frame), step.result, step.read_index, step.cycle_done));
    }
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{10, 0}));
    EXPECT_EQ(plc.serve("error=1").result, 0);
    EXPECT_EQ(com.cycle_done, 0);
}

TEST_F(Conversation, SplitOneShotIsReportedOnceWhenAnsweredOrGivenUp) {
    handshakeDone(1);
    queueOnce({dRead(100).once(3, 7), dRead(164).once(3, 7), dRead(300).once(3, 8),
               dRead(400).once(3, 9).link(9)});
    plc.memory().setWord(Area::D, 164, 0x0A0B);
    plc.memory().setWord(Area::D, 400, 0x1111);
    EXPECT_EQ(plc.serveTurns(1), "r100");
    EXPECT_TRUE(onceNotices().empty());
    EXPECT_EQ(plc.serveTurns(1), "r164");
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 1}}));
    EXPECT_EQ(PLC_driver.d_image[164], 0x0A0B);
    EXPECT_EQ(plc.serveTurns(1), "r300");
    // A remote area's one-shot gets result 100, no notice, and stores nothing.
    EXPECT_EQ(plc.serve().result, 100);
    EXPECT_EQ(PLC_driver.d_image[400], 0);
    EXPECT_EQ(onceNotices(), (std::vector<OnceNotice>{{77, 3, 7, 1}, {77, 3, 8, 1}}));
    EXPECT_TRUE(failNotices().empty());
    // A failing piece reports its requester once, and the rest goes with it.
    com.retry_limit = 0;
    queueOnce({dRead(100).once(3, 7), dRead(164).once(3, 7)});
    EXPECT_EQ(plc.serve("error=0x22").result, 14);
    EXPECT_EQ(onceNotices().back(), (OnceNotice{77, 3, 7, 2}));
    EXPECT_EQ(make_tuple(onceNotices().size(), failNotices(), PLC_driver.once_list.size()),
              make_tuple(3u, std::vector<FailNotice>{{0, 3, 1}}, 0));
    // Without callbacks (the one-shot burst of 5 is used up).
    RegistCallBackFuncIntf(nullptr, nullptr);
    PLC_driver.once_burst = 0;
    handshakeDone(1);
    queueOnce({dRead(10).once(3, 7)});
    EXPECT_EQ(plc.serve("error=1").result, 14);
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

// Remote mode: results of every kind, nothing stored, no station entry, every type.
TEST_F(Conversation, RemoteModeResultsStoreNothing) {
    const struct {
        const char* fault; // nullptr: a good reply
        int access, req_kind, result;
    } rows[] = {
        {nullptr, READ, 0, 100},     {nullptr, WRITE, 0, 100}, {"error=1", READ, 2, 113},
        {"error=1", WRITE, 11, 122}, {"drop", READ, 12, 141},  {"extra=2", READ, 0, 171},
        {"short=1", WRITE, 5, 176},
    };
    com.remote_mode = 1;
    com.retry_limit = 0;
    SimPlc remote(true);
    remote.memory().setWord(Area::D, 100, 0x3333);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.fault ? row.fault : "good") << " " << row.access);
        Entry e = row.access == WRITE ? dWrite(100, 0x2222) : dRead(100).length(4);
        e.once(row.req_kind, 1).link(6).at(4);
        row.access == WRITE ? queueWrite({e}) : queueRead({e});
        PLC_driver.d_image[100] = 0x5555;
        const int result = remote.serve(row.fault).result;
        // A remote write mirrors its value into the store when its frame is built; giving
        // up needs no new handshake.
        EXPECT_EQ(
            make_tuple(result, PLC_driver.d_image[100], map_list.size(), com.offline),
            make_tuple(row.result, row.access == WRITE ? 0x2222 : 0x5555, 0u, row.fault ? 1 : 0));
        PLC_driver.read_list.clear();
    }
    queueRead({dRead(100).length(4).link(2)});
    const Turn t = remote.serve();
    EXPECT_EQ(make_tuple(t.what, t.frame.reply_len, com.offline),
              make_tuple(std::string("remote-read 11@100 x4"), 43, 0));
    // Types without a local frame have remote ones (a refused write is given up at once).
    queueWrite({dWrite(8, 1).type(5)});
    queueOnce({dRead(8).type(14).once(1, 1)});
    EXPECT_EQ(remote.serve().what, "remote-write 5@8 x1");
    EXPECT_EQ(remote.serve().what, "remote-read 14@8 x1");
}

// The requester kind's offset at its bounds is in the giving-up table of test_retries.
TEST(ResultCodes, IndexTable) {
    PLC_driver.protocol_list.append(Protocol());
    PLC_driver.protocol_list.first().var.req_kind = 4;
    const int expected[] = {1, 15, 45, 75, 100, 115, 145, 175, 200, 200};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(GetDriverReturnValue(i < 9 ? i : -1), expected[i]) << i;
    PLC_driver.protocol_list.clear();
    EXPECT_EQ(SwitchErrorReturn(40), 41); // no frame: the offset of an unknown kind
}

} // namespace
