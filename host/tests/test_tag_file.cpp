#include <gtest/gtest.h>

#include "tag_file.h"

namespace fhost {
namespace {

struct GoodLine {
    const char* line;
    const char* name;
    int reg_type;
    const char* addr;
    int length;
    int station;
};

TEST(TagLine, GoodLinesGiveTheirFields) {
    const GoodLine rows[] = {
        {"speed D 100", "speed", 11, "100", 1, DEFAULT_STATION},
        {"  recipe   d  200  10  2  # ten words", "recipe", 11, "200", 10, 2},
        {"lamp CIO.bit 10.03", "lamp", 0, "10.03", 1, DEFAULT_STATION},
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
        {"crlf D 1\r", "crlf", 11, "1", 1, DEFAULT_STATION},
    };
    for (const GoodLine& r : rows) {
        Tag t;
        std::string reason;
        std::string line = r.line;
        if (!line.empty() && line.back() == '\r') line.pop_back(); // as parseTagText does
        ASSERT_EQ(parseTagLine(line, &t, &reason), LineKind::Tag) << r.line << ": " << reason;
        EXPECT_EQ(t.name, r.name) << r.line;
        EXPECT_EQ(t.reg_type, r.reg_type) << r.line;
        EXPECT_EQ(t.addr_text, r.addr) << r.line;
        EXPECT_EQ(t.length, r.length) << r.line;
        EXPECT_EQ(t.station, r.station) << r.line;
    }
}

TEST(TagLine, BlankAndCommentLinesAreSkipped) {
    for (const char* line : {"", "   ", "\t", "# a comment", "   # indented comment"}) {
        Tag t;
        std::string reason;
        EXPECT_EQ(parseTagLine(line, &t, &reason), LineKind::Blank) << "'" << line << "'";
    }
}

struct BadLine {
    const char* line;
    const char* reason;
};

TEST(TagLine, BadLinesGiveTheirReason) {
    const BadLine rows[] = {
        {"speed", "missing register type and address"},
        {"speed D", "missing address"},
        {"speed D 100 1 1 extra", "too many fields: name type address [length] [station]"},
        {"9lives D 1", "bad name '9lives': letters, digits, _ . - (a letter or _ first)"},
        {"a/b D 1", "bad name 'a/b': letters, digits, _ . - (a letter or _ first)"},
        {"x Q 1", "unknown register type 'Q'"},
        {"x 14 1", "unknown register type '14'"},
        {"x -1 1", "unknown register type '-1'"},
        {"x DM 1", "unknown register type 'DM'"},
        {"x CIO.bit 10", "bit address '10' needs word.bit, e.g. 10.03"},
        {"x CIO.bit 10.16", "bit number 16 in '10.16' must be 0-15"},
        {"x CIO.bit 10.003", "bad bit address '10.003': expected word.bit, e.g. 10.03"},
        {"x CIO.bit a.1", "bad bit address 'a.1': expected word.bit, e.g. 10.03"},
        {"x CIO.bit 10.", "bad bit address '10.': expected word.bit, e.g. 10.03"},
        {"x W.bit 512.0", "address 512.0 is outside W.bit (0-511)"},
        {"x D 10.5", "bad address '10.5': expected a plain number"},
        {"x D -5", "bad address '-5': expected a plain number"},
        {"x D 32768", "address 32768 is outside D (0-32767)"},
        {"x A 960", "address 960 is outside A (0-959)"},
        {"x T.flag 4096", "address 4096 is outside T.flag (0-4095)"},
        {"x D 1234567890", "bad address '1234567890': expected a plain number"},
        {"x D 100 0", "length '0' must be a whole number of at least 1"},
        {"x D 100 -2", "length '-2' must be a whole number of at least 1"},
        {"x D 100 two", "length 'two' must be a whole number of at least 1"},
        {"x D 32760 9", "length 9 runs past the end of D (0-32767)"},
        {"x CIO.bit 6143.15 2", "length 2 runs past the end of CIO.bit (0-6143)"},
        {"x C 4095 2", "length 2 runs past the end of C (0-4095)"},
        {"x D 1 1 255", "station '255' must be 0-254"},
        {"x D 1 1 s1", "station 's1' must be 0-254"},
    };
    for (const BadLine& r : rows) {
        Tag t;
        std::string reason;
        EXPECT_EQ(parseTagLine(r.line, &t, &reason), LineKind::Error) << r.line;
        EXPECT_EQ(reason, r.reason) << r.line;
    }
}

TEST(TagText, ErrorsCarryTheirLineNumbersAndEveryGoodLineIsKept) {
    const std::string text = "# screen\n"
                             "speed D 100\n"
                             "\n"
                             "lamp CIO.bit 10\n"
                             "speed W 1\n"
                             "count C 7 1\n"
                             "x D 1 0\n";
    TagFile f = parseTagText(text);
    ASSERT_EQ(f.errors.size(), 3u);
    EXPECT_EQ(describe(f.errors[0]), "line 4: bit address '10' needs word.bit, e.g. 10.03");
    EXPECT_EQ(describe(f.errors[1]), "line 5: duplicate name 'speed' (first on line 2)");
    EXPECT_EQ(describe(f.errors[2]), "line 7: length '0' must be a whole number of at least 1");
    ASSERT_EQ(f.tags.size(), 2u);
    EXPECT_EQ(f.tags[0].name, "speed");
    EXPECT_EQ(f.tags[0].line, 2);
    EXPECT_EQ(f.tags[1].name, "count");
    EXPECT_EQ(f.tags[1].line, 6);
}

TEST(TagText, WindowsLineEndsAreAccepted) {
    TagFile f = parseTagText("a D 1\r\nb CIO.bit 1.01 2\r\n");
    EXPECT_TRUE(f.errors.empty());
    ASSERT_EQ(f.tags.size(), 2u);
    EXPECT_EQ(f.tags[1].addr_text, "1.01");
    EXPECT_EQ(f.tags[1].length, 2);
}

} // namespace
} // namespace fhost
