// Exact request bytes of every frame builder, refused records beside the good ones.
#include <vector>

#include "Func_Read.h"
#include "Func_Remote.h"
#include "Func_Write.h"
#include "driver_fixture.h"
#include "fins_codec.h"

namespace {

typedef void (*Builder)(RW_VAR*);

RW_VAR record(int req_kind, int access, int link_id, int station, int reg_type, int address,
              int length, int aux1, int aux2, const char* value_hex = "") {
    return {req_kind, 9,       access,  0,      link_id, 0,    "var",         "",
            reg_type, address, station, length, aux1,    aux2, hex(value_hex)};
}

// A record of station 1, or of another station.
RW_VAR at(int reg_type, int address, int length, const char* value_hex = "", int station = 1) {
    return record(3, 0, 0, station, reg_type, address, length, 4, 5, value_hex);
}

// A FINS/TCP frame to station 1 (PLC node 01, HMI node 0A) or 7 (21, 33): the FINS
// header written out by hand, then the command.
QByteArray finsFrame(int station, const QByteArray& command) {
    const QByteArray rest =
        hex(station == 7 ? "800002 002100 003300 00" : "800002 000100 000A00 00") + command;
    QByteArray frame;
    fins::Writer out(frame);
    fins::encodeTcpHeader(out, {quint32(rest.size() + 8), fins::TCP_FRAME_SEND, 0});
    return frame + rest;
}

// Stations 1 (PLC node 01, HMI node 0A) and 7 (21, 33) have done their handshake;
// station 2 and 3 have none. Five frames counted, three done.
class RequestFrames : public DriverTest {
  protected:
    void build(Builder build, RW_VAR& var) {
        map_list[1] = Check_Plc{1, 0x01, 0x0A};
        map_list[7] = Check_Plc{1, 0x21, 0x33};
        PLC_driver.protocol_list.clear();
        com.frames_total = 5;
        com.frames_done = 3;
        plc_add_number = var.station;
        build(&var);
    }
};

struct FrameRow {
    Builder build;
    RW_VAR var;
    const char* frame; // FINS: from the command code on; remote: whole; "" = refused
    int reply_len = 0, data_offset = 0, data_bytes = 0;
};

TEST_F(RequestFrames, EveryBuilderByteForByte) {
    const FrameRow rows[] = {
        // Reads: each area code (every area also end to end), bit types as whole words,
        // flags in groups of 8.
        {ReadRegister, at(0, 100, 1), "0101 B0 0064 00 0001", 32, 30, 2},
        {ReadRegister, at(3, 448, 2), "0101 B3 01C0 00 0002", 34, 30, 4},
        {ReadRegister, at(4, 12, 1), "0101 82 000C 00 0001", 32, 30, 2},
        {ReadRegister, at(5, 16, 2), "0101 09 0010 00 0010", 46, 30, 16},
        {ReadRegister, at(6, 8, 1), "0101 09 8008 00 0008", 38, 30, 8},
        {ReadAnalog, at(11, 32767, 1), "0101 82 7FFF 00 0001", 32, 30, 2},
        {ReadRegister, at(12, 4095, 2), "0101 89 0FFF 00 0002", 34, 30, 4},
        {ReadRegister, at(13, 10, 1), "0101 89 800A 00 0001", 32, 30, 2},
        // Address and count keep their low 16 bits; the reply sizes use the full count.
        {ReadRegister, at(13, 0xFFFF, 1), "0101 89 7FFF 00 0001", 32, 30, 2},
        {ReadRegister, at(11, 0, 0x10001), "0101 82 0000 00 0001", 30 + 2 * 0x10001, 30,
         2 * 0x10001},
        {ReadRegister, at(5, 0, 0x2001), "0101 09 0000 00 0008", 30 + 8 * 0x2001, 30, 8 * 0x2001},
        {ReadRegister, at(11, 5, 0), "0101 82 0005 00 0000", 30, 30, 0},
        {ReadRegister, at(11, 100, 1, "", 7), "0101 82 0064 00 0001", 32, 30, 2}, // station 7
        // Refused: types without an area, a station without handshake.
        {ReadRegister, at(14, 0, 1), ""},
        {ReadAnalog, at(-1, 0, 1), ""},
        {ReadRegister, at(11, 0, 1, "", 3), ""},

        // Bit writes: one bit, on only for value byte 01.
        {WriteRegister, at(1, 175, 1, "01"), "0102 31 000A 0F 0001 01", 30},
        {WriteRegister, at(1, 175, 1, "02"), "0102 31 000A 0F 0001 00", 30},
        {WriteRegister, at(2, 16, 9, "00 01"), "0102 32 0001 00 0001 00", 30},
        {WriteRegister, at(0, 1605, 1, "01"), "0102 30 0064 05 0001 01", 30},
        {WriteRegister, at(3, 0x12345, 1, "01"), "0102 33 1234 05 0001 01", 30},
        {WriteRegister, at(4, 31, 1, "01"), "0102 02 0001 0F 0001 01", 30},
        {WriteBool, at(0, 17, 1, "01", 7), "0102 30 0001 01 0001 01", 30},
        // Word writes: stored low byte first, sent high byte first; missing words are 0.
        {WriteRegister, at(11, 1000, 2, "34 12 78 56"), "0102 82 03E8 00 0002 1234 5678", 30},
        {WriteRegister, at(7, 3, 1, "CD AB"), "0102 B0 0003 00 0001 ABCD", 30},
        {WriteRegister, at(10, 6, 1, "FF FF"), "0102 B3 0006 00 0001 FFFF", 30},
        {WriteAnalog, at(12, 5, 1, "09 00"), "0102 89 0005 00 0001 0009", 30},
        {WriteRegister, at(13, 5, 1, "10 00"), "0102 89 8005 00 0001 0010", 30},
        {WriteRegister, at(11, 0, 3, "34 12 78"), "0102 82 0000 00 0003 1234 0000 0000", 30},
        {WriteRegister, at(11, 0, 0, "34 12"), "0102 82 0000 00 0000", 30},
        // Refused: flags, types without an area, counts the item field cannot carry, the
        // other builder's types, stations without handshake.
        {WriteRegister, at(5, 0, 1, "01"), ""},
        {WriteRegister, at(14, 0, 1, "0100"), ""},
        {WriteRegister, at(11, 0, -1, "0100"), ""},
        {WriteRegister, at(11, 0, 0x10000, "0100"), ""},
        {WriteBool, at(11, 0, 1, "0100"), ""},
        {WriteAnalog, at(1, 0, 1, "01"), ""},
        {WriteRegister, at(11, 0, 1, "0100", 3), ""},

        // Remote mode: size byte, the record's fields, value, additive checksum; no handshake.
        // The third row's reply sizes use the full count: 0x10002 items of 4 bytes.
        {Remote_ReadVar, record(3, 0, 1, 2, 11, 100, 4, 0, 0),
         "16 03 00 01 02 000B 00000064 0004 00000000 00000000 8F", 43, 23, 16},
        {Remote_ReadVar, record(3, 0, 1, 2, 5, 100, 4, 0, 0),
         "16 03 00 01 02 0005 00000064 0004 00000000 00000000 89", 35, 23, 8},
        {Remote_ReadVar, record(0x1FF, -1, 0x102, 300, 0x12345, -2, 0x10002, -1, 0x7FFFFFFF),
         "16 FF FF 02 2C 2345 FFFFFFFE 0002 FFFFFFFF 7FFFFFFF 1F", 262179, 23, 262152},
        {Remote_WriteVar, record(1, 1, 0, 1, 11, 70000, 1, 0, 0, "34 12"),
         "18 01 01 00 01 000B 00011170 0001 00000000 00000000 3412 EF", 27},
        {Remote_WriteVar, record(1, 1, 0, 1, 11, 100, 1, 0, 0),
         "16 01 01 00 01 000B 00000064 0001 00000000 00000000 89", 27},
    };

    for (const FrameRow& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows) + ": " + row.frame);
        RW_VAR var = row.var;
        build(row.build, var);
        if (!*row.frame) {
            EXPECT_EQ(std::vector<int>({PLC_driver.protocol_list.size(), com.frames_total}),
                      std::vector<int>({0, 5}));
            continue;
        }
        ASSERT_EQ(PLC_driver.protocol_list.size(), 1);
        const Protocol& p = PLC_driver.protocol_list.first();
        const QByteArray expected = row.build == Remote_ReadVar || row.build == Remote_WriteVar
                                        ? hex(row.frame)
                                        : finsFrame(var.station, hex(row.frame));
        EXPECT_EQ(toHex(p.frame), toHex(expected));
        EXPECT_EQ(std::vector<int>({p.send_len, p.reply_len, p.p_aux1, p.p_aux2, p.var.address,
                                    var.address, com.frames_total, com.frames_done}),
                  std::vector<int>({expected.size(), row.reply_len, row.data_offset, row.data_bytes,
                                    row.var.address, row.var.address, 1, 0}));
    }
}

