#include <gtest/gtest.h>

#include <tuple>

#include "tag_file.h"
#include "tag_values.h"

namespace fhost {
namespace {

Tag tag(const char* line) {
    Tag t;
    std::string reason;
    EXPECT_EQ(parseTagLine(line, &t, &reason), LineKind::Tag) << reason;
    return t;
}

// line, name, reg_type, address text, length, station
using GoodLine = std::tuple<const char*, const char*, int, const char*, int, int>;

TEST(TagLine, GoodLinesGiveTheirFields) {
    const GoodLine rows[] = {
        {"speed D 100", "speed", 11, "100", 1, DEFAULT_STATION},
        {"  recipe   d  200  10  2  # ten words", "recipe", 11, "200", 10, 2},
        {"lamps cio.BIT 10.3 16", "lamps", 0, "10.3", 16, DEFAULT_STATION},
        {"w1 W.bit 511.15", "w1", 1, "511.15", 1, DEFAULT_STATION},
        {"h_b H.bit 0.00 4 0", "h_b", 2, "0.00", 4, 0},
        {"a-bit A.bit 959.15", "a-bit", 3, "959.15", 1, DEFAULT_STATION},
        {"dbit D.bit 32767.0 16", "dbit", 4, "32767.0", 16, DEFAULT_STATION},
        {"tdone T.flag 5", "tdone", 5, "5", 1, DEFAULT_STATION},
        {"cdone C.flag 4095", "cdone", 6, "4095", 1, DEFAULT_STATION},
        {"io CIO 6143", "io", 7, "6143", 1, DEFAULT_STATION},
        {"work W 0 512", "work", 8, "0", 512, DEFAULT_STATION},
        {"hold H 10", "hold", 9, "10", 1, DEFAULT_STATION},
        {"aux A 448 512", "aux", 10, "448", 512, DEFAULT_STATION},
        {"tpv T 0 4096", "tpv", 12, "0", 4096, DEFAULT_STATION},
        {"cpv C 7 1 254", "cpv", 13, "7", 1, 254},
        {"by_code 11 100 2", "by_code", 11, "100", 2, DEFAULT_STATION},
        {"by_code0 0 1.01", "by_code0", 0, "1.01", 1, DEFAULT_STATION},
        {"_x.y-z\tD\t7\t3", "_x.y-z", 11, "7", 3, DEFAULT_STATION},
    };
    for (const GoodLine& r : rows) {
        Tag t;
        std::string reason;
        const char* line = std::get<0>(r);
        ASSERT_EQ(parseTagLine(line, &t, &reason), LineKind::Tag) << line << ": " << reason;
        EXPECT_EQ(std::tie(line, t.name, t.reg_type, t.addr_text, t.length, t.station), r);
    }
}

// A data type after the register type: the length counts its values, the driver reads
// their words.
TEST(TagLine, DataTypesCountValuesOfTheirSize) {
    const char* const rows[][2] = {
        // line, data type, values, elements (words, bits or flags)
        {"w D 7", "UINT 1 1"},
        {"temp D:REAL 310", "REAL 1 2"},
        {"total d:dint:SWAP 320 3", "DINT:swap 3 6"},
        {"name D:STRING11 300 2", "STRING11 2 12"},
        {"lamps CIO.bit:bool 10.00 8", "BOOL 8 8"},
        {"done T.flag 5 2", "BOOL 2 2"},
        {"big D:LREAL 32764", "LREAL 1 4"},
    };
    for (const auto& r : rows) {
        const Tag t = tag(r[0]);
        EXPECT_EQ(plcvalues::valueTypeName(t.value_type) + " " + std::to_string(t.values) + " " +
                      std::to_string(t.length),
                  r[1])
            << r[0];
    }
}

TEST(TagLine, BadLinesGiveTheirReason) {
    const std::pair<const char*, const char*> rows[] = {
        {"speed", "missing register type and address"},
        {"speed D", "missing address"},
        {"speed D 100 1 1 extra", "too many fields: name type address [length] [station]"},
        {"9lives D 1", "bad name '9lives': letters, digits, _ . - (a letter or _ first)"},
        {"a/b D 1", "bad name 'a/b': letters, digits, _ . - (a letter or _ first)"},
        {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklm D 1",
         "name 'abcdefghijklmnop...' is 65 characters long; at most 64"},
        {"x 14 1", "unknown register type '14'"},
        {"x DM 1", "unknown register type 'DM'"},
        {"x CIO.bit 10.16", "bit number 16 in '10.16' must be 0-15"},
        {"x CIO.bit 10.003", "bad bit address '10.003': expected word.bit, e.g. 10.03"},
        {"x W.bit 512.0", "address 512.0 is outside W.bit (0-511)"},
        {"x D 10.5", "bad address '10.5': expected a plain number"},
        {"x A 960", "address 960 is outside A (0-959)"},
        {"x D 1234567890", "bad address '1234567890': expected a plain number"},
        {"x D 100 two", "length 'two' must be a whole number of at least 1"},
        {"x CIO.bit 6143.15 2", "length 2 runs past the end of CIO.bit (0-6143)"},
        {"x C 4095 2", "length 2 runs past the end of C (0-4095)"},
        {"x D 1 1 255", "station '255' must be 0-254"},
        {"x D:FLOAT 1", "unknown data type 'FLOAT' (BOOL INT UINT DINT UDINT LINT ULINT REAL "
                        "LREAL BCD LBCD STRINGn)"},
        {"x D:INT:swap 1", ":swap needs a type of two or more words, not INT"},
        {"x D:BOOL 1", "D holds words: BOOL is for bit and flag tags"},
        {"x CIO.bit:INT 1.00", "CIO.bit holds bits: only BOOL"},
        {"x D:REAL 32767", "length 1 of REAL (2 words) runs past the end of D (0-32767)"},
        {"x D:STRING20 32760 2",
         "length 2 of STRING20 (20 words) runs past the end of D (0-32767)"},
    };
    for (const auto& r : rows) {
        Tag t;
        std::string reason;
        EXPECT_EQ(parseTagLine(r.first, &t, &reason), LineKind::Error) << r.first;
        EXPECT_EQ(reason, r.second) << r.first;
    }
}

// Line numbers count every line, blank and comment lines too; Windows line ends are accepted.
TEST(TagText, ErrorsCarryTheirLineNumbersAndEveryGoodLineIsKept) {
    TagFile f = parseTagText("# screen\r\nspeed D 100\r\n\n \t\n  # note\nlamp CIO.bit 10\n"
                             "speed W 1\ncount C 7 2\r\nx D 1 0\n");
    ASSERT_EQ(f.errors.size(), 3u);
    EXPECT_EQ(describe(f.errors[0]), "line 6: bit address '10' needs word.bit, e.g. 10.03");
    EXPECT_EQ(describe(f.errors[1]), "line 7: duplicate name 'speed' (first on line 2)");
    EXPECT_EQ(describe(f.errors[2]), "line 9: length '0' must be a whole number of at least 1");
    ASSERT_EQ(f.tags.size(), 2u);
    EXPECT_EQ(
        std::tie(f.tags[0].name, f.tags[0].line, f.tags[1].name, f.tags[1].line, f.tags[1].length),
        std::make_tuple("speed", 2, "count", 8, 2));
}

TEST(WriteValues, TextBecomesTheDriversHostOrderBuffer) {
    // tag, value, buffer in host order (one byte per bit, words low byte first) x count
    const char* const rows[][3] = {
        {"w D 100", "1234", "D2 04 x1"},
        {"w D 100", "0XbeEF", "EF BE x1"},
        {"w D 100", "-32768", "00 80 x1"}, // without a data type: a word, as before types
        {"i D:INT 100", "-1", "FF FF x1"},
        {"w D 100", "65535", "FF FF x1"},
        {"w D 100", "010", "0A 00 x1"}, // a leading zero is still decimal
        {"w D 100 3", "1, 2", "01 00 02 00 x2"},
        {"w T 5 3", "1,0x10,300", "01 00 10 00 2C 01 x3"},
        {"r D:REAL 310 2", "23.5,-1", "00 00 BC 41 00 00 80 BF x4"},
        {"s D:STRING5 300", "AB", "42 41 00 00 00 00 x3"}, // padded to the whole text
        {"p T:BCD 5", "250", "50 02 x1"},
        {"b CIO.bit 1.02 4", "1,0,1,1", "01 00 01 01 x4"},
        {"t T.flag 3", "1", "01 x1"}, // flags take 0/1 like bits (the driver refuses the write)
    };
    for (const auto& r : rows) {
        QByteArray buffer;
        int count = 0;
        std::string error;
        ASSERT_TRUE(parseWriteValues(tag(r[0]), r[1], &buffer, &count, &error)) << error;
        EXPECT_EQ(buffer.toHex(' ').toUpper().toStdString() + " x" + std::to_string(count), r[2])
            << r[0] << " = " << r[1];
    }
}

TEST(WriteValues, BadTextIsRefusedWithItsReason) {
    const char* const rows[][3] = {
        // tag, value, error
        {"w D 100", "-32769", "bad value '-32769' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100 2", "1,", "bad value '' for 'w': a number -32768..65535 (or 0x hex)"},
        {"u D:UINT 100", "-1",
         "bad value for 'u': UINT takes 0 to 65535 or 0x hex up to 0xFFFF, got '-1'"},
        {"w D 100", "1,2", "'w' takes 1 to 1 value(s), got '1,2'"},
        {"i D:INT 100", "40000",
         "bad value for 'i': INT takes -32768 to 32767 or 0x hex up to 0xFFFF, got '40000'"},
        {"r D:REAL 310", "warm",
         "bad value for 'r': REAL takes a number within +-3.4e38, NaN or inf, got 'warm'"},
        {"s D:STRING4 300", "\"PUMP 3\"",
         "bad value for 's': 'PUMP 3' is 6 bytes, STRING4 holds 4"},
        {"b CIO.bit 1.02", "2", "bad value for 'b': BOOL takes 0 or 1, got '2'"},
    };
    for (const auto& r : rows) {
        QByteArray buffer;
        int count = 0;
        std::string error;
        EXPECT_FALSE(parseWriteValues(tag(r[0]), r[1], &buffer, &count, &error)) << r[1];
        EXPECT_EQ(error, r[2]);
    }
}

TEST(ReadValues, BuffersDecodeByUnitMissingBytesReadAsZeroAndLongTagsAreCut) {
    EXPECT_EQ(decodeValues(tag("w D 0 2"), QByteArray::fromHex("3412FFFF"), 2),
              (std::vector<int>{0x1234, 0xFFFF}));
    EXPECT_EQ(decodeValues(tag("w D 0 2"), QByteArray::fromHex("3412FF"), 2),
              (std::vector<int>{0x1234, 0}));
    EXPECT_EQ(decodeValues(tag("b CIO.bit 0.00 3"), QByteArray::fromHex("0100"), 3),
              (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(decodeValues(tag("f C.flag 0 2"), QByteArray::fromHex("0001"), 2),
              (std::vector<int>{0, 1}));
    // Typed values from the elements; an incomplete last value is left out.
    auto texts = [](const Tag& t, const std::vector<int>& elements) {
        std::string out;
        for (const plcvalues::Value& v : typedValues(t, elements))
            out += "[" + v.text + "]";
        return out;
    };
    EXPECT_EQ(texts(tag("r D:REAL 310 2"), {0, 0x41BC, 0, 0xBF80}), "[23.5][-1]");
    EXPECT_EQ(texts(tag("r D:REAL 310 2"), {0, 0x41BC, 0}), "[23.5]");
    EXPECT_EQ(texts(tag("s D:STRING3 300"), {0x4142, 0x4300}), "[ABC]");
    EXPECT_EQ(texts(tag("b CIO.bit 0.00 2"), {1, 0}), "[1][0]");
    auto shown = [](const char* line, const std::vector<int>& elements, size_t max_shown) {
        const Tag t = tag(line);
        return formatTypedValues(t, typedValues(t, elements), max_shown);
    };
    EXPECT_EQ(shown("w D 0 2", {1750, 65535}, 8), "1750 (0x06D6)  65535 (0xFFFF)");
    EXPECT_EQ(shown("i D:INT 0 3", {1750, 65535, 2}, 2), "1750  -1 ... (1 more)");
    EXPECT_EQ(shown("s D:STRING4 0", {0x4122, 0x5C00}, 8), "\"A\\\"\\\\\"");
    EXPECT_EQ(shown("p T:BCD 5", {0x12A4}, 8), "invalid BCD 0x12A4");
    EXPECT_EQ(shown("b CIO.bit 0.00 4", {1, 0, 1, 1}, 8), "1 0 1 1");
    // Where each value starts, for continuation lines.
    EXPECT_EQ(valueAddressText(tag("r D:REAL 1000 5"), 4), "1008");
    EXPECT_EQ(valueAddressText(tag("b CIO.bit 10.14 4"), 3), "11.01");
    EXPECT_EQ(valueAddressText(tag("f T.flag 13 3"), 2), "15");
    EXPECT_EQ(shown("b CIO.bit 0.00 4", {1, 0, 1, 1}, 2), "1 0 ... (2 more)");
}

} // namespace
} // namespace fhost
