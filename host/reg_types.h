// The host's view of the driver's register types: the mnemonics a tag file uses,
// the unit of each type and the size of the PLC area behind it.
#ifndef FINS_HOST_REG_TYPES_H
#define FINS_HOST_REG_TYPES_H

#include <string>

namespace fhost {

enum class TagUnit { Bit, Flag, Word };

struct TagType {
    int code;             // register-type code handed to the driver, 0..13
    const char* mnemonic; // as written in a tag file, e.g. "CIO.bit", "D", "T.flag"
    TagUnit unit;
    int area_words; // words of the area (timers/counters for flags and present values)
};

// Entry for a register-type code, or nullptr when the code names no PLC area.
const TagType* tagTypeByCode(int code);
// Entry for a mnemonic (case-insensitive) or a number 0..13, or nullptr.
const TagType* tagTypeByName(const std::string& text);

} // namespace fhost

#endif
