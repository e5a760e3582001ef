// Sessions as exact bytes. FINS/TCP: memory area read and write of every area code beside
// the end code each bad request gets, the node address exchange and framing errors, and
// the CP1L's size limits; remote mode: good and refused requests and the size-byte
// framing. Feeding split at any byte is fuzz_sim_session's invariant.
#include <gtest/gtest.h>

#include <tuple>

#include "plcsim/fins_handler.h"
#include "plcsim/stream_framer.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

// Good reads and writes of every area through the driver: tests/e2e/test_exchange.cpp.
const char* const PRESET = "D0 = 0x0102\nD100 = 0x1234\nD101 = 0xABCD\nCIO10 = 0x8005\n"
                           "A10 = 0x0506\nA447 = 7\nT3.flag = 1\n";

// Request header as the driver sends it: DA1 = PLC node 1, SA1 = 0x0A, SID 5; and the
// response header: DA1 = the node the exchange gave (0x0A), SA1 = PLC node 1, SID 5.
const std::string REQ_HEADER = "80 00 02 00 01 00 00 0a 00 05 ";
const std::string RESP_HEADER = "c0 00 02 00 0a 00 00 01 00 05 ";

struct Plc {
    PlcMemory memory;
    FinsSession session;
    explicit Plc(uint8_t node = 1, size_t messageLimit = FINS_MAX_MESSAGE)
        : session(memory, node, messageLimit, [](uint32_t proposed) {
              return NodeGrant{0, uint8_t(proposed ? proposed : 0xFB), false};
          }) {
        EXPECT_TRUE(loadMemoryText(PRESET, "preset", memory, nullptr));
    }
};

// Request after REQ_HEADER, response after RESP_HEADER, memory afterwards (or "").
const char* const FINS_ROWS[][3] = {
    {"0101 82 0064 00 0002", "0101 0000 1234 abcd", ""},
    {"0101 82 7fff 00 0002", "0101 1104", ""},
    {"0101 82 8000 00 0001", "0101 1103", ""},
    {"0101 b0 1800 00 0001", "0101 1103", ""},
    {"0101 b3 000a 00 0001", "0101 0000 0506", ""}, // the read-only part reads
    {"0101 89 1000 00 0001", "0101 1103", ""},      // between timers and counters
    {"0101 09 0ff8 00 0009", "0101 1104", ""},
    {"0101 30 000a 0f 0002", "0101 0000 01 00", ""}, // bits across a word
    {"0101 30 17ff 0f 0002", "0101 1104", ""},
    {"0101 30 000a 10 0001", "0101 1103", ""},
    {"0101 82 0064 01 0001", "0101 1103", ""}, // bit position on a word area
    {"0101 82 0064 00 0000", "0101 1003", ""},
    {"0101 82 0064 00 0001 00", "0101 1001", ""},
    {"0101 82 0064 00", "0101 1002", ""},
    {"0101 99 0000 00 0001", "0101 1101", ""},
    {"0102 82 03e8 00 0002 1234 5678", "0102 0000", "D1001 = 0x5678"},
    {"0102 82 0064 00 0002 1234", "0102 1003", "D101 = 0xabcd"},
    {"0102 30 000a 02 0001 00", "0102 0000", "CIO10 = 0x8001"},
    {"0102 30 000b 0f 0002 01 01", "0102 0000", "CIO12.00 = 1"}, // bits across a word
    {"0102 32 0000 00 0001 07", "0102 0000", "H0 = 1"},          // any non-zero byte sets
    {"0102 02 0000 03 0001 01", "0102 0000", "D0.03 = 1"},
    {"0102 b1 01ff 00 0001 ffff", "0102 0000", "W511 = 0xffff"},
    {"0102 b3 01c0 00 0001 0001", "0102 0000", "A448 = 1"},
    {"0102 b3 01bf 00 0001 0000", "0102 2101", "A447 = 7"},
    {"0102 b3 01bf 00 0002 0000 0009", "0102 2101", "A448 = 0"},
    {"0102 33 000a 00 0001 01", "0102 2101", "A10 = 0x0506"},
    {"0102 09 0003 00 0001 00", "0102 2101", "T3.flag = 1"},
    {"01", "0100 1002", ""},
    {"0501", "0501 0401", ""},
};

