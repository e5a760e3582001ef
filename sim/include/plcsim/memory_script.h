// Start-up memory values from text: "D100 = 1234", "CIO10.03 = 1", "T5.flag = 1",
// "C7 = 42", comments after '#'. Plus the demo animation.
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
    int bit = -1; // 0..15 for a bit of a word area, -1 for a whole word or a flag
    uint16_t value = 0;
};

// One "NAME = VALUE" (spaces optional); VALUE decimal, 0x hex, or -32768..-1.
bool parseAssignment(const std::string& text, MemoryAssignment* out, std::string* error);
void applyAssignment(PlcMemory& memory, const MemoryAssignment& a);
// Whole text, one assignment per line: good lines are applied, and every bad line is
// reported as "source:line: reason". False when any line was bad.
bool loadMemoryText(const std::string& text, const std::string& source, PlcMemory& memory,
                    std::vector<std::string>* errors);
// As above; a file that cannot be read gives "path: <system's reason>".
bool loadMemoryFile(const std::string& path, PlcMemory& memory, std::vector<std::string>* errors);

// The demo animation: D0 counts up by one (wrapping) and CIO 0.00 toggles.
constexpr uint32_t ANIMATE_COUNTER_WORD = 0;
void animateStep(PlcMemory& memory);

} // namespace plcsim

#endif
