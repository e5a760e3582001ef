#include <climits>

#include "Func_Initi.h"
#include "driver_fixture.h"

namespace {

struct AddressRow {
    int reg_type;
    const char* text;
    int expected;
};

// Bit types take "word.bit"; every other type the whole text as a decimal number.
const AddressRow kAddressRows[] = {
    {0, "100.05", 1605},
    {0, "100", -1},
    {0, "100.", 1600},
    {0, ".3", 3},
    {0, "", -1},
    {4, "1.2.3", 18},
    {1, "10.20", 180},
    {1, "11.4", 180},
    {2, "12.x", 192},
    {2, "0.16", 16},
    {3, "-1.5", -11},
    {0, "0.-3", -3},
    {0, "-134217728.0", INT_MIN},
    {0, "-134217728.-1", -1},
    {0, "134217727.15", INT_MAX},
    {0, "134217728.0", -1},
    {0, "2147483647.15", -1},
    {0, "+7.+1", 113},
    {0, " 100 . 5 ", 1605},
    {0, "100,5", -1},
    {5, "200", 200},
    {5, "100.5", 0},
    {5, "abc", 0},
    {6, "13", 13},
    {-1, "200", 200},
    {INT_MIN, "9", 9},
    {11, " 42 ", 42},
    {11, "-5", -5},
    {11, "+8", 8},
    {11, "2147483647", INT_MAX},
    {11, "2147483648", 0},
    {11, "0x10", 0},
    {11, "", 0},
    {13, "4 2", 0},
    {14, "7", 7},
};

TEST(AddressStrings, ConvertsEveryRowTheSameUnderBothNames) {
    for (const AddressRow& row : kAddressRows) {
        const QString text = QString::fromLatin1(row.text);
        EXPECT_EQ(StringAddressToInt(row.reg_type, text), row.expected)
            << "type " << row.reg_type << " text '" << row.text << "'";
        EXPECT_EQ(PLCAddressChangeIntef(row.reg_type, text), row.expected)
            << "type " << row.reg_type << " text '" << row.text << "'";
        EXPECT_EQ(text, QString::fromLatin1(row.text));
    }
}

TEST(AddressStrings, NeedNoSetup) {
    EXPECT_EQ(PLC_driver.com_info, nullptr);
    EXPECT_EQ(PLCAddressChangeIntef(0, "100.05"), 1605);
}

} // namespace
