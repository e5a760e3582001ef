// Memory start-up values: names, values, errors, whole files; and the memory itself.
#include <gtest/gtest.h>

#include "plcsim/memory_script.h"

using namespace plcsim;

namespace {

struct AssignRow {
    const char* text;
    bool ok;
    Area area;
    uint32_t address;
    int bit;
    uint16_t value;
};

const AssignRow ASSIGN_ROWS[] = {
    {"D100 = 1234", true, Area::D, 100, -1, 1234},
    {"D100=1234", true, Area::D, 100, -1, 1234},
    {"CIO10.03 = 1", true, Area::CIO, 10, 3, 1},
    {"cio6143.15 = 0", true, Area::CIO, 6143, 15, 0},
    {"T5.flag = 1", true, Area::TimerFlag, 5, -1, 1},
    {"c7.FLAG = 0", true, Area::CounterFlag, 7, -1, 0},
    {"C7 = 42", true, Area::CounterPV, 7, -1, 42},
    {"T4095 = 0x10", true, Area::TimerPV, 4095, -1, 0x10},
    {"W5 = 0xFFFF", true, Area::W, 5, -1, 0xFFFF},
    {"H511 = 7", true, Area::H, 511, -1, 7},
    {"A959 = 1", true, Area::A, 959, -1, 1},
    {"DM20 = 3", true, Area::D, 20, -1, 3},
    {"D0 = -1", true, Area::D, 0, -1, 0xFFFF},
    {"D0 = -32768", true, Area::D, 0, -1, 0x8000},
    {"X5 = 1", false, Area::D, 0, -1, 0},
    {"D = 1", false, Area::D, 0, -1, 0},
    {"D32768 = 1", false, Area::D, 0, -1, 0},
    {"W512 = 1", false, Area::D, 0, -1, 0},
    {"T4096 = 1", false, Area::D, 0, -1, 0},
    {"CIO1.16 = 1", false, Area::D, 0, -1, 0},
    {"CIO1.3 = 2", false, Area::D, 0, -1, 0},
    {"T5.bit = 1", false, Area::D, 0, -1, 0},
    {"T5.flag = 2", false, Area::D, 0, -1, 0},
    {"D5", false, Area::D, 0, -1, 0},
    {"D5 = 70000", false, Area::D, 0, -1, 0},
    {"D5 = -32769", false, Area::D, 0, -1, 0},
    {"D5 = abc", false, Area::D, 0, -1, 0},
    {"D5 = ", false, Area::D, 0, -1, 0},
};

TEST(MemoryScript, AssignmentRows) {
    for (const AssignRow& row : ASSIGN_ROWS) {
        MemoryAssignment a;
        std::string error;
        const bool ok = parseAssignment(row.text, &a, &error);
        ASSERT_EQ(ok, row.ok) << row.text << ": " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << row.text;
            continue;
        }
        EXPECT_EQ(a.area, row.area) << row.text;
        EXPECT_EQ(a.address, row.address) << row.text;
        EXPECT_EQ(a.bit, row.bit) << row.text;
        EXPECT_EQ(a.value, row.value) << row.text;
    }
}

TEST(MemoryScript, LoadsTextWithCommentsAndBits) {
    PlcMemory memory;
    std::string error;
    ASSERT_TRUE(loadMemoryText("# start values\n\nD100 = 1234   # a word\n  CIO10.03 = 1\n"
                               "CIO10.15 = 1\nT5.flag = 1\nC7 = 42\n",
                               "m", memory, &error))
        << error;
    EXPECT_EQ(memory.word(Area::D, 100), 1234);
    EXPECT_EQ(memory.word(Area::CIO, 10), 0x8008);
    EXPECT_TRUE(memory.flag(Area::TimerFlag, 5));
    EXPECT_FALSE(memory.flag(Area::CounterFlag, 5));
    EXPECT_EQ(memory.word(Area::CounterPV, 7), 42);
}

TEST(MemoryScript, ErrorNamesSourceAndLine) {
    PlcMemory memory;
    std::string error;
    EXPECT_FALSE(loadMemoryText("D1 = 1\n# fine\nD2 == 3\n", "start.mem", memory, &error));
    EXPECT_EQ(error.rfind("start.mem:3: ", 0), 0u) << error;
    EXPECT_FALSE(loadMemoryFile("/nonexistent/plcsim.mem", memory, &error));
    EXPECT_NE(error.find("cannot open memory file"), std::string::npos);
}

TEST(MemoryScript, AnimationCountsAndToggles) {
    PlcMemory memory;
    memory.setWord(Area::D, ANIMATE_COUNTER_WORD, 0xFFFF);
    animateStep(memory);
    EXPECT_EQ(memory.word(Area::D, ANIMATE_COUNTER_WORD), 0);
    EXPECT_TRUE(memory.bit(Area::CIO, 0, 0));
    animateStep(memory);
    EXPECT_EQ(memory.word(Area::D, ANIMATE_COUNTER_WORD), 1);
    EXPECT_FALSE(memory.bit(Area::CIO, 0, 0));
}

TEST(PlcMemory, SizesAndBounds) {
    struct Row {
        Area area;
        uint32_t size;
    };
    const Row rows[] = {
        {Area::CIO, 6144},       {Area::W, 512},          {Area::H, 512},
        {Area::A, 960},          {Area::D, 32768},        {Area::TimerPV, 4096},
        {Area::CounterPV, 4096}, {Area::TimerFlag, 4096}, {Area::CounterFlag, 4096}};
    PlcMemory memory;
    for (const Row& r : rows) {
        EXPECT_EQ(areaSize(r.area), r.size) << areaName(r.area);
        EXPECT_TRUE(memory.setWord(r.area, r.size - 1, 1)) << areaName(r.area);
        EXPECT_FALSE(memory.setWord(r.area, r.size, 1)) << areaName(r.area);
        EXPECT_EQ(memory.word(r.area, r.size), 0) << areaName(r.area);
        std::vector<uint16_t> words;
        EXPECT_FALSE(memory.readWords(r.area, r.size - 1, 2, &words));
        EXPECT_TRUE(words.empty());
        EXPECT_FALSE(memory.readWords(r.area, 0xFFFFFFFFu, 2, &words));
        EXPECT_FALSE(memory.writeWords(r.area, 0xFFFFFFFFu, {1, 2}));
    }
    EXPECT_TRUE(isReadOnly(Area::A, 447));
    EXPECT_FALSE(isReadOnly(Area::A, 448));
    EXPECT_FALSE(isReadOnly(Area::D, 0));
    // Flags hold 0 or 1 whatever is written.
    memory.setWord(Area::TimerFlag, 3, 7);
    EXPECT_EQ(memory.word(Area::TimerFlag, 3), 1);
    std::vector<uint8_t> bits;
    EXPECT_FALSE(memory.readBits(Area::CIO, 6143, 15, 2, &bits));
    EXPECT_TRUE(memory.readBits(Area::CIO, 6143, 15, 1, &bits));
    EXPECT_FALSE(memory.writeBits(Area::W, 511, 0, std::vector<uint8_t>(17, 1)));
    EXPECT_TRUE(memory.writeBits(Area::W, 510, 8, std::vector<uint8_t>(24, 1)));
    EXPECT_EQ(memory.word(Area::W, 510), 0xFF00);
    EXPECT_EQ(memory.word(Area::W, 511), 0xFFFF);
}

} // namespace
