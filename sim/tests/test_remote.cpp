// Remote-mode requests: exact reply bytes, statuses, and the size-byte framing.
#include <gtest/gtest.h>

#include "plcsim/memory_script.h"
#include "plcsim/remote_handler.h"
#include "plcsim/session.h"
#include "plcsim/stream_framer.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

const char* const PRESET = "D100 = 0x1234\nD101 = 0xABCD\nCIO10 = 0x8005\nW5 = 0x00FF\n"
                           "A500 = 0x0304\nA10 = 0x0506\nT3 = 0x0100\nC7 = 42\nT3.flag = 1\n"
                           "C7.flag = 1\n";

struct RemoteRow {
    const char* name;
    const char* request;
    const char* reply;
    const char* check; // "NAME = VALUE" afterwards, or ""
};

const RemoteRow REMOTE_ROWS[] = {
    {"read D words", "1603000102000b00000064000400000000000000008f",
     "2b03000102000b000000640000000000000400100000001234abcd00000000000000000000000002720d0a", ""},
    {"read counter PVs", "1600000001000d00000007000100000000000000002c",
     "1f00000001000d00000007000000000000010004000000002a000000630d0a", ""},
    {"read timer PV", "1600000001000c000000030001000000000000000027",
     "1f00000001000c000000030000000000000100040000000100000000350d0a", ""},
    {"read CIO bit type as words", "160000000100000000000a0001000000000000000022",
     "1f0000000100000000000a0000000000000100040000008005000000b40d0a", ""},
    {"read timer flags", "16000000010005000000000004000000000000000020",
     "2300000001000500000000000000000000040008000000000000010000000000360d0a", ""},
    {"read counter flags", "16000000010006000000070001000000000000000025",
     "1d000000010006000000070000000000000100020000000100002f0d0a", ""},
    {"read W words", "16000000010008000000050001000000000000000025",
     "1f0000000100080000000500000000000001000400000000ff000001310d0a", ""},
    {"read A words", "1600000001000a000001f40001000000000000000017",
     "1f00000001000a000001f400000000000001000400000003040000012b0d0a", ""},
    {"write D words", "1a01010102000b000003e800020000000000000000341278562b",
     "1b01010102000b000003e800000000000002000000000001180d0a", "D1001 = 0x5678"},
    {"write W bit on", "17010100010001000000af0001000000000000000001cc",
     "1b010100010001000000af00000000000001000000000000cf0d0a", "W10 = 0x8000"},
    {"write CIO bit value 2 is off", "17010100010000000000a20001000000000000000002bf",
     "1b010100010000000000a200000000000001000000000000c10d0a", "CIO10 = 0x8001"},
    {"write H word", "180101000100090000000300010000000000000000efbed5",
     "1b01010001000900000003000000000000010000000000002b0d0a", "H3 = 0xbeef"},
    {"write counter PV", "1801010001000d0000000500010000000000000000630091",
     "1b01010001000d0000000500000000000001000000000000310d0a", "C5 = 0x63"},
    {"bad checksum read", "1603000102000b000000640004000000000000000090",
     "2b03000102000b000000640000000001000400100000000000000000000000000000000000000000b50d0a", ""},
    {"bad checksum write", "1a01010102000b000003e800020000000000000000341278562c",
     "1b01010102000b000003e800000000010002000000000001190d0a", "D1000 = 0"},
    {"unknown type read", "1600000001000e000000000001000000000000000026",
     "1f00000001000e000000000000000002000100040000000000000000350d0a", ""},
    {"read out of range", "1600000001000b00007fff00010000000000000000a1",
     "1f00000001000b00007fff0000000003000100040000000000000001b10d0a", ""},
    {"write flags refused", "1700010001000500000003000100000000000000000022",
     "1b00010001000500000003000000000400010000000000002a0d0a", "T3.flag = 1"},
    {"write read-only A", "1800010001000a0000000a0001000000000000000000002f",
     "1b00010001000a0000000a00000000040001000000000000360d0a", "A10 = 0x0506"},
    {"write value size mismatch", "1800010001000b000000640002000000000000000000008b",
     "1b00010001000b0000006400000000050002000000000000930d0a", "D100 = 0x1234"},
    {"write bit without value", "16000100010000000000000001000000000000000019",
     "1b0001000100000000000000000000050001000000000000230d0a", ""},
    {"write out of range", "1a000100010008000001ff000200000000000000000100020029",
     "1b000100010008000001ff000000000300020000000000012a0d0a", "W511 = 0"},
    {"unknown access", "1600020001000b000000640001000000000000000089",
     "1f00020001000b0000006400000000060001000400000000000000009c0d0a", ""},
};

void PrintTo(const RemoteRow& row, std::ostream* os) {
    *os << row.name;
}

