// Remote-mode requests as exact bytes, good and refused side by side, and the size-byte
// framing (sizes that wrap at 256, any chunking).
#include <gtest/gtest.h>

#include "plcsim/memory_script.h"
#include "plcsim/session.h"
#include "plcsim/stream_framer.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

const char* const PRESET = "D100 = 0x1234\nD101 = 0xABCD\nCIO10 = 0x8005\nA500 = 0x0304\n"
                           "A10 = 0x0506\nC7 = 42\nT3.flag = 1\nC7.flag = 1\n";

struct RemoteRow {
    const char* request;
    const char* reply;
    const char* check; // memory afterwards, or ""
};

const RemoteRow REMOTE_ROWS[] = {
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
    {"1600000001000d00000007000100000000000000002c",
     "1f00000001000d00000007000000000000010004000000002a000000630d0a", ""},
    {"160000000100000000000a0001000000000000000022", // bit type: the word
     "1f0000000100000000000a0000000000000100040000008005000000b40d0a", ""},
    {"16000000010005000000000004000000000000000020",
     "2300000001000500000000000000000000040008000000000000010000000000360d0a", ""},
    {"16000000010006000000070001000000000000000025",
     "1d000000010006000000070000000000000100020000000100002f0d0a", ""},
    {"1600000001000a000001f40001000000000000000017",
     "1f00000001000a000001f400000000000001000400000003040000012b0d0a", ""},
    {"1a01010102000b000003e800020000000000000000341278562b",
     "1b01010102000b000003e800000000000002000000000001180d0a", "D1001 = 0x5678"},
    {"1a000100010008000001ff000200000000000000000100020029",
     "1b000100010008000001ff000000000300020000000000012a0d0a", "W511 = 0"},
    {"1800010001000b000000640002000000000000000000008b",
     "1b00010001000b0000006400000000050002000000000000930d0a", "D100 = 0x1234"},
    {"17010100010001000000af0001000000000000000001cc",
     "1b010100010001000000af00000000000001000000000000cf0d0a", "W10.15 = 1"},
    {"17010100010000000000a20001000000000000000002bf", // value 2 clears
     "1b010100010000000000a200000000000001000000000000c10d0a", "CIO10 = 0x8001"},
    {"1801010001000d0000000500010000000000000000630091",
     "1b01010001000d0000000500000000000001000000000000310d0a", "C5 = 0x63"},
    {"1700010001000500000003000100000000000000000022",
     "1b00010001000500000003000000000400010000000000002a0d0a", "T3.flag = 1"},
    {"1800010001000a0000000a0001000000000000000000002f",
     "1b00010001000a0000000a00000000040001000000000000360d0a", "A10 = 0x0506"},
};

struct Plc {
    PlcMemory memory;
    RemoteSession session{memory};
    Plc() { EXPECT_TRUE(loadMemoryText(PRESET, "preset", memory, nullptr)); }
};

TEST(RemoteSession, AnswersEveryRowWithExactBytes) {
    for (const RemoteRow& row : REMOTE_ROWS) {
        Plc plc;
        EXPECT_EQ(replies(plc.session, fromHex(row.request)), normHex(row.reply)) << row.request;
        if (!*row.check) continue;
        MemoryAssignment a;
        ASSERT_TRUE(parseAssignment(row.check, &a, nullptr));
        EXPECT_EQ(a.bit >= 0 ? plc.memory.bit(a.area, a.address, a.bit)
                             : plc.memory.word(a.area, a.address),
                  a.value)
            << row.check;
    }
}

TEST(RemoteSession, RepliesDoNotDependOnChunking) {
    Bytes stream;
    std::string expected;
    for (const RemoteRow& row : REMOTE_ROWS) {
        const Bytes request = fromHex(row.request);
        stream.insert(stream.end(), request.begin(), request.end());
        expected += normHex(row.reply);
    }
    for (size_t chunk : {1u, 7u, 23u}) {
        std::vector<size_t> cuts;
        for (size_t cut = chunk; cut < stream.size(); cut += chunk)
            cuts.push_back(cut);
        Plc plc;
        EXPECT_EQ(replies(plc.session, stream, cuts), expected) << "chunk " << chunk;
    }
}

TEST(RemoteFramer, TakesTheSizeFromByteZeroOrTheWrite) {
    const struct {
        const char* head; // the first 22 bytes
        size_t size;
    } rows[] = {
        {"18 00 01 00 01 000b 00000064 0001 00000000 00000000 00", 24},
        {"17 00 01 00 01 0000 00000064 0001 00000000 00000000 00", 23},
        {"05 00 00 00 01 000b 00000064 0004 00000000 00000000 00", 261},
        {"16 00 00 00 01 000b 00000064 0100 00000000 00000000 00", 22},  // a read
        {"00 00 01 00 01 000b 00000000 0075 00000000 00000000 00", 256}, // 117 words
    };
    for (const auto& row : rows)
        EXPECT_EQ(remoteRequestSize(fromHex(row.head).data()), row.size) << row.head;
    // That 256-byte write, whose size byte is 0, is taken whole.
    Bytes write = fromHex(rows[4].head);
    write.pop_back();
    for (int i = 0; i < 117; ++i)
        write.insert(write.end(), {static_cast<uint8_t>(i), 0x80});
    unsigned sum = 0;
    for (uint8_t b : write)
        sum += b;
    write.push_back(static_cast<uint8_t>(sum));
    Plc plc;
    EXPECT_EQ(replies(plc.session, write).substr(24, 8), "00000000");
    EXPECT_EQ(plc.memory.word(Area::D, 0), 0x8000);
    EXPECT_EQ(plc.memory.word(Area::D, 116), 0x8074);
}

} // namespace
