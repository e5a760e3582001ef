#include "Func_Remote.h"
#include "frame_test_support.h"

namespace {

RW_VAR remoteVar(int req_kind, int access, int link_id, int station, int reg_type, int address,
                 int length, int aux1, int aux2, const char* value = "") {
    RW_VAR v = makeVar(reg_type, address, length, hex(value));
    v.req_kind = req_kind;
    v.access = access;
    v.link_id = link_id;
    v.station = station;
    v.aux1 = aux1;
    v.aux2 = aux2;
    return v;
}

struct RemoteReadRow {
    const char* what;
    RW_VAR var;
    const char* frame;
    int reply_len, data_bytes;
};

class RemoteFrames : public FrameTest {};

TEST_F(RemoteFrames, ReadRequests) {
    const RemoteReadRow rows[] = {
        {"D words", remoteVar(3, 0, 1, 2, 11, 100, 4, 0, 0),
         "16 03 00 01 02 00 0B 00 00 00 64 00 04 00 00 00 00 00 00 00 00 8F", 43, 16},
        {"timer flags expect two bytes per group", remoteVar(3, 0, 1, 2, 5, 100, 4, 0, 0),
         "16 03 00 01 02 00 05 00 00 00 64 00 04 00 00 00 00 00 00 00 00 89", 35, 8},
        {"counter flags too", remoteVar(3, 0, 1, 2, 6, 8, 3, 0, 0),
         "16 03 00 01 02 00 06 00 00 00 08 00 03 00 00 00 00 00 00 00 00 2D", 33, 6},
        {"negative type sent as its low bits", remoteVar(0, 0, 0, 0, -1, 0, 1, 0, 0),
         "16 00 00 00 00 FF FF 00 00 00 00 00 01 00 00 00 00 00 00 00 00 15", 31, 4},
        {"type 14 sent as it is", remoteVar(0, 0, 0, 0, 14, 0, 1, 0, 0),
         "16 00 00 00 00 00 0E 00 00 00 00 00 01 00 00 00 00 00 00 00 00 25", 31, 4},
        {"every field takes its low bytes",
         remoteVar(0x1FF, -1, 0x102, 300, 0x12345, -2, 0x10002, -1, 0x7FFFFFFF),
         "16 FF FF 02 2C 23 45 FF FF FF FE 00 02 FF FF FF FF 7F FF FF FF 1F", 27 + 4 * 0x10002,
         4 * 0x10002},
    };
    for (const RemoteReadRow& row : rows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        com.frames_total = 5;
        com.frames_done = 3;
        RW_VAR var = row.var;
        Remote_ReadVar(&var);
        const Protocol& p = onlyFrame();
        EXPECT_EQ(toHex(p.frame), toHex(hex(row.frame)));
        EXPECT_EQ(p.send_len, 22);
        EXPECT_EQ(p.reply_len, row.reply_len);
        EXPECT_EQ(p.p_aux1, 23);
        EXPECT_EQ(p.p_aux2, row.data_bytes);
        expectSameVar(p.var, row.var);
        expectCountersReset();
    }
}

struct RemoteWriteRow {
    const char* what;
    RW_VAR var;
    const char* frame;
};

TEST_F(RemoteFrames, WriteRequests) {
    const RemoteWriteRow rows[] = {
        {"two value bytes in stored order", remoteVar(1, 1, 0, 1, 11, 70000, 1, 0, 0, "34 12"),
         "18 01 01 00 01 00 0B 00 01 11 70 00 01 00 00 00 00 00 00 00 00 34 12 EF"},
        {"empty value is laid out like a read", remoteVar(1, 1, 0, 1, 11, 100, 1, 0, 0),
         "16 01 01 00 01 00 0B 00 00 00 64 00 01 00 00 00 00 00 00 00 00 89"},
    };
    PLC_driver.comm_failed = 1;
    for (const RemoteWriteRow& row : rows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        com.frames_total = 5;
        com.frames_done = 3;
        RW_VAR var = row.var;
        Remote_WriteVar(&var);
        const Protocol& p = onlyFrame();
        EXPECT_EQ(toHex(p.frame), toHex(hex(row.frame)));
        EXPECT_EQ(p.send_len, p.frame.size());
        EXPECT_EQ(p.reply_len, 27);
        EXPECT_EQ(p.p_aux1, 0);
        EXPECT_EQ(p.p_aux2, 0);
        expectSameVar(p.var, row.var);
        expectCountersReset();
    }
}

TEST_F(RemoteFrames, LongValueKeepsOnlyTheLowByteOfTheSize) {
    QByteArray value;
    for (int i = 0; i < 234; ++i)
        value.append(static_cast<char>(i));
    RW_VAR var = remoteVar(2, 1, 0, 3, 7, 10, 117, 0, 0);
    var.value = value;
    Remote_WriteVar(&var);
    const Protocol& p = onlyFrame();
    ASSERT_EQ(p.frame.size(), 256);
    EXPECT_EQ(toHex(p.frame.left(21)),
              "00 02 01 00 03 00 07 00 00 00 0A 00 75 00 00 00 00 00 00 00 00");
    EXPECT_EQ(p.frame.mid(21, 234), value);
    EXPECT_EQ(static_cast<unsigned char>(p.frame[255]), 0x09);
    EXPECT_EQ(p.send_len, 256);
}

TEST_F(RemoteFrames, WriteReachesTheImageEvenAfterAFailure) {
    PLC_driver.comm_failed = 1;
    RW_VAR var = remoteVar(1, 1, 0, 1, 7, 100, 1, 0, 0, "34 12");
    Remote_WriteVar(&var);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(PLC_driver.cio_image[100], 0x1234);
}

TEST_F(RemoteFrames, NeedNoStationEntry) {
    map_list.clear();
    plc_add_number = 42;
    RW_VAR var = remoteVar(3, 0, 1, 2, 11, 100, 4, 0, 0);
    Remote_ReadVar(&var);
    EXPECT_EQ(toHex(onlyFrame().frame),
              "16 03 00 01 02 00 0B 00 00 00 64 00 04 00 00 00 00 00 00 00 00 8F");
    EXPECT_TRUE(map_list.empty());
}

} // namespace
