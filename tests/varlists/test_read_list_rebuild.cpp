#include <climits>
#include <string>
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
        if (f.size() < 5) continue;
        VAR_DESC d{};
        d.station = static_cast<unsigned char>(f[0].toInt());
        d.reg_type = static_cast<unsigned char>(f[1].toInt());
        d.addr_text = f[2];
        d.length = f[3].toInt();
        d.name = f[4];
        out.append(d);
    }
    return out;
}

// Entries as "station/type/address/length/name", separated by spaces.
std::string entries(const QList<RW_VAR>& list) {
    std::string out;
    for (const RW_VAR& e : list)
        out += (out.empty() ? "" : " ") + std::to_string(e.station) + "/" +
               std::to_string(e.reg_type) + "/" + std::to_string(e.address) + "/" +
               std::to_string(e.length) + "/" + e.name.toStdString();
    return out;
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
    const struct {
        const char* what;
        int max_block, multi_station;
        const char* vars;
        const char* expected;
    } cases[] = {
        {"gaps bridged within the limit", 64, 0, three, "1/11/100/54/a"},
        {"gap too wide for the limit", 20, 0, three, "1/11/100/11/a 1/11/150/4/c"},
        {"a variable inside another", 64, 0, "1/11/100/10/a 1/11/103/2/b", "1/11/100/10/a"},
        {"long variable split; one inside adds nothing", 64, 0, "1/11/0/150/a 1/11/130/5/b",
         "1/11/0/64/a 1/11/64/64/a 1/11/128/22/a"},
        {"exactly full", 64, 0, "1/11/0/64/a 1/11/64/1/b", "1/11/0/64/a 1/11/64/1/b"},
        {"adjacent within the limit", 64, 0, "1/11/0/63/a 1/11/63/1/b", "1/11/0/64/a"},
        {"bit type kept in single-station mode", 64, 0, bit_and_word, "1/2/10/2/a"},
        {"bit type becomes the word type in multi-station mode", 64, 1, bit_and_word, "1/9/10/2/a"},
        {"bit variable crossing a word boundary", 64, 0, "1/4/7.15/2/a", "1/4/7/2/a"},
        {"timer flags in groups of eight", 64, 0, "1/5/13/1/a 1/5/20/1/b 1/5/35/1/c", "1/5/8/4/a"},
        {"timer flags 6 to 9", 64, 0, "1/5/6/4/a", "1/5/0/2/a"},
        {"flags 3 and 12, one group a read", 1, 0, "1/5/3/1/a 1/5/12/1/b", "1/5/0/1/a 1/5/8/1/b"},
        {"flags 3 and 5, one group a read", 1, 0, "1/6/3/1/a 1/6/5/1/b", "1/6/0/1/a"},
        {"counter flags split by the flag limit", 2, 1, "4/6/3/30/a",
         "4/6/0/2/a 4/6/16/2/a 4/6/32/1/a"},
        {"single-station lists in area order", 64, 0,
         "1/11/100/1/d 1/13/1/1/cv 1/5/3/1/tf 1/0/2.0/1/cio 1/12/1/1/tv 1/6/1/1/cf 1/3/1.1/1/a "
         "1/8/1/1/w 1/9/1/1/h",
         "1/5/0/1/tf 1/6/0/1/cf 1/0/2/1/cio 1/8/1/1/w 1/9/1/1/h 1/3/1/1/a 1/11/100/1/d "
         "1/12/1/1/tv 1/13/1/1/cv"},
        {"single-station: the default station", 64, 0, "9/11/100/1/a 3/11/101/1/b", "1/11/100/2/a"},
        {"multi-station groups in order of first use", 64, 1, "2/11/100/2/a 1/7/5/2/b 2/11/50/2/c",
         "2/11/50/52/c 1/7/5/2/b"},
        {"multi-station: bit and word type share a group", 64, 1, "1/0/5.3/1/bit 1/7/5/1/word",
         "1/7/5/1/word"},
        {"multi-station: station 255 is a group of its own", 64, 1, "255/7/5/1/s255 0/8/6/1/s0",
         "255/7/5/1/s255 0/8/6/1/s0"},
        {"multi-station: a bit type orders as its word type", 64, 1,
         "1/1/2.0/1/w 1/11/0/1/d 1/8/9/1/w2", "1/8/2/8/w 1/11/0/1/d"},
        {"equal addresses, single-station: first listed opens", 64, 0,
         "1/11/100/2/first 1/11/100/5/second", "1/11/100/5/first"},
        {"equal addresses, multi-station: last listed opens", 64, 1,
         "1/11/100/2/first 1/11/100/5/second 1/11/100/1/third", "1/11/100/5/third"},
        {"a bit address without a point is left out", 64, 0, "1/0/100/1/bad 1/11/7/1/good",
         "1/11/7/1/good"},
        {"types without an area left out (single)", 64, 0, no_area, "1/7/1/1/ok"},
        {"types without an area left out (multi)", 64, 1, no_area, "1/7/1/1/ok"},
        {"zero and negative lengths make no piece", 64, 0, "1/11/10/0/z 1/11/20/-5/n 1/0/3.0/0/b",
         ""},
        {"limit 0: no split, no bridging; a variable ending with the block merges", 0, 0,
         "1/11/0/150/a 1/11/160/2/b 1/11/162/1/c 1/11/145/5/d",
         "1/11/0/150/a 1/11/160/2/b 1/11/162/1/c"},
        {"negative limit: pieces by quotient and remainder", -100, 0,
         "1/11/0/150/a 1/11/200/50/b 1/5/3/20/f", "1/5/0/3/f 1/11/200/50/b"},
        {"lowest limit: one piece", INT_MIN, 1, "1/11/0/150/a 1/5/3/20/f 1/5/16/2/g",
         "1/11/0/150/a 1/5/0/3/f"},
        {"largest limit: flag blocks do not overflow", INT_MAX, 0, "1/6/0/100/c 1/6/200/1/d",
         "1/6/0/26/c"},
    };
    for (const auto& c : cases) {
        com.max_block = c.max_block;
        com.multi_station = c.multi_station;
        EXPECT_EQ(rebuild(c.vars), c.expected) << c.what;
    }
}

