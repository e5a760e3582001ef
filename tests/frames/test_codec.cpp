// The FINS/TCP codec against bytes written out by hand (a CP1L's node exchange
// among them), with the short and malformed rows beside the good ones.
#include <gtest/gtest.h>

#include "fins_codec.h"

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

TEST(Codec, BuildsRequestsByteForByte) {
    EXPECT_EQ(fins::nodeAddressRequest(0), hex("46494e53 0000000c 00000000 00000000 00000000"));
    // Write of 2 words to C5 (counter PV, 0x8000 above timers) from node 0x0A to 0xC8.
    const fins::RegType& c = *fins::regType(13);
    EXPECT_EQ(fins::memoryAreaRequest(0xC8, 0x0A, fins::SRC_MEMORY_AREA_WRITE, c.write_area,
                                      fins::wireAddress(c, 5), 0, 2, 4),
              hex("46494e53 0000001e 00000002 00000000 80000200c800000a0000 0102 89800500 0002"));
}

TEST(Codec, AnswersAsAPlcWould) {
    EXPECT_EQ(fins::nodeAddressReply(0xFB, 0xC8),
              hex("46494e53 00000010 00000001 00000000 000000fb 000000c8"));
    // The CP1L turns the header round: DA1/DA2 from SA1/SA2, SA1/SA2 from DA1/DA2, SID echoed.
    const QByteArray request =
        hex("46494e53 0000001a 00000002 00000000 800002 00c800 00 0aef 05 0101 82006400 0001");
    EXPECT_EQ(fins::commandReply(request, 0, hex("1234")),
              hex("46494e53 00000018 00000002 00000000 c00002 000aef 00c800 05 0101 0000 1234"));
    EXPECT_EQ(fins::commandReply(request.left(20), 0x2101, QByteArray()),
              hex("46494e53 00000016 00000002 00000000 c00002 000000 000000 00 0000 2101"));
}

TEST(Codec, DecodesReplies) {
    struct Row {
        const char* bytes;
        long long tcp_error, end_code, frame_size;
        bool node_pair;
    } rows[] = {
        // A CP1L's answer to a node exchange: client 0xFB, server 0xC8.
        {"46494e53 00000010 00000001 00000000 000000fb 000000c8", 0, -1, 24, true},
        {"46494e53 00000010 00000001 00000024 000000fb 000000c8", 0x24, -1, 24, false},
        {"46494e53 00000010 00000001 00000000 000000fb 0000c8", 0, -1, 24, false},
        // A write refused by the read-only part of the A area.
        {"46494e53 00000016 00000002 00000000 c00002000afb00c80000 0102 2101", 0, 0x2101, 30,
         false},
        {"46494e53 00000016 00000002 00000000 c00002000afb00c80000 0102 21", 0, -1, 30, false},
        {"46494e54 00000016 00000002 00000000", 0, -1, -1, false},
        {"46494e53 000000", -1, -1, -1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bytes);
        const QByteArray b = hex(r.bytes);
        fins::NodePair nodes;
        EXPECT_EQ(fins::replyErrorCode(b), r.tcp_error);
        EXPECT_EQ(fins::replyEndCode(b), r.end_code);
        EXPECT_EQ(fins::announcedFrameSize(b.constData(), b.size()), r.frame_size);
        EXPECT_EQ(fins::decodeNodeAddressReply(b, nodes), r.node_pair);
        EXPECT_EQ(nodes.hmi_node << 8 | nodes.plc_node, r.node_pair ? 0xFBC8 : 0);
    }
}

TEST(Codec, CursorNeverReadsPastTheEnd) {
    const QByteArray b = hex("46494e53 00000002 00000002 00000000 c0 00 02 00 0a fb 00 c8 00 07");
    fins::Reader in(b);
    fins::TcpHeader tcp;
    fins::FinsHeader h;
    ASSERT_TRUE(fins::decodeTcpHeader(in, tcp));
    EXPECT_EQ(tcp.frameSize(), 10);
    ASSERT_TRUE(fins::decodeFinsHeader(in, h));
    EXPECT_EQ(h.icf << 24 | h.da1 << 16 | h.sa1 << 8 | h.sid, 0xC00AC807);
    quint8 more = 0;
    EXPECT_FALSE(in.u8(more));
    EXPECT_EQ(in.pos(), 26);
    fins::Reader bad(b.constData(), 3);
    EXPECT_FALSE(fins::decodeTcpHeader(bad, tcp));
    EXPECT_EQ(bad.u16At(2), -1);
    EXPECT_EQ(fins::Reader(nullptr, 8).u8At(0), -1);
}

} // namespace