TEST(PlcsimFins, AnswersEveryRequestRowWithExactBytes) {
    for (const auto& row : FINS_ROWS) {
        Plc plc;
        replies(plc.session, nodeRequest(0x0A));
        EXPECT_EQ(replies(plc.session, tcpFrame(2, fromHex(REQ_HEADER + row[0]))),
                  toHex(tcpFrame(2, fromHex(RESP_HEADER + row[1]))))
            << row[0];
        EXPECT_FALSE(plc.session.finished());
        if (*row[2]) expectMemory(plc.memory, row[2]);
    }
}

// What a fresh connection to a PLC with node 0xC8 answers to these bytes, and whether it
// closes then.
const std::tuple<const char*, const char*, bool> STREAM_ROWS[] = {
    // Captured from a CP1L: node 0 proposed, 0xFB given; DA1 of the response is the
    // node given, although the request's SA1 was 0.
    {"46494e53 0000000c 00000000 00000000 00000000 "
     "46494e53 0000001a 00000002 00000000 800002 00c8 0000 00ef 05 0101 82 0000 00 0001",
     "46494e53 00000010 00000001 00000000 000000fb 000000c8 "
     "46494e53 00000018 00000002 00000000 c00002 00fb ef00 c800 05 0101 0000 0102",
     false},
    // A second exchange replaces the node.
    {"46494e53 0000000c 00000000 00000000 0000000a 46494e53 0000000c 00000000 00000000 00000020 "
     "46494e53 0000001a 00000002 00000000 800002 00c8 0000 0a00 05 0101 82 0000 00 0001",
     "46494e53 00000010 00000001 00000000 0000000a 000000c8 "
     "46494e53 00000010 00000001 00000000 00000020 000000c8 "
     "46494e53 00000018 00000002 00000000 c00002 0020 0000 c800 05 0101 0000 0102",
     false},
    {"46494e53 0000000c 00000000 00000000 000000ff", "46494e53 00000008 00000001 00000023", false},
    {"46494e53 0000000c 00000000 00000000 000000c8", "46494e53 00000008 00000001 00000024", false},
    {"46494e53 00000010 00000000 00000000 00000000 00000000", "46494e53 00000008 00000001 00000003",
     false},
    {"46494e53 0000001a 00000002 00000000 80000200c8000000 0005 0101 82 0064 00 0001",
     "46494e53 00000008 00000003 00000003", false}, // FINS before the node exchange
    {"46494e53 00000008 00000005 00000000", "46494e53 00000008 00000003 00000003", false},
    {"00", "46494e53 00000008 00000003 00000001", true},
    {"46494e53 00000801 00000002", "46494e53 00000008 00000003 00000002", true},
    {"46494e53 00000004", "46494e53 00000008 00000003 00000001", true},
    // Nothing is answered after a fatal error.
    {"46494e54 0000000c 00000000 00000000 00000000 46494e53 0000000c 00000000 00000000 0000000a",
     "46494e53 00000008 00000003 00000001", true},
    {"46494e53 0000000c 00000000 00000000 0000", "", false},
};

TEST(PlcsimFins, AnswersEveryStreamRowWithExactBytes) {
    for (const auto& [stream, expected, closesAfter] : STREAM_ROWS) {
        Plc plc(0xC8);
        bool closes = false;
        EXPECT_EQ(replies(plc.session, fromHex(stream), &closes), normHex(expected)) << stream;
        EXPECT_EQ(closes, closesAfter) << stream;
        EXPECT_EQ(plc.session.finished(), closesAfter) << stream;
    }
}

