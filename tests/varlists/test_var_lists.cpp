// The read-list rebuild, address texts, the write queue and the one-shot read queue,
// and the limits of each.
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "Func_Initi.h"
#include "driver_fixture.h"

namespace {

// Descriptions from "station/type/address text/length/name" items separated by spaces,
// the notation of entries() below.
QList<VAR_DESC> vars(const char* items) {
    QList<VAR_DESC> out;
    for (const QString& item : QString(items).split(' ')) {
        const QStringList f = item.split('/');
        if (f.size() == 5)
            out.append(
                {0, uchar(f[1].toInt()), uchar(f[0].toInt()), 0, 0, f[2], f[4], f[3].toInt()});
    }
    return out;
}

// Entries as "station/type/address/length/name" (no "/name" when it is empty),
// separated by spaces.
std::string entries(const QList<RW_VAR>& list) {
    QStringList out;
    for (const RW_VAR& e : list)
        out << QString("%1/%2/%3/%4").arg(e.station).arg(e.reg_type).arg(e.address).arg(e.length) +
                   (e.name.isEmpty() ? "" : "/" + e.name);
    return out.join(' ').toStdString();
}

class ReadListRebuild : public DriverTest {
  protected:
    // Rebuilds from the descriptions; the result must equal the size of read_list.
    std::string rebuild(const char* items) {
        QList<VAR_DESC> descs = vars(items);
        const int n = ReCreatReadVarList(&descs);
        EXPECT_EQ(n, PLC_driver.read_list.size());
        return entries(PLC_driver.read_list);
    }
};

TEST_F(ReadListRebuild, MergesSplitsAndOrdersBlocks) {
    const char* three = "1/11/100/2/a 1/11/110/1/b 1/11/150/4/c";
    const char* bit_and_word = "1/2/10.14/4/a 1/9/11/1/b";
    const char* no_area = "1/14/1/1/x 1/255/1/1/y 1/7/1/1/ok";
    // max_block, multi_station, variables, read list
    const std::tuple<int, int, const char*, const char*> cases[] = {
        {64, 0, three, "1/11/100/54/a"},                        // gaps bridged within the limit
        {20, 0, three, "1/11/100/11/a 1/11/150/4/c"},           // gap too wide for the limit
        {64, 0, "1/11/100/10/a 1/11/103/2/b", "1/11/100/10/a"}, // a variable inside another
        // Long variable split; one inside adds nothing.
        {64, 0, "1/11/0/150/a 1/11/130/5/b", "1/11/0/64/a 1/11/64/64/a 1/11/128/22/a"},
        {64, 0, "1/11/0/64/a 1/11/64/1/b", "1/11/0/64/a 1/11/64/1/b"}, // exactly full
        {64, 0, "1/11/0/63/a 1/11/63/1/b", "1/11/0/64/a"},             // adjacent within the limit
        {64, 0, bit_and_word, "1/2/10/2/a"}, // bit type kept in single-station mode
        {64, 1, bit_and_word, "1/9/10/2/a"}, // bit type becomes the word type in multi-station mode
        {64, 0, "1/4/7.15/2/a", "1/4/7/2/a"}, // bit variable crossing a word boundary
        {64, 0, "1/5/6/4/a", "1/5/0/2/a"},    // timer flags 6 to 9
        {64, 0, "1/5/13/1/a 1/5/20/1/b 1/5/35/1/c", "1/5/8/4/a"}, // timer flags in groups of eight
        {1, 0, "1/5/3/1/a 1/5/12/1/b", "1/5/0/1/a 1/5/8/1/b"}, // flags 3 and 12, one group a read
        {1, 0, "1/6/3/1/a 1/6/5/1/b", "1/6/0/1/a"},            // flags 3 and 5, one group a read
        // Counter flags split by the flag limit.
        {2, 1, "4/6/3/30/a", "4/6/0/2/a 4/6/16/2/a 4/6/32/1/a"},
        // Single-station lists in area order.
        {64, 0,
         "1/11/100/1/d 1/13/1/1/cv 1/5/3/1/tf 1/0/2.0/1/cio 1/12/1/1/tv 1/6/1/1/cf 1/3/1.1/1/a "
         "1/8/1/1/w 1/9/1/1/h",
         "1/5/0/1/tf 1/6/0/1/cf 1/0/2/1/cio 1/8/1/1/w 1/9/1/1/h 1/3/1/1/a 1/11/100/1/d 1/12/1/1/tv "
         "1/13/1/1/cv"},
        {64, 0, "9/11/100/1/a 3/11/101/1/b", "1/11/100/2/a"}, // single-station: the default station
        // Multi-station groups in order of first use.
        {64, 1, "2/11/100/2/a 1/7/5/2/b 2/11/50/2/c", "2/11/50/52/c 1/7/5/2/b"},
        // The group key is station + 255 x type: station 255 of CIO meets station 0 of W.
        {64, 1, "255/7/10/1/a 0/8/11/1/b", "255/7/10/2/a"},
        // Multi-station: bit and word type share a group.
        {64, 1, "1/0/5.3/1/bit 1/7/5/1/word", "1/7/5/1/word"},
        // Multi-station: a bit type orders as its word type.
        {64, 1, "1/1/2.0/1/w 1/11/0/1/d 1/8/9/1/w2", "1/8/2/8/w 1/11/0/1/d"},
        // Equal addresses, single-station: first listed opens.
        {64, 0, "1/11/100/2/first 1/11/100/5/second", "1/11/100/5/first"},
        // Equal addresses, multi-station: last listed opens.
        {64, 1, "1/11/100/2/first 1/11/100/5/second 1/11/100/1/third", "1/11/100/5/third"},
        // A bit address without a point is left out.
        {64, 0, "1/0/100/1/bad 1/11/7/1/good", "1/11/7/1/good"},
        {64, 0, no_area, "1/7/1/1/ok"}, // types without an area left out (single)
        {64, 1, no_area, "1/7/1/1/ok"}, // types without an area left out (multi)
        // Zero and negative lengths make no piece.
        {64, 0, "1/11/10/0/z 1/11/20/-5/n 1/0/3.0/0/b", ""},
        // Limit 0: no split, no bridging; a variable ending with the block merges.
        {0, 0, "1/11/0/150/a 1/11/160/2/b 1/11/162/1/c 1/11/145/5/d",
         "1/11/0/150/a 1/11/160/2/b 1/11/162/1/c"},
        // Negative limit: pieces by quotient and remainder.
        {-100, 0, "1/11/0/150/a 1/11/200/50/b 1/5/3/20/f", "1/5/0/3/f 1/11/200/50/b"},
        // Lowest limit: one piece.
        {INT_MIN, 1, "1/11/0/150/a 1/5/3/20/f 1/5/16/2/g", "1/11/0/150/a 1/5/0/3/f"},
        // Largest limit: flag blocks do not overflow.
        {INT_MAX, 0, "1/6/0/100/c 1/6/200/1/d", "1/6/0/26/c"},
    };
    for (const auto& c : cases) {
        com.max_block = std::get<0>(c);
        com.multi_station = std::get<1>(c);
        EXPECT_EQ(rebuild(std::get<2>(c)), std::get<3>(c))
            << std::get<0>(c) << " " << std::get<2>(c);
    }
}

// No piece starts past the address a frame carries: the 16-bit FINS address space, or
// in remote mode the int range (and at most 65536 pieces a variable).
TEST_F(ReadListRebuild, PieceStartsStayWithinTheFrameAddress) {
    // remote_mode, max_block, variable, entries, first and last entry
    const std::tuple<int, int, const char*, int, const char*> rows[] = {
        {0, 64, "1/11/0/2147483647/v", 1024, "1/11/0/64/v 1/11/65472/64/v"},
        {0, 64, "1/5/0/2147483647/v", 128, "1/5/0/64/v 1/5/65024/64/v"},
        {0, 64, "1/11/65500/100/v", 1, "1/11/65500/64/v 1/11/65500/64/v"},
        {0, 64, "1/0/134217727.15/2147483647/v", 0, ""},
        {1, 64, "1/11/65500/100/v", 2, "1/11/65500/64/v 1/11/65564/36/v"},
        {1, 64, "1/11/0/2147483647/v", 65536, "1/11/0/64/v 1/11/4194240/64/v"},
        {1, 4, "1/11/2147483647/10/v", 1, "1/11/2147483647/4/v 1/11/2147483647/4/v"},
    };
    for (const auto& row : rows) {
        com.remote_mode = std::get<0>(row);
        com.max_block = std::get<1>(row);
        rebuild(std::get<2>(row));
        const QList<RW_VAR>& list = PLC_driver.read_list;
        EXPECT_EQ(std::make_tuple(list.size(),
                                  list.isEmpty() ? "" : entries({list.first(), list.last()})),
                  std::make_tuple(std::get<3>(row), std::string(std::get<4>(row))))
            << std::get<2>(row);
    }
}

// A record of station 7 at address 77 with aux1 5, to see what a queue replaces.
RW_VAR request(int reg_type, const char* addr_text, int length, int req_kind = 1, int req_id = 1) {
    return {req_kind, req_id, 0, 0, 0, 0, "", addr_text, reg_type, 77, 7, length, 5, 0, {}};
}

RW_VAR piece(int address, int length, const char* name) {
    return {0, 0, 0, 0, 0, 0, name, "", 11, address, 0, length, 0, 0, {}};
}

// The described steps of a rebuild, each on its own.
TEST_F(ReadListRebuild, DescribedStepsAlone) {
    RW_VAR templ = piece(100, 0, "t");
    QList<RW_VAR> split;
    WhetherGroup(150, 64, &templ, &split);
    EXPECT_EQ(entries(split), "0/11/100/64/t 0/11/164/64/t 0/11/228/22/t");
    EXPECT_EQ(entries({templ}), "0/11/228/22/t");
    WhetherGroup(0, 0, &templ, &split);
    WhetherGroup(7, 0, &templ, &split);
    WhetherGroup(7, 0, nullptr, &split); // a missing record or list: nothing done
    WhetherGroup(7, 0, &templ, nullptr);
    EXPECT_EQ(entries({split.last()}), "0/11/228/7/t");

    QList<RW_VAR> group = {piece(9, 1, "a"), piece(3, 1, "b"), piece(9, 1, "c"), piece(1, 1, "d")};
    Bubble_Sort(&group);
    EXPECT_EQ(entries(group), "0/11/1/1/d 0/11/3/1/b 0/11/9/1/a 0/11/9/1/c");

    RW_VAR own = piece(500, 1, "own");
    AddListReadVar(&own);
    QList<RW_VAR> words = {piece(10, 2, "w"), piece(11, 1, "x"), piece(20, 5, "y"),
                           piece(99, 1, "z")};
    EXPECT_EQ(WordVarReCreat(&words, 16, 1), 3);
    QList<RW_VAR> flags = {piece(8, 3, "f"), piece(16, 20, "g"), piece(32, 8, "h")};
    EXPECT_EQ(BitVarReCreat(&flags, 16, 3), 5);
    EXPECT_EQ(entries(PLC_driver.read_list),
              "0/11/500/1/own 0/11/10/15/w 0/11/99/1/z 0/11/8/1/f 0/11/16/3/g");
}

// Bit types take "word.bit"; every other type the whole text as a decimal number.
TEST(AddressStrings, ConvertUnderBothNames) {
    // clang-format off
    const std::tuple<int, const char*, int> rows[] = { // type, text, value
        {0, "100.05", 1605}, {0, "100", -1}, {0, "100.", 1600}, {0, ".3", 3}, {4, "1.2.3", 18},
        {3, "0.-3", -3}, {3, "-1.5", -11}, {0, "-134217728.0", INT_MIN}, {0, "-134217728.-1", -1},
        {0, "134217727.15", INT_MAX}, {0, "134217728.0", -1}, {0, "+7.+1", 113},
        {0, " 100 . 5 ", 1605}, {5, "200", 200}, {5, "100.5", 0}, {11, " 42 ", 42}, {11, "-5", -5},
        {11, "0x10", 0}, {11, "", 0}, {14, "7", 7}, {1, "10.20", 180}, {2, "12.x", 192},
        {-1, "200", 200}, {0, "18446744073709551621.1", 1}}; // 2^64 + 5 words count as 0
    // clang-format on
    for (const auto& row : rows) {
        const QString text = QString::fromLatin1(std::get<1>(row));
        EXPECT_EQ(StringAddressToInt(std::get<0>(row), text), std::get<2>(row)) << std::get<1>(row);
        EXPECT_EQ(PLCAddressChangeIntef(std::get<0>(row), text), std::get<2>(row))
            << std::get<1>(row);
    }
}

typedef DriverTest WriteQueue;

int screenWrite(int reg_type, const char* addr, const char* value_hex, int station = 1,
                int req_id = 1) {
    QString text = QString::fromLatin1(addr);
    QByteArray value = hex(value_hex);
    return SetRegisterData(nullptr, reg_type, &text, station, &value, value.size() / 2, 3, req_id);
}

// A later write to the place of a queued one replaces it, requester included; station,
// type, address and length make a place. (Head and limit on the screen path: tests/hostile.)
// The direct path appends past the limit of 1024.
TEST_F(WriteQueue, LaterWritesReplaceQueuedOnesOfTheirPlace) {
    com.multi_station = 1;
    EXPECT_EQ(screenWrite(11, "100", "0100"), 1);
    EXPECT_EQ(screenWrite(11, "100", "0200"), 2);
    EXPECT_EQ(screenWrite(11, "100", "0300", 1, 7), 2);
    EXPECT_EQ(screenWrite(11, "100", "0400", 2), 3);
    EXPECT_EQ(screenWrite(9, "100", "0500"), 4);
    EXPECT_EQ(screenWrite(11, "101", "0600"), 5);
    EXPECT_EQ(screenWrite(11, "100", "0700 0800"), 6);
    std::string values;
    for (const RW_VAR& e : PLC_driver.write_list)
        values += std::to_string(e.req_id) + ":" + toHex(e.value) + "|";
    EXPECT_EQ(values, "1:01 00|7:03 00|1:04 00|1:05 00|1:06 00|1:07 00 08 00|");
    RW_VAR extra = PLC_driver.write_list[5];
    while (PLC_driver.write_list.size() < 1024)
        AddListWriteVar(&extra, 1);
    EXPECT_EQ(AddListWriteVar(&extra, 2), 1024);
    EXPECT_EQ(AddListWriteVar(&extra, 1), 1025);
}

typedef DriverTest OnceQueue;

// Pieces as the rebuild makes them (the split is shared; its limits are tested there):
// here what the queue does to the record and its own bounds.
TEST_F(OnceQueue, ConvertsToReadUnitsAndSplits) {
    // what, max_block, multi_station, remote_mode, request, result, queue, the record after
    // (it keeps the last piece) with its aux1
    const std::tuple<const char*, int, int, int, RW_VAR, int, const char*, const char*> cases[] = {
        {"words", 64, 0, 0, request(11, "100", 150), 3, "1/11/100/64 1/11/164/64 1/11/228/22",
         "1/11/228/22 0"},
        {"bits as words", 64, 0, 0, request(0, "5.3", 20), 1, "1/0/5/2", "1/0/5/2 0"},
        {"flags", 2, 0, 0, request(5, "3", 30), 3, "1/5/0/2 1/5/16/2 1/5/32/1", "1/5/32/1 0"},
        {"no point: untouched", 64, 0, 0, request(2, "12", 4), 0, "", "7/2/77/4 5"},
        {"negative address", 64, 0, 0, request(11, "-4", 4), 0, "", "7/11/77/4 5"},
        {"multi-station", 64, 1, 0, request(11, "7", 1), 1, "7/11/7/1", "7/11/7/1 0"},
        {"no area: own address", 64, 0, 0, request(14, "7", 1), 1, "1/14/77/1", "1/14/77/1 0"},
        {"zero length", 64, 0, 0, request(11, "100", 0), 0, "", "1/11/100/0 0"},
        {"starts within 16 bits", 64, 0, 0, request(11, "65500", 100), 1, "1/11/65500/64",
         "1/11/65500/64 0"},
        {"remote: past 0xFFFF", 64, 0, 1, request(11, "65500", 100), 2,
         "1/11/65500/64 1/11/65564/36", "1/11/65564/36 0"},
        {"remote: starts within an int", 1, 0, 1, request(5, "2147483647", INT_MAX), 1,
         "1/5/2147483640/1", "1/5/2147483640/1 0"},
    };
    for (const auto& c : cases) {
        PLC_driver.once_list.clear();
        com.max_block = std::get<1>(c);
        com.multi_station = std::get<2>(c);
        com.remote_mode = std::get<3>(c);
        RW_VAR r = std::get<4>(c);
        const int result = AddListOnceReadVar(&r, 0);
        EXPECT_EQ(std::make_tuple(result, entries(PLC_driver.once_list),
                                  entries({r}) + " " + std::to_string(r.aux1)),
                  std::make_tuple(std::get<5>(c), std::string(std::get<6>(c)),
                                  std::string(std::get<7>(c))))
            << std::get<0>(c);
    }
}

// A request already queued with the same requester is not queued twice; the direct
// path appends the record as it is. Pieces beyond 1024 entries are dropped.
TEST_F(OnceQueue, DuplicatesAndTheLimit) {
    const auto queue = [](RW_VAR r, int direct) { return AddListOnceReadVar(&r, direct); };
    EXPECT_EQ(queue(request(11, "100", 150), 0), 3);
    EXPECT_EQ(queue(request(11, "100", 150), 0), 3);
    EXPECT_EQ(queue(request(11, "100", 150, 1, 2), 0), 6); // another requester id
    EXPECT_EQ(queue(request(11, "100", 150, 2, 1), 0), 9); // another requester kind
    RW_VAR raw = request(2, "no point", 99);
    EXPECT_EQ(queue(raw, 1), 10);
    EXPECT_EQ(queue(raw, 1), 11);
    EXPECT_EQ(entries(PLC_driver.once_list.mid(9)) + " " +
                  std::to_string(PLC_driver.once_list[9].aux1),
              "7/2/77/99 7/2/77/99 5");
    while (PLC_driver.once_list.size() < 1023)
        AddListOnceReadVar(&raw, 1);
    RW_VAR split = request(11, "500", 150);
    EXPECT_EQ(AddListOnceReadVar(&split, 0), 1024);
    EXPECT_EQ(entries({PLC_driver.once_list.last(), split}), "1/11/500/64 1/11/628/22");
    EXPECT_EQ(queue(request(11, "900", 1, 3, 3), 0), 1024);
    EXPECT_EQ(queue(request(11, "900", 1, 3, 3), 1), 1025);
}

} // namespace
