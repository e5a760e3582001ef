// Start-up memory values: the assignment syntax, whole files with every bad line
// reported, file-level errors, the demo animation, and the memory's area bounds.
#include <gtest/gtest.h>

#include <fstream>

#include "plcsim/memory_script.h"

using namespace plcsim;

namespace {

TEST(MemoryScript, ParsesAssignmentRows) {
    const struct {
        const char* text;
        Area area;
        uint32_t address;
        int bit;
        uint16_t value;
    } good[] = {
        {"D100=1234", Area::D, 100, -1, 1234},
        {"cio6143.15 = 1", Area::CIO, 6143, 15, 1},
        {"T5.flag = 1", Area::TimerFlag, 5, -1, 1},
        {"c7.FLAG = 0", Area::CounterFlag, 7, -1, 0},
        {"C7 = 42", Area::CounterPV, 7, -1, 42},
        {"T4095 = 0x10", Area::TimerPV, 4095, -1, 0x10},
        {"W511 = 0xFFFF", Area::W, 511, -1, 0xFFFF},
        {"H511 = 7", Area::H, 511, -1, 7},
        {"A959 = 1", Area::A, 959, -1, 1},
        {"DM20 = -1", Area::D, 20, -1, 0xFFFF},
        {"D0 = -32768", Area::D, 0, -1, 0x8000},
    };
    for (const auto& row : good) {
        MemoryAssignment a;
        std::string error;
        ASSERT_TRUE(parseAssignment(row.text, &a, &error)) << row.text << ": " << error;
        EXPECT_EQ(a.area, row.area) << row.text;
        EXPECT_EQ(a.address, row.address) << row.text;
        EXPECT_EQ(a.bit, row.bit) << row.text;
        EXPECT_EQ(a.value, row.value) << row.text;
    }
    for (const char* bad :
         {"X5 = 1", "D = 1", "D32768 = 1", "W512 = 1", "T4096 = 1", "CIO1.16 = 1", "CIO1.3 = 2",
          "T5.bit = 1", "T5.flag = 2", "D5", "D5 = 70000", "D5 = -32769", "D5 = abc", "D5 = "}) {
        MemoryAssignment a;
        EXPECT_FALSE(parseAssignment(bad, &a, nullptr)) << bad;
    }
}

TEST(MemoryScript, ReportsEveryBadLineAndAppliesTheGoodOnes) {
    PlcMemory memory;
    std::vector<std::string> errors;
    EXPECT_FALSE(loadMemoryText("\xEF\xBB\xBF"
                                "D100 = 1234   # a word\nD2 == 3\n\n  CIO10.03 = 1\r\nX5 = 1\n"
                                "T5.flag = 1\n",
                                "start.mem", memory, &errors));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "start.mem:2: bad value '= 3' (0 to 65535, -32768 to -1, or 0x hex)",
                          "start.mem:5: unknown address 'X5' (use CIO, W, H, A, D, T or C and a "
                          "number)"}));
    EXPECT_EQ(memory.word(Area::D, 100), 1234);
    EXPECT_EQ(memory.word(Area::CIO, 10), 0x0008);
    EXPECT_TRUE(memory.flag(Area::TimerFlag, 5));
}

TEST(MemoryScript, FileErrorsNameTheFileAndTheSystemsReason) {
    const std::string dir = ::testing::TempDir();
    PlcMemory memory;
    std::vector<std::string> errors;
    EXPECT_FALSE(loadMemoryFile(dir + "no-such.mem", memory, &errors));
    EXPECT_FALSE(loadMemoryFile(dir, memory, &errors));
    std::ofstream(dir + "good.mem") << "D7 = 7\n";
    EXPECT_TRUE(loadMemoryFile(dir + "good.mem", memory, &errors));
    EXPECT_EQ(errors, (std::vector<std::string>{dir + "no-such.mem: No such file or directory",
                                                dir + ": Is a directory"}));
    EXPECT_EQ(memory.word(Area::D, 7), 7);
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

TEST(PlcMemory, RefusesWhatLiesOutsideAnArea) {
    PlcMemory memory;
    std::vector<uint16_t> words;
    EXPECT_FALSE(memory.readWords(Area::D, 32767, 2, &words));
    EXPECT_TRUE(words.empty());
    EXPECT_FALSE(memory.writeWords(Area::W, 0xFFFFFFFFu, {1, 2})); // no wrap-around
    EXPECT_FALSE(memory.setWord(Area::TimerPV, 4096, 1));
    EXPECT_EQ(memory.word(Area::TimerPV, 4096), 0);
    memory.setWord(Area::TimerFlag, 3, 7); // a flag holds 0 or 1
    EXPECT_EQ(memory.word(Area::TimerFlag, 3), 1);
    EXPECT_FALSE(memory.writeBits(Area::W, 511, 0, std::vector<uint8_t>(17, 1)));
    EXPECT_TRUE(memory.writeBits(Area::W, 510, 8, std::vector<uint8_t>(24, 1)));
    EXPECT_EQ(memory.word(Area::W, 510), 0xFF00);
    EXPECT_EQ(memory.word(Area::W, 511), 0xFFFF);
}

} // namespace
