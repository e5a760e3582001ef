// Checksums, digit helpers and the judgement of a reply's FINS/TCP header.
#include "Func_Check.h"
#include "driver_fixture.h"

namespace {

struct ChecksumRow {
    const char* data_hex;
    int repeat; // the data is this many copies of data_hex
    int count;  // bytes counted; -1 = all
    int sum, crc, lrc, xor_;
};

TEST(Checksums, SumCrcLrcAndXor) {
    const ChecksumRow rows[] = {
        {"616263", 1, -1, 0x0126, 0x5749, 0xDA, 0x60},             // "abc"
        {"313233343536373839", 1, -1, 0x01DD, 0x4B37, 0x23, 0x31}, // CRC check string
        {"616263646566", 1, 3, 0x0126, 0x5749, 0xDA, 0x60},        // count limits what is read
        {"FF", 65535, -1, 0xFF01, 0x00FF, 0xFF, 0xFF},             // sum wraps at 65536
        {"8080", 1, -1, 0x0100, 0xD061, 256, 0x00},                // low byte 0: LRC 256
        {"5AA5", 1, 0, 0, 0xFFFF, 256, 0x5A},                      // XOR always takes byte 0
    };
    for (const ChecksumRow& r : rows) {
        QByteArray data = hex(r.data_hex).repeated(r.repeat);
        unsigned char* bytes = reinterpret_cast<unsigned char*>(data.data());
        const auto n = static_cast<unsigned short>(r.count < 0 ? data.size() : r.count);
        SCOPED_TRACE(r.data_hex);
        EXPECT_EQ(CalSUM(bytes, n), r.sum);
        EXPECT_EQ(CalCRC(bytes, n), r.crc);
        EXPECT_EQ(CalLRC(bytes, n), r.lrc);
        EXPECT_EQ(CalXOR(bytes, n), r.xor_);
    }
    EXPECT_EQ(CalSUM(nullptr, 0) + CalCRC(nullptr, 0) + CalLRC(nullptr, 0), 0xFFFF + 256);
}

TEST(DigitHelpers, BothDirections) {
    const int to_char[][2] = {{0, 0x30}, {9, 0x39}, {10, 0x41}, {15, 0x46}, {16, 0x47}, {-1, 0x2F}};
    for (const auto& r : to_char)
        EXPECT_EQ(DigitalToASCII(r[0]), r[1]) << r[0];
    const int to_digit[][2] = {{-5, 0},    {0x2F, 0},  {0x30, 0},  {0x39, 9},
                               {0x3A, 10}, {0x3F, 15}, {0x40, 0},  {0x41, 10},
                               {0x46, 15}, {0x47, 16}, {0x61, 42}, {0xFF, 200}};
    for (const auto& r : to_digit)
        EXPECT_EQ(ASCIIToDigital(r[0]), r[1]) << r[0];
}

// A reply header with FINS/TCP error code 0.
const char kGoodHeader[] = "46494E53 00000016 00000002 00000000";

struct ReplyCheckRow {
    const char* what;
    QByteArray reply;
    std::vector<int> outstanding; // access of each queued frame, head first
    int expected;
};

TEST(ReplyCheck, ErrorCodeAndDirectionOfTheHeadFrame) {
    const ReplyCheckRow rows[] = {
        {"read reply", hex(kGoodHeader), {0}, 1},
        {"write acknowledgement", hex(kGoodHeader), {1}, 2},
        {"only the head frame counts", hex(kGoodHeader), {1, 0}, 2},
        {"unknown direction", hex(kGoodHeader), {2}, 0},
        {"negative direction", hex(kGoodHeader), {-1}, 0},
        {"nothing outstanding", hex(kGoodHeader), {}, 0},
        {"end code is not judged", hex(kGoodHeader) + hex("C0000002 00010001 0101 0401"), {0}, 1},
        {"error code 1", hex("46494E53 00000016 00000002 00000001"), {0}, 0},
        {"error code in its first byte", hex("46494E53 00000016 00000002 21000000"), {1}, 0},
        {"15 bytes", hex("46494E53 00000016 00000002 000000"), {0}, 0},
        {"empty reply", QByteArray(), {0}, 0},
    };
    for (ReplyCheckRow row : rows) {
        PLC_driver.protocol_list.clear();
        for (int access : row.outstanding) {
            Protocol p = {};
            p.var.access = access;
            PLC_driver.protocol_list.append(p);
        }
        EXPECT_EQ(CheckGetData(&row.reply, 9999), row.expected) << row.what;
    }
    EXPECT_EQ(CheckGetData(nullptr, 16), 0);
}

} // namespace
