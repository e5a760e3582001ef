#include "local_image_support.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

// The queued requests as "address/length/value hex" lines, for exact comparison.
std::vector<std::string> queued() {
    std::vector<std::string> out;
    for (const RW_VAR& v : d.write_list)
        out.push_back(std::to_string(v.address) + "/" + std::to_string(v.length) + "/" +
                      toHex(v.value));
    return out;
}

// ---- Applying writes to the store ------------------------------------------------

class ApplyWrites : public DriverTest {};

TEST_F(ApplyWrites, SingleStationWordsAndBits) {
    RW_VAR word = writeRecord(7, 100, 1, "34 12");
    WriteDataToLocal(&word);
    EXPECT_EQ(d.cio_image[100], 0x1234);

    d.h_image[1] = 0x000F;
    RW_VAR bits = writeRecord(2, 16, 4, "01 00 02"); // bit 19 has no byte
    WriteDataToLocal(&bits);
    EXPECT_EQ(d.h_image[1], 0x0009); // bit 0 set, bit 1 cleared, bit 2 cleared by 02

    RW_VAR flag = writeRecord(5, 8, 1, "01 00");
    RW_VAR other = writeRecord(14, 8, 1, "01 00");
    const QByteArray before = imageSnapshot();
    WriteDataToLocal(&flag);
    WriteDataToLocal(&other);
    EXPECT_EQ(imageSnapshot(), before);
    EXPECT_TRUE(d.extend_list.isEmpty());
}

TEST_F(ApplyWrites, SingleStationStaysInsideItsArray) {
    // D is followed by the timer flags, the counter present values by D.
    RW_VAR last_d = writeRecord(11, D_IMAGE_WORDS - 1, 2, "11 11 22 22");
    RW_VAR last_c = writeRecord(13, C_PV_IMAGE_WORDS - 1, 2, "33 33 44 44");
    RW_VAR far_bit = writeRecord(0, INT_MAX, 3, "01 01 01");
    RW_VAR far_word = writeRecord(12, INT_MAX, 2, "01 01 01 01");
    WriteDataToLocal(&last_d);
    WriteDataToLocal(&last_c);
    WriteDataToLocal(&far_bit);
    WriteDataToLocal(&far_word);
    EXPECT_EQ(d.d_image[D_IMAGE_WORDS - 1], 0x1111);
    EXPECT_EQ(d.c_pv_image[C_PV_IMAGE_WORDS - 1], 0x3333);
    d.d_image[D_IMAGE_WORDS - 1] = 0;
    d.c_pv_image[C_PV_IMAGE_WORDS - 1] = 0;
    EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'));
}

TEST_F(ApplyWrites, BitValueTwoClearsInSingleAndKeepsInMulti) {
    d.cio_image[0] = 0x0001;
    RW_VAR two = writeRecord(0, 0, 1, "02");
    WriteDataToLocal(&two);
    EXPECT_EQ(d.cio_image[0], 0x0000);

    com.multi_station = 1;
    storeExtendValue(ExtendFindSameVar(1, 7, 0), "\x01\x00", 2);
    WriteDataToLocal(&two);
    EXPECT_EQ(toHex(entryValue(1, 7, 0)), "01 00");
    RW_VAR zero = writeRecord(0, 0, 1, "00");
    WriteDataToLocal(&zero);
    EXPECT_EQ(toHex(entryValue(1, 7, 0)), "00 00");
}

TEST_F(ApplyWrites, MultiStationBitCreatesTheWordEntry) {
    com.multi_station = 1;
    RW_VAR bit = writeRecord(0, 1610, 1, "01", 4);
    WriteDataToLocal(&bit);
    EXPECT_EQ(toHex(entryValue(4, 7, 100)), "00 04 00 00");
    EXPECT_EQ(d.extend_list.size(), 1);
    EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'));
}

TEST_F(ApplyWrites, MultiStationBitOnEmptiedEntryChangesNothing) {
    com.multi_station = 1;
    storeExtendValue(ExtendFindSameVar(2, 8, 3), "", 0);
    RW_VAR bit = writeRecord(1, 48, 1, "01", 2);
    WriteDataToLocal(&bit);
    EXPECT_EQ(entryValue(2, 8, 3), QByteArray());
}

