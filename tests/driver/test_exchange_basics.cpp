// One exchange at a time: the typical read, frames sent again, and what DataCom
// does with replies that are missing, cut, padded or answer nothing.
#include "conversation_support.h"

namespace {

const char kHandshakeToNode10[] = "46494E53 0000000C 00000000 00000000 0000000A";
const char kReadD100[] = "46494E53 0000001A 00000002 00000000 80 00 02 00 01 00 00 0A 00 00"
                         " 01 01 82 0064 00 0001";

TEST_F(Conversation, TypicalReadOfD100) {
    QList<VAR_DESC> screen;
    VAR_DESC d100 = {};
    d100.reg_type = 11;
    d100.station = 1;
    d100.addr_text = "100";
    d100.name = "speed";
    d100.length = 1;
    screen.append(d100);
    ASSERT_EQ(ReCreatReadVarList(&screen), 1);
    plc.memory().setWord(1, AREA_D, 100, 0x1234);

    const peer::Turn hs = plc.serve();
    EXPECT_EQ(toHex(hs.frame), toHex(hex(kHandshakeToNode10)));
    EXPECT_EQ(hs.reply_len, 24);
    EXPECT_EQ(hs.result, 1);
    ASSERT_EQ(map_list.count(1), 1u);
    EXPECT_TRUE(sameNodes(map_list[1], Check_Plc{1, 1, 10}));
    EXPECT_EQ(PLC_driver.read_list.size(), 1); // the entry waited for the handshake

    const peer::Turn rd = plc.serve();
    EXPECT_EQ(toHex(rd.frame), toHex(hex(kReadD100)));
    EXPECT_EQ(rd.send_len, 34);
    EXPECT_EQ(rd.reply_len, 32);
    EXPECT_EQ(rd.p_aux1, 30);
    EXPECT_EQ(rd.p_aux2, 2);
    EXPECT_EQ(rd.result, 1);
    EXPECT_EQ(rd.returned.address, 100);
    EXPECT_EQ(rd.returned.reg_type, 11);
    EXPECT_TRUE(rd.returned.value.isEmpty());
    EXPECT_EQ(PLC_driver.d_image[100], 0x1234);
    EXPECT_EQ(com.offline, 0);
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());

    QString name = "speed", text = "100";
    QByteArray screen_bytes;
    EXPECT_EQ(GetRegisterData(&name, 11, &text, 1, &screen_bytes, 1), 1);
    EXPECT_EQ(toHex(screen_bytes), "34 12");
}

TEST_F(Conversation, OutstandingFrameIsReturnedAgainUntilAnswered) {
    handshakeDone(1);
    queueWrite(dWrite(100, 7));
    queueWrite(dWrite(101, 8));
    Protocol* first = ComCommunication();
    ASSERT_NE(first, nullptr);
    const QByteArray bytes = first->frame;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ComCommunication(), first);
        EXPECT_EQ(first->frame, bytes);
    }
    EXPECT_EQ(PLC_driver.write_burst, 1);

    // A bad reply keeps the frame; the host sends the same bytes again.
    const peer::Turn bad = plc.serveTcpError(1);
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.frame, bytes);
    EXPECT_EQ(com.retry_count, 1);
    const peer::Turn again = plc.serve();
    EXPECT_EQ(again.frame, bytes);
    EXPECT_EQ(again.result, 1);
    EXPECT_EQ(again.returned.address, 100);
    EXPECT_EQ(PLC_driver.write_burst, 1);
    EXPECT_EQ(plc.serve().what, "write D101 x1");
    EXPECT_EQ(plc.memory().word(1, AREA_D, 100), 7u);
    EXPECT_EQ(plc.memory().word(1, AREA_D, 101), 8u);
}

TEST_F(Conversation, NothingOutstandingIsResultOneAndNoChange) {
    com.retry_count = 1;
    com.frames_done = 3;
    PLC_driver.cur_var.result = 55;
    QByteArray reply = hex("00");
    EXPECT_EQ(DataCom(&reply, 1)->result, 1);
    EXPECT_EQ(com.retry_count, 1);
    EXPECT_EQ(com.frames_done, 3);
    EXPECT_EQ(com.offline, 1);
}

TEST_F(Conversation, StationMissingFromTheMapLeavesTheFrameOutstanding) {
    handshakeDone(1);
    queueRead(dWord(5));
    ASSERT_NE(ComCommunication(), nullptr);
    plc_add_number = 9;
    QByteArray reply = peer::wordReply(PLC_driver.protocol_list.first(), {1});
    EXPECT_EQ(DataCom(&reply, reply.size())->result, 1);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(PLC_driver.d_image[5], 0);
    EXPECT_EQ(com.retry_count, 0);
}

