// The FINS/TCP codec against bytes written out by hand (a CP1L's node exchange
// among them), with the short and malformed rows beside the good ones; the judgement of
// a reply's FINS/TCP header; checksums and digit helpers.
#include <tuple>
#include <vector>

#include "Func_Check.h"
#include "reply_processing.h"
#include "driver_fixture.h"
#include "fins_peer.h"

namespace {

// A CP1L's answer to a node exchange: client 0xFB, server 0xC8.
const char kNodeReply[] = "46494e53 00000010 00000001 00000000 000000fb 000000c8";

TEST(Codec, BuildsRequestsAndRepliesByteForByte) {
    EXPECT_EQ(fins::nodeAddressRequest(0), hex("46494e53 0000000c 00000000 00000000 00000000"));
    EXPECT_EQ(fins::nodeAddressReply(0xFB, 0xC8), hex(kNodeReply));
    // Write of 2 words to C5 (counter PV, 0x8000 above timers) from node 0x0A to 0xC8.
    const fins::RegType& c = *fins::regType(13);
    EXPECT_EQ(fins::memoryAreaRequest(0xC8, 0x0A, fins::SRC_MEMORY_AREA_WRITE, c.write_area,
                                      fins::wireAddress(c, 5), 0, 2, 4),
              hex("46494e53 0000001e 00000002 00000000 80000200c800000a0000 0102 89800500 0002"));
    // The CP1L turns the header round: DA1/DA2 from SA1/SA2, SA1/SA2 from DA1/DA2, SID echoed.
    const QByteArray request =
        hex("46494e53 0000001a 00000002 00000000 800002 00c800 00 0aef 05 0101 82006400 0001");
    EXPECT_EQ(fins::commandReply(request, 0, hex("1234")),
              hex("46494e53 00000018 00000002 00000000 c00002 000aef 00c800 05 0101 0000 1234"));
    EXPECT_EQ(fins::commandReply(request.left(20), 0x2101, QByteArray()),
              hex("46494e53 00000016 00000002 00000000 c00002 000000 000000 00 0000 2101"));
}

TEST(Codec, DecodesReplies) {
    // bytes, TCP error code, end code, announced frame size, node pair (-1: none decoded)
    const std::tuple<const char*, long long, long long, long long, int> rows[] = {
        {kNodeReply, 0, -1, 24, 0xFBC8},
        {"46494e53 00000010 00000001 00000024 000000fb 000000c8", 0x24, -1, 24, -1},
        {"46494e53 00000010 00000001 00000000 000000fb 0000c8", 0, -1, 24, -1},
        // A write refused by the read-only part of the A area, then the same cut short.
        {"46494e53 00000016 00000002 00000000 c00002000afb00c80000 0102 2101", 0, 0x2101, 30, -1},
        {"46494e53 00000016 00000002 00000000 c00002000afb00c80000 0102 21", 0, -1, 30, -1},
        {"46494e54 00000016 00000002 00000000", 0, -1, -1, -1},
        {"46494e53 000000", -1, -1, -1, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::get<0>(r));
        const QByteArray b = hex(std::get<0>(r));
        fins::NodePair n;
        const int nodes = fins::decodeNodeAddressReply(b, n) ? n.hmi_node << 8 | n.plc_node : -1;
        EXPECT_EQ(std::make_tuple(std::get<0>(r), fins::replyErrorCode(b), fins::replyEndCode(b),
                                  fins::announcedFrameSize(b.constData(), b.size()), nodes),
                  r);
    }
}

TEST(Codec, CursorNeverReadsPastTheEnd) {
    const QByteArray b = hex("46494e53 00000002 00000002 00000000 c0 00 02 00 0a fb 00 c8 00 07");
    fins::Reader in(b);
    fins::TcpHeader tcp;
    fins::FinsHeader h;
    ASSERT_TRUE(fins::decodeTcpHeader(in, tcp) && fins::decodeFinsHeader(in, h));
    EXPECT_EQ(h.icf << 24 | h.da1 << 16 | h.sa1 << 8 | h.sid, 0xC00AC807);
    // Relative and absolute reads alike fail past the end and leave the value alone.
    quint8 more = 0x55, none = 0x66;
    quint16 word = 0x7777;
    fins::Reader bad(b.constData(), 3);
    EXPECT_EQ(std::vector<long long>({in.u8(more), in.pos(), fins::decodeTcpHeader(bad, tcp),
                                      bad.u16At(2, word), fins::Reader(nullptr, 8).u8At(0, none),
                                      more, word, none, bad.u16At(1, word), word}),
              std::vector<long long>({false, 26, false, false, false, 0x55, 0x7777, 0x66, true,
                                      0x494e}));
}

// Data: copies of the hex text, bytes counted (-1 = all), then sum, CRC, LRC and XOR.
struct ChecksumRow {
    const char* data_hex;
    int repeat, count, sum, crc, lrc, xor_;
};

TEST(Checksums, SumCrcLrcAndXor) {
    const ChecksumRow rows[] = {
        {"313233343536373839", 1, -1, 0x01DD, 0x4B37, 0x23, 0x31}, // CRC check string
        // "abc" of "abcdef": the count limits what is read.
        {"616263646566", 1, 3, 0x0126, 0x5749, 0xDA, 0x60},
        {"FF", 65535, -1, 0xFF01, 0x00FF, 0xFF, 0xFF}, // sum wraps at 65536
        {"8080", 1, -1, 0x0100, 0xD061, 256, 0x00},    // low byte 0: LRC 256
        {"5AA5", 1, 0, 0, 0xFFFF, 256, 0x5A},          // XOR always takes byte 0
    };
    for (const ChecksumRow& r : rows) {
        QByteArray data = hex(r.data_hex).repeated(r.repeat);
        unsigned char* b = reinterpret_cast<unsigned char*>(data.data());
        const auto n = static_cast<unsigned short>(r.count < 0 ? data.size() : r.count);
        EXPECT_EQ(std::vector<int>({CalSUM(b, n), CalCRC(b, n), CalLRC(b, n), CalXOR(b, n)}),
                  std::vector<int>({r.sum, r.crc, r.lrc, r.xor_}))
            << r.data_hex;
    }
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

TEST(ReplyCheck, ErrorCodeAndDirectionOfTheHeadFrame) {
    // reply, access of each queued frame (head first), result
    const std::tuple<QByteArray, std::vector<int>, int> rows[] = {
        {hex(kGoodHeader), {0}, 1},    // read reply
        {hex(kGoodHeader), {1, 0}, 2}, // write acknowledgement: only the head frame counts
        {hex(kGoodHeader), {2}, 0},    // unknown direction
        {hex(kGoodHeader), {}, 0},     // nothing outstanding
        {hex(kGoodHeader) + hex("C0000002 00010001 0101 0401"), {0}, 1}, // end code not judged
        {hex("46494E53 00000016 00000002 00000001"), {0}, 0},
        {hex("46494E53 00000016 00000002 21000000"), {1}, 0},
        {hex("46494E53 00000016 00000002 000000"), {0}, 0},
        {QByteArray(), {0}, 0},
    };
    for (auto row : rows) {
        PLC_driver.protocol_list.clear();
        for (int access : std::get<1>(row)) {
            Protocol p = {};
            p.var.access = access;
            PLC_driver.protocol_list.append(p);
        }
        EXPECT_EQ(CheckGetData(&std::get<0>(row), 9999), std::get<2>(row))
            << toHex(std::get<0>(row));
    }
    EXPECT_EQ(CheckGetData(nullptr, 16), 0);
}

} // namespace
