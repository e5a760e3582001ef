#include "Func_Read.h"
#include "frame_test_support.h"

namespace {

// Header of every read request for station 1 (PLC node 01, HMI node 0A).
const char kReadHead[] = "46494E53 0000001A 00000002 00000000 80 00 02 00 01 00 00 0A 00 00 0101 ";

struct ReadRow {
    const char* what;
    int reg_type, address, length;
    const char* body; // bytes 28 to 33
    int reply_len, data_bytes;
};

const ReadRow kReadRows[] = {
    {"CIO bit read as words", 0, 100, 1, "B0 0064 00 0001", 32, 2},
    {"W bit read as words", 1, 7, 3, "B1 0007 00 0003", 36, 6},
    {"H bit read as words", 2, 0, 1, "B2 0000 00 0001", 32, 2},
    {"A bit read as words", 3, 448, 2, "B3 01C0 00 0002", 34, 4},
    {"D bit read with the word area", 4, 12, 1, "82 000C 00 0001", 32, 2},
    {"timer flags 16..31", 5, 16, 2, "09 0010 00 0010", 46, 16},
    {"counter flags 8..15", 6, 8, 1, "09 8008 00 0008", 38, 8},
    {"CIO words", 7, 1, 4, "B0 0001 00 0004", 38, 8},
    {"W words", 8, 511, 1, "B1 01FF 00 0001", 32, 2},
    {"H words 200..209", 9, 200, 10, "B2 00C8 00 000A", 50, 20},
    {"A words", 10, 959, 1, "B3 03BF 00 0001", 32, 2},
    {"D words", 11, 32767, 1, "82 7FFF 00 0001", 32, 2},
    {"timer present values", 12, 4095, 2, "89 0FFF 00 0002", 34, 4},
    {"counter present value 10", 13, 10, 1, "89 800A 00 0001", 32, 2},
    {"counter address wraps in 16 bits", 13, 0xFFFF, 1, "89 7FFF 00 0001", 32, 2},
    {"address beyond 16 bits keeps its low bits", 11, 0x12345, 1, "82 2345 00 0001", 32, 2},
    {"count beyond 16 bits: low bits sent, sizes from the full count", 11, 0, 0x10001,
     "82 0000 00 0001", 30 + 2 * 0x10001, 2 * 0x10001},
    {"flag count beyond 16 bits", 5, 0, 0x2001, "09 0000 00 0008", 30 + 8 * 0x2001, 8 * 0x2001},
    {"zero length", 11, 5, 0, "82 0005 00 0000", 30, 0},
};

class ReadFrames : public FrameTest {};

TEST_F(ReadFrames, EachRegisterTypeGivesItsRequest) {
    for (const ReadRow& row : kReadRows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        com.frames_total = 5;
        com.frames_done = 3;
        RW_VAR var = makeVar(row.reg_type, row.address, row.length, hex("3412"));
        ReadRegister(&var);
        const Protocol& p = onlyFrame();
        EXPECT_EQ(toHex(p.frame), toHex(hex(kReadHead) + hex(row.body)));
        EXPECT_EQ(p.send_len, 34);
        EXPECT_EQ(p.reply_len, row.reply_len);
        EXPECT_EQ(p.p_aux1, 30);
        EXPECT_EQ(p.p_aux2, row.data_bytes);
        expectSameVar(p.var, var);
        expectCountersReset();
    }
}

TEST_F(ReadFrames, TypesWithoutAnAreaBuildNothing) {
    for (int reg_type : {14, 15, 100, -1, -2147483647 - 1}) {
        SCOPED_TRACE(reg_type);
        RW_VAR var = makeVar(reg_type, 0, 1);
        ReadRegister(&var);
        ReadAnalog(&var);
        expectNothingQueued();
    }
}

TEST_F(ReadFrames, StationWithoutEntryBuildsNothing) {
    plc_add_number = 2;
    RW_VAR var = makeVar(11, 0, 1);
    var.station = 2;
    ReadRegister(&var);
    expectNothingQueued();
    EXPECT_EQ(map_list.count(2), 0u);
}

TEST_F(ReadFrames, EachStationCarriesItsOwnNodes) {
    map_list[7] = Check_Plc{1, 0x21, 0x33};
    RW_VAR var = makeVar(11, 100, 1);
    ReadRegister(&var);
    plc_add_number = 7;
    var.station = 7;
    ReadRegister(&var);
    ASSERT_EQ(PLC_driver.protocol_list.size(), 2);
    const char* body = "82 0064 00 0001";
    EXPECT_EQ(toHex(PLC_driver.protocol_list[0].frame), toHex(hex(kReadHead) + hex(body)));
    EXPECT_EQ(toHex(PLC_driver.protocol_list[1].frame),
              toHex(hex("46494E53 0000001A 00000002 00000000 80 00 02 00 21 00 00 33 00 00 0101") +
                    hex(body)));
}

TEST_F(ReadFrames, CounterFlagRecordKeepsItsOwnAddress) {
    RW_VAR var = makeVar(6, 8, 1);
    ReadRegister(&var);
    EXPECT_EQ(onlyFrame().var.address, 8);
    EXPECT_EQ(var.address, 8);
}

TEST(ReadFramesWithoutComInfo, QueueTheFrameAndLeaveCountersAlone) {
    map_list[1] = Check_Plc{1, 1, 2};
    plc_add_number = 1;
    RW_VAR var = makeVar(11, 0, 1);
    ReadRegister(&var);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
}

} // namespace
