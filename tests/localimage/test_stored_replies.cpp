#include "local_image_support.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

class StoredReplies : public DriverTest {};

// Single-station stores: one row per reply kind; after storing, a host read of the
// given address text and count must show exactly the expected bytes.
struct StoreRow {
    const char* what;
    int reg_type, address, data_bytes;
    const char* data_hex;
    int read_type;
    const char* read_addr;
    int read_count;
    const char* expected;
};

const StoreRow kSingleRows[] = {
    {"DM words", 11, 100, 4, "12 34 AB CD", 11, "100", 2, "34 12 CD AB"},
    {"bit type holds words", 0, 6, 2, "80 01", 7, "6", 1, "01 80"},
    {"bit type read back as bits", 0, 6, 2, "80 01", 0, "6.0", 2, "01 00"},
    {"timer flags: bit 0 of each byte", 5, 8, 8, "01 00 00 00 00 00 00 01", 5, "8", 8,
     "01 00 00 00 00 00 00 01"},
    {"only bit 0 of a flag byte counts", 6, 16, 8, "FF FE 03 02 01 00 81 80", 6, "16", 8,
     "01 00 01 00 01 00 01 00"},
    {"flag reply under eight bytes stores nothing", 5, 0, 7, "01 01 01 01 01 01 01", 5, "0", 1,
     "00"},
    {"reply cut inside the second word keeps it", 12, 4, 4, "12 34 AB", 12, "4", 2, "34 12 55 55"},
    {"word data count below two stores nothing", 13, 0, 1, "12 34", 13, "0", 1, "55 55"},
    {"last W word, the next word belongs to H", 8, W_IMAGE_WORDS - 1, 4, "12 34 56 78", 9, "0", 1,
     "00 00"},
    {"last counter flag byte", 6, C_FLAG_IMAGE_BYTES * 8 - 8, 16,
     "01 00 00 00 00 00 00 00 01 01 01 01 01 01 01 01", 6, "4112", 8, "01 00 00 00 00 00 00 00"},
    {"address far beyond the area", 11, INT_MAX, 4, "12 34 56 78", 11, "0", 1, "00 00"},
};

TEST_F(StoredReplies, SingleStationRowsLandInTheImage) {
    for (const StoreRow& row : kSingleRows) {
        ResetDriverState();
        SetComInfo(&com);
        d.t_pv_image[5] = 0x5555;
        d.c_pv_image[0] = 0x5555;
        stageRead(row.reg_type, row.address, 1, row.data_bytes);
        QByteArray reply = readReply(row.data_hex);
        SaveToLocalDataErea(&reply);
        EXPECT_EQ(toHex(hostRead(row.read_type, row.read_addr, row.read_count)), row.expected)
            << row.what;
    }
}

TEST_F(StoredReplies, WordsAtTheEndOfAnAreaStayInside) {
    stageRead(8, W_IMAGE_WORDS - 1, 1, 4);
    QByteArray reply = readReply("12 34 56 78");
    SaveToLocalDataErea(&reply);
    QByteArray expected(99250, '\0');
    const int last_w = static_cast<int>(reinterpret_cast<char*>(&d.w_image[W_IMAGE_WORDS - 1]) -
                                        reinterpret_cast<char*>(d.cio_image));
    expected[last_w] = 0x34;
    expected[last_w + 1] = 0x12;
    EXPECT_EQ(imageSnapshot(), expected);
}

TEST_F(StoredReplies, NothingIsStoredForTypesWithoutAreaOrBadOffsets) {
    const struct { int reg_type, data_offset; } rows[] = {{14, 30}, {-1, 30}, {11, -4}, {11, 40}};
    for (const auto& row : rows) {
        stageRead(row.reg_type, 0, 1, 4, row.data_offset);
        QByteArray reply = readReply("12 34 56 78");
        SaveToLocalDataErea(&reply);
        EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'))
            << row.reg_type << " " << row.data_offset;
    }
    com.multi_station = 1;
    stageRead(14, 0, 1, 4);
    QByteArray reply = readReply("12 34 56 78");
    SaveToLocalDataErea(&reply);
    EXPECT_TRUE(d.extend_list.isEmpty());
}

