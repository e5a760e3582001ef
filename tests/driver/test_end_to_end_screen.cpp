// A whole screen, end to end: the host registers its variables, the loop runs
// against a PLC that answers from its memory until a pass is complete, and every
// variable reads back through GetRegisterData; then the screen writes, and the
// frames sent, the PLC memory and what the screen sees are checked.
#include <algorithm>

#include "conversation_support.h"
#include "fins_frame.h"

namespace {

struct ScreenVar {
    int reg_type;
    const char* addr;
    int length;
    int station;
};

// Every register type; overlapping ranges, ranges across word boundaries, and
// variables longer than one frame may carry.
const ScreenVar kScreen[] = {
    {0, "0.00", 1, 1},   {0, "0.05", 3, 1},   {0, "10.15", 2, 1},   {0, "100.00", 40, 1},
    {1, "5.03", 1, 1},   {2, "20.00", 16, 1}, {3, "448.02", 1, 1},  {4, "1000.07", 1, 1},
    {5, "3", 1, 1},      {5, "13", 4, 1},     {5, "0", 20, 1},      {6, "8", 9, 1},
    {6, "100", 1, 1},    {7, "0", 2, 1},      {7, "100", 3, 1},     {8, "5", 1, 1},
    {8, "200", 10, 1},   {9, "20", 2, 1},     {9, "511", 1, 1},     {10, "448", 4, 1},
    {10, "959", 1, 1},   {11, "100", 1, 1},   {11, "100", 5, 1},    {11, "102", 2, 1},
    {11, "1000", 50, 1}, {11, "32767", 1, 1}, {11, "32000", 30, 1}, {12, "0", 4, 1},
    {12, "4095", 1, 1},  {13, "10", 2, 1},    {13, "4000", 3, 1},
};

// The same kinds of variables spread over three stations, some at equal addresses.
const ScreenVar kStations[] = {
    {0, "0.05", 3, 1},   {0, "0.05", 3, 2},    {2, "20.00", 16, 3}, {4, "1000.07", 1, 2},
    {5, "13", 4, 1},     {5, "13", 4, 3},      {6, "8", 9, 2},      {7, "100", 3, 1},
    {7, "100", 3, 3},    {8, "200", 10, 2},    {9, "511", 1, 1},    {10, "448", 4, 3},
    {11, "100", 5, 1},   {11, "100", 5, 2},    {11, "100", 5, 3},   {11, "102", 2, 2},
    {11, "1000", 50, 1}, {11, "32000", 30, 3}, {12, "0", 4, 2},     {13, "10", 2, 1},
    {13, "4000", 3, 3},  {1, "5.03", 1, 1},    {3, "448.02", 1, 2},
};

unsigned pattern(int station, unsigned area, unsigned address) {
    return (station * 0x3131u + area * 0x0101u + address * 0x2F1Bu) & 0xFFFFu;
}

// Where a variable's elements live in PLC memory.
struct Place {
    const fins::RegType* type;
    int first; // numeric address
    unsigned area() const { return type->read_area; }
    unsigned offset() const { return type->counter ? 0x8000u : 0u; }
};

Place placeOf(const ScreenVar& v) {
    return {fins::regType(v.reg_type), PLCAddressChangeIntef(v.reg_type, v.addr)};
}

void seed(peer::PlcMemory& m, const ScreenVar& v) {
    const Place p = placeOf(v);
    if (p.type->unit == fins::Unit::Flag) {
        for (int i = 0; i < v.length; ++i) {
            const unsigned f = p.offset() + p.first + i;
            m.setFlag(v.station, f, pattern(v.station, 9, f) & 1);
        }
        return;
    }
    int from = p.first, to = p.first + v.length - 1;
    if (p.type->unit == fins::Unit::Bit) { // bits are read as whole words
        from /= 16;
        to /= 16;
    }
    for (int w = from; w <= to; ++w) {
        const unsigned a = p.offset() + w;
        m.setWord(v.station, p.area(), a, pattern(v.station, p.area(), a));
    }
}

// The bytes a screen should read for v, from the PLC's memory.
QByteArray expectedScreenBytes(const peer::PlcMemory& m, const ScreenVar& v) {
    const Place p = placeOf(v);
    QByteArray out;
    for (int i = 0; i < v.length; ++i) {
        const unsigned n = p.first + i;
        switch (p.type->unit) {
        case fins::Unit::Bit:
            out.append(char(m.word(v.station, p.area(), n / 16) >> (n % 16) & 1));
            break;
        case fins::Unit::Flag:
            out.append(char(m.flag(v.station, p.offset() + n)));
            break;
        default: {
            const unsigned w = m.word(v.station, p.area(), p.offset() + n);
            out.append(char(w & 0xFF));
            out.append(char(w >> 8));
        }
        }
    }
    return out;
}

QByteArray screenRead(const ScreenVar& v) {
    QString name = "screen", text = v.addr;
    QByteArray buffer;
    if (GetRegisterData(&name, v.reg_type, &text, v.station, &buffer, v.length) != 1)
        return "refused";
    return buffer;
}

int screenWrite(int reg_type, const char* addr, int station, const QByteArray& value, int count) {
    QString name = "entry", text = addr;
    QByteArray bytes = value;
    return SetRegisterData(&name, reg_type, &text, station, &bytes, count, 2, 9);
}

class EndToEndScreen : public Conversation {
  protected:
    template <size_t N> void registerScreen(const ScreenVar (&vars)[N]) {
        QList<VAR_DESC> list;
        for (const ScreenVar& v : vars) {
            VAR_DESC d = {};
            d.reg_type = static_cast<unsigned char>(v.reg_type);
            d.station = static_cast<unsigned char>(v.station);
            d.addr_text = v.addr;
            d.name = QString("%1@%2").arg(v.reg_type).arg(v.addr);
            d.length = v.length;
            list.append(d);
            seed(plc.memory(), v);
        }
        ASSERT_GT(ReCreatReadVarList(&list), 0);
        ASSERT_EQ(com.cycle_done, 0);
    }

