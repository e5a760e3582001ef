// FINS/TCP sessions: node address exchange, memory area read/write of every area
// code, end codes, and framing errors, as exact bytes.
#include <gtest/gtest.h>

#include "plcsim/fins_handler.h"
#include "plcsim/memory_script.h"
#include "plcsim/session.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

const char* const PRESET =
    "D100 = 0x1234\nD101 = 0xABCD\nCIO10 = 0x8005\nW5 = 0x00FF\nH20 = 0x0102\n"
    "A500 = 0x0304\nA10 = 0x0506\nA447 = 7\nT3 = 0x0100\nC7 = 42\nT3.flag = 1\nC7.flag = 1\n";

// Request header as the driver sends it: DA1 = PLC node 1, SA1 = 0x0A, SID 5.
const char* const REQ_HEADER = "80 00 02 00 01 00 00 0a 00 05";
// The matching response header: DA1 = client node 0x0A, SA1 = PLC node 1, SID 5.
const char* const RESP_HEADER = "c0 00 02 00 0a 00 00 01 00 05";

struct Fixture {
    PlcMemory memory;
    FinsSession session{memory, 1, 0xFB};
    Fixture() {
        std::string error;
        EXPECT_TRUE(loadMemoryText(PRESET, "preset", memory, &error)) << error;
    }
    std::vector<SessionOutput> feed(const Bytes& bytes) {
        std::vector<SessionOutput> out;
        session.feed(bytes.data(), bytes.size(), &out);
        return out;
    }
    void handshake() {
        auto out = feed(nodeRequest(0x0A));
        ASSERT_EQ(out.size(), 1u);
    }
};

struct FinsRow {
    const char* name;
    const char* request;  // after REQ_HEADER
    const char* response; // after RESP_HEADER
    const char* check;    // "NAME = VALUE" that must hold afterwards, or ""
};