TEST_F(StoredReplies, StoreFunctionsTakeTheFrameFromTheHead) {
    stageRead(11, 2, 1, 4);
    QByteArray reply = readReply("00 01 00 02");
    SaveWord_unsigned_short(&reply, d.t_pv_image);
    EXPECT_EQ(d.t_pv_image[2], 1);
    EXPECT_EQ(d.t_pv_image[3], 2);
    stageRead(5, 16, 1, 8);
    reply = readReply("01 01 00 00 00 00 00 00");
    SaveTC_unsigned_char(&reply, d.c_flag_image);
    EXPECT_EQ(d.c_flag_image[2], 0x03);
    d.protocol_list.clear();
    SaveTC_unsigned_char(&reply, d.c_flag_image); // no frame: nothing to do
    SaveToLocalDataErea(&reply);
}

TEST_F(StoredReplies, MultiStationWordsGoToTheirStationsEntries) {
    com.multi_station = 1;
    stageRead(7, 10, 2, 4);
    QByteArray reply = readReply("12 34 AB CD");
    SaveToLocalDataErea(&reply);
    EXPECT_EQ(toHex(entryValue(2, 7, 10)), "34 12");
    EXPECT_EQ(toHex(entryValue(2, 7, 11)), "CD AB");
    EXPECT_EQ(d.extend_list.size(), 2);
    EXPECT_EQ(toHex(hostRead(7, "10", 2, 3)), "00 00 00 00");
    EXPECT_EQ(toHex(hostRead(7, "10", 2, 2)), "34 12 CD AB");
    EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'));
}

TEST_F(StoredReplies, MultiStationCutReplyEmptiesUncoveredEntries) {
    com.multi_station = 1;
    QByteArray full = readReply("11 11 22 22");
    stageRead(11, 50, 4, 4);
    SaveToLocalDataErea(&full);
    QByteArray cut = readReply("12 34 AB");
    SaveToLocalDataErea(&cut);
    EXPECT_EQ(toHex(entryValue(4, 11, 50)), "34 12");
    EXPECT_EQ(entryValue(4, 11, 51), QByteArray());
    EXPECT_EQ(toHex(hostRead(11, "50", 2, 4)), "34 12 00 00");
}

TEST_F(StoredReplies, MultiStationFlagsAndBitTypeWords) {
    com.multi_station = 1;
    stageRead(5, 8, 1, 8);
    QByteArray flags = readReply("01 00 00 00 00 01 00 01");
    SaveToLocalDataErea(&flags);
    EXPECT_EQ(toHex(entryValue(1, 5, 8)), "A1");
    EXPECT_EQ(toHex(hostRead(5, "13", 3, 1)), "01 00 01");

    // A one-shot read of a bit type carries words; they are filed under the word type.
    stageRead(0, 100, 3, 2);
    QByteArray words = readReply("04 00");
    SaveToLocalDataErea(&words);
    EXPECT_EQ(toHex(entryValue(3, 7, 100)), "00 04");
    EXPECT_EQ(linearFind(3, 0, 100), -1);
    EXPECT_EQ(toHex(hostRead(0, "100.10", 1, 3)), "01");
}

TEST_F(StoredReplies, MultiStationCreatesNoEntryBeyondTheFinsAddressSpace) {
    com.multi_station = 1;
    stageRead(7, 0xFFFF, 1, 4);
    QByteArray reply = readReply("12 34 56 78");
    SaveToLocalDataErea(&reply);
    EXPECT_EQ(toHex(entryValue(1, 7, 0xFFFF)), "34 12");
    EXPECT_EQ(linearFind(1, 7, 0x10000), -1);
    stageRead(11, INT_MAX, 1, 0x7FFFFFFE);
    SaveToLocalDataErea(&reply);
    stageRead(6, 0x10000, 1, 16);
    SaveToLocalDataErea(&reply);
    EXPECT_EQ(d.extend_list.size(), 1);
}

TEST(StoredRepliesBeforeSetup, DoNothing) {
    stageRead(11, 0, 1, 2);
    QByteArray reply = readReply("12 34");
    SaveToLocalDataErea(&reply);
    SaveToLocalDataErea(nullptr);
    EXPECT_EQ(PLC_driver.d_image[0], 0);
}

} // namespace
