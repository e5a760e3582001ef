#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "Func_Initi.h"
#include "driver_fixture.h"

namespace {

RW_VAR request(int reg_type, const char* addr_text, int length, int req_kind = 1, int req_id = 1) {
    RW_VAR v{};
    v.req_kind = req_kind;
    v.req_id = req_id;
    v.name = "r";
    v.addr_text = QString::fromLatin1(addr_text);
    v.reg_type = reg_type;
    v.station = 1;
    v.length = length;
    return v;
}

RW_VAR write(int station, int reg_type, int address, int length, const char* value) {
    RW_VAR v = request(reg_type, "", length);
    v.access = 1;
    v.station = station;
    v.address = address;
    v.value = QByteArray(value);
    return v;
}

// station, reg_type, address, length of one queue entry.
typedef std::tuple<int, int, int, int> Place;

std::vector<Place> places(const QList<RW_VAR>& queue) {
    std::vector<Place> out;
    for (const RW_VAR& e : queue)
        out.emplace_back(e.station, e.reg_type, e.address, e.length);
    return out;
}

std::string values(const QList<RW_VAR>& queue) {
    std::string out;
    for (const RW_VAR& e : queue)
        out += e.value.toStdString() + "|";
    return out;
}

typedef DriverTest WriteQueue;

TEST_F(WriteQueue, AppendsAndNeverReplacesTheHead) {
    RW_VAR a = write(1, 11, 100, 1, "a1");
    EXPECT_EQ(AddListWriteVar(&a, 0), 1);
    RW_VAR a2 = write(1, 11, 100, 1, "a2");
    EXPECT_EQ(AddListWriteVar(&a2, 0), 2);
    EXPECT_EQ(values(PLC_driver.write_list), "a1|a2|");
}

TEST_F(WriteQueue, LaterWriteOverwritesTheFirstMatchBehindTheHead) {
    RW_VAR a = write(1, 11, 100, 1, "a");
    RW_VAR b = write(1, 11, 200, 2, "b");
    RW_VAR b2 = write(1, 11, 200, 2, "b'");
    AddListWriteVar(&a, 0);
    AddListWriteVar(&b, 0);
    AddListWriteVar(&b2, 1);
    RW_VAR nb = write(1, 11, 200, 2, "new");
    nb.req_kind = 9;
    nb.req_id = 8;
    nb.name = "fresh";
    EXPECT_EQ(AddListWriteVar(&nb, 0), 3);
    EXPECT_EQ(values(PLC_driver.write_list), "a|new|b'|");
    EXPECT_EQ(PLC_driver.write_list[1].req_kind, 9);
    EXPECT_EQ(PLC_driver.write_list[1].req_id, 8);
    EXPECT_EQ(PLC_driver.write_list[1].name, QString("fresh"));
    EXPECT_EQ(nb.value, QByteArray("new"));
}

TEST_F(WriteQueue, IdentityIsStationTypeAddressAndLength) {
    RW_VAR head = write(1, 11, 0, 1, "h");
    RW_VAR b = write(1, 11, 200, 2, "b");
    AddListWriteVar(&head, 0);
    AddListWriteVar(&b, 0);
    const RW_VAR others[] = {write(2, 11, 200, 2, "s"), write(1, 9, 200, 2, "t"),
                             write(1, 11, 201, 2, "a"), write(1, 11, 200, 3, "l")};
    for (RW_VAR o : others)
        AddListWriteVar(&o, 0);
    EXPECT_EQ(values(PLC_driver.write_list), "h|b|s|t|a|l|");
}

TEST_F(WriteQueue, RegularPathStopsAt1024DirectPathDoesNot) {
    for (int i = 0; i < 1024; ++i) {
        RW_VAR w = write(1, 11, i, 1, "x");
        ASSERT_EQ(AddListWriteVar(&w, 0), i + 1);
    }
    RW_VAR extra = write(1, 11, 5000, 1, "dropped");
    EXPECT_EQ(AddListWriteVar(&extra, 0), 1024);
    RW_VAR match = write(1, 11, 700, 1, "kept");
    EXPECT_EQ(AddListWriteVar(&match, 0), 1024);
    EXPECT_EQ(PLC_driver.write_list[700].value, QByteArray("kept"));
    RW_VAR other_mode = write(1, 11, 6000, 1, "two");
    EXPECT_EQ(AddListWriteVar(&other_mode, 2), 1024);
    EXPECT_EQ(AddListWriteVar(&extra, 1), 1025);
    EXPECT_EQ(AddListWriteVar(&match, 1), 1026);
    EXPECT_EQ(PLC_driver.write_list.last().value, QByteArray("kept"));
}

typedef DriverTest OnceQueue;

TEST_F(OnceQueue, SplitsIntoPiecesAndLeavesTheLastInTheRecord) {
    RW_VAR r = request(11, "100", 150);
    r.aux1 = 5;
    r.aux2 = 6;
    EXPECT_EQ(AddListOnceReadVar(&r, 0), 3);
    EXPECT_EQ(
        places(PLC_driver.once_list),
        (std::vector<Place>{Place(1, 11, 100, 64), Place(1, 11, 164, 64), Place(1, 11, 228, 22)}));
    EXPECT_EQ(r.address, 228);
    EXPECT_EQ(r.length, 22);
    EXPECT_EQ(r.aux1, 0);
    EXPECT_EQ(r.aux2, 0);

    RW_VAR again = request(11, "100", 150);
    EXPECT_EQ(AddListOnceReadVar(&again, 0), 3);
    RW_VAR other_id = request(11, "100", 150, 1, 2);
    EXPECT_EQ(AddListOnceReadVar(&other_id, 0), 6);
    RW_VAR other_kind = request(11, "100", 150, 2, 1);
    EXPECT_EQ(AddListOnceReadVar(&other_kind, 0), 9);
}

struct OnceCase {
    const char* what;
    int max_block;
    int multi_station;
    RW_VAR req;
    int result;
    std::vector<Place> queued;
    int address_after, length_after;
};

RW_VAR withStation(RW_VAR v, int station) {
    v.station = station;
    return v;
}
RW_VAR withAddress(RW_VAR v, int address) {
    v.address = address;
    return v;
}

TEST_F(OnceQueue, ConvertsToReadUnitsByType) {
    const OnceCase cases[] = {
        {"bits become words", 64, 0, request(0, "5.3", 20), 1, {Place(1, 0, 5, 2)}, 5, 2},
        {"bit run ending on a word edge",
         64,
         0,
         request(4, "5.0", 16),
         1,
         {Place(1, 4, 5, 1)},
         5,
         1},
        {"counter flags become a group of 8",
         64,
         0,
         request(6, "13", 1),
         1,
         {Place(1, 6, 8, 1)},
         8,
         1},
        {"flags split by groups",
         2,
         0,
         request(5, "3", 30),
         3,
         {Place(1, 5, 0, 2), Place(1, 5, 16, 2), Place(1, 5, 32, 1)},
         32,
         1},
        {"no point in a bit address", 64, 0, withAddress(request(2, "100", 4), 77), 0, {}, 77, 4},
        {"negative word address", 64, 0, request(11, "-4", 4), 0, {}, 0, 4},
        {"single-station mode uses the default station",
         64,
         0,
         withStation(request(11, "7", 1), 7),
         1,
         {Place(1, 11, 7, 1)},
         7,
         1},
        {"multi-station mode keeps the station",
         64,
         1,
         withStation(request(11, "7", 1), 7),
         1,
         {Place(7, 11, 7, 1)},
         7,
         1},
        {"type without an area keeps the record's address",
         64,
         0,
         withAddress(request(14, "7", 1), 300),
         1,
         {Place(1, 14, 300, 1)},
         300,
         1},
        {"limit 0: one piece",
         0,
         0,
         request(11, "100", 150),
         1,
         {Place(1, 11, 100, 150)},
         100,
         150},
        {"negative limit: one piece",
         INT_MIN,
         0,
         request(11, "100", 150),
         1,
         {Place(1, 11, 100, 150)},
         100,
         150},
        {"zero length: no piece", 64, 0, request(11, "100", 0), 0, {}, 100, 0},
        {"negative bit length: no piece", 64, 0, request(0, "1.2", -40), 0, {}, 1, -2},
        {"limit -100 below the length: no piece",
         -100,
         0,
         request(11, "100", 150),
         0,
         {},
         100,
         150},
        {"limit -200 above the length: one piece",
         -200,
         0,
         request(11, "100", 150),
         1,
         {Place(1, 11, 100, 150)},
         100,
         150},
    };
    for (const OnceCase& c : cases) {
        PLC_driver.once_list.clear();
        com.max_block = c.max_block;
        com.multi_station = c.multi_station;
        RW_VAR r = c.req;
        EXPECT_EQ(AddListOnceReadVar(&r, 0), c.result) << c.what;
        EXPECT_EQ(places(PLC_driver.once_list), c.queued) << c.what;
        EXPECT_EQ(r.address, c.address_after) << c.what;
        EXPECT_EQ(r.length, c.length_after) << c.what;
    }
}

TEST_F(OnceQueue, RejectedTextLeavesTheRecordAlone) {
    RW_VAR r = withStation(request(2, "12", 4), 7);
    r.aux1 = 3;
    r.address = 55;
    EXPECT_EQ(AddListOnceReadVar(&r, 0), 0);
    EXPECT_EQ(r.station, 7);
    EXPECT_EQ(r.aux1, 3);
    EXPECT_EQ(r.address, 55);
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
}

TEST_F(OnceQueue, PiecesBeyondTheLimitAreDropped) {
    for (int i = 0; i < 1023; ++i) {
        RW_VAR d = request(11, "0", 1, 5, i);
        ASSERT_EQ(AddListOnceReadVar(&d, 1), i + 1);
    }
    RW_VAR r = request(11, "100", 150);
    EXPECT_EQ(AddListOnceReadVar(&r, 0), 1024);
    EXPECT_EQ(places({PLC_driver.once_list.last()}), (std::vector<Place>{Place(1, 11, 100, 64)}));
    EXPECT_EQ(r.address, 228);
    EXPECT_EQ(r.length, 22);
    RW_VAR more = request(11, "900", 1, 3, 3);
    EXPECT_EQ(AddListOnceReadVar(&more, 0), 1024);
    EXPECT_EQ(AddListOnceReadVar(&more, 1), 1025);
}

TEST_F(OnceQueue, DirectPathAppendsTheRecordAsItIs) {
    RW_VAR r = withStation(request(2, "no point", 99), 7);
    r.address = 12;
    r.aux1 = 4;
    EXPECT_EQ(AddListOnceReadVar(&r, 1), 1);
    EXPECT_EQ(AddListOnceReadVar(&r, 1), 2);
    EXPECT_EQ(places(PLC_driver.once_list),
              (std::vector<Place>{Place(7, 2, 12, 99), Place(7, 2, 12, 99)}));
    EXPECT_EQ(PLC_driver.once_list[0].aux1, 4);
    EXPECT_EQ(r.aux1, 4);
}

// No piece starts past the 16-bit FINS address space; in remote mode past the int range.
TEST_F(OnceQueue, PieceStartsStayWithinTheFrameAddress) {
    RW_VAR r = request(11, "0", INT_MAX);
    EXPECT_EQ(AddListOnceReadVar(&r, 0), 1024);
    EXPECT_EQ(places({PLC_driver.once_list.last()}), (std::vector<Place>{Place(1, 11, 65472, 64)}));
    EXPECT_EQ(r.address, 65472);
    EXPECT_EQ(r.length, 64);

    PLC_driver.once_list.clear();
    RW_VAR edge = request(11, "65500", 100);
    EXPECT_EQ(AddListOnceReadVar(&edge, 0), 1);
    com.remote_mode = 1;
    RW_VAR remote_edge = request(11, "65500", 100);
    EXPECT_EQ(AddListOnceReadVar(&remote_edge, 0), 2);
    EXPECT_EQ(places(PLC_driver.once_list),
              (std::vector<Place>{Place(1, 11, 65500, 64), Place(1, 11, 65564, 36)}));

    PLC_driver.once_list.clear();
    com.max_block = 1;
    RW_VAR f = request(5, "2147483647", INT_MAX);
    EXPECT_EQ(AddListOnceReadVar(&f, 0), 1);
    EXPECT_EQ(PLC_driver.once_list.first().address, 2147483640);
    EXPECT_EQ(f.address, 2147483640);
    EXPECT_EQ(f.length, 1);
}

} // namespace
