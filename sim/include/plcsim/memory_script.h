// Start-up memory values from text: "D100 = 1234", "CIO10.03 = 1", "T5.flag = 1",
// "C7 = 42", typed values ("D310:REAL = 23.5", "D300:STRING12 = \"PUMP 3\"", "T5:BCD = 250")
// and lists of consecutive values ("D200 = 11, 22"); comments after '#'. Plus the demo
// animation.
#ifndef PLCSIM_MEMORY_SCRIPT_H
#define PLCSIM_MEMORY_SCRIPT_H

#include <cstdint>
#include <string>
#include <vector>

#include "plcsim/plc_memory.h"

namespace plcsim {

struct MemoryAssignment {
    Area area = Area::D;
    uint32_t address = 0;
    int bit = -1;                // 0..15 for a bit of a word area, -1 for a whole word or a flag
    std::vector<uint16_t> words; // from the address on; one 0 or 1 for a bit or a flag
};

// One "NAME[:TYPE] = VALUE[, VALUE...]" (spaces optional). Without a type a VALUE is one
// word: decimal, 0x hex, or -32768..-1; with one (words only), a value of that type.
bool parseAssignment(const std::string& text, MemoryAssignment* out, std::string* error);
void applyAssignment(PlcMemory& memory, const MemoryAssignment& a);
// Whole text, one assignment per line: good lines are applied, and every bad line is
// reported as "source:line: reason". False when any line was bad.
bool loadMemoryText(const std::string& text, const std::string& source, PlcMemory& memory,
                    std::vector<std::string>* errors);
// As above; a file that cannot be read gives "path: <system's reason>".
bool loadMemoryFile(const std::string& path, PlcMemory& memory, std::vector<std::string>* errors);

// The demo animation: D0 counts up by one (wrapping), CIO 0.00 toggles, a REAL temperature
// in D310-D311 follows a slow wave between 18 and 25 and a DINT total in D320-D321 grows
// by 7 a step.
constexpr uint32_t ANIMATE_COUNTER_WORD = 0;
constexpr uint32_t ANIMATE_TEMPERATURE_WORD = 310;
constexpr uint32_t ANIMATE_TOTAL_WORD = 320;
void animateStep(PlcMemory& memory);

} // namespace plcsim

#endif