const FinsRow FINS_ROWS[] = {
    // Reads of every area code.
    {"read D words", "0101 82 0064 00 0002", "0101 0000 1234 abcd", ""},
    {"read CIO word", "0101 b0 000a 00 0001", "0101 0000 8005", ""},
    {"read W word", "0101 b1 0005 00 0001", "0101 0000 00ff", ""},
    {"read H word", "0101 b2 0014 00 0001", "0101 0000 0102", ""},
    {"read A word (rw part)", "0101 b3 01f4 00 0001", "0101 0000 0304", ""},
    {"read A word (read-only part)", "0101 b3 000a 00 0001", "0101 0000 0506", ""},
    {"read timer PV", "0101 89 0003 00 0001", "0101 0000 0100", ""},
    {"read counter PV (0x8000 offset)", "0101 89 8007 00 0001", "0101 0000 002a", ""},
    {"read timer flags 0-7", "0101 09 0000 00 0008", "0101 0000 00 00 00 01 00 00 00 00", ""},
    {"read counter flags 7-8", "0101 09 8007 00 0002", "0101 0000 01 00", ""},
    {"read CIO bits", "0101 30 000a 00 0003", "0101 0000 01 00 01", ""},
    {"read CIO bits across a word", "0101 30 000a 0f 0002", "0101 0000 01 00", ""},
    {"read W bit", "0101 31 0005 07 0001", "0101 0000 01", ""},
    {"read H bit", "0101 32 0014 01 0001", "0101 0000 01", ""},
    {"read A bit", "0101 33 01f4 02 0001", "0101 0000 01", ""},
    {"read D bit", "0101 02 0064 04 0001", "0101 0000 01", ""},
    {"read last D word", "0101 82 7fff 00 0001", "0101 0000 0000", ""},
    {"read last CIO word", "0101 b0 17ff 00 0001", "0101 0000 0000", ""},
    {"read last counter", "0101 89 8fff 00 0001", "0101 0000 0000", ""},
    // Writes of every writable area code.
    {"write D words", "0102 82 03e8 00 0002 1234 5678", "0102 0000", "D1001 = 0x5678"},
    {"write D first word", "0102 82 03e8 00 0002 1234 5678", "0102 0000", "D1000 = 0x1234"},
    {"write W bit on", "0102 31 000a 0f 0001 01", "0102 0000", "W10 = 0x8000"},
    {"write CIO bit on", "0102 30 0064 05 0001 01", "0102 0000", "CIO100 = 0x0020"},
    {"write CIO bit off", "0102 30 000a 02 0001 00", "0102 0000", "CIO10 = 0x8001"},
    {"write H bit", "0102 32 0000 00 0001 01", "0102 0000", "H0 = 1"},
    {"write A bit (rw part)", "0102 33 01c0 03 0001 01", "0102 0000", "A448 = 8"},
    {"write D bit", "0102 02 0000 03 0001 01", "0102 0000", "D0 = 8"},
    {"write CIO word", "0102 b0 0001 00 0001 0102", "0102 0000", "CIO1 = 0x0102"},
    {"write W word", "0102 b1 01ff 00 0001 ffff", "0102 0000", "W511 = 0xffff"},
    {"write H word", "0102 b2 0000 00 0001 beef", "0102 0000", "H0 = 0xbeef"},
    {"write A word 448", "0102 b3 01c0 00 0001 0001", "0102 0000", "A448 = 1"},
    {"write timer PV", "0102 89 0002 00 0001 0010", "0102 0000", "T2 = 0x10"},
    {"write counter PV", "0102 89 8005 00 0001 0063", "0102 0000", "C5 = 0x63"},
    // End codes.
    {"unknown area", "0101 99 0000 00 0001", "0101 1101", ""},
    {"unknown area on write", "0102 99 0000 00 0001 0000", "0102 1101", ""},
    {"D start out of range", "0101 82 8000 00 0001", "0101 1103", ""},
    {"D end out of range", "0101 82 7fff 00 0002", "0101 1104", ""},
    {"CIO start out of range", "0101 b0 1800 00 0001", "0101 1103", ""},
    {"W start out of range", "0101 b1 0200 00 0001", "0101 1103", ""},
    {"H end out of range", "0101 b2 01ff 00 0002", "0101 1104", ""},
    {"A start out of range", "0101 b3 03c0 00 0001", "0101 1103", ""},
    {"timer start out of range", "0101 89 1000 00 0001", "0101 1103", ""},
    {"counter start out of range", "0101 89 9000 00 0001", "0101 1103", ""},
    {"counter end out of range", "0101 89 8fff 00 0002", "0101 1104", ""},
    {"flag end out of range", "0101 09 0ff8 00 0009", "0101 1104", ""},
    {"bit end out of range", "0101 30 17ff 0f 0002", "0101 1104", ""},
    {"word area with bit position", "0101 82 0064 01 0001", "0101 1103", ""},
    {"bit position 16", "0101 30 000a 10 0001", "0101 1103", ""},
    {"write D out of range", "0102 82 8000 00 0001 0000", "0102 1103", ""},
    {"read count 0", "0101 82 0064 00 0000", "0101 1003", ""},
    {"write count 0", "0102 82 0064 00 0000", "0102 1003", ""},
    {"write data short of count", "0102 82 0064 00 0002 1234", "0102 1003", "D100 = 0x1234"},
    {"write data beyond count", "0102 82 0064 00 0001 5555 66", "0102 1003", "D100 = 0x1234"},
    {"write read-only A447", "0102 b3 01bf 00 0001 0000", "0102 2101", "A447 = 7"},
    {"write spanning A447-A448", "0102 b3 01bf 00 0002 0000 0009", "0102 2101", "A448 = 0"},
    {"write read-only A bit", "0102 33 000a 00 0001 01", "0102 2101", "A10 = 0x0506"},
    {"write completion flags", "0102 09 0003 00 0001 00", "0102 2101", "T3.flag = 1"},
    {"read body too long", "0101 82 0064 00 0001 00", "0101 1001", ""},
    {"read body too short", "0101 82 0064 00", "0101 1002", ""},
    {"write body too short", "0102 82 0064", "0102 1002", ""},
    {"MRC only", "01", "0100 1002", ""},
    {"undefined command", "0501", "0501 0401", ""},
    {"undefined memory SRC", "0104 82 0064 00 0001", "0104 0401", ""},
};

void PrintTo(const FinsRow& row, std::ostream* os) {
    *os << row.name;
}

class FinsRows : public ::testing::TestWithParam<FinsRow> {};

