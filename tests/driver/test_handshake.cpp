// The node address exchange: the node the HMI proposes from its address text, the
// request frame, and which answers are accepted (what they do: test_retries).
#include <tuple>

#include "Func_HandShake.h"
#include "driver_fixture.h"
#include "fins_codec.h"

namespace {

using std::make_tuple;

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

TEST_F(HandShake, ProposedNodeFromTheAddressTextAndTheRequest) {
    const struct {
        const char* text;
        int node;
        bool read_again; // a changed text is picked up by the next handshake
    } rows[] = {{"192.168.250.7", 0x07, false},   {"192.168.250", 0x64, true},
                {"1..2.3", 0x03, false},          {"10.0.0.300", 0x2C, false},
                {"10.0.0.x", 0x00, false},        {"", 0x64, true},
                {"1.2.3.4.5", 0x64, true},        {"1.2.3.-1", 0xFF, false},
                {"192.168.100.1234", 0xD2, false}}; // 16 bytes, no zero after them
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ResetHmiAddress();
        setHmiAddress(row.text);
        lw[fins::HMI_ADDRESS_OFFSET + fins::HMI_ADDRESS_BYTES] = '9'; // never read
        EXPECT_EQ(proposedNode(), row.node);
        setHmiAddress("10.0.0.9");
        EXPECT_EQ(proposedNode(), row.read_again ? 0x09 : row.node);
    }
    // Without the local area, and after a reset, the default node.
    ResetHmiAddress();
    FlashLocalRegister(lb, nullptr, rwi);
    EXPECT_EQ(proposedNode(), 0x64);
    FlashLocalRegister(lb, lw.data(), rwi);
    com.frames_total = 4;
    com.frames_done = 2;
    EXPECT_EQ(proposedNode(), 0x09);
    // The request restarts the frame count.
    const Protocol& p = PLC_driver.protocol_list.first();
    EXPECT_EQ(toHex(p.frame), toHex(hex("46494E53 0000000C 00000000 00000000 00000009")));
    EXPECT_EQ(make_tuple(p.send_len, p.reply_len, p.p_aux1, p.p_aux2, p.var.station,
                         com.frames_total, com.frames_done),
              make_tuple(20, 24, 0, 0, 1, 1, 0));
}

TEST(HandShakeReply, Judgement) {
    const QByteArray good = hex(kGoodReply);
    // Only the size and the code count; the code is all four bytes 12 to 15.
    const std::pair<QByteArray, int> rows[] = {
        {good, 1},
        {hex("00000000 FFFFFFFF 12345678 00000000 FFFFFFFF FFFFFFFF"), 1},
        {good.leftJustified(64, '\0'), 0},
        {good.left(23), 0},
        {hex(kRefusal), 0},
        {hex("46494E53 00000010 00000001 01000000 0000000A 00000001"), 0},
        {QByteArray(), 0}};
    for (auto row : rows)
        EXPECT_EQ(OMRON_CheckHSReturn(&row.first), row.second) << toHex(row.first);
    EXPECT_EQ(OMRON_CheckHSReturn(nullptr), 0);
}

} // namespace
