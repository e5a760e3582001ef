#include "local_image_support.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

TEST(ExtendedVars, FirstLookupCreatesAZeroEntryAtIndexZero) {
    EXPECT_EQ(ExtendFindSameVar(5, 7, 100), 0);
    ASSERT_EQ(d.extend_list.size(), 1);
    const EXTENDVAR& e = d.extend_list.at(0);
    EXPECT_EQ(e.ext_station, 5);
    EXPECT_EQ(e.ext_type, 7);
    EXPECT_EQ(e.ext_address, 100);
    EXPECT_EQ(toHex(e.ext_value), "00 00 00 00");
}

// Keys that share one hash slot are still told apart by the entry they point to.
TEST(ExtendedVars, CollidingKeysGetTheirOwnEntries) {
    ASSERT_EQ(extendKey(0x10000, 0, 5), extendKey(0, 1, 5));
    ASSERT_EQ(extendKey(0x20000, 0, 5), extendKey(0, 2, 5));
    EXPECT_EQ(ExtendFindSameVar(0x10000, 0, 5), 0);
    EXPECT_EQ(ExtendFindSameVar(0, 1, 5), 1);
    EXPECT_EQ(ExtendFindSameVar(0x30000, 0, 5), 2);
    EXPECT_EQ(ExtendFindSameVar(0, 3, 5), 3);
    EXPECT_EQ(ExtendFindSameVar(0, 1, 5), 1);
    EXPECT_EQ(ExtendFindSameVar(0x10000, 0, 5), 0);
    EXPECT_EQ(ExtendFindSameVar(0, 3, 5), 3);
    EXPECT_EQ(d.extend_list.size(), 4);
}

// The indexed lookup answers exactly as a walk of the list would, over a mix of
// repeated, new, negative, extreme and colliding keys.
TEST(ExtendedVars, IndexedLookupEqualsLinearSearch) {
    unsigned int seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) & 0xFFFF);
    };
    const int stations[] = {0, 1, 2, 0x10000, -1, INT_MAX, INT_MIN};
    const int types[] = {5, 6, 7, 11, 13, 0, 1, 20, -3, INT_MAX};
    for (int round = 0; round < 8000; ++round) {
        const int station = stations[next() % 7];
        const int type = types[next() % 10];
        const int address = (next() % 4 == 0) ? INT_MAX - next() % 3 : next() % 300 - 20;
        const int expected_index = linearFind(station, type, address);
        const int expected_size = d.extend_list.size() + (expected_index < 0 ? 1 : 0);
        const int index = ExtendFindSameVar(station, type, address);
        ASSERT_EQ(index, expected_index < 0 ? expected_size - 1 : expected_index) << round;
        ASSERT_EQ(d.extend_list.size(), expected_size) << round;
        ASSERT_EQ(linearFind(station, type, address), index) << round;
    }
    EXPECT_GT(d.extend_list.size(), 500);
}

// Entries put into the list by other means are found as a walk finds them: the first
// entry of a key wins.
TEST(ExtendedVars, EntriesAddedWithoutLookupAreFoundFirstWins) {
    ExtendFindSameVar(1, 7, 1);
    d.extend_list.append(EXTENDVAR{1, 7, 2, hex("AA BB")});
    d.extend_list.append(EXTENDVAR{1, 7, 2, hex("CC DD")});
    EXPECT_EQ(ExtendFindSameVar(1, 7, 2), 1);
    EXPECT_EQ(ExtendFindSameVar(1, 7, 1), 0);
    EXPECT_EQ(ExtendFindSameVar(1, 7, 3), 3);
    EXPECT_EQ(ExtendFindSameVar(1, 7, 2), 1);
}

class ExtendedReads : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        com.multi_station = 1;
    }
};

TEST_F(ExtendedReads, BitsFlagsAndWordsComeFromTheirEntries) {
    storeExtendValue(ExtendFindSameVar(3, 7, 100), hex("00 04").constData(), 2);
    storeExtendValue(ExtendFindSameVar(2, 6, 8), hex("20").constData(), 1);
    EXPECT_EQ(toHex(hostRead(0, "100.10", 1, 3)), "01");
    EXPECT_EQ(toHex(hostRead(0, "100.09", 3, 3)), "00 01 00");
    EXPECT_EQ(toHex(hostRead(6, "13", 1, 2)), "01");
    EXPECT_EQ(toHex(hostRead(7, "100", 1, 3)), "00 04");
    EXPECT_EQ(d.extend_list.size(), 2);
}

TEST_F(ExtendedReads, UnansweredStationReadsZerosAndGainsEntries) {
    EXPECT_EQ(toHex(hostRead(11, "200", 2, 9)), "00 00 00 00");
    EXPECT_EQ(toHex(hostRead(1, "3.15", 2, 9)), "00 00");
    EXPECT_EQ(toHex(hostRead(5, "7", 2, 9)), "00 00");
    EXPECT_EQ(linearFind(9, 11, 200), 0);
    EXPECT_EQ(linearFind(9, 11, 201), 1);
    EXPECT_EQ(linearFind(9, 8, 3), 2);
    EXPECT_EQ(linearFind(9, 8, 4), 3);
    EXPECT_EQ(linearFind(9, 5, 0), 4);
    EXPECT_EQ(linearFind(9, 5, 8), 5);
    EXPECT_EQ(d.extend_list.size(), 6);
}

TEST_F(ExtendedReads, ShortEntriesAndTypesWithoutAreaReadAsWords) {
    storeExtendValue(ExtendFindSameVar(1, 11, 0), "\x12", 1);
    storeExtendValue(ExtendFindSameVar(1, 20, 4), "\x34\x12", 2);
    storeExtendValue(ExtendFindSameVar(1, 5, 0), "", 0);
    storeExtendValue(ExtendFindSameVar(1, 7, 0), "\xFF", 1);
    EXPECT_EQ(toHex(hostRead(11, "0", 1, 1)), "00 00");
    EXPECT_EQ(toHex(hostRead(20, "4", 2, 1)), "34 12 00 00");
    EXPECT_EQ(toHex(hostRead(5, "3", 1, 1)), "00");
    // Bits 8 to 15 live in byte 1, which this entry lacks.
    EXPECT_EQ(toHex(hostRead(0, "0.7", 2, 1)), "01 00");
}

TEST_F(ExtendedReads, ElementsBeyondTheFinsAddressSpaceReadZeroWithoutEntries) {
    EXPECT_EQ(toHex(hostRead(7, "65535", 2, 1)), "00 00 00 00");
    EXPECT_EQ(linearFind(1, 7, 65535), 0);
    EXPECT_EQ(toHex(hostRead(7, "2147483647", 3, 1)), "00 00 00 00 00 00");
    EXPECT_EQ(toHex(hostRead(0, "134217727.15", 2, 1)), "00 00");
    EXPECT_EQ(toHex(hostRead(20, "65535", 2, 1)), "00 00 00 00");
    EXPECT_EQ(d.extend_list.size(), 2);
}

} // namespace