TEST_P(FinsRows, AnswersWithExactBytes) {
    const FinsRow& row = GetParam();
    Fixture f;
    f.handshake();
    const Bytes message = fromHex(std::string(REQ_HEADER) + row.request);
    const auto out = f.feed(tcpFrame(2, message));
    ASSERT_EQ(out.size(), 1u);
    const Bytes expected = tcpFrame(2, fromHex(std::string(RESP_HEADER) + row.response));
    EXPECT_EQ(toHex(out[0].reply), toHex(expected));
    EXPECT_FALSE(out[0].closeAfter);
    if (*row.check) {
        MemoryAssignment a;
        ASSERT_TRUE(parseAssignment(row.check, &a, nullptr)) << row.check;
        const uint16_t actual =
            a.bit >= 0 ? f.memory.bit(a.area, a.address, a.bit) : f.memory.word(a.area, a.address);
        EXPECT_EQ(actual, a.value) << row.check;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FinsRows, ::testing::ValuesIn(FINS_ROWS),
                         [](const ::testing::TestParamInfo<FinsRow>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n + "_" + std::to_string(info.index);
                         });

// Whole-stream rows: what a fresh connection answers to these bytes.
struct StreamRow {
    const char* name;
    const char* stream;
    const char* replies; // concatenated replies
    bool closes;
};

const StreamRow STREAM_ROWS[] = {
    {"node proposed 0 gets the automatic node", "46494e53 0000000c 00000000 00000000 00000000",
     "46494e53 00000010 00000001 00000000 000000fb 00000001", false},
    {"node proposed is kept", "46494e53 0000000c 00000000 00000000 0000000a",
     "46494e53 00000010 00000001 00000000 0000000a 00000001", false},
    {"node above 254", "46494e53 0000000c 00000000 00000000 000000ff",
     "46494e53 00000008 00000001 00000023", false},
    {"node equal to the PLC's", "46494e53 0000000c 00000000 00000000 00000001",
     "46494e53 00000008 00000001 00000024", false},
    {"node exchange with 8 bytes", "46494e53 00000010 00000000 00000000 00000000 00000000",
     "46494e53 00000008 00000001 00000003", false},
    {"FINS frame before the node exchange",
     "46494e53 0000001a 00000002 00000000 80000200010000 0a0005 0101 82 0064 00 0001",
     "46494e53 00000008 00000003 00000003", false},
    {"unknown FINS/TCP command", "46494e53 00000008 00000005 00000000",
     "46494e53 00000008 00000003 00000003", false},
    {"bad magic", "46494e54 0000000c 00000000 00000000 00000000",
     "46494e53 00000008 00000003 00000001", true},
    {"bad first byte", "00", "46494e53 00000008 00000003 00000001", true},
    {"length above the limit", "46494e53 00000801 00000002", "46494e53 00000008 00000003 00000002",
     true},
    {"length below 8", "46494e53 00000004", "46494e53 00000008 00000003 00000001", true},
    {"nothing after a fatal error",
     "46494e54 0000000c 00000000 00000000 00000000 46494e53 0000000c 00000000 00000000 00000000",
     "46494e53 00000008 00000003 00000001", true},
    {"incomplete header", "46494e53 000000", "", false},
    {"incomplete body", "46494e53 0000000c 00000000 00000000 0000", "", false},
};

void PrintTo(const StreamRow& row, std::ostream* os) {
    *os << row.name;
}

class StreamRows : public ::testing::TestWithParam<StreamRow> {};

TEST_P(StreamRows, AnswersWithExactBytes) {
    const StreamRow& row = GetParam();
    PlcMemory memory;
    FinsSession session(memory, 1, 0xFB);
    const Bytes stream = fromHex(row.stream);
    std::vector<SessionOutput> out;
    session.feed(stream.data(), stream.size(), &out);
    Bytes all;
    bool closes = false;
    for (const auto& o : out) {
        all = concat(all, o.reply);
        closes = closes || o.closeAfter;
    }
    EXPECT_EQ(toHex(all), normHex(row.replies));
    EXPECT_EQ(closes, row.closes);
    EXPECT_EQ(session.finished(), row.closes);
}

INSTANTIATE_TEST_SUITE_P(Rows, StreamRows, ::testing::ValuesIn(STREAM_ROWS),
                         [](const ::testing::TestParamInfo<StreamRow>& info) {
                             return "row" + std::to_string(info.index);
                         });

TEST(FinsSession, AnswersLikeTheCapturedCp1l) {
    // Client proposes 0, PLC node 0xC8 hands out 0xFB; the response header swaps the
    // addresses and takes DA1 from the handshake although the request's SA1 was 0.
    PlcMemory memory;
    memory.setWord(Area::D, 0, 0x0102);
    FinsSession session(memory, 0xC8, 0xFB);
    const Bytes stream =
        concat(fromHex("46494e53 0000000c 00000000 00000000 00000000"),
               tcpFrame(2, fromHex("80 00 02 00 c8 00 00 00 ef 05 0101 82 0000 00 0001")));
    std::vector<SessionOutput> out;
    session.feed(stream.data(), stream.size(), &out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(toHex(out[0].reply),
              normHex("46494e53 00000010 00000001 00000000 000000fb 000000c8"));
    EXPECT_EQ(toHex(out[1].reply),
              normHex("46494e53 00000018 00000002 00000000 c0 00 02 00 fb ef 00 c8 00 05 "
                      "0101 0000 0102"));
    EXPECT_EQ(session.clientNode(), 0xFB);
}

// Message-size limits: 499 words fit a read and a write, 500 do not.
struct LimitRow {
    const char* request;
    size_t replySize;
    uint16_t endCode;
};

Bytes wordWrite(unsigned words) {
    Bytes m = fromHex(std::string(REQ_HEADER) + "0102 82 0000 00");
    m.push_back(static_cast<uint8_t>(words >> 8));
    m.push_back(static_cast<uint8_t>(words));
    m.insert(m.end(), 2 * words, 0x11);
    return m;
}

TEST(FinsSession, EnforcesTheCp1lMessageLimit) {
    const LimitRow rows[] = {
        {"0101 82 0000 00 01f3", 16 + 14 + 998, 0x0000}, // 499 words
        {"0101 82 0000 00 01f4", 16 + 14, 0x110B},       // 500 words
        {"0101 30 0000 00 03e6", 16 + 14 + 998, 0x0000}, // 998 bits
        {"0101 30 0000 00 03e7", 16 + 14, 0x110B},       // 999 bits
    };
    for (const LimitRow& row : rows) {
        Fixture f;
        f.handshake();
        const auto out = f.feed(tcpFrame(2, fromHex(std::string(REQ_HEADER) + row.request)));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].reply.size(), row.replySize) << row.request;
        EXPECT_EQ(out[0].info.endCode, row.endCode) << row.request;
    }
    Fixture f;
    f.handshake();
    auto ok = f.feed(tcpFrame(2, wordWrite(499)));
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_EQ(ok[0].info.endCode, 0x0000);
    EXPECT_EQ(f.memory.word(Area::D, 498), 0x1111);
    auto tooLong = f.feed(tcpFrame(2, wordWrite(500)));
    ASSERT_EQ(tooLong.size(), 1u);
    EXPECT_EQ(tooLong[0].info.endCode, 0x1001);
    EXPECT_EQ(f.memory.word(Area::D, 499), 0);
}

