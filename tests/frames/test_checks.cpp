#include "Func_Check.h"
#include "frame_test_support.h"

namespace {

unsigned char* bytes(QByteArray& b) {
    return reinterpret_cast<unsigned char*>(b.data());
}
unsigned short count(const QByteArray& b) {
    return static_cast<unsigned short>(b.size());
}

struct ChecksumRow {
    const char* what;
    QByteArray data;
    int sum, crc, lrc;
};

TEST(Checksums, SumCrcAndLrc) {
    const ChecksumRow rows[] = {
        {"abc", QByteArray("abc"), 0x0126, 0x5749, 0xDA},
        {"crc check string", QByteArray("123456789"), 0x01DD, 0x4B37, 0x23},
        {"300 bytes of FF", QByteArray(300, '\xFF'), 0x2AD4, -1, 0x2C},
        {"sum low byte 0 gives 256", hex("80 80"), 0x0100, -1, 256},
        {"sum wraps at 65536", QByteArray(65535, '\xFF'), (65535 * 255) % 65536, -1, 0xFF},
        {"one byte", hex("01"), 1, -1, 0xFF},
    };
    for (ChecksumRow row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(CalSUM(bytes(row.data), count(row.data)), row.sum);
        if (row.crc >= 0) {
            EXPECT_EQ(CalCRC(bytes(row.data), count(row.data)), row.crc);
        }
        EXPECT_EQ(CalLRC(bytes(row.data), count(row.data)), row.lrc);
    }
}

TEST(Checksums, EmptyBufferIsNeverRead) {
    EXPECT_EQ(CalSUM(nullptr, 0), 0);
    EXPECT_EQ(CalCRC(nullptr, 0), 0xFFFF);
    EXPECT_EQ(CalLRC(nullptr, 0), 256);
}

TEST(Checksums, CountLimitsWhatIsRead) {
    QByteArray data("abcdef");
    EXPECT_EQ(CalSUM(bytes(data), 3), 0x0126);
    EXPECT_EQ(CalCRC(bytes(data), 3), 0x5749);
    EXPECT_EQ(CalXOR(bytes(data), 3), 0x60);
}

TEST(Checksums, Xor) {
    QByteArray abc("abc"), one = hex("5A"), two = hex("5A A5");
    EXPECT_EQ(CalXOR(bytes(abc), 3), 0x60);
    EXPECT_EQ(CalXOR(bytes(one), 1), 0x5A);
    EXPECT_EQ(CalXOR(bytes(two), 2), 0xFF);
    EXPECT_EQ(CalXOR(bytes(two), 0), 0x5A); // first byte is always taken
}

TEST(DigitHelpers, DigitToCharacter) {
    const int rows[][2] = {{0, 0x30}, {9, 0x39}, {10, 0x41}, {15, 0x46}, {16, 0x47}, {-1, 0x2F}};
    for (const auto& r : rows)
        EXPECT_EQ(DigitalToASCII(r[0]), r[1]) << r[0];
}

TEST(DigitHelpers, CharacterToDigit) {
    const int rows[][2] = {{-5, 0},    {0x00, 0},  {0x2F, 0},  {0x30, 0},  {0x39, 9},
                           {0x3A, 10}, {0x3F, 15}, {0x40, 0},  {0x41, 10}, {0x46, 15},
                           {0x47, 16}, {0x61, 42}, {0x66, 47}, {0xFF, 200}};
    for (const auto& r : rows)
        EXPECT_EQ(ASCIIToDigital(r[0]), r[1]) << r[0];
}

// A good reply header: 16 bytes with a zero FINS/TCP error code.
const char kZeroCode[] = "46494E53 00000016 00000002 00000000";

struct ReplyCheckRow {
    const char* what;
    QByteArray reply;
    int access; // of the outstanding frame
    int expected;
};

TEST(ReplyCheck, ErrorCodeAndDirection) {
    const ReplyCheckRow rows[] = {
        {"read reply", hex(kZeroCode), 0, 1},
        {"write acknowledgement", hex(kZeroCode), 1, 2},
        {"unknown direction", hex(kZeroCode), 2, 0},
        {"negative direction", hex(kZeroCode), -1, 0},
        {"end code is not judged", hex(kZeroCode) + hex("C0000002 00010001 0101 0401"), 0, 1},
        {"error code 1", hex("46494E53 00000016 00000002 00000001"), 0, 0},
        {"error code in its first byte", hex("46494E53 00000016 00000002 21000000"), 1, 0},
        {"15 bytes", hex("46494E53 00000016 00000002 000000"), 0, 0},
        {"empty reply", QByteArray(), 0, 0},
    };
    for (ReplyCheckRow row : rows) {
        SCOPED_TRACE(row.what);
        PLC_driver.protocol_list.clear();
        Protocol p = {};
        p.var.access = row.access;
        PLC_driver.protocol_list.append(p);
        EXPECT_EQ(CheckGetData(&row.reply, 9999), row.expected);
    }
}

TEST(ReplyCheck, OnlyTheFirstFrameCounts) {
    Protocol write = {}, read = {};
    write.var.access = 1;
    read.var.access = 0;
    PLC_driver.protocol_list.append(write);
    PLC_driver.protocol_list.append(read);
    QByteArray reply = hex(kZeroCode);
    EXPECT_EQ(CheckGetData(&reply, 0), 2);
}

TEST(ReplyCheck, NothingOutstandingOrNoReplyIsBad) {
    QByteArray reply = hex(kZeroCode);
    EXPECT_EQ(CheckGetData(&reply, 16), 0);
    PLC_driver.protocol_list.append(Protocol());
    EXPECT_EQ(CheckGetData(nullptr, 16), 0);
}

} // namespace
