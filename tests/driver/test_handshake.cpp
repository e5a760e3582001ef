// The node address exchange: the node the HMI proposes from its address text, the
// request frame, and what an answer does to the station's record.
#include "Func_HandShake.h"
#include "driver_fixture.h"
#include "fins_codec.h"

namespace {

// 24-byte answer: client node 0A, server node 01; and the same with error code 21.
const char kGoodReply[] = "46494E53 00000010 00000001 00000000 0000000A 00000001";
const char kRefusal[] = "46494E53 00000010 00000001 00000021 0000000A 00000001";

class HandShake : public DriverTest {
  protected:
    void SetUp() override {
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

TEST_F(HandShake, ProposedNodeFromTheAddressText) {
    const struct {
        const char* text;
        char byte_after; // LW byte right after the 16-byte text
        int node;
        bool read_again; // a changed text is picked up by the next handshake
    } rows[] = {
        {"192.168.250.7", 0, 0x07, false},
        {"192.168.250", 0, 0x64, true},
        {"1..2.3", 0, 0x03, false},
        {"10.0.0.300", 0, 0x2C, false},
        {"10.0.0.x", 0, 0x00, false},
        {"10.0.0.", 0, 0x00, false},
        {"", 0, 0x64, true},
        {"1.2.3.4.5", 0, 0x64, true},
        {"...", 0, 0x00, false},
        {"1.2.3.-1", 0, 0xFF, false},
        {"192.168.100.1234", '9', 0xD2, false}, // 16 bytes, no zero: the next byte is not read
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ResetHmiAddress();
        setHmiAddress(row.text);
        lw[fins::HMI_ADDRESS_OFFSET + fins::HMI_ADDRESS_BYTES] = row.byte_after;
        EXPECT_EQ(proposedNode(), row.node);
        setHmiAddress("10.0.0.9");
        EXPECT_EQ(proposedNode(), row.read_again ? 0x09 : row.node);
    }
    // Without the local area, and after a reset, the default node.
    ResetHmiAddress();
    FlashLocalRegister(lb, nullptr, rwi);
    EXPECT_EQ(proposedNode(), 0x64);
    FlashLocalRegister(lb, lw.data(), rwi);
    EXPECT_EQ(proposedNode(), 0x09);
}

TEST_F(HandShake, RequestFrameAndRecord) {
    setHmiAddress("192.168.250.7");
    com.frames_total = 4;
    com.frames_done = 2;
    OMRON_HandShake();
    ASSERT_EQ(PLC_driver.protocol_list.size(), 1);
    const Protocol& p = PLC_driver.protocol_list.first();
    EXPECT_EQ(toHex(p.frame), toHex(hex("46494E53 0000000C 00000000 00000000 00000007")));
    EXPECT_EQ(p.send_len, 20);
    EXPECT_EQ(p.reply_len, 24);
    EXPECT_EQ(p.p_aux1, 0);
    EXPECT_EQ(p.p_aux2, 0);
    EXPECT_EQ(p.var.station, 1);
    EXPECT_EQ(com.frames_total, 1);
    EXPECT_EQ(com.frames_done, 0);
}

TEST(HandShakeReply, Judgement) {
    const struct {
        const char* what;
        QByteArray reply;
        int acceptable;
    } rows[] = {
        {"24 bytes, zero code", hex(kGoodReply), 1},
        {"other bytes play no part", hex("00000000 FFFFFFFF 12345678 00000000 FFFFFFFF FFFFFFFF"),
         1},
        {"25 bytes", hex(kGoodReply) + hex("00"), 0},
        {"64 bytes", hex(kGoodReply).leftJustified(64, '\0'), 0},
        {"23 bytes", hex(kGoodReply).left(23), 0},
        {"code 00 00 00 21", hex(kRefusal), 0},
        {"code in byte 12", hex("46494E53 00000010 00000001 01000000 0000000A 00000001"), 0},
        {"empty", QByteArray(), 0},
    };
    for (auto row : rows)
        EXPECT_EQ(OMRON_CheckHSReturn(&row.reply), row.acceptable) << row.what;
    EXPECT_EQ(OMRON_CheckHSReturn(nullptr), 0);
}

// Only the station's record and the queue change, whatever the answer.
TEST_F(HandShake, AnswerSetsOrKeepsTheStationsNodes) {
    const struct {
        const char* reply;
        int result;
        Check_Plc before, after;
    } rows[] = {{kGoodReply, 1, {0, 0, 0}, {1, 0x01, 0x0A}},
                {kRefusal, 201, {1, 0x05, 0x06}, {0, 0x05, 0x06}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        map_list[1] = row.before;
        OMRON_HandShake();
        PLC_driver.comm_failed = row.result == 1; // a refusal sets it, acceptance keeps it
        PLC_driver.cur_var.result = 55;
        com.retry_count = com.offline = 1;
        com.cycle_done = 0;
        QByteArray reply = hex(row.reply);
        EXPECT_EQ(EvaluateHandShakeReply(&map_list[1], &reply), row.result);
        EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
        EXPECT_EQ(map_list[1].hs_done, row.after.hs_done);
        EXPECT_EQ(map_list[1].plc_node, row.after.plc_node);
        EXPECT_EQ(map_list[1].hmi_node, row.after.hmi_node);
        EXPECT_EQ(PLC_driver.comm_failed, 1);
        EXPECT_EQ(PLC_driver.cur_var.result, 55);
        EXPECT_EQ(com.retry_count, 1);
        EXPECT_EQ(com.offline, 1);
        EXPECT_EQ(com.cycle_done, 0);
    }
    const QByteArray good = hex(kGoodReply), bad; // a station without a record
    EXPECT_EQ(EvaluateHandShakeReply(nullptr, &good), 1);
    EXPECT_EQ(EvaluateHandShakeReply(nullptr, &bad), 201);
    EXPECT_EQ(EvaluateHandShakeReply(nullptr, nullptr), 201);
}

} // namespace
