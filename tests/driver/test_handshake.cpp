// The node address exchange: the node the HMI proposes from its address text, the
// request frame, and what an answer does to the station's record.
#include "Func_HandShake.h"
#include "Func_Read.h"
#include "fins_codec.h"
#include "driver_fixture.h"

namespace {

const char kRequestHead[] = "46494E53 0000000C 00000000 00000000 000000";

class HandShake : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        map_list[1] = Check_Plc{0, 0, 0};
        plc_add_number = 1;
    }

    // Byte 19 of a fresh handshake request: the node the HMI proposes.
    int proposedNode() {
        PLC_driver.protocol_list.clear();
        OMRON_HandShake();
        if (PLC_driver.protocol_list.size() != 1) return -1;
        return static_cast<unsigned char>(PLC_driver.protocol_list.first().frame.at(19));
    }
};

struct AddressRow {
    const char* text;
    char byte_after; // LW byte right after the 16-byte text
    int node;
    bool read_again; // a changed text is picked up by the next handshake
};

const AddressRow kAddressRows[] = {
    {"192.168.250.7", 0, 0x07, false},
    {"192.168.250", 0, 0x64, true},
    {"1..2.3", 0, 0x03, false},
    {"10.0.0.300", 0, 0x2C, false},
    {"10.0.0.x", 0, 0x00, false},
    {"10.0.0.", 0, 0x00, false},
    {"", 0, 0x64, true},
    {"1.2.3.4.5", 0, 0x64, true},
    {"...", 0, 0x00, false},
    {"192.168.100.1234", '9', 0xD2, false}, // 16 bytes with no zero: the next byte is not read
    {"1.2.3.-1", 0, 0xFF, false},
};

TEST_F(HandShake, ProposedNodeFromTheAddressText) {
    for (const AddressRow& row : kAddressRows) {
        SCOPED_TRACE(row.text);
        ResetHmiAddress();
        setHmiAddress(row.text);
        lw[fins::HMI_ADDRESS_OFFSET + 16] = static_cast<unsigned char>(row.byte_after);
        EXPECT_EQ(proposedNode(), row.node);
        setHmiAddress("10.0.0.9");
        EXPECT_EQ(proposedNode(), row.read_again ? 0x09 : row.node);
    }
}

TEST_F(HandShake, RequestFrameAndRecord) {
    setHmiAddress("192.168.250.7");
    com.frames_total = 4;
    com.frames_done = 2;
    OMRON_HandShake();
    ASSERT_EQ(PLC_driver.protocol_list.size(), 1);
    const Protocol& p = PLC_driver.protocol_list.first();
    EXPECT_EQ(toHex(p.frame), toHex(hex(kRequestHead) + hex("07")));
    EXPECT_EQ(p.send_len, 20);
    EXPECT_EQ(p.reply_len, 24);
    EXPECT_EQ(p.p_aux1, 0);
    EXPECT_EQ(p.p_aux2, 0);
    EXPECT_EQ(p.var.station, 1);
    EXPECT_EQ(com.frames_total, 1);
    EXPECT_EQ(com.frames_done, 0);
}

TEST_F(HandShake, WithoutTheLocalAreaTheDefaultNodeIsProposed) {
    FlashLocalRegister(lb, nullptr, rwi);
    EXPECT_EQ(proposedNode(), 0x64);
    FlashLocalRegister(lb, lw.data(), rwi);
    setHmiAddress("192.168.250.7");
    EXPECT_EQ(proposedNode(), 0x07);
    ResetHmiAddress(); // forgets the address read once
    FlashLocalRegister(lb, nullptr, rwi);
    EXPECT_EQ(proposedNode(), 0x64);
}

struct ReplyRow {
    const char* what;
    QByteArray reply;
    int acceptable;
};

// 24-byte answer: client node 0A, server node 01.
const char kGoodReply[] = "46494E53 00000010 00000001 00000000 0000000A 00000001";

TEST(HandShakeReply, Judgement) {
    const ReplyRow rows[] = {
        {"24 bytes, zero code", hex(kGoodReply), 1},
        {"other bytes play no part", hex("00000000 FFFFFFFF 12345678 00000000 FFFFFFFF FFFFFFFF"),
         1},
        {"25 bytes", hex(kGoodReply) + hex("00"), 0},
        {"64 bytes", hex(kGoodReply).leftJustified(64, '\0'), 0},
        {"23 bytes", hex(kGoodReply).left(23), 0},
        {"code 00 00 00 21", hex("46494E53 00000010 00000001 00000021 0000000A 00000001"), 0},
        {"code in byte 12", hex("46494E53 00000010 00000001 01000000 0000000A 00000001"), 0},
        {"empty", QByteArray(), 0},
    };
    for (ReplyRow row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(OMRON_CheckHSReturn(&row.reply), row.acceptable);
    }
    EXPECT_EQ(OMRON_CheckHSReturn(nullptr), 0);
}

TEST_F(HandShake, AcceptedReplyStoresTheNodes) {
    OMRON_HandShake();
    PLC_driver.comm_failed = 1;
    PLC_driver.cur_var.result = 55;
    com.retry_count = 1;
    com.offline = 1;
    com.cycle_done = 0;
    QByteArray reply = hex(kGoodReply);
    EXPECT_EQ(EvaluateHandShakeReply(&reply), 1);
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_EQ(map_list[1].hs_done, 1);
    EXPECT_EQ(map_list[1].plc_node, 0x01);
    EXPECT_EQ(map_list[1].hmi_node, 0x0A);
    // Only the station and the queue change.
    EXPECT_EQ(PLC_driver.comm_failed, 1);
    EXPECT_EQ(PLC_driver.cur_var.result, 55);
    EXPECT_EQ(com.retry_count, 1);
    EXPECT_EQ(com.offline, 1);
    EXPECT_EQ(com.cycle_done, 0);

    // The next read of the station carries the learnt nodes.
    RW_VAR var = {};
    var.reg_type = 11;
    var.address = 100;
    var.station = 1;
    var.length = 1;
    ReadRegister(&var);
    ASSERT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(toHex(PLC_driver.protocol_list.first().frame.mid(16, 10)),
              "80 00 02 00 01 00 00 0A 00 00");
}

TEST_F(HandShake, RefusedReplyMarksTheFailure) {
    map_list[1] = Check_Plc{1, 0x05, 0x06};
    OMRON_HandShake();
    PLC_driver.cur_var.result = 55;
    com.retry_count = 1;
    QByteArray reply = hex("46494E53 00000010 00000001 00000021 0000000A 00000001");
    EXPECT_EQ(EvaluateHandShakeReply(&reply), 201);
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_EQ(PLC_driver.comm_failed, 1);
    EXPECT_EQ(map_list[1].hs_done, 0);
    EXPECT_EQ(map_list[1].plc_node, 0x05);
    EXPECT_EQ(map_list[1].hmi_node, 0x06);
    EXPECT_EQ(PLC_driver.cur_var.result, 55);
    EXPECT_EQ(com.retry_count, 1);
}

TEST_F(HandShake, StationWithoutEntryIsNotCreated) {
    plc_add_number = 9;
    QByteArray good = hex(kGoodReply), bad;
    EXPECT_EQ(EvaluateHandShakeReply(&good), 1);
    EXPECT_EQ(EvaluateHandShakeReply(&bad), 201);
    EXPECT_EQ(EvaluateHandShakeReply(nullptr), 201);
    EXPECT_EQ(map_list.count(9), 0u);
}

} // namespace