// Replies whose bytes and reported length disagree: only bytes that exist are read.
struct LengthRow {
    const char* name;
    int array_size; // bytes handed over (the good answer cut or padded)
    int reported;   // length the host reports
    int result;     // with retry_limit 0
    unsigned d100;  // image word afterwards (0xAAAA = untouched)
};

const LengthRow kLengthRows[] = {
    {"exact", 32, 32, 1, 0x1234},
    {"reported length right, array short of the data", 30, 32, 1, 0xAAAA},
    {"reported length right, array shorter than the error code", 10, 32, 11, 0xAAAA},
    {"reported length right, array holds only the header", 16, 32, 1, 0xAAAA},
    {"reported length right, array one byte short of the header", 15, 32, 11, 0xAAAA},
    {"reported length right, array longer", 40, 32, 1, 0x1234},
    {"reported short", 32, 31, 71, 0xAAAA},
    {"reported long", 32, 33, 71, 0xAAAA},
    {"reported empty", 32, 0, 41, 0xAAAA},
    {"empty array reported empty", 0, 0, 41, 0xAAAA},
    {"reported negative", 32, -1, 71, 0xAAAA},
};

TEST_F(Conversation, ReportedLengthAgainstTheArray) {
    com.retry_limit = 0;
    for (const LengthRow& row : kLengthRows) {
        SCOPED_TRACE(row.name);
        PLC_driver.read_list.clear();
        handshakeDone(1);
        queueRead(dWord(100));
        PLC_driver.d_image[100] = 0xAAAA;
        plc.memory().setWord(1, AREA_D, 100, 0x1234);
        const Protocol* p = ComCommunication();
        ASSERT_NE(p, nullptr);
        QByteArray reply = peer::resized(plc.answer(*p), row.array_size);
        EXPECT_EQ(DataCom(&reply, row.reported)->result, row.result);
        EXPECT_EQ(PLC_driver.d_image[100], row.d100);
        PLC_driver.protocol_list.clear();
    }
}

TEST_F(Conversation, NullReplyIsAnEmptyReply) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueRead(onceBy(dWord(100), 4, 1));
    ASSERT_NE(ComCommunication(), nullptr);
    EXPECT_EQ(DataCom(nullptr, 32)->result, 45);
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
}

TEST_F(Conversation, AnyLengthAcceptedWhenTheFrameSaysSo) {
    com.retry_limit = 0;
    handshakeDone(1);
    queueRead(dWord(100));
    plc.memory().setWord(1, AREA_D, 100, 0x0102);
    Protocol* p = ComCommunication();
    ASSERT_NE(p, nullptr);
    p->reply_len = -1;
    EXPECT_EQ(plc.serveLength(40).result, 1);
    EXPECT_EQ(PLC_driver.d_image[100], 0x0102);

    p = ComCommunication();
    ASSERT_NE(p, nullptr);
    p->reply_len = -1;
    EXPECT_EQ(plc.serveLength(0).result, 41); // an empty reply is still empty
}

TEST_F(Conversation, WriteAcknowledgementStoresNothing) {
    handshakeDone(1);
    queueWrite(dWrite(100, 0x0506));
    const Protocol* p = ComCommunication();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(PLC_driver.d_image[100], 0x0506); // mirrored when the frame was built
    PLC_driver.d_image[100] = 0x7777;
    // An acknowledgement padded with data-like bytes, reported at its proper length.
    QByteArray reply = peer::writeAck(*p) + hex("12 34");
    EXPECT_EQ(DataCom(&reply, 30)->result, 1);
    EXPECT_EQ(PLC_driver.d_image[100], 0x7777);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
}

TEST_F(Conversation, AccessNeitherReadNorWriteIsAlwaysBad) {
    com.retry_limit = 0;
    handshakeDone(1);
    Entry odd = onceBy(dWord(100), 2, 9);
    odd.access = 2;
    queueRead(odd);
    plc.memory().setWord(1, AREA_D, 100, 0x4444);
    EXPECT_EQ(plc.serve().result, 13);
    EXPECT_EQ(PLC_driver.d_image[100], 0);
}

TEST_F(Conversation, EntryNeedingMoreFramesStaysAtTheHead) {
    handshakeDone(1);
    queueRead(dWord(100));
    queueRead(dWord(200));
    ASSERT_NE(ComCommunication(), nullptr);
    com.frames_total = 2;
    const peer::Turn part = plc.serve();
    EXPECT_EQ(part.result, 1);
    EXPECT_EQ(com.frames_done, 1);
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{100, 200}));
    EXPECT_EQ(PLC_driver.read_index, 0);
    EXPECT_EQ(com.offline, 0);
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    // The next frame is built afresh for the same entry and finishes it.
    EXPECT_EQ(plc.serve().what, "read D100 x1");
    EXPECT_EQ(addresses(PLC_driver.read_list), (std::vector<int>{200, 100}));
}

} // namespace
