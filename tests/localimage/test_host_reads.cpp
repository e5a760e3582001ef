#include "local_image_support.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

class HostReads : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        d.cio_image[100] = 0x0020; // CIO 100.05
        d.d_image[200] = 0x1234;
        d.d_image[201] = 0xABCD;
        d.d_image[202] = 0x00FF;
        d.t_flag_image[1] = 0xA0;              // timer flags 13 and 15
        d.w_image[W_IMAGE_WORDS - 1] = 0xBEEF; // last W word; H follows
        d.h_image[0] = 0xFFFF;
    }
};

// Single-station reads; every row starts from a buffer holding "start_hex".
struct ReadRow {
    const char* what;
    int reg_type;
    const char* addr;
    int count;
    const char* start_hex;
    int result;
    const char* expected;
};

const ReadRow kReadRows[] = {
    {"bit through a bit type", 0, "100.05", 1, "", 1, "01"},
    {"the same bit inside its word", 7, "100", 1, "", 1, "20 00"},
    {"bit type without a point", 0, "100", 1, "77", 0, "77"},
    {"three DM words low byte first", 11, "200", 3, "", 1, "34 12 CD AB FF 00"},
    {"timer flags 13 to 15", 5, "13", 3, "", 1, "01 00 01"},
    {"type without an area", 20, "5", 2, "77 77", 1, "77 77"},
    {"negative type", -1, "5", 2, "", 1, ""},
    {"longer buffer keeps its tail", 11, "200", 2, "01 02 03 04 05 06 07 08", 1,
     "34 12 CD AB 05 06 07 08"},
    {"capacity - 1, then capacity", 8, "514", 2, "", 1, "EF BE 00 00"},
    {"last bit of W", 1, "514.15", 2, "", 1, "01 00"},
};

TEST_F(HostReads, SingleStationRows) {
    for (const ReadRow& row : kReadRows) {
        QString text = QString::fromLatin1(row.addr);
        QByteArray buffer = hex(row.start_hex);
        EXPECT_EQ(GetRegisterData(nullptr, row.reg_type, &text, 9, &buffer, row.count), row.result)
            << row.what;
        EXPECT_EQ(toHex(buffer), toHex(hex(row.expected))) << row.what;
    }
    EXPECT_TRUE(d.extend_list.isEmpty());
}

TEST_F(HostReads, ReadOfManyWordsGrowsTheBufferOnce) {
    QByteArray buffer;
    QString text = QStringLiteral("100");
    d.d_image[199] = 0x0102;
    ASSERT_EQ(GetRegisterData(nullptr, 11, &text, 1, &buffer, 100), 1);
    EXPECT_EQ(buffer.size(), 200);
    EXPECT_EQ(buffer.capacity(), 200); // one allocation of the size needed
    EXPECT_EQ(toHex(buffer.mid(198)), "02 01");
}

TEST_F(HostReads, MultiStationKeepsStationsApart) {
    com.multi_station = 1;
    storeExtendValue(ExtendFindSameVar(1, 11, 40), "\x01\x00", 2);
    storeExtendValue(ExtendFindSameVar(2, 11, 40), "\x02\x00", 2);
    EXPECT_EQ(toHex(hostRead(11, "40", 1, 1)), "01 00");
    EXPECT_EQ(toHex(hostRead(11, "40", 1, 2)), "02 00");
    // The image is not used in this mode.
    EXPECT_EQ(toHex(hostRead(11, "200", 1, 1)), "00 00");
}

TEST_F(HostReads, MultiStationBadTextTouchesNothing) {
    QByteArray buffer = hex("55");
    com.multi_station = 1;
    QString bad = QStringLiteral("100");
    EXPECT_EQ(GetRegisterData(nullptr, 2, &bad, 1, &buffer, 1), 0);
    EXPECT_EQ(toHex(buffer), "55");
    EXPECT_TRUE(d.extend_list.isEmpty());
}

} // namespace
