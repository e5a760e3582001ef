#include <gtest/gtest.h>

#include "tag_values.h"

namespace fhost {
namespace {

Tag tag(const char* line) {
    Tag t;
    std::string reason;
    EXPECT_EQ(parseTagLine(line, &t, &reason), LineKind::Tag) << reason;
    return t;
}

TEST(WriteValues, TextBecomesTheDriversHostOrderBuffer) {
    // tag, value, buffer in host order (one byte per bit, words low byte first) x count
    const char* const rows[][3] = {
        {"w D 100", "1234", "D2 04 x1"},
        {"w D 100", "0XbeEF", "EF BE x1"},
        {"w D 100", "-32768", "00 80 x1"},
        {"w D 100", "65535", "FF FF x1"},
        {"w D 100", "010", "0A 00 x1"}, // a leading zero is still decimal
        {"w D 100 3", "1,2", "01 00 02 00 x2"},
        {"w T 5 3", "1,0x10,300", "01 00 10 00 2C 01 x3"},
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
    const char* const rows[][3] = { // tag, value, error
        {"w D 100", "65536", "bad value '65536' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100", "-32769", "bad value '-32769' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100", "12a", "bad value '12a' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100", "0x", "bad value '0x' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100 2", "1,", "bad value '' for 'w': a number -32768..65535 (or 0x hex)"},
        {"w D 100", "1,2", "'w' takes 1 to 1 value(s), got '1,2'"},
        {"b CIO.bit 1.02", "2", "bad value '2' for 'b': 0 or 1"},
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
    // Formatting: words in decimal and hex, long tags cut.
    EXPECT_EQ(formatValues(tag("w D 0 2"), {1750, 65535}, 8), "1750 (0x06D6)  65535 (0xFFFF)");
    EXPECT_EQ(formatValues(tag("b CIO.bit 0.00 4"), {1, 0, 1, 1}, 8), "1 0 1 1");
    EXPECT_EQ(formatValues(tag("b CIO.bit 0.00 4"), {1, 0, 1, 1}, 2), "1 0 ... (2 more)");
}

} // namespace
} // namespace fhost
