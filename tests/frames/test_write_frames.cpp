#include "Func_Write.h"
#include "frame_test_support.h"

namespace {

// Header of every write request for station 1 up to the FINS/TCP length, and from
// the command to SRC.
const char kMagic[] = "46494E53";
const char kWriteHead[] = "00000002 00000000 80 00 02 00 01 00 00 0A 00 00 0102";

struct WriteRow {
    const char* what;
    int reg_type, address, length;
    const char* value;
    const char* tcp_length; // bytes 4 to 7
    const char* body;       // bytes 28 to the end
};

const WriteRow kWriteRows[] = {
    {"W bit 10.15 on", 1, 175, 1, "01", "0000001B", "31 000A 0F 0001 01"},
    {"W bit 10.15, value 2 is off", 1, 175, 1, "02", "0000001B", "31 000A 0F 0001 00"},
    {"bit with empty value is off", 1, 175, 1, "", "0000001B", "31 000A 0F 0001 00"},
    {"only the first value byte counts", 2, 16, 9, "00 01 01", "0000001B", "32 0001 00 0001 00"},
    {"CIO bit 100.05 on", 0, 1605, 1, "01", "0000001B", "30 0064 05 0001 01"},
    {"A bit", 3, 0x12345, 1, "01", "0000001B", "33 1234 05 0001 01"},
    {"D bit uses the DM bit area", 4, 31, 1, "01", "0000001B", "02 0001 0F 0001 01"},
    {"D words 1000 and 1001", 11, 1000, 2, "34 12 78 56", "0000001E", "82 03E8 00 0002 1234 5678"},
    {"CIO word", 7, 3, 1, "CD AB", "0000001C", "B0 0003 00 0001 ABCD"},
    {"W word", 8, 4, 1, "01 00", "0000001C", "B1 0004 00 0001 0001"},
    {"H word", 9, 5, 1, "00 80", "0000001C", "B2 0005 00 0001 8000"},
    {"A word", 10, 6, 1, "FF FF", "0000001C", "B3 0006 00 0001 FFFF"},
    {"timer present value", 12, 5, 1, "09 00", "0000001C", "89 0005 00 0001 0009"},
    {"counter present value 5", 13, 5, 1, "10 00", "0000001C", "89 8005 00 0001 0010"},
    {"short value: missing words are zero", 11, 0, 3, "34 12 78", "00000020",
     "82 0000 00 0003 1234 0000 0000"},
    {"empty value", 11, 0, 2, "", "0000001E", "82 0000 00 0002 0000 0000"},
    {"longer value: only length words", 11, 0, 1, "34 12 78 56", "0000001C",
     "82 0000 00 0001 1234"},
    {"zero words", 11, 0, 0, "34 12", "0000001A", "82 0000 00 0000"},
};

class WriteFrames : public FrameTest {};

TEST_F(WriteFrames, EachRegisterTypeGivesItsRequest) {
    PLC_driver.comm_failed = 1; // keeps the local image out of this test
    for (const WriteRow& row : kWriteRows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        com.frames_total = 5;
        com.frames_done = 3;
        RW_VAR var = makeVar(row.reg_type, row.address, row.length, hex(row.value));
        var.access = 1;
        WriteRegister(&var);
        const Protocol& p = onlyFrame();
        const QByteArray expected =
            hex(kMagic) + hex(row.tcp_length) + hex(kWriteHead) + hex(row.body);
        EXPECT_EQ(toHex(p.frame), toHex(expected));
        EXPECT_EQ(p.send_len, expected.size());
        EXPECT_EQ(p.reply_len, 30);
        EXPECT_EQ(p.p_aux1, 0);
        EXPECT_EQ(p.p_aux2, 0);
        expectSameVar(p.var, var);
        expectCountersReset();
    }
}

struct RefusedRow {
    const char* what;
    int reg_type, length;
};

const RefusedRow kRefusedRows[] = {
    {"timer completion flag", 5, 1},
    {"counter completion flag", 6, 1},
    {"type 14", 14, 1},
    {"negative type", -1, 1},
    {"negative word count", 11, -1},
    {"word count beyond 16 bits", 11, 0x10000},
    {"largest int word count", 7, 2147483647},
};

TEST_F(WriteFrames, RecordsWithoutAFrameBuildNothing) {
    PLC_driver.comm_failed = 1;
    for (const RefusedRow& row : kRefusedRows) {
        SCOPED_TRACE(row.what);
        RW_VAR var = makeVar(row.reg_type, 0, row.length, hex("0100"));
        WriteRegister(&var);
        expectNothingQueued();
    }
}

TEST_F(WriteFrames, BuildersRefuseTheOtherKindOfType) {
    RW_VAR word = makeVar(11, 0, 1, hex("0100"));
    WriteBool(&word);
    RW_VAR bit = makeVar(1, 0, 1, hex("01"));
    WriteAnalog(&bit);
    expectNothingQueued();
}

TEST_F(WriteFrames, StationWithoutEntryBuildsNothing) {
    PLC_driver.comm_failed = 1;
    plc_add_number = 3;
    for (int reg_type : {0, 11}) {
        RW_VAR var = makeVar(reg_type, 0, 1, hex("0100"));
        var.station = 3;
        WriteRegister(&var);
        expectNothingQueued();
    }
}

TEST_F(WriteFrames, LargestWordCountFillsEveryWord) {
    PLC_driver.comm_failed = 1;
    RW_VAR var = makeVar(11, 0, 0xFFFF, hex("3412"));
    WriteRegister(&var);
    const Protocol& p = onlyFrame();
    ASSERT_EQ(p.frame.size(), 34 + 2 * 0xFFFF);
    EXPECT_EQ(toHex(p.frame.left(8)), "46 49 4E 53 00 02 00 18");
    EXPECT_EQ(toHex(p.frame.mid(28, 8)), "82 00 00 00 FF FF 12 34");
    EXPECT_EQ(p.frame.mid(36), QByteArray(2 * 0xFFFF - 2, '\0'));
}

TEST_F(WriteFrames, BitWriteOfANodeSecondStation) {
    map_list[4] = Check_Plc{1, 0x05, 0x06};
    plc_add_number = 4;
    RW_VAR var = makeVar(0, 17, 1, hex("01"));
    WriteBool(&var);
    EXPECT_EQ(toHex(onlyFrame().frame.mid(16)),
              "80 00 02 00 05 00 00 06 00 00 01 02 30 00 01 01 00 01 01");
}

struct MirrorRow {
    const char* what;
    unsigned char comm_failed;
    int station;
    int queued;
    unsigned short d1000, d1001; // Data Memory words afterwards
};

// A healthy exchange mirrors the write into the local image when the frame is
// built, whether or not a frame could be built; after a failure it does not.
TEST_F(WriteFrames, LocalImageFollowsWhileTheExchangeIsHealthy) {
    const MirrorRow rows[] = {
        {"healthy", 0, 1, 1, 0x1234, 0x5678},
        {"failed", 1, 1, 1, 0, 0},
        {"healthy, station without entry", 0, 3, 0, 0x1234, 0x5678},
        {"failed, station without entry", 1, 3, 0, 0, 0},
    };
    for (const MirrorRow& row : rows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        PLC_driver.d_image[1000] = PLC_driver.d_image[1001] = 0;
        PLC_driver.comm_failed = row.comm_failed;
        plc_add_number = row.station;
        RW_VAR var = makeVar(11, 1000, 2, hex("34 12 78 56"));
        var.station = row.station;
        WriteRegister(&var);
        EXPECT_EQ(PLC_driver.protocol_list.size(), row.queued);
        EXPECT_EQ(PLC_driver.d_image[1000], row.d1000);
        EXPECT_EQ(PLC_driver.d_image[1001], row.d1001);
    }
}

TEST_F(WriteFrames, BitWriteReachesTheImage) {
    RW_VAR var = makeVar(0, 1605, 1, hex("01"));
    WriteRegister(&var);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(PLC_driver.cio_image[100], 1 << 5);
}

TEST(WriteFramesWithoutComInfo, QueueTheFrame) {
    map_list[1] = Check_Plc{1, 1, 2};
    plc_add_number = 1;
    PLC_driver.comm_failed = 1;
    RW_VAR var = makeVar(11, 0, 1, hex("0100"));
    WriteRegister(&var);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
}

} // namespace