TEST_F(RequestFrames, LongestFrames) {
    RW_VAR words = at(11, 0, 0xFFFF, "34 12");
    build(WriteRegister, words);
    EXPECT_EQ(PLC_driver.protocol_list.first().frame,
              finsFrame(1, hex("0102 82 0000 00 FFFF 1234") + QByteArray(2 * 0xFFFF - 2, '\0')));
    // A remote frame keeps the low byte of its size: 256 bytes give 00.
    RW_VAR remote = record(2, 1, 0, 3, 7, 10, 117, 0, 0);
    remote.value = QByteArray(117, '\x5A') + QByteArray(117, '\xA5');
    build(Remote_WriteVar, remote);
    EXPECT_EQ(PLC_driver.protocol_list.first().frame,
              hex("00 02 01 00 03 0007 0000000A 0075 00000000 00000000") + remote.value +
                  hex("17"));
    // Past the 65535 bytes the checksum helper sums at a time: still every byte counted.
    remote.length = 0x8000;
    remote.value.resize(0x10000);
    for (int i = 0; i < remote.value.size(); ++i)
        remote.value[i] = static_cast<char>(i);
    build(Remote_WriteVar, remote);
    const QByteArray& f = PLC_driver.protocol_list.first().frame;
    EXPECT_EQ(f.left(1) + f.right(2), hex("16 FF AD")); // 21 + 65536 + 1 bytes
}

// While the exchange is healthy a write reaches the store as its frame is built, even
// when none can be; after a failure only the remote write does (the host write path
// has stored it already).
TEST_F(RequestFrames, WritesReachTheStoreWhileTheExchangeIsHealthy) {
    // builder (0 = WriteRegister, 1 = Remote_WriteVar), comm_failed, station, frames, D1000
    const int rows[][5] = {
        {0, 0, 1, 1, 0x1234}, {0, 1, 1, 1, 0}, {0, 0, 3, 0, 0x1234}, {1, 1, 1, 1, 0x1234}};
    for (const auto& row : rows) {
        PLC_driver.d_image[1000] = 0;
        PLC_driver.comm_failed = static_cast<unsigned char>(row[1]);
        RW_VAR var = at(11, 1000, 1, "34 12", row[2]);
        build(row[0] ? Remote_WriteVar : WriteRegister, var);
        EXPECT_EQ(std::vector<int>({PLC_driver.protocol_list.size(), PLC_driver.d_image[1000]}),
                  std::vector<int>({row[3], row[4]}));
    }
}

} // namespace