// A CP1L's 1016-byte messages: 499 words, 998 bits or flags fit one reply, a write of 500
// words is too long a message; a 552-byte limit (a CP1E option board's) 267 words.
TEST(PlcsimFins, EnforcesTheMessageLimit) {
    // Limit, command, count, data bytes, end code, reply size.
    const std::tuple<size_t, const char*, unsigned, unsigned, const char*, size_t> rows[] = {
        {1016, "0101 82 0000 00", 499, 0, "0000", 1028},
        {1016, "0101 82 0000 00", 500, 0, "110b", 30},
        {1016, "0101 30 0000 00", 998, 0, "0000", 1028},
        {1016, "0101 09 0000 00", 999, 0, "110b", 30},
        {1016, "0102 82 0000 00", 499, 998, "0000", 30},
        {1016, "0102 82 0000 00", 500, 1000, "1001", 30},
        {552, "0101 82 0000 00", 267, 0, "0000", 564},
        {552, "0101 82 0000 00", 268, 0, "110b", 30},
        {552, "0102 82 0000 00", 267, 534, "0000", 30},
        {552, "0102 82 0000 00", 268, 536, "1001", 30}};
    for (const auto& [limit, command, count, dataBytes, endCode, replyBytes] : rows) {
        Plc plc(1, limit);
        replies(plc.session, nodeRequest(0x0A));
        Bytes message = fromHex(REQ_HEADER + command);
        message.insert(message.end(), {uint8_t(count >> 8), uint8_t(count)});
        message.insert(message.end(), dataBytes, 0x11);
        const std::string reply = replies(plc.session, tcpFrame(2, message));
        EXPECT_EQ(reply.size(), 2 * replyBytes) << count;
        EXPECT_EQ(reply.substr(2 * 28, 4), endCode) << count;
    }
}

const char* const REMOTE_PRESET = "D100 = 0x1234\nD101 = 0xABCD\nCIO10 = 0x8005\n"
                                  "A10 = 0x0506\nC7 = 42\nT3.flag = 1\n";

// Request, reply, memory afterwards (or "").
const char* const REMOTE_ROWS[][3] = {
    {"1603000102000b00000064000400000000000000008f",
     "2b03000102000b000000640000000000000400100000001234abcd00000000000000000000000002720d0a", ""},
    {"1603000102000b000000640004000000000000000090", // bad checksum
     "2b03000102000b000000640000000001000400100000000000000000000000000000000000000000b50d0a", ""},
    {"1600000001000b00007fff00010000000000000000a1",
     "1f00000001000b00007fff0000000003000100040000000000000001b10d0a", ""},
    {"1600000001000e000000000001000000000000000026",
     "1f00000001000e000000000000000002000100040000000000000000350d0a", ""},
    {"1600020001000b000000640001000000000000000089",
     "1f00020001000b0000006400000000060001000400000000000000009c0d0a", ""},
    {"16000000010005000000000004000000000000000020",
     "2300000001000500000000000000000000040008000000000000010000000000360d0a", ""},
    {"1a000100010008000001ff000200000000000000000100020029",
     "1b000100010008000001ff000000000300020000000000012a0d0a", "W511 = 0"},
    {"1800010001000b000000640002000000000000000000008b",
     "1b00010001000b0000006400000000050002000000000000930d0a", "D100 = 0x1234"},
    {"17010100010001000000af0001000000000000000001cc",
     "1b010100010001000000af00000000000001000000000000cf0d0a", "W10.15 = 1"},
    {"17010100010000000000a20001000000000000000002bf", // value 2 clears
     "1b010100010000000000a200000000000001000000000000c10d0a", "CIO10 = 0x8001"},
    {"1700010001000500000003000100000000000000000022",
     "1b00010001000500000003000000000400010000000000002a0d0a", "T3.flag = 1"},
    {"1800010001000a0000000a0001000000000000000000002f",
     "1b00010001000a0000000a00000000040001000000000000360d0a", "A10 = 0x0506"},
};

TEST(PlcsimRemote, AnswersEveryRowWithExactBytes) {
    for (const auto& row : REMOTE_ROWS) {
        PlcMemory memory;
        EXPECT_TRUE(loadMemoryText(REMOTE_PRESET, "preset", memory, nullptr));
        RemoteSession session{memory};
        EXPECT_EQ(replies(session, fromHex(row[0])), normHex(row[1])) << row[0];
        if (*row[2]) expectMemory(memory, row[2]);
    }
}

// A write's size byte wraps at 256: the request size comes from its word count then.
TEST(PlcsimRemote, TakesTheRequestSizeFromTheWriteWhenTheSizeByteWraps) {
    auto size = [](const char* head) { return remoteRequestSize(fromHex(head).data()); };
    EXPECT_EQ(size("05 00 00 00 01 000b 00000064 0004 0000000000000000 00"), 261u);
    EXPECT_EQ(size("00 00 01 00 01 000b 00000000 0075 0000000000000000 00"), 256u);
}

} // namespace
