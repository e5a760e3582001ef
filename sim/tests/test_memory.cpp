// Start-up memory values: the assignment syntax, whole files with every bad line
// reported, and the demo animation. File-level errors: test_program.cpp.
#include <gtest/gtest.h>

#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

TEST(PlcsimMemory, AppliesGoodLinesAndReportsEveryBadOne) {
    PlcMemory memory;
    std::vector<std::string> errors;
    EXPECT_FALSE(loadMemoryText("\xEF\xBB\xBF"
                                "D100=1234   # a word\nD2 == 3\n\n  cio6143.15 = 1\r\nX5 = 1\n"
                                "T5.flag = 1\nc7.FLAG = 1\nC7 = 42\nT4095 = 0x10\nA959 = 1\n"
                                "DM20 = -1\nD21 = -32768\nW511 = 0xFFFF\n",
                                "start.mem", memory, &errors));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "start.mem:2: bad value '= 3' (0 to 65535, -32768 to -1, or 0x hex)",
                          "start.mem:5: unknown address 'X5' (use CIO, W, H, A, D, T or C and a "
                          "number)"}));
    for (const char* check :
         {"D100 = 1234", "CIO6143 = 0x8000", "T5.flag = 1", "C7.flag = 1", "C7 = 42", "T4095 = 16",
          "A959 = 1", "D20 = 0xFFFF", "D21 = 0x8000", "W511 = 0xFFFF"})
        expectMemory(memory, check);
    for (const char* bad :
         {"D = 1", "D32768 = 1", "W512 = 1", "H512 = 1", "T4096 = 1", "CIO1.16 = 1", "CIO1.3 = 2",
          "T5.bit = 1", "T5.flag = 2", "D5", "D5 = 70000", "D5 = -32769", "D5 = abc", "D5 = "}) {
        MemoryAssignment a;
        std::string error;
        EXPECT_TRUE(!parseAssignment(bad, &a, &error) && !error.empty()) << bad;
    }
}

TEST(PlcsimMemory, AnimationCountsAndToggles) {
    PlcMemory memory;
    memory.setWord(Area::D, ANIMATE_COUNTER_WORD, 0xFFFF);
    animateStep(memory);
    EXPECT_EQ(memory.word(Area::D, ANIMATE_COUNTER_WORD), 0);
    EXPECT_TRUE(memory.bit(Area::CIO, 0, 0));
    animateStep(memory);
    EXPECT_FALSE(memory.bit(Area::CIO, 0, 0));
}

} // namespace
