// Address texts, the write queue and the one-shot read queue, and the limits of both.
#include <climits>
#include <string>

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
                {3, "0.-3", -3},
                {3, "-1.5", -11},
                {0, "-134217728.0", INT_MIN},
                {0, "-134217728.-1", -1},
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

// Queue entries as "station/type/address/length", separated by spaces.
std::string places(const QList<RW_VAR>& queue) {
    std::string out;
    for (const RW_VAR& e : queue)
        out += (out.empty() ? "" : " ") + std::to_string(e.station) + "/" +
               std::to_string(e.reg_type) + "/" + std::to_string(e.address) + "/" +
               std::to_string(e.length);
    return out;
}

std::string values(const QList<RW_VAR>& queue) {
    std::string out;
    for (const RW_VAR& e : queue)
        out += toHex(e.value) + "|";
    return out;
}

typedef DriverTest WriteQueue;

int screenWrite(int reg_type, const char* addr, const char* value_hex, int station = 1,
                int req_id = 1) {
    QString text = QString::fromLatin1(addr);
    QByteArray value = hex(value_hex);
    return SetRegisterData(nullptr, reg_type, &text, station, &value, value.size() / 2, 3, req_id);
}

// A later write to the place of a queued one replaces it, but never the head, which
// may be in flight. The regular path stops at 1024 entries; the direct path does not.
TEST_F(WriteQueue, LaterWritesReplaceQueuedOnesUpTo1024) {
    com.multi_station = 1;
    EXPECT_EQ(screenWrite(11, "100", "0100"), 1);
    EXPECT_EQ(screenWrite(11, "100", "0200"), 2);
    EXPECT_EQ(screenWrite(11, "100", "0300", 1, 7), 2);
    EXPECT_EQ(PLC_driver.write_list[1].req_id, 7);
    // Station, type, address and length make a place.
    EXPECT_EQ(screenWrite(11, "100", "0400", 2), 3);
    EXPECT_EQ(screenWrite(9, "100", "0500"), 4);
    EXPECT_EQ(screenWrite(11, "101", "0600"), 5);
    EXPECT_EQ(screenWrite(11, "100", "0700 0800"), 6);
    EXPECT_EQ(values(PLC_driver.write_list), "01 00|03 00|04 00|05 00|06 00|07 00 08 00|");

    for (int i = 6; i < 1024; ++i)
        ASSERT_EQ(screenWrite(11, QByteArray::number(1000 + i).constData(), "0000"), i + 1);
    EXPECT_EQ(screenWrite(11, "5000", "0900"), 1024);
    EXPECT_EQ(screenWrite(11, "1700", "0A00"), 1024);
    EXPECT_EQ(toHex(PLC_driver.write_list[700].value), "0A 00");
    RW_VAR extra = PLC_driver.write_list[700];
    EXPECT_EQ(AddListWriteVar(&extra, 2), 1024);
    EXPECT_EQ(AddListWriteVar(&extra, 1), 1025);
    EXPECT_EQ(AddListWriteVar(&extra, 1), 1026);
}

typedef DriverTest OnceQueue;

// A one-shot request of station 7 at address 77 with aux1 5, to see what is replaced.
RW_VAR request(int reg_type, const char* addr_text, int length, int req_kind = 1, int req_id = 1) {
    return {req_kind, req_id, 0, 0, 0, 0, "", addr_text, reg_type, 77, 7, length, 5, 0, {}};
}

struct OnceCase {
    const char* what;
    int max_block, multi_station;
    RW_VAR req;
    int result;
    const char* queued;
    const char* record_after; // the record keeps the last piece; aux1 appended
    int remote_mode = 0;
};