class RemoteRows : public ::testing::TestWithParam<RemoteRow> {};

TEST_P(RemoteRows, AnswersWithExactBytes) {
    const RemoteRow& row = GetParam();
    PlcMemory memory;
    std::string error;
    ASSERT_TRUE(loadMemoryText(PRESET, "preset", memory, &error)) << error;
    RemoteSession session(memory);
    const Bytes request = fromHex(row.request);
    std::vector<SessionOutput> out;
    session.feed(request.data(), request.size(), &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(toHex(out[0].reply), normHex(row.reply));
    EXPECT_FALSE(out[0].closeAfter);
    if (*row.check) {
        MemoryAssignment a;
        ASSERT_TRUE(parseAssignment(row.check, &a, nullptr)) << row.check;
        const uint16_t actual =
            a.bit >= 0 ? memory.bit(a.area, a.address, a.bit) : memory.word(a.area, a.address);
        EXPECT_EQ(actual, a.value) << row.check;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RemoteRows, ::testing::ValuesIn(REMOTE_ROWS),
                         [](const ::testing::TestParamInfo<RemoteRow>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(RemoteReply, SizesMatchWhatTheDriverExpects) {
    // A read reply is 27 + D bytes: D = 2 x length for flag types, 4 x length otherwise.
    EXPECT_EQ(remoteReadDataSize(11, 4), 16u);
    EXPECT_EQ(remoteReadDataSize(5, 4), 8u);
    EXPECT_EQ(remoteReadDataSize(6, 1), 2u);
    EXPECT_EQ(remoteReadDataSize(0, 3), 12u);
    EXPECT_EQ(remoteReadDataSize(13, 0), 0u);
}

// A write of 117 words is 256 bytes long: its size byte is 0, and the framer takes the
// size from the register type and length instead.
Bytes bigWrite() {
    Bytes b = fromHex("00 00 01 00 01 000b 00000000 0075 00000000 00000000");
    for (int i = 0; i < 117; ++i) {
        b.push_back(static_cast<uint8_t>(i));
        b.push_back(0x80);
    }
    unsigned sum = 0;
    for (uint8_t x : b)
        sum += x;
    b.push_back(static_cast<uint8_t>(sum));
    return b;
}

TEST(RemoteFramer, SizeByteWrapsAt256) {
    const Bytes w = bigWrite();
    ASSERT_EQ(w.size(), 256u);
    EXPECT_EQ(remoteRequestSize(w.data()), 256u);
    PlcMemory memory;
    RemoteSession session(memory);
    std::vector<SessionOutput> out;
    session.feed(w.data(), w.size(), &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].info.endCode, 0u);
    EXPECT_EQ(memory.word(Area::D, 0), 0x8000);
    EXPECT_EQ(memory.word(Area::D, 116), 0x8074);
}

TEST(RemoteFramer, SizeRows) {
    struct Row {
        const char* head; // first 22 bytes
        size_t size;
    };
    const Row rows[] = {
        {"16 00 00 00 01 000b 00000064 0004 00000000 00000000 00", 22},
        {"18 00 01 00 01 000b 00000064 0001 00000000 00000000 00", 24},
        {"17 00 01 00 01 0000 00000064 0001 00000000 00000000 00", 23},
        // Size byte below 22 with nothing to explain it: the next size with that residue.
        {"05 00 00 00 01 000b 00000064 0004 00000000 00000000 00", 261},
        // A read's size byte says 22 whatever its length field.
        {"16 00 00 00 01 000b 00000064 0100 00000000 00000000 00", 22},
    };
    for (const Row& r : rows)
        EXPECT_EQ(remoteRequestSize(fromHex(r.head).data()), r.size) << r.head;
}

TEST(RemoteFramer, RepliesDoNotDependOnChunking) {
    Bytes stream;
    for (const RemoteRow& row : REMOTE_ROWS)
        stream = concat(stream, fromHex(row.request));
    auto run = [&stream](size_t chunk) {
        PlcMemory memory;
        std::string error;
        loadMemoryText(PRESET, "preset", memory, &error);
        RemoteSession session(memory);
        std::vector<SessionOutput> out;
        for (size_t pos = 0; pos < stream.size(); pos += chunk)
            session.feed(stream.data() + pos, std::min(chunk, stream.size() - pos), &out);
        Bytes all;
        for (const auto& o : out)
            all = concat(all, o.reply);
        return std::make_pair(out.size(), toHex(all));
    };
    const auto packed = run(stream.size());
    EXPECT_EQ(packed.first, sizeof REMOTE_ROWS / sizeof REMOTE_ROWS[0]);
    for (size_t chunk : {1u, 2u, 3u, 7u, 22u, 23u, 64u})
        EXPECT_EQ(run(chunk), packed) << "chunk " << chunk;
}

} // namespace
