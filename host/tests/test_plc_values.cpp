// Typed values in PLC words at their edges: each row encodes a text into words (in
// address order) and decodes those words back.
#include <gtest/gtest.h>

#include <cstdio>

#include "plc_values.h"

namespace plcvalues {
namespace {

ValueType typeOf(const std::string& name) {
    ValueType t;
    std::string error;
    EXPECT_TRUE(parseValueType(name, &t, &error)) << name << ": " << error;
    return t;
}

std::string hexWords(const std::vector<uint16_t>& words) {
    std::string out;
    for (uint16_t w : words) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%04X", out.empty() ? "" : " ", w);
        out += buf;
    }
    return out;
}

TEST(PlcValues, TextBecomesWordsAndWordsReadBack) {
    // type, text written, words in address order, text read back
    const char* const rows[][4] = {
        {"INT", "-32768", "8000", "-32768"},
        {"INT", "32767", "7FFF", "32767"},
        {"INT", "0xFFFF", "FFFF", "-1"}, // hex gives the bits
        {"UINT", "65535", "FFFF", "65535"},
        {"DINT", "100000", "86A0 0001", "100000"},
        {"DINT", "-2", "FFFE FFFF", "-2"},
        {"dint:swap", "100000", "0001 86A0", "100000"},
        {"UDINT", "4294967295", "FFFF FFFF", "4294967295"},
        {"LINT", "-9223372036854775808", "0000 0000 0000 8000", "-9223372036854775808"},
        {"ULINT", "18446744073709551615", "FFFF FFFF FFFF FFFF", "18446744073709551615"},
        {"REAL", "23.5", "0000 41BC", "23.5"},
        {"REAL", "+3.14", "F5C3 4048", "3.14"},
        {"REAL:swap", "23.5", "41BC 0000", "23.5"},
        {"REAL", "nan", "0000 7FC0", "NaN"},
        {"REAL", "-inf", "0000 FF80", "-inf"},
        {"LREAL", "0.1", "999A 9999 9999 3FB9", "0.1"},
        {"LREAL:swap", "-2", "C000 0000 0000 0000", "-2"},
        {"BCD", "9999", "9999", "9999"},
        {"BCD", "250", "0250", "250"},
        {"LBCD", "12345678", "5678 1234", "12345678"},
        {"STRING3", "ABC", "4142 4300", "ABC"},              // odd length: low byte 0
        {"STRING6", "AB", "4142 0000 0000", "AB"},           // padded with 0
        {"STRING4", "\"A,\\\"B\"", "412C 2242", "A,\"B"},    // quotes and escapes
        {"STRING6", "\" P 3 \"", "2050 2033 2000", " P 3 "}, // blanks kept in quotes
    };
    for (const auto& r : rows) {
        const ValueType t = typeOf(r[0]);
        std::vector<uint16_t> words;
        std::string error;
        ASSERT_TRUE(encodeValue(t, r[1], &words, &error)) << r[0] << " " << r[1] << ": " << error;
        EXPECT_EQ(hexWords(words), r[2]) << r[0] << " " << r[1];
        ASSERT_EQ(words.size(), static_cast<size_t>(wordsPerValue(t)));
        EXPECT_EQ(decodeValue(t, words.data()).text, r[3]) << r[0] << " " << r[2];
    }
}

TEST(PlcValues, WordsThatAreNoValueSayWhatTheyAre) {
    const uint16_t bad_bcd[] = {0x12A4}, lbcd[] = {0x0000, 0x00F0}, inf[] = {0x0000, 0x7F80},
                   text[] = {0x4100, 0x4200};
    EXPECT_EQ(decodeValue(typeOf("BCD"), bad_bcd).kind, Value::Invalid);
    EXPECT_EQ(decodeValue(typeOf("BCD"), bad_bcd).text, "invalid BCD 0x12A4");
    EXPECT_EQ(decodeValue(typeOf("LBCD"), lbcd).text, "invalid BCD 0x00F00000");
    EXPECT_EQ(decodeValue(typeOf("REAL"), inf).text, "inf");
    EXPECT_EQ(decodeValue(typeOf("STRING4"), text).text, "A"); // a text ends at its first 0
}

TEST(PlcValues, OutOfRangeTextIsRefusedWithItsReason) {
    const char* const rows[][3] = {
        {"INT", "40000", "INT takes -32768 to 32767 or 0x hex up to 0xFFFF, got '40000'"},
        {"INT", "-32769", "INT takes -32768 to 32767 or 0x hex up to 0xFFFF, got '-32769'"},
        {"INT", "0x10000", "INT takes -32768 to 32767 or 0x hex up to 0xFFFF, got '0x10000'"},
        {"UINT", "-1", "UINT takes 0 to 65535 or 0x hex up to 0xFFFF, got '-1'"},
        {"UDINT", "4294967296",
         "UDINT takes 0 to 4294967295 or 0x hex up to 0xFFFFFFFF, got '4294967296'"},
        {"DINT:swap", "1.5",
         "DINT:swap takes -2147483648 to 2147483647 or 0x hex up to 0xFFFFFFFF, got '1.5'"},
        {"BCD", "10000", "BCD takes 0 to 9999, got '10000'"},
        {"BCD", "-1", "BCD takes 0 to 9999, got '-1'"},
        {"LBCD", "0x10", "LBCD takes 0 to 99999999, got '0x10'"},
        {"REAL", "abc", "REAL takes a number within +-3.4e38, NaN or inf, got 'abc'"},
        {"REAL", "1e39", "REAL takes a number within +-3.4e38, NaN or inf, got '1e39'"},
        {"LREAL", "0x1p3", "LREAL takes a number, NaN or inf, got '0x1p3'"},
        {"STRING4", "PUMP 3", "'PUMP 3' is 6 bytes, STRING4 holds 4"},
        {"BOOL", "2", "BOOL takes 0 or 1, got '2'"},
    };
    for (const auto& r : rows) {
        std::vector<uint16_t> words;
        std::string error;
        EXPECT_FALSE(encodeValue(typeOf(r[0]), r[1], &words, &error)) << r[0] << " " << r[1];
        EXPECT_EQ(error, r[2]);
        EXPECT_TRUE(words.empty());
    }
}

TEST(PlcValues, TypeNamesAndValueLists) {
    const char* const names[][2] = {
        {"real", "REAL"},
        {"Dint:SWAP", "DINT:swap"},
        {"string12", "STRING12"},
        {"STRING", "STRING needs its size in bytes, 1 to 65536, e.g. STRING12"},
        {"STRING0", "STRING needs its size in bytes, 1 to 65536, e.g. STRING12"},
        {"float", "unknown data type 'float' (BOOL INT UINT DINT UDINT LINT ULINT REAL LREAL "
                  "BCD LBCD STRINGn)"},
        {"INT:swap", ":swap needs a type of two or more words, not INT"},
        {"STRING8:swap", ":swap needs a type of two or more words, not STRING"},
        {"DINT:le", "unknown option ':le' after the data type (only :swap)"},
    };
    for (const auto& n : names) {
        ValueType t;
        std::string error;
        const bool ok = parseValueType(n[0], &t, &error);
        EXPECT_EQ(ok ? valueTypeName(t) : error, n[1]);
    }
    EXPECT_EQ(splitValueList(" 1, 2,3 "), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(splitValueList("\"A,B\", \"C\\\",\""),
              (std::vector<std::string>{"\"A,B\"", "\"C\\\",\""}));
    EXPECT_EQ(splitValueList("1,"), (std::vector<std::string>{"1", ""}));
    EXPECT_TRUE(splitValueList("  ").empty());
}

} // namespace
} // namespace plcvalues
