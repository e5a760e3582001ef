#include <gtest/gtest.h>

#include "fins_codec.h"
#include "pcap_writer.h"

namespace fhost {
namespace {

std::string hex(const Bytes& b, int from = 0, int n = -1) {
    return b.mid(from, n).toHex().toStdString();
}

const uint32_t kLoopback = 0x7F000001u;

TEST(Pcap, ClassicMicrosecondEthernetHeadersAndTheInternetChecksum) {
    EXPECT_EQ(hex(pcapFileHeader()), "d4c3b2a1020004000000000000000000ffff000001000000");
    EXPECT_EQ(hex(pcapRecord({0x5F000001u, 999999u}, Bytes::fromHex("aabbcc"))),
              "0100005f3f420f000300000003000000aabbcc");
    // The internet checksum of a textbook IP header.
    Bytes h = Bytes::fromHex("450000730000400040110000c0a80001c0a800c7");
    EXPECT_EQ(internetChecksum(h.constData(), h.size()), 0xB861);
    h.replace(10, 2, Bytes::fromHex("b861"));
    EXPECT_EQ(internetChecksum(h.constData(), h.size()), 0);
}

// Summing the pseudo-header and the segment of a frame with a good TCP checksum gives 0.
uint16_t tcpVerify(const Bytes& frame) {
    const int tcp = 34;
    Bytes pseudo = frame.mid(26, 8); // source and destination addresses
    fins::Writer(pseudo).u16(6).u16(frame.size() - tcp).bytes(frame.mid(tcp));
    return internetChecksum(pseudo.constData(), pseudo.size());
}

// One connection's life: handshake, a request and its reply, and the close. Rows: the
// IPv4 total length and id, then the TCP ports, sequence, acknowledgement and flags.
TEST(Pcap, AFlowNumbersSplitsAndChecksumsItsSegments) {
    TcpFlow flow(kLoopback, 50000, kLoopback, FINS_TCP_PORT, 1000, 5000);
    const Bytes request = Bytes::fromHex("46494e530000000c000000000000000000000007");
    std::vector<Bytes> p = flow.open();
    for (const std::vector<Bytes>& more :
         {flow.clientSends(request), flow.serverSends(Bytes(24, 0x11)), flow.close()})
        p.insert(p.end(), more.begin(), more.end());
    const char* rows[] = {
        "00280001 c3502580000003e8000000005002", // SYN
        "00280001 2580c35000001388000003e95012", // SYN/ACK
        "00280002 c3502580000003e9000013895010", // ACK
        "003c0003 c3502580000003e9000013895018", // 20 bytes of request
        "00400002 2580c35000001389000003fd5018", // 24 bytes of reply
        "00280004 c3502580000003fd000013a15011", // FIN/ACK
        "00280003 2580c350000013a1000003fe5011", // FIN/ACK
        "00280005 c3502580000003fe000013a25010", // ACK
    };
    ASSERT_EQ(p.size(), 8u);
    for (size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(hex(p[i], 16, 4) + " " + hex(p[i], 34, 14), rows[i]) << i;
        EXPECT_EQ(internetChecksum(p[i].constData() + 14, 20), 0) << i;
        EXPECT_EQ(tcpVerify(p[i]), 0) << i;
    }
    EXPECT_EQ(hex(p[0], 0, 34), "020000000002020000000001080045000028000140004006"
                                "3ccd7f0000017f000001");
    EXPECT_EQ(hex(p[0], 48, 2) + hex(p[0], 52, 2), "ffff0000"); // window, urgent pointer
    EXPECT_EQ(hex(p[3], 54), hex(request));

    // Long data is split into full-sized segments.
    TcpFlow long_flow(kLoopback, 40000, kLoopback, FINS_TCP_PORT, 0, 0);
    long_flow.open();
    std::vector<Bytes> segs = long_flow.serverSends(Bytes(3000, 0x42));
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_EQ(std::make_pair(segs[0].size(), segs[2].size()), std::make_pair(54 + 1460, 54 + 80));
    EXPECT_EQ(hex(segs[1], 38, 4), "000005b5"); // 1 + 1460
    EXPECT_EQ(hex(segs[2], 38, 4), "00000b69"); // 1 + 2920
}

} // namespace
} // namespace fhost
