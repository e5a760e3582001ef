#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "pcap_writer.h"

namespace fhost {
namespace {

std::string hex(const Bytes& b, size_t from = 0, size_t n = std::string::npos) {
    std::string out;
    char buf[4];
    for (size_t i = from; i < b.size() && i - from < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", b[i]);
        out += buf;
    }
    return out;
}

Bytes fromHex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

const uint32_t kLoopback = 0x7F000001u;

TEST(Pcap, FileHeaderIsClassicMicrosecondEthernet) {
    EXPECT_EQ(hex(pcapFileHeader()), "d4c3b2a1"
                                     "0200"
                                     "0400"
                                     "00000000"
                                     "00000000"
                                     "ffff0000"
                                     "01000000");
}

TEST(Pcap, RecordHeaderCarriesTimeAndBothLengths) {
    Bytes r = pcapRecord({0x5F000001u, 999999u}, Bytes{0xAA, 0xBB, 0xCC});
    EXPECT_EQ(hex(r), "0100005f"
                      "3f420f00"
                      "03000000"
                      "03000000"
                      "aabbcc");
}

TEST(Pcap, InternetChecksumOfAKnownIpHeader) {
    // A textbook IPv4 header whose checksum is b861.
    Bytes h = fromHex("450000730000400040110000c0a80001c0a800c7");
    EXPECT_EQ(internetChecksum(h.data(), h.size()), 0xB861);
    h[10] = 0xB8;
    h[11] = 0x61;
    EXPECT_EQ(internetChecksum(h.data(), h.size()), 0);
}

// Rows: the packet, then its Ethernet, IPv4 and TCP headers as exact hex.
TEST(Pcap, SynHandshakeHeadersAreExact) {
    TcpFlow flow(kLoopback, 50000, kLoopback, FINS_TCP_PORT, 1000, 5000);
    std::vector<Bytes> p = flow.open();
    ASSERT_EQ(p.size(), 3u);
    struct Row {
        const char* ethernet;
        const char* ip;
        const char* tcp_without_checksum;
    } rows[] = {
        {"020000000002"
         "020000000001"
         "0800",
         "45000028"
         "0001"
         "4000"
         "4006"
         "3ccd"
         "7f000001"
         "7f000001",
         "c350"
         "2580"
         "000003e8"
         "00000000"
         "5002"
         "ffff"},
        {"020000000001"
         "020000000002"
         "0800",
         "45000028"
         "0001"
         "4000"
         "4006"
         "3ccd"
         "7f000001"
         "7f000001",
         "2580"
         "c350"
         "00001388"
         "000003e9"
         "5012"
         "ffff"},
        {"020000000002"
         "020000000001"
         "0800",
         "45000028"
         "0002"
         "4000"
         "4006"
         "3ccc"
         "7f000001"
         "7f000001",
         "c350"
         "2580"
         "000003e9"
         "00001389"
         "5010"
         "ffff"},
    };
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(p[i].size(), 54u) << i;
        EXPECT_EQ(hex(p[i], 0, 14), rows[i].ethernet) << i;
        EXPECT_EQ(hex(p[i], 14, 20), rows[i].ip) << i;
        EXPECT_EQ(hex(p[i], 34, 16), rows[i].tcp_without_checksum) << i;
        EXPECT_EQ(hex(p[i], 52, 2), "0000") << i; // urgent pointer
    }
}

// A TCP checksum verifies: summing the pseudo-header and the segment gives zero.
uint16_t tcpVerify(const Bytes& frame) {
    const size_t tcp = 34, len = frame.size() - tcp;
    Bytes pseudo(frame.begin() + 26, frame.begin() + 34); // source and destination
    pseudo.push_back(0);
    pseudo.push_back(6);
    pseudo.push_back(static_cast<uint8_t>(len >> 8));
    pseudo.push_back(static_cast<uint8_t>(len));
    pseudo.insert(pseudo.end(), frame.begin() + tcp, frame.end());
    return internetChecksum(pseudo.data(), pseudo.size());
}

TEST(Pcap, DataSegmentsAdvanceSequenceAndAcknowledgeTheOtherSide) {
    TcpFlow flow(kLoopback, 50000, 0x7F000002u, FINS_TCP_PORT, 1000, 5000);
    flow.open();
    Bytes request = fromHex("46494e530000000c000000000000000000000007");
    Bytes reply(24, 0x11);
    std::vector<Bytes> sent = flow.clientSends(request);
    std::vector<Bytes> got = flow.serverSends(reply);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(got.size(), 1u);
    // client seq 1001, ack 5001, PSH|ACK; server seq 5001, ack 1001 + 20
    EXPECT_EQ(hex(sent[0], 34, 14), "c350"
                                    "2580"
                                    "000003e9"
                                    "00001389"
                                    "5018");
    EXPECT_EQ(hex(got[0], 34, 14), "2580"
                                   "c350"
                                   "00001389"
                                   "000003fd"
                                   "5018");
    EXPECT_EQ(hex(sent[0], 16, 2), "003c"); // IPv4 total length 20 + 20 + 20
    EXPECT_EQ(hex(got[0], 16, 2), "0040");  // 20 + 20 + 24
    EXPECT_EQ(hex(sent[0], 54), hex(request));
    EXPECT_EQ(tcpVerify(sent[0]), 0);
    EXPECT_EQ(tcpVerify(got[0]), 0);
    EXPECT_EQ(internetChecksum(&got[0][14], 20), 0);

    std::vector<Bytes> fin = flow.close();
    ASSERT_EQ(fin.size(), 3u);
    EXPECT_EQ(hex(fin[0], 34, 14), "c350"
                                   "2580"
                                   "000003fd"
                                   "000013a1"
                                   "5011");
    EXPECT_EQ(hex(fin[1], 34, 14), "2580"
                                   "c350"
                                   "000013a1"
                                   "000003fe"
                                   "5011");
    EXPECT_EQ(hex(fin[2], 34, 14), "c350"
                                   "2580"
                                   "000003fe"
                                   "000013a2"
                                   "5010");
}

TEST(Pcap, LongDataIsSplitIntoFullSizedSegments) {
    TcpFlow flow(kLoopback, 40000, kLoopback, FINS_TCP_PORT, 0, 0);
    flow.open();
    std::vector<Bytes> segs = flow.serverSends(Bytes(3000, 0x42));
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_EQ(segs[0].size(), 54u + 1460);
    EXPECT_EQ(segs[1].size(), 54u + 1460);
    EXPECT_EQ(segs[2].size(), 54u + 80);
    EXPECT_EQ(hex(segs[1], 38, 4), "000005b5"); // 1 + 1460
    EXPECT_EQ(hex(segs[2], 38, 4), "00000b69"); // 1 + 2920
}

TEST(Pcap, FileStartsWithTheHeaderAndHoldsEveryRecord) {
    char path[] = "/tmp/fins-host-pcap-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        PcapFile file;
        std::string error;
        ASSERT_TRUE(file.open(path, &error)) << error;
        TcpFlow flow(kLoopback, 50000, kLoopback, FINS_TCP_PORT, 1, 2);
        file.write(flow.open());
    }
    std::FILE* f = std::fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    Bytes all(4096);
    all.resize(std::fread(all.data(), 1, all.size(), f));
    std::fclose(f);
    std::remove(path);
    ASSERT_EQ(all.size(), 24u + 3 * (16 + 54));
    EXPECT_EQ(hex(all, 0, 24), hex(pcapFileHeader()));
    EXPECT_EQ(hex(all, 24 + 8, 8), "3600000036000000");
}

} // namespace
} // namespace fhost
