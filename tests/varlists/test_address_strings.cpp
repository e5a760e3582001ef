#include <climits>

#include "Func_Initi.h"
#include "driver_fixture.h"

namespace {

// Bit types take "word.bit"; every other type the whole text as a decimal number.
TEST(AddressStrings, ConvertUnderBothNames) {
    const struct {
        int reg_type;
        const char* text;
        int expected;
    } rows[] = {{0, "100.05", 1605},
                {0, "100", -1},
                {0, "100.", 1600},
                {0, ".3", 3},
                {4, "1.2.3", 18},
                {1, "10.20", 180},
                {2, "12.x", 192},
                {3, "0.-1", -1},
                {0, "134217727.15", INT_MAX},
                {0, "134217728.0", -1},
                {0, "+7.+1", 113},
                {0, " 100 . 5 ", 1605},
                {5, "200", 200},
                {5, "100.5", 0},
                {-1, "200", 200},
                {11, " 42 ", 42},
                {11, "-5", -5},
                {11, "0x10", 0},
                {11, "", 0},
                {14, "7", 7}};
    for (const auto& row : rows) {
        const QString text = QString::fromLatin1(row.text);
        EXPECT_EQ(StringAddressToInt(row.reg_type, text), row.expected) << row.text;
        EXPECT_EQ(PLCAddressChangeIntef(row.reg_type, text), row.expected) << row.text;
    }
}

} // namespace
