// The test peer's own answers, against bytes a CP1L sends.
#include "conversation_support.h"

namespace {

TEST(PlcPeer, NodeAddressAnswerAsACp1lSendsIt) {
    EXPECT_EQ(toHex(peer::handshakeAnswer(0xFB, 0xC8)),
              toHex(hex("46494e53 00000010 00000001 00000000 000000fb 000000c8")));
    EXPECT_EQ(toHex(peer::handshakeAnswer(7, 1, 0x21).mid(12, 4)), "00 00 00 21");
}

TEST(PlcPeer, ResponseHeaderTurnsTheRequestAround) {
    const QByteArray request = hex("46494E53 0000001A 00000002 00000000"
                                   "80 00 02 00 C8 00 00 FB EF 05 01 01 82 0064 00 0002");
    EXPECT_EQ(toHex(peer::finsResponse(request, hex("12 34 56 78"))),
              toHex(hex("46494E53 0000001A 00000002 00000000"
                        "C0 00 02 00 FB EF 00 C8 00 05 01 01 0000 12345678")));
    EXPECT_EQ(toHex(peer::finsResponse(request, QByteArray(), 3, 0x1101).mid(12)),
              toHex(hex("00000003 C0 00 02 00 FB EF 00 C8 00 05 01 01 1101")));
}

TEST(PlcPeer, RemoteReplyFraming) {
    const QByteArray r = peer::remoteReply(hex("AA BB"), 0x10);
    EXPECT_EQ(r.size(), 23 + 2 + 4);
    EXPECT_EQ(toHex(r.mid(12, 4)), "00 00 00 10");
    EXPECT_EQ(toHex(r.mid(23, 2)), "AA BB");
}

TEST(PlcPeer, MemoryAppliesWritesAndServesReads) {
    const struct {
        const char* frame;
        const char* what;
    } rows[] = {
        {"46494E53 0000001B 00000002 00000000 80000200 01 00 00 0A 0000 0102 30 0064 05 0001 01",
         "write bit CIO100.05 = 1"},
        {"46494E53 0000001E 00000002 00000000 80000200 01 00 00 0A 0000 0102 89 800A 00 0002 "
         "0102 0304",
         "write CPV10 x2"},
        {"46494E53 0000001A 00000002 00000000 80000200 01 00 00 0A 0000 0101 09 8008 00 0008",
         "read CF8 x8"},
    };
    peer::PlcMemory m;
    for (const auto& row : rows) {
        const peer::Request r = peer::parseRequest(hex(row.frame), false);
        EXPECT_EQ(peer::describe(r), row.what);
        if (r.kind == peer::Request::Write) {
            EXPECT_TRUE(m.apply(1, r)) << row.what;
        }
    }
    EXPECT_EQ(m.word(1, AREA_CIO, 100), 0x0020u);
    EXPECT_EQ(m.word(1, AREA_TC_PV, 0x800A), 0x0102u);
    EXPECT_EQ(m.word(1, AREA_TC_PV, 0x800B), 0x0304u);
    EXPECT_EQ(m.word(2, AREA_CIO, 100), 0u);
    m.setFlag(1, 0x8008 + 3, 1);
    QByteArray data;
    ASSERT_TRUE(m.read(1, peer::parseRequest(hex(rows[2].frame), false), data));
    EXPECT_EQ(toHex(data), "00 00 00 01 00 00 00 00");
}

} // namespace