// The same stream split at every point, byte by byte, or packed, gives the same replies.
TEST(FinsSession, RepliesDoNotDependOnChunking) {
    const Bytes stream =
        concat(concat(nodeRequest(0x0A),
                      tcpFrame(2, fromHex(std::string(REQ_HEADER) + "0102 82 0010 00 0001 4242"))),
               tcpFrame(2, fromHex(std::string(REQ_HEADER) + "0101 82 0010 00 0001")));
    auto run = [&stream](const std::vector<size_t>& cuts) {
        PlcMemory memory;
        FinsSession session(memory, 1, 0xFB);
        std::vector<SessionOutput> out;
        size_t pos = 0;
        for (size_t cut : cuts) {
            session.feed(stream.data() + pos, cut - pos, &out);
            pos = cut;
        }
        session.feed(stream.data() + pos, stream.size() - pos, &out);
        Bytes all;
        for (const auto& o : out)
            all = concat(all, o.reply);
        return toHex(all);
    };
    const std::string packed = run({});
    EXPECT_EQ(packed,
              normHex("46494e53 00000010 00000001 00000000 0000000a 00000001"
                      "46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0102 0000"
                      "46494e53 00000018 00000002 00000000 c0000200 0a000001 0005 0101 0000 4242"));
    for (size_t cut = 1; cut < stream.size(); ++cut)
        EXPECT_EQ(run({cut}), packed) << "split at " << cut;
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size(); ++i)
        everyByte.push_back(i);
    EXPECT_EQ(run(everyByte), packed);
}

TEST(FinsSession, HandshakeAgainChangesTheNode) {
    Fixture f;
    f.handshake();
    auto out = f.feed(nodeRequest(0x20));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(f.session.clientNode(), 0x20);
    auto read = f.feed(tcpFrame(2, fromHex(std::string(REQ_HEADER) + "0101 82 0064 00 0001")));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].reply[16 + 4], 0x20); // DA1 of the response
}

} // namespace
