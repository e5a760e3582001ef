// Helpers shared by the frame builder tests: a station with known node numbers and
// the one frame a builder queued.
#ifndef FRAME_TEST_SUPPORT_H
#define FRAME_TEST_SUPPORT_H

#include "driver_fixture.h"

// Station 1 with PLC node 0x01 and HMI node 0x0A, handshake done.
class FrameTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        map_list[1] = Check_Plc{1, 0x01, 0x0A};
        plc_add_number = 1;
        com.frames_total = 5;
        com.frames_done = 3;
    }

    // The frame queued by the builder under test; fails the test when there is not
    // exactly one.
    const Protocol& onlyFrame() {
        static Protocol none = {};
        EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
        return PLC_driver.protocol_list.isEmpty() ? none : PLC_driver.protocol_list.first();
    }

    // A builder that refused its record changes neither the queue nor the counters.
    void expectNothingQueued() {
        EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
        EXPECT_EQ(com.frames_total, 5);
        EXPECT_EQ(com.frames_done, 3);
    }

    void expectCountersReset() {
        EXPECT_EQ(com.frames_total, 1);
        EXPECT_EQ(com.frames_done, 0);
    }
};

inline RW_VAR makeVar(int reg_type, int address, int length, const QByteArray& value = {}) {
    RW_VAR v = {};
    v.req_kind = 3;
    v.req_id = 9;
    v.access = 0;
    v.link_mode = 0;
    v.link_id = 0;
    v.result = 0;
    v.name = "var";
    v.addr_text = "text";
    v.reg_type = reg_type;
    v.address = address;
    v.station = 1;
    v.length = length;
    v.aux1 = 4;
    v.aux2 = 5;
    v.value = value;
    return v;
}

// Every one of the fifteen members equal.
inline void expectSameVar(const RW_VAR& a, const RW_VAR& b) {
    EXPECT_EQ(a.req_kind, b.req_kind);
    EXPECT_EQ(a.req_id, b.req_id);
    EXPECT_EQ(a.access, b.access);
    EXPECT_EQ(a.link_mode, b.link_mode);
    EXPECT_EQ(a.link_id, b.link_id);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.addr_text, b.addr_text);
    EXPECT_EQ(a.reg_type, b.reg_type);
    EXPECT_EQ(a.address, b.address);
    EXPECT_EQ(a.station, b.station);
    EXPECT_EQ(a.length, b.length);
    EXPECT_EQ(a.aux1, b.aux1);
    EXPECT_EQ(a.aux2, b.aux2);
    EXPECT_EQ(a.value, b.value);
}

#endif