TEST_F(ApplyWrites, MultiStationWordsNeedBothBytes) {
    com.multi_station = 1;
    RW_VAR words = writeRecord(11, 300, 2, "34 12 56", 6);
    WriteDataToLocal(&words);
    EXPECT_EQ(toHex(entryValue(6, 11, 300)), "34 12");
    EXPECT_EQ(linearFind(6, 11, 301), -1);
    // Flag and area-less types are kept as words in their own entries.
    RW_VAR flag = writeRecord(5, 8, 1, "01 00", 6);
    RW_VAR other = writeRecord(30, 8, 1, "02 00", 6);
    WriteDataToLocal(&flag);
    WriteDataToLocal(&other);
    EXPECT_EQ(toHex(entryValue(6, 5, 8)), "01 00");
    EXPECT_EQ(toHex(entryValue(6, 30, 8)), "02 00");
}

// Per-station entries cover the 16-bit FINS address space, not the single-station image.
TEST_F(ApplyWrites, MultiStationStoreSpansTheFinsAddressSpace) {
    com.multi_station = 1;
    RW_VAR past_w_image = writeRecord(8, 600, 1, "34 12", 1);
    RW_VAR words = writeRecord(10, 0xFFFF, 2, "01 00 02 00", 1);
    RW_VAR bits = writeRecord(3, 0xFFFF * 16 + 15, 2, "01 01", 1);
    RW_VAR far = writeRecord(11, INT_MAX, 2, "01 00 02 00", 1);
    for (RW_VAR* w : {&past_w_image, &words, &bits, &far})
        WriteDataToLocal(w);
    EXPECT_EQ(d.extend_list.size(), 2);
    EXPECT_EQ(toHex(entryValue(1, 10, 0xFFFF)), "01 80");
    QByteArray read;
    QString w600 = "600";
    EXPECT_EQ(GetRegisterData(nullptr, 8, &w600, 1, &read, 1), 1);
    EXPECT_EQ(toHex(read), "34 12");
}

TEST(ApplyWritesBeforeSetup, DoNothing) {
    RW_VAR word = writeRecord(7, 100, 1, "34 12");
    WriteDataToLocal(&word);
    WriteDataToLocal(nullptr);
    EXPECT_EQ(PLC_driver.cio_image[100], 0);
}

// ---- Host writes --------------------------------------------------------------------

class HostWrites : public DriverTest {};

TEST_F(HostWrites, StoreOnlyWhenNotSendingToThePlc) {
    com.run_mode = 0;
    EXPECT_EQ(hostWrite(7, "100", "34 12", 1), 1);
    EXPECT_EQ(d.cio_image[100], 0x1234);
    EXPECT_TRUE(d.write_list.isEmpty());
    EXPECT_EQ(hostWrite(5, "8", "01", 1), 1); // no store for flags: still accepted
    EXPECT_EQ(hostWrite(11, "7", "01 00 02", 2), 1);
    EXPECT_EQ(d.d_image[7], 1);
    EXPECT_EQ(d.d_image[8], 0);
    EXPECT_EQ(hostWrite(11, "2147483647", "01 00", INT_MAX), 1); // beyond the area: no change
    EXPECT_TRUE(d.write_list.isEmpty());
}

TEST_F(HostWrites, QueuedRequestCarriesTheHostsFields) {
    com.remote_mode = 0;
    com.local_link = 5;
    com.default_station = 3;
    ASSERT_EQ(hostWrite(11, "100", "01 00", 1, 8), 1);
    const RW_VAR& v = d.write_list.at(0);
    EXPECT_EQ(v.req_kind, 3);
    EXPECT_EQ(v.req_id, 9);
    EXPECT_EQ(v.access, 1);
    EXPECT_EQ(v.link_mode, 0);
    EXPECT_EQ(v.link_id, 5);
    EXPECT_EQ(v.station, 3); // single-station: the default station, not 8
    com.multi_station = 1;
    hostWrite(11, "101", "01 00", 1, 8);
    EXPECT_EQ(d.write_list.at(1).station, 8);
}

struct QueueRow {
    const char* what;
    int reg_type;
    const char* addr;
    const char* value_hex;
    int count, max_block, result;
    std::vector<std::string> queue;
};

