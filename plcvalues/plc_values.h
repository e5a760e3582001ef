// Typed PLC values in 16-bit words, laid out as Omron CPUs keep them: a 32- or 64-bit
// value with its lowest word at the lowest address, a text with its first character in
// the high byte of the first word. fins-host and fins-plcsim share it; no Qt.
#ifndef PLC_VALUES_H
#define PLC_VALUES_H

#include <cstdint>
#include <string>
#include <vector>

namespace plcvalues {

enum class DataType { Bool, Int, Uint, Dint, Udint, Lint, Ulint, Real, Lreal, Bcd, Lbcd, String };

// What one value of a tag is: its data type, a text's size and the word order.
struct ValueType {
    DataType type = DataType::Uint;
    int text_bytes = 0;   // STRING n: n bytes, two a word
    bool swapped = false; // highest word at the lowest address (PLCs programmed so)
};

// "REAL", "dint:swap", "STRING12" (any case); false with the reason.
bool parseValueType(const std::string& text, ValueType* out, std::string* error);
// The name parseValueType reads back: "REAL", "DINT:swap", "STRING12".
std::string valueTypeName(const ValueType& type);

// Words one value takes; 0 for BOOL, which is one bit or flag.
int wordsPerValue(const ValueType& type);

struct Value {
    enum Kind { Number, Text, Invalid } kind = Number;
    double number = 0; // exact for integers up to 2^53
    std::string text;  // "-1", "23.5", "NaN", "-inf", the text itself, "invalid BCD 0x12A4"
};

// One value from wordsPerValue(type) words in address order (BOOL: one word, the bit).
Value decodeValue(const ValueType& type, const uint16_t* words);

// One value's text into its words (appended in address order); false with the reason,
// nothing appended. Integers take decimal or 0x hex (the bits, up to the type's width),
// REAL/LREAL a decimal number, NaN or inf, BCD its decimal digits, STRING a text, in
// double quotes when it has blanks or commas at its ends ("\"" and "\\" inside).
bool encodeValue(const ValueType& type, const std::string& text, std::vector<uint16_t>* words,
                 std::string* error);

// "1, 2,3" or "\"A,B\",\"C\"": values split at commas outside double quotes, each trimmed.
std::vector<std::string> splitValueList(const std::string& text);

} // namespace plcvalues

#endif