TEST_F(OnceQueue, ConvertsToReadUnitsAndSplits) {
    const OnceCase cases[] = {
        {"words", 64, 0, request(11, "100", 150), 3, "1/11/100/64 1/11/164/64 1/11/228/22",
         "1/11/228/22 0"},
        {"bits as words", 64, 0, request(0, "5.3", 20), 1, "1/0/5/2", "1/0/5/2 0"},
        {"bits to a word edge", 64, 0, request(4, "5.0", 16), 1, "1/4/5/1", "1/4/5/1 0"},
        {"flag groups of 8", 64, 0, request(6, "13", 1), 1, "1/6/8/1", "1/6/8/1 0"},
        {"flags", 2, 0, request(5, "3", 30), 3, "1/5/0/2 1/5/16/2 1/5/32/1", "1/5/32/1 0"},
        {"no point: untouched", 64, 0, request(2, "12", 4), 0, "", "7/2/77/4 5"},
        {"negative address", 64, 0, request(11, "-4", 4), 0, "", "7/11/77/4 5"},
        {"multi-station", 64, 1, request(11, "7", 1), 1, "7/11/7/1", "7/11/7/1 0"},
        {"no area: own address", 64, 0, request(14, "7", 1), 1, "1/14/77/1", "1/14/77/1 0"},
        {"limit 0", 0, 0, request(11, "100", 150), 1, "1/11/100/150", "1/11/100/150 0"},
        {"zero length", 64, 0, request(11, "100", 0), 0, "", "1/11/100/0 0"},
        {"negative length", 64, 0, request(0, "1.2", -40), 0, "", "1/0/1/-2 0"},
        {"limit -100 below the length", -100, 0, request(11, "100", 150), 0, "", "1/11/100/150 0"},
        {"limit -200 above the length", -200, 0, request(11, "100", 150), 1, "1/11/100/150",
         "1/11/100/150 0"},
        // Pieces start within the 16-bit FINS address space; in remote mode within an int.
        {"starts within 16 bits", 64, 0, request(11, "0", INT_MAX), 1024, nullptr,
         "1/11/65472/64 0"},
        {"last FINS words", 64, 0, request(11, "65500", 100), 1, "1/11/65500/64",
         "1/11/65500/64 0"},
        {"remote: past 0xFFFF", 64, 0, request(11, "65500", 100), 2, "1/11/65500/64 1/11/65564/36",
         "1/11/65564/36 0", 1},
        {"remote: starts within an int", 1, 0, request(5, "2147483647", INT_MAX), 1,
         "1/5/2147483640/1", "1/5/2147483640/1 0", 1},
    };
    for (const OnceCase& c : cases) {
        PLC_driver.once_list.clear();
        com.max_block = c.max_block;
        com.multi_station = c.multi_station;
        com.remote_mode = c.remote_mode;
        RW_VAR r = c.req;
        EXPECT_EQ(AddListOnceReadVar(&r, 0), c.result) << c.what;
        if (c.queued) {
            EXPECT_EQ(places(PLC_driver.once_list), c.queued) << c.what;
        }
        EXPECT_EQ(places({r}) + " " + std::to_string(r.aux1), c.record_after) << c.what;
    }
}

// A request already queued with the same requester is not queued twice; the direct
// path appends the record as it is. Pieces beyond 1024 entries are dropped.
TEST_F(OnceQueue, DuplicatesAndTheLimit) {
    RW_VAR r = request(11, "100", 150);
    EXPECT_EQ(AddListOnceReadVar(&r, 0), 3);
    RW_VAR again = request(11, "100", 150);
    EXPECT_EQ(AddListOnceReadVar(&again, 0), 3);
    RW_VAR other_id = request(11, "100", 150, 1, 2);
    EXPECT_EQ(AddListOnceReadVar(&other_id, 0), 6);
    RW_VAR other_kind = request(11, "100", 150, 2, 1);
    EXPECT_EQ(AddListOnceReadVar(&other_kind, 0), 9);
    RW_VAR raw = request(2, "no point", 99);
    EXPECT_EQ(AddListOnceReadVar(&raw, 1), 10);
    EXPECT_EQ(AddListOnceReadVar(&raw, 1), 11);
    EXPECT_EQ(places(PLC_driver.once_list.mid(9)), "7/2/77/99 7/2/77/99");
    EXPECT_EQ(PLC_driver.once_list[9].aux1, 5);

    while (PLC_driver.once_list.size() < 1023)
        AddListOnceReadVar(&raw, 1);
    RW_VAR split = request(11, "500", 150);
    EXPECT_EQ(AddListOnceReadVar(&split, 0), 1024);
    EXPECT_EQ(places({PLC_driver.once_list.last()}), "1/11/500/64");
    EXPECT_EQ(places({split}), "1/11/628/22");
    RW_VAR more = request(11, "900", 1, 3, 3);
    EXPECT_EQ(AddListOnceReadVar(&more, 0), 1024);
    EXPECT_EQ(AddListOnceReadVar(&more, 1), 1025);
}

} // namespace
