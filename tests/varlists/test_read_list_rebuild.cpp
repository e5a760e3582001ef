#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "Func_Initi.h"
#include "driver_fixture.h"

namespace {

// station, reg_type, address, length, name of one read_list entry.
typedef std::tuple<int, int, int, int, std::string> Entry;

VAR_DESC var(int reg_type, const char* addr_text, int length, const char* name = "v",
             int station = 1) {
    VAR_DESC d{};
    d.reg_type = static_cast<unsigned char>(reg_type);
    d.station = static_cast<unsigned char>(station);
    d.addr_text = QString::fromLatin1(addr_text);
    d.name = QString::fromLatin1(name);
    d.length = length;
    return d;
}

std::vector<Entry> readList() {
    std::vector<Entry> out;
    for (const RW_VAR& e : PLC_driver.read_list)
        out.emplace_back(e.station, e.reg_type, e.address, e.length, e.name.toStdString());
    return out;
}

class ReadListRebuild : public DriverTest {
  protected:
    // Rebuilds from the descriptions; the result must equal the size of read_list.
    std::vector<Entry> rebuild(const QList<VAR_DESC>& descs) {
        QList<VAR_DESC> host = descs;
        const int n = ReCreatReadVarList(&host);
        EXPECT_EQ(n, PLC_driver.read_list.size());
        return readList();
    }
};

struct RebuildCase {
    const char* what;
    int max_block;
    int multi_station;
    QList<VAR_DESC> vars;
    std::vector<Entry> expected;
};

TEST_F(ReadListRebuild, MergesSplitsAndOrdersBlocks) {
    const RebuildCase cases[] = {
        {"gaps bridged within the limit",
         64,
         0,
         {var(11, "100", 2, "a"), var(11, "110", 1, "b"), var(11, "150", 4, "c")},
         {Entry(1, 11, 100, 54, "a")}},
        {"gap too wide for the limit",
         20,
         0,
         {var(11, "100", 2, "a"), var(11, "110", 1, "b"), var(11, "150", 4, "c")},
         {Entry(1, 11, 100, 11, "a"), Entry(1, 11, 150, 4, "c")}},
        {"a variable inside another",
         64,
         0,
         {var(11, "100", 10, "a"), var(11, "103", 2, "b")},
         {Entry(1, 11, 100, 10, "a")}},
        {"a long variable is split; a later one inside adds nothing",
         64,
         0,
         {var(11, "0", 150, "a"), var(11, "130", 5, "b")},
         {Entry(1, 11, 0, 64, "a"), Entry(1, 11, 64, 64, "a"), Entry(1, 11, 128, 22, "a")}},
        {"exactly full",
         64,
         0,
         {var(11, "0", 64, "a"), var(11, "64", 1, "b")},
         {Entry(1, 11, 0, 64, "a"), Entry(1, 11, 64, 1, "b")}},
        {"adjacent within the limit",
         64,
         0,
         {var(11, "0", 63, "a"), var(11, "63", 1, "b")},
         {Entry(1, 11, 0, 64, "a")}},
        {"bit variable keeps its type in single-station mode",
         64,
         0,
         {var(2, "10.14", 4, "a"), var(9, "11", 1, "b")},
         {Entry(1, 2, 10, 2, "a")}},
        {"bit variable takes the word type in multi-station mode",
         64,
         1,
         {var(2, "10.14", 4, "a"), var(9, "11", 1, "b")},
         {Entry(1, 9, 10, 2, "a")}},
        {"timer flags in groups of eight",
         64,
         0,
         {var(5, "13", 1, "a"), var(5, "20", 1, "b"), var(5, "35", 1, "c")},
         {Entry(1, 5, 8, 4, "a")}},
        {"timer flags 6 to 9", 64, 0, {var(5, "6", 4, "a")}, {Entry(1, 5, 0, 2, "a")}},
        {"flags 3 and 12 with one group per read",
         1,
         0,
         {var(5, "3", 1, "a"), var(5, "12", 1, "b")},
         {Entry(1, 5, 0, 1, "a"), Entry(1, 5, 8, 1, "b")}},
        {"flags 3 and 5 with one group per read",
         1,
         0,
         {var(6, "3", 1, "a"), var(6, "5", 1, "b")},
         {Entry(1, 6, 0, 1, "a")}},
        {"counter flags split by the flag limit",
         2,
         1,
         {var(6, "3", 30, "a", 4)},
         {Entry(4, 6, 0, 2, "a"), Entry(4, 6, 16, 2, "a"), Entry(4, 6, 32, 1, "a")}},
        {"single-station lists in area order",
         64,
         0,
         {var(11, "100", 1, "d"), var(13, "1", 1, "cv"), var(5, "3", 1, "tf"),
          var(0, "2.0", 1, "cio"), var(12, "1", 1, "tv"), var(6, "1", 1, "cf"),
          var(3, "1.1", 1, "a"), var(8, "1", 1, "w"), var(9, "1", 1, "h")},
         {Entry(1, 5, 0, 1, "tf"), Entry(1, 6, 0, 1, "cf"), Entry(1, 0, 2, 1, "cio"),
          Entry(1, 8, 1, 1, "w"), Entry(1, 9, 1, 1, "h"), Entry(1, 3, 1, 1, "a"),
          Entry(1, 11, 100, 1, "d"), Entry(1, 12, 1, 1, "tv"), Entry(1, 13, 1, 1, "cv")}},
        {"single-station mode puts every variable on the default station",
         64,
         0,
         {var(11, "100", 1, "a", 9), var(11, "101", 1, "b", 3)},
         {Entry(1, 11, 100, 2, "a")}},
        {"multi-station groups in order of first use",
         64,
         1,
         {var(11, "100", 2, "a", 2), var(7, "5", 2, "b", 1), var(11, "50", 2, "c", 2)},
         {Entry(2, 11, 50, 52, "c"), Entry(1, 7, 5, 2, "b")}},
        {"multi-station: bit and word type of one area share a group",
         64,
         1,
         {var(0, "5.3", 1, "bit"), var(7, "5", 1, "word")},
         {Entry(1, 7, 5, 1, "word")}},
        {"multi-station: station 255 is a group of its own",
         64,
         1,
         {var(7, "5", 1, "s255", 255), var(8, "6", 1, "s0", 0)},
         {Entry(255, 7, 5, 1, "s255"), Entry(0, 8, 6, 1, "s0")}},
        {"multi-station: a bit type counts as its word type for group order",
         64,
         1,
         {var(1, "2.0", 1, "w"), var(11, "0", 1, "d"), var(8, "9", 1, "w2")},
         {Entry(1, 8, 2, 8, "w"), Entry(1, 11, 0, 1, "d")}},
        {"tie at equal addresses, single-station: first listed opens the block",
         64,
         0,
         {var(11, "100", 2, "first"), var(11, "100", 5, "second")},
         {Entry(1, 11, 100, 5, "first")}},
        {"tie at equal addresses, multi-station: last listed opens the block",
         64,
         1,
         {var(11, "100", 2, "first"), var(11, "100", 5, "second"), var(11, "100", 1, "third")},
         {Entry(1, 11, 100, 5, "third")}},
        {"a bit address without a point is left out",
         64,
         0,
         {var(0, "100", 1, "bad"), var(11, "7", 1, "good")},
         {Entry(1, 11, 7, 1, "good")}},
        {"types without an area are left out in both modes (single)",
         64,
         0,
         {var(14, "1", 1, "x"), var(255, "1", 1, "y"), var(7, "1", 1, "ok")},
         {Entry(1, 7, 1, 1, "ok")}},
        {"types without an area are left out in both modes (multi)",
         64,
         1,
         {var(14, "1", 1, "x"), var(255, "1", 1, "y"), var(7, "1", 1, "ok")},
         {Entry(1, 7, 1, 1, "ok")}},
        {"zero and negative lengths make no piece",
         64,
         0,
         {var(11, "10", 0, "zero"), var(11, "20", -5, "neg"), var(0, "3.0", 0, "bit")},
         {}},
        {"bit variable crossing a word boundary",
         64,
         0,
         {var(4, "7.15", 2, "a")},
         {Entry(1, 4, 7, 2, "a")}},
        {"limit 0: no split, no bridging, containment still merges",
         0,
         0,
         {var(11, "0", 150, "a"), var(11, "160", 2, "b"), var(11, "162", 1, "c"),
          var(11, "10", 5, "d")},
         {Entry(1, 11, 0, 150, "a"), Entry(1, 11, 160, 2, "b"), Entry(1, 11, 162, 1, "c")}},
        {"negative limit behaves as limit 0",
         INT_MIN,
         1,
         {var(11, "0", 150, "a"), var(5, "3", 20, "f"), var(5, "16", 2, "g")},
         {Entry(1, 11, 0, 150, "a"), Entry(1, 5, 0, 3, "f")}},
        {"negative limit: one piece only when it exceeds the length",
         -100,
         0,
         {var(11, "0", 150, "a"), var(11, "200", 50, "b"), var(5, "3", 20, "f")},
         {Entry(1, 5, 0, 3, "f"), Entry(1, 11, 200, 50, "b")}},
    };
    for (const RebuildCase& c : cases) {
        com.max_block = c.max_block;
        com.multi_station = c.multi_station;
        EXPECT_EQ(rebuild(c.vars), c.expected) << c.what;
    }
}

TEST_F(ReadListRebuild, FillsEveryFieldOfAnEntry) {
    com.remote_mode = 3;
    com.local_link = 42;
    com.default_station = 6;
    rebuild({var(0, "100.5", 3, "lamp", 9)});
    ASSERT_EQ(PLC_driver.read_list.size(), 1);
    const RW_VAR& e = PLC_driver.read_list.first();
    EXPECT_EQ(e.req_id, -1);
    EXPECT_EQ(e.link_mode, 3);
    EXPECT_EQ(e.link_id, 42);
    EXPECT_EQ(e.address, 100);
    EXPECT_EQ(e.station, 6);
    EXPECT_EQ(e.length, 1);
}

TEST_F(ReadListRebuild, ReplacesTheListAndRestartsThePassCount) {
    RW_VAR own{};
    own.name = "own";
    own.reg_type = 11;
    EXPECT_EQ(AddListReadVar(&own), 1);
    EXPECT_EQ(AddListReadVar(&own), 2);
    PLC_driver.read_index = 5;
    com.cycle_done = 1;
    EXPECT_EQ(rebuild({var(11, "1", 1, "a")}), std::vector<Entry>{Entry(1, 11, 1, 1, "a")});
    EXPECT_EQ(PLC_driver.read_index, 0);
    EXPECT_EQ(com.cycle_done, 0);

    EXPECT_EQ(AddListReadVar(&own), 2);
    EXPECT_EQ(PLC_driver.read_list.last().name, QString("own"));
}

TEST_F(ReadListRebuild, EmptyHostListEmptiesTheListOnly) {
    rebuild({var(11, "1", 1, "a")});
    PLC_driver.read_index = 3;
    com.cycle_done = 1;
    RW_VAR w{};
    AddListWriteVar(&w, 1);
    EXPECT_TRUE(rebuild({}).empty());
    EXPECT_EQ(PLC_driver.read_index, 3);
    EXPECT_EQ(com.cycle_done, 1);
    EXPECT_EQ(PLC_driver.write_list.size(), 1);
    EXPECT_EQ(ReCreatReadVarList(nullptr), 0);
}

TEST_F(ReadListRebuild, HostListIsNotChanged) {
    QList<VAR_DESC> host = {var(0, "1.15", 2, "a"), var(5, "9", 1, "b")};
    ReCreatReadVarList(&host);
    ASSERT_EQ(host.size(), 2);
    EXPECT_EQ(host[0].addr_text, QString("1.15"));
    EXPECT_EQ(host[0].length, 2);
    EXPECT_EQ(host[0].reg_type, 0);
    EXPECT_EQ(host[1].addr_text, QString("9"));
}

// No piece starts past the address a frame carries: the 16-bit FINS address space, or
// in remote mode the int range (and at most 65536 pieces a variable).
TEST_F(ReadListRebuild, PieceStartsStayWithinTheFrameAddress) {
    com.max_block = 64;
    std::vector<Entry> words = rebuild({var(11, "0", INT_MAX, "big")});
    ASSERT_EQ(words.size(), 1024u);
    EXPECT_EQ(words.back(), Entry(1, 11, 65472, 64, "big"));

    std::vector<Entry> flags = rebuild({var(5, "0", INT_MAX, "f")});
    ASSERT_EQ(flags.size(), 128u);
    EXPECT_EQ(flags.back(), Entry(1, 5, 65024, 64, "f"));

    EXPECT_EQ(rebuild({var(11, "65500", 100, "edge")}),
              std::vector<Entry>{Entry(1, 11, 65500, 64, "edge")});
    EXPECT_TRUE(rebuild({var(0, "134217727.15", INT_MAX, "b")}).empty());

    com.remote_mode = 1;
    EXPECT_EQ(
        rebuild({var(11, "65500", 100, "edge")}),
        (std::vector<Entry>{Entry(1, 11, 65500, 64, "edge"), Entry(1, 11, 65564, 36, "edge")}));
    words = rebuild({var(11, "0", INT_MAX, "big")});
    ASSERT_EQ(words.size(), 65536u);
    EXPECT_EQ(words.back(), Entry(1, 11, 65535 * 64, 64, "big"));
    com.max_block = 4;
    EXPECT_EQ(rebuild({var(11, "2147483647", 10, "top")}),
              std::vector<Entry>{Entry(1, 11, INT_MAX, 4, "top")});

    com.max_block = INT_MAX;
    EXPECT_EQ(rebuild({var(6, "0", 100, "c"), var(6, "200", 1, "d")}),
              std::vector<Entry>{Entry(1, 6, 0, 26, "c")});
}

TEST_F(ReadListRebuild, ManyVariablesInBothModes) {
    QList<VAR_DESC> host;
    for (int i = 0; i < 100000; ++i)
        host.append(var(11, QByteArray::number(i % 50000).constData(), 1, "v", i / 50000));
    for (int multi = 0; multi <= 1; ++multi) {
        com.multi_station = multi;
        const int n = ReCreatReadVarList(&host);
        const int groups = multi ? 2 : 1;
        // Words 0 to 49999 per group in blocks of 64 words.
        ASSERT_EQ(n, groups * 782) << multi;
        EXPECT_EQ(PLC_driver.read_list.at(781).address, 49984);
        EXPECT_EQ(PLC_driver.read_list.at(781).length, 16);
        EXPECT_EQ(PLC_driver.read_list.at(0).station, multi ? 0 : 1);
        EXPECT_EQ(PLC_driver.read_list.at(n - 1).station, 1);
    }
}

} // namespace