    // Runs the loop until a pass over the read list is complete; the frames sent.
    std::vector<std::string> runPass() {
        std::vector<std::string> sent;
        for (int turn = 0; turn < 400 && com.cycle_done == 0; ++turn) {
            const peer::Turn t = plc.serve();
            EXPECT_TRUE(t.sent);
            EXPECT_TRUE(t.result == 1) << t.what << " gave " << t.result;
            sent.push_back(t.what);
        }
        EXPECT_EQ(com.cycle_done, 1);
        return sent;
    }

    template <size_t N> void expectScreenShowsPlc(const ScreenVar (&vars)[N]) {
        for (const ScreenVar& v : vars) {
            SCOPED_TRACE(testing::Message() << "type " << v.reg_type << " at " << v.addr << " x"
                                            << v.length << " station " << v.station);
            EXPECT_EQ(toHex(screenRead(v)), toHex(expectedScreenBytes(plc.memory(), v)));
        }
    }
};

TEST_F(EndToEndScreen, SingleStationScreenReadsAndWrites) {
    com.max_block = 20;
    registerScreen(kScreen);
    const int blocks = PLC_driver.read_list.size();
    const std::vector<std::string> pass = runPass();
    ASSERT_GE(pass.size(), 2u);
    EXPECT_EQ(pass.front(), "handshake");
    EXPECT_EQ(static_cast<int>(pass.size()), 1 + blocks + 1); // a pass is size + 1 replies
    expectScreenShowsPlc(kScreen);

    // Two Data Memory words from the screen: queued, built, sent, acknowledged.
    const ScreenVar d100{11, "100", 2, 1};
    const QByteArray before = screenRead(d100);
    EXPECT_EQ(screenWrite(11, "100", 1, hex("34 12 78 56"), 2), 1);
    EXPECT_EQ(screenRead(d100), before); // shown once the frame is built
    const peer::Turn w = plc.serve();
    EXPECT_EQ(toHex(w.frame), toHex(hex("46494E53 0000001E 00000002 00000000"
                                        "80 00 02 00 01 00 00 0A 00 00 01 02"
                                        "82 0064 00 0002 1234 5678")));
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(toHex(screenRead(d100)), "34 12 78 56");
    EXPECT_EQ(plc.memory().word(1, AREA_D, 100), 0x1234u);
    EXPECT_EQ(plc.memory().word(1, AREA_D, 101), 0x5678u);

    // Two CIO bits, one frame each; then a counter present value.
    EXPECT_EQ(screenWrite(0, "100.05", 1, hex("01 00"), 2), 2);
    const peer::Turn b1 = plc.serve();
    EXPECT_EQ(toHex(b1.frame), toHex(hex("46494E53 0000001B 00000002 00000000"
                                         "80 00 02 00 01 00 00 0A 00 00 01 02"
                                         "30 0064 05 0001 01")));
    EXPECT_EQ(plc.serve().what, "write bit CIO100.06 = 0");
    EXPECT_EQ(screenWrite(13, "10", 1, hex("09 00"), 1), 1);
    const peer::Turn c = plc.serve();
    EXPECT_EQ(toHex(c.frame.mid(26)), "01 02 89 80 0A 00 00 01 00 09");
    EXPECT_EQ(plc.memory().word(1, 0x89, 0x800A), 9u);

    // The PLC changes values of its own; the next pass brings everything to the screen.
    plc.memory().setWord(1, AREA_D, 1049, 0xCAFE);
    plc.memory().setFlag(1, 0x8000 + 16, 1);
    com.cycle_done = 0;
    runPass();
    expectScreenShowsPlc(kScreen);
    EXPECT_EQ(toHex(screenRead({0, "100.05", 2, 1})), "01 00");
    EXPECT_EQ(toHex(screenRead({11, "1049", 1, 1})), "FE CA");
}

TEST_F(EndToEndScreen, MultiStationScreenReadsAndWrites) {
    com.multi_station = 1;
    com.max_block = 16;
    plc.setPlcNode(1, 0x11);
    plc.setPlcNode(2, 0x12);
    plc.setPlcNode(3, 0x13);
    registerScreen(kStations);
    const std::vector<std::string> pass = runPass();
    EXPECT_EQ(std::count(pass.begin(), pass.end(), "handshake"), 3);
    expectScreenShowsPlc(kStations);
    EXPECT_TRUE(sameNodes(map_list[2], Check_Plc{1, 0x12, 10}));

    // Station 2's D100 and D101; the frame goes to station 2's node only.
    const ScreenVar d100_2{11, "100", 2, 2}, d100_3{11, "100", 2, 3};
    const QByteArray station3 = screenRead(d100_3);
    EXPECT_EQ(screenWrite(11, "100", 2, hex("CD AB 01 00"), 2), 1);
    const peer::Turn w = plc.serve();
    EXPECT_EQ(toHex(w.frame.mid(16)), toHex(hex("80 00 02 00 12 00 00 0A 00 00 01 02"
                                                "82 0064 00 0002 ABCD 0001")));
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(toHex(screenRead(d100_2)), "CD AB 01 00");
    EXPECT_EQ(screenRead(d100_3), station3);
    EXPECT_EQ(plc.memory().word(2, AREA_D, 100), 0xABCDu);

    // A bit of station 1 that the pass has read: shown as written once built.
    EXPECT_EQ(screenWrite(0, "0.06", 1, hex("01"), 1), 1);
    const peer::Turn b = plc.serve();
    EXPECT_EQ(b.what, "write bit CIO0.06 = 1");
    EXPECT_EQ(toHex(b.frame.mid(16, 10)), "80 00 02 00 11 00 00 0A 00 00");
    EXPECT_EQ(toHex(screenRead({0, "0.06", 1, 1})), "01");
    EXPECT_EQ(toHex(screenRead({0, "0.06", 1, 2})),
              toHex(expectedScreenBytes(plc.memory(), {0, "0.06", 1, 2})));

    com.cycle_done = 0;
    runPass();
    expectScreenShowsPlc(kStations);
}

} // namespace