const QueueRow kQueueRows[] = {
    {"words in pieces of max_block",
     11,
     "100",
     "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18",
     6,
     4,
     2,
     {"100/4/00 01 02 03 04 05 06 07", "104/2/08 09 0A 0B"}},
    {"whole pieces only",
     11,
     "0",
     "01 00 02 00 03 00 04 00",
     4,
     2,
     2,
     {"0/2/01 00 02 00", "2/2/03 00 04 00"}},
    {"short buffer gives zeros", 9, "10", "AA BB CC", 3, 2, 2, {"10/2/AA BB CC 00", "12/1/00 00"}},
    {"max_block 0: one piece", 12, "7", "01 00 02 00 03 00", 3, 0, 1, {"7/3/01 00 02 00 03 00"}},
    {"negative max_block: one piece", 13, "7", "01 00", 1, INT_MIN, 1, {"7/1/01 00"}},
    {"max_block -3, 2 words: one piece", 13, "7", "01 00 02 00", 2, -3, 1, {"7/2/01 00 02 00"}},
    {"max_block -2, 2 words: no piece", 13, "7", "01 00 02 00", 2, -2, 0, {}},
    {"bits one by one", 0, "100.05", "01 00 01", 3, 64, 3, {"1605/1/01", "1606/1/00", "1607/1/01"}},
    {"bits past the buffer write 0", 4, "1.15", "01", 2, 64, 2, {"31/1/01", "32/1/00"}},
    {"flag types are not writable", 5, "8", "01", 1, 64, 0, {}},
    {"area-less types are not writable", 14, "8", "01 00", 1, 64, 0, {}},
    {"bit count 0", 0, "0.0", "01", 0, 64, 0, {}},
    {"text rejected", 1, "100", "01", 1, 64, 0, {}},
    {"last word of the FINS address space", 11, "65535", "01 00", 1, 64, 1, {"65535/1/01 00"}},
    {"past the FINS address space", 11, "65535", "01 00", 2, 64, 0, {}},
    {"bits past the FINS address space", 0, "65535.15", "01", 2, 64, 0, {}},
    {"huge word count, one piece", 11, "100", "01 00", INT_MAX, 0, 0, {}},
    {"a piece no write frame carries", 11, "0", "01 00", 0x10000, 0, 0, {}},
};

TEST_F(HostWrites, QueueRows) {
    for (const QueueRow& row : kQueueRows) {
        d.write_list.clear();
        com.max_block = row.max_block;
        EXPECT_EQ(hostWrite(row.reg_type, row.addr, row.value_hex, row.count), row.result)
            << row.what;
        EXPECT_EQ(queued(), row.queue) << row.what;
    }
    EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'));
}

// Remote frames carry 32-bit addresses: only the extent of a write is bounded.
TEST_F(HostWrites, RemoteModeQueuesAddressesPastTheFinsSpace) {
    com.remote_mode = 1;
    EXPECT_EQ(hostWrite(11, "70000", "34 12", 1), 1);
    EXPECT_EQ(hostWrite(0, "70000.0", "01", 1), 2);
    EXPECT_EQ(hostWrite(11, "0", "", 0x10001), 0);
    EXPECT_EQ(hostWrite(11, "2147483647", "", 2), 0);
    EXPECT_EQ(queued(), (std::vector<std::string>{"70000/1/34 12", "1120000/1/01"}));
    const Protocol* p = ComCommunication();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(toHex(p->frame.mid(7, 4)), "00 01 11 70");
}

TEST_F(HostWrites, StoreFollowsTheQueueOnlyAfterAFailure) {
    com.max_block = 1;
    EXPECT_EQ(hostWrite(11, "20", "34 12 78 56", 2), 2);
    EXPECT_EQ(d.d_image[20], 0);
    d.comm_failed = 1;
    EXPECT_EQ(hostWrite(11, "30", "34 12 78 56", 2), 4);
    EXPECT_EQ(d.d_image[30], 0x1234);
    EXPECT_EQ(d.d_image[31], 0x5678);
    EXPECT_EQ(hostWrite(0, "0.1", "01 02", 2), 6);
    EXPECT_EQ(d.cio_image[0], 0x0002);
}

} // namespace