// No piece starts past the address a frame carries: the 16-bit FINS address space, or
// in remote mode the int range (and at most 65536 pieces a variable).
TEST_F(ReadListRebuild, PieceStartsStayWithinTheFrameAddress) {
    const struct {
        int remote_mode, max_block;
        const char* var;
        int entries;
        const char* first_and_last;
    } rows[] = {
        {0, 64, "1/11/0/2147483647/v", 1024, "1/11/0/64/v 1/11/65472/64/v"},
        {0, 64, "1/5/0/2147483647/v", 128, "1/5/0/64/v 1/5/65024/64/v"},
        {0, 64, "1/11/65500/100/v", 1, "1/11/65500/64/v 1/11/65500/64/v"},
        {0, 64, "1/0/134217727.15/2147483647/v", 0, ""},
        {1, 64, "1/11/65500/100/v", 2, "1/11/65500/64/v 1/11/65564/36/v"},
        {1, 64, "1/11/0/2147483647/v", 65536, "1/11/0/64/v 1/11/4194240/64/v"},
        {1, 4, "1/11/2147483647/10/v", 1, "1/11/2147483647/4/v 1/11/2147483647/4/v"},
    };
    for (const auto& row : rows) {
        com.remote_mode = row.remote_mode;
        com.max_block = row.max_block;
        rebuild(row.var);
        ASSERT_EQ(PLC_driver.read_list.size(), row.entries) << row.var;
        if (row.entries > 0) {
            EXPECT_EQ(entries({PLC_driver.read_list.first(), PLC_driver.read_list.last()}),
                      row.first_and_last);
        }
    }
}

TEST_F(ReadListRebuild, FillsEveryFieldOfAnEntry) {
    com.remote_mode = 3;
    com.local_link = 42;
    com.default_station = 6;
    rebuild("9/0/100.5/3/lamp");
    ASSERT_EQ(PLC_driver.read_list.size(), 1);
    const RW_VAR& e = PLC_driver.read_list.first();
    EXPECT_EQ(std::vector<int>({e.req_kind, e.req_id, e.access, e.link_mode, e.link_id, e.result,
                                e.address, e.station, e.length, e.aux1, e.aux2}),
              std::vector<int>({0, -1, 0, 3, 42, 0, 100, 6, 1, 0, 0}));
    EXPECT_EQ(e.addr_text, QString("100.5"));
}

// A rebuild replaces the whole list, own entries included, and restarts the pass
// count; an empty host list only empties the list. The write queue is not touched.
TEST_F(ReadListRebuild, ReplacesTheListAndRestartsThePassCount) {
    RW_VAR own{};
    own.name = "own";
    EXPECT_EQ(AddListReadVar(&own), 1);
    EXPECT_EQ(AddListReadVar(&own), 2);
    AddListWriteVar(&own, 1);
    PLC_driver.read_index = 5;
    com.cycle_done = 1;
    EXPECT_EQ(rebuild("1/11/1/1/a"), "1/11/1/1/a");
    EXPECT_EQ(std::vector<int>({PLC_driver.read_index, com.cycle_done}), std::vector<int>({0, 0}));
    EXPECT_EQ(AddListReadVar(&own), 2);
    EXPECT_EQ(entries(PLC_driver.read_list), "1/11/1/1/a 0/0/0/0/own");

    PLC_driver.read_index = 3;
    com.cycle_done = 1;
    EXPECT_EQ(rebuild(""), "");
    EXPECT_EQ(std::vector<int>({PLC_driver.read_index, com.cycle_done}), std::vector<int>({3, 1}));
    EXPECT_EQ(ReCreatReadVarList(nullptr), 0);
    EXPECT_EQ(PLC_driver.write_list.size(), 1);
}

RW_VAR piece(int address, int length, const char* name) {
    RW_VAR v{};
    v.reg_type = 11;
    v.address = address;
    v.length = length;
    v.name = name;
    return v;
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
    EXPECT_EQ(entries({split.last()}), "0/11/228/7/t");

    QList<RW_VAR> group = {piece(9, 1, "a"), piece(3, 1, "b"), piece(9, 1, "c"), piece(1, 1, "d")};
    Bubble_Sort(&group);
    EXPECT_EQ(entries(group), "0/11/1/1/d 0/11/3/1/b 0/11/9/1/a 0/11/9/1/c");

    RW_VAR own = piece(500, 1, "own");
    AddListReadVar(&own);
    QList<RW_VAR> words = {piece(10, 2, "w"), piece(11, 1, "x"), piece(20, 5, "y"),
                           piece(100, 1, "z")};
    EXPECT_EQ(WordVarReCreat(&words, 16, 1), 3);
    QList<RW_VAR> flags = {piece(8, 3, "f"), piece(16, 20, "g"), piece(32, 8, "h")};
    EXPECT_EQ(BitVarReCreat(&flags, 16, 3), 5);
    EXPECT_EQ(entries(PLC_driver.read_list),
              "0/11/500/1/own 0/11/10/15/w 0/11/100/1/z 0/11/8/1/f 0/11/16/3/g");
}

} // namespace
