// The local store in both station modes: image accessors, stored replies, extended
// variables, and the host's reads and writes.
#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "Func_DealData.h"
#include "Func_GetOrSetData.h"
#include "driver_fixture.h"
#include "driver_object.h"
#include "image_snapshot.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

// Every image byte is still zero, as after a reset.
bool imageClear() {
    return std::all_of(ImageSnapshot::begin(), ImageSnapshot::end(), [](char c) { return !c; });
}

// Stores a read reply (data bytes in hex) for a frame of (type, address, station).
void storeReply(int reg_type, int address, int station, int data_bytes, const char* data_hex,
                int data_offset = 30) {
    const RW_VAR var = {0, 0, 0, 0, 0, 0, "", "", reg_type, address, station, 0, 0, 0, {}};
    d.protocol_list = {Protocol{{}, 0, 0, data_offset, data_bytes, var, 0, 0, 0}};
    QByteArray reply = QByteArray(30, '\0') + hex(data_hex);
    SaveToLocalDataErea(&reply);
}

std::string hostRead(int reg_type, QString addr, int count, int station = 1) {
    QByteArray out;
    GetRegisterData(nullptr, reg_type, &addr, station, &out, count);
    return toHex(out);
}

int hostWrite(int reg_type, QString addr, const char* value_hex, int count, int station = 1) {
    QString name = QStringLiteral("var");
    QByteArray value = hex(value_hex);
    return SetRegisterData(&name, reg_type, &addr, station, &value, count, 3, 9);
}

void applyWrite(int reg_type, int address, int length, const char* value_hex, int station = 1) {
    RW_VAR v = {0, 0, 1, 0, 0, 0, "", "", reg_type, address, station, length, 0, 0, hex(value_hex)};
    WriteDataToLocal(&v);
}

int linearFind(int station, int type, int address) {
    for (int i = 0; i < d.extend_list.size(); ++i) {
        const EXTENDVAR& e = d.extend_list.at(i);
        if (e.ext_station == station && e.ext_type == type && e.ext_address == address) return i;
    }
    return -1;
}

std::string entry(int station, int type, int address) {
    const int i = linearFind(station, type, address);
    return i < 0 ? "absent" : toHex(d.extend_list.at(i).ext_value);
}

// ---- Image accessors --------------------------------------------------------------

enum Accessor { BITS16, BITS8, WORDS16, HIGH_FIRST_WORDS8 };

// The buffer starts with stale bytes of the size read: every one must be written.
std::string readWith(Accessor accessor, void* area, int start, int count) {
    const bool bits = accessor == BITS16 || accessor == BITS8;
    QByteArray out(std::max(0, bits ? count : 2 * count), '\xAA');
    unsigned short* words = static_cast<unsigned short*>(area);
    unsigned char* bytes = static_cast<unsigned char*>(area);
    if (accessor == BITS16) GetBit_unsigned_short(out, words, start, count);
    if (accessor == BITS8) GetBit_unsigned_char(out, bytes, start, count);
    if (accessor == WORDS16) GetWord_unsigned_short(out, words, start, count);
    if (accessor == HIGH_FIRST_WORDS8) GetWord_unsigned_char(out, bytes, start, count);
    return toHex(out);
}

class ImageAccessors : public DriverTest {};

// Each accessor is bounded by the image array its pointer lies in; positions beyond
// read as 0. A pointer outside the image is the caller's own memory.
TEST_F(ImageAccessors, ReadRows) {
    unsigned short own[4] = {0, 0, 0x4321, 0};
    d.cio_image[0] = 0x8000;
    d.cio_image[1] = 0x000E;
    d.t_flag_image[1] = 0x20; // flag 13
    std::memcpy(&d.t_flag_image[4], "\x12\x34\x56\x78", 4);
    d.w_image[W_IMAGE_WORDS - 1] = 0xBEEF;
    d.h_image[0] = 0xFFFF;
    d.t_flag_image[T_FLAG_IMAGE_BYTES - 1] = 0x80;
    d.c_flag_image[0] = 0xFF;
    // accessor, array, start, count, bytes read (the ends through the host: tests/hostile)
    const std::tuple<Accessor, void*, int, int, const char*> rows[] = {
        {BITS16, d.cio_image, 15, 3, "01 00 01"},
        {BITS8, d.t_flag_image, 12, 3, "00 01 00"},
        {HIGH_FIRST_WORDS8, d.t_flag_image, 4, 2, "34 12 78 56"},
        {HIGH_FIRST_WORDS8, d.t_flag_image, -3, 3, "00 00 00 00 00 20"}, // before the array
        {WORDS16, d.cio_image, 0, -1, ""},
        {WORDS16, d.w_image + 510, 4, 2, "EF BE 00 00"}, // capacity counts from the pointer
        {HIGH_FIRST_WORDS8, d.t_flag_image, T_FLAG_IMAGE_BYTES - 1, 2, "00 80 00 00"},
        {WORDS16, own, 2, 1, "21 43"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(readWith(std::get<0>(r), std::get<1>(r), std::get<2>(r), std::get<3>(r)),
                  std::get<4>(r))
            << std::get<0>(r) << " " << std::get<2>(r);
}

TEST_F(ImageAccessors, WritesStopAtTheEndOfTheirArray) {
    QByteArray words = hex("11 11 22 22 33 33"), bits = hex("01 01 01"), one = hex("01");
    SetBit_unsigned_char(13, d.t_flag_image, &one, 1);
    SetBit_unsigned_short(A_IMAGE_WORDS * 16 - 1, d.a_image, &bits, 3);
    SetBit_unsigned_char(T_FLAG_IMAGE_BYTES * 8 - 1, d.t_flag_image, &bits, 3);
    EXPECT_EQ(std::vector<int>({d.t_flag_image[1], d.a_image[A_IMAGE_WORDS - 1],
                                d.t_flag_image[T_FLAG_IMAGE_BYTES - 1]}),
              std::vector<int>({0x20, 0x8000, 0x80}));
    d.t_flag_image[1] = d.t_flag_image[T_FLAG_IMAGE_BYTES - 1] = d.a_image[A_IMAGE_WORDS - 1] = 0;
    // Far positions and counts below one change nothing (word ends through the host:
    // tests/hostile).
    SetBit_unsigned_char(INT_MAX, d.c_flag_image, &bits, 3);
    SetBit_unsigned_short(0, d.cio_image, &bits, 0);
    SetValue_unsigned_short(0, d.cio_image, &words, -5);
    SetValue_unsigned_short(0, d.cio_image, nullptr, 1); // no buffer, no area: nothing done
    SetValue_unsigned_short(0, nullptr, &words, 1);
    EXPECT_TRUE(imageClear());
    unsigned short own[4] = {};
    SetValue_unsigned_short(3, own, &words, 1);
    EXPECT_EQ(own[3], 0x1111);
}

// ---- Stored replies -----------------------------------------------------------------

class LocalStore : public DriverTest {};

TEST_F(LocalStore, NothingIsStoredForTypesWithoutAreaOrBadOffsets) {
    // multi_station, type, address, data offset (exact stores: the end-to-end and fuzz tests)
    const int rows[][4] = {{0, 14, 0, 30}, {0, -1, 0, 30}, {0, 11, 0, -4},
                           {0, 11, 0, 40}, {1, 14, 0, 30}, {0, 11, INT_MAX, 30}};
    for (const auto& row : rows) {
        com.multi_station = row[0];
        storeReply(row[1], row[2], 1, 4, "12 34 56 78", row[3]);
        EXPECT_TRUE(imageClear() && d.extend_list.isEmpty()) << row[1] << row[3];
    }
    QByteArray reply = QByteArray(30, '\0') + hex("01 01 01 01 01 01 01 01");
    SaveWord_unsigned_short(&reply, nullptr); // a frame outstanding, but no area or reply
    SaveWord_unsigned_short(nullptr, d.t_pv_image);
    d.protocol_list.clear(); // no frame outstanding: the store functions do nothing
    SaveTC_unsigned_char(&reply, d.c_flag_image);
    SaveWord_unsigned_short(&reply, d.t_pv_image);
    EXPECT_TRUE(imageClear());
}

TEST_F(LocalStore, MultiStationRepliesGoToTheirStationsEntries) {
    com.multi_station = 1;
    storeReply(7, 10, 2, 4, "12 34 AB CD");
    EXPECT_EQ(hostRead(7, "10", 2, 3) + "|" + hostRead(7, "10", 2, 2), "00 00 00 00|34 12 CD AB");
    // A reply cut short empties the entries it does not cover.
    storeReply(7, 10, 2, 4, "56 78 AB");
    EXPECT_EQ(entry(2, 7, 10) + "|" + entry(2, 7, 11), "78 56|");
    // Flags: one entry per group of eight, flag j in bit j (bit 0 of its byte).
    storeReply(5, 8, 1, 8, "FF 00 02 00 00 03 00 81");
    EXPECT_EQ(entry(1, 5, 8) + "|" + hostRead(5, "13", 3, 1), "A1|01 00 01");
    storeReply(5, 16, 1, 16, "01 00 00 00 00 00 00 00"); // the second group is missing
    EXPECT_EQ(entry(1, 5, 16) + "|" + entry(1, 5, 24), "01|");
    // A bit type's reply carries words; they are filed under the word type.
    storeReply(0, 100, 3, 2, "04 00");
    EXPECT_EQ(entry(3, 7, 100) + " " + entry(3, 0, 100) + " " + hostRead(0, "100.10", 1, 3),
              "00 04 absent 01");
    // Entries are kept for any address an int holds: remote frames carry 32 bits.
    storeReply(7, 0xFFFF, 1, 4, "12 34 56 78");
    storeReply(6, 0xFFF8, 1, 16, "01 00 00 00 00 00 00 00 01 01 01 01 01 01 01 01");
    storeReply(11, 70000, 4, 2, "12 34");
    storeReply(11, INT_MAX, 1, 0x7FFFFFFE, "12 34 56 78");
    EXPECT_EQ(entry(1, 7, 0xFFFF) + "|" + entry(1, 7, 0x10000) + "|" + entry(1, 6, 0x10000) + "|" +
                  hostRead(11, "70000", 1, 4) + "|" + entry(1, 11, INT_MAX),
              "34 12|78 56|FF|34 12|34 12");
    EXPECT_TRUE(d.extend_list.size() == 14 && imageClear());
}

// ---- Extended variables -------------------------------------------------------------

// The indexed lookup answers exactly as a walk of the list would: over colliding keys,
// a mix of repeated, new, negative and extreme keys, and entries appended without it.
TEST_F(LocalStore, IndexedLookupOfExtendedVarsEqualsAWalkOfTheList) {
    ASSERT_EQ(extendKey(0x10000, 0, 5), extendKey(0, 1, 5)); // the walk below meets such keys
    EXPECT_EQ(ExtendFindSameVar(0, 3, 5), 0);
    EXPECT_EQ(entry(0, 3, 5), "00 00 00 00"); // a new entry holds a zero word pair
    unsigned int seed = 12345;
    auto next = [&seed]() {
        return static_cast<int>(((seed = seed * 1103515245u + 12345u) >> 8) & 0xFFFF);
    };
    const int stations[] = {0, 1, 2, 0x10000, -1, INT_MAX, INT_MIN};
    const int types[] = {5, 6, 7, 11, 13, 0, 1, 20, -3, INT_MAX};
    for (int round = 0; round < 8000; ++round) {
        const int station = stations[next() % 7], type = types[next() % 10];
        const int address = (next() % 4 == 0) ? INT_MAX - next() % 3 : next() % 300 - 20;
        const int walked = linearFind(station, type, address), size = d.extend_list.size();
        ASSERT_EQ(ExtendFindSameVar(station, type, address), walked < 0 ? size : walked) << round;
        ASSERT_EQ(d.extend_list.size(), size + (walked < 0)) << round;
    }
    EXPECT_GT(d.extend_list.size(), 500);
    // Entries appended without a lookup, a duplicate key among them: the first of equal
    // keys wins, and the index is rebuilt once, not on every later lookup.
    const int n = d.extend_list.size();
    d.extend_list.append(EXTENDVAR{3, 7, 2, hex("AA")});
    d.extend_list.append(EXTENDVAR{3, 7, 2, hex("BB")});
    const int rebuilds = extendStore().rebuilds();
    EXPECT_EQ(ExtendFindSameVar(3, 7, 2), n);
    EXPECT_EQ(std::vector<int>({ExtendFindSameVar(0, 3, 5), ExtendFindSameVar(3, 7, 3)}),
              std::vector<int>({0, n + 2}));
    for (int i = 0; i < 10000; ++i)
        ExtendFindSameVar(3, 7, i % 50);
    EXPECT_EQ(extendStore().rebuilds() - rebuilds, 1);
    // The store is reset with the driver: no entry, no index left behind.
    ResetDriverState();
    EXPECT_EQ(std::vector<int>({extendStore().find(3, 7, 2), d.extend_list.size()}),
              std::vector<int>({-1, 0}));
}

// Single-station reads come from the image, multi-station reads from the station's
// entries; a read of a station never answered creates its entries.
TEST_F(LocalStore, HostReadsInBothModes) {
    d.cio_image[100] = 0x0020;
    d.d_image[200] = 0x1234;
    d.d_image[201] = 0xABCD;
    storeExtendValue(ExtendFindSameVar(3, 7, 100), "\x00\x04", 2);
    storeExtendValue(ExtendFindSameVar(2, 6, 8), "\x20", 1);
    storeExtendValue(ExtendFindSameVar(1, 11, 0), "\x12", 1);
    storeExtendValue(ExtendFindSameVar(1, 20, 4), "\x34\x12", 2);
    storeExtendValue(ExtendFindSameVar(1, 5, 0), "", 0);
    storeExtendValue(ExtendFindSameVar(1, 7, 0), "\xFF", 1);
    // multi_station, type, address, count, station, buffer before, result, buffer after
    // clang-format off
    const std::tuple<int, int, const char*, int, int, const char*, int, const char*> rows[] = {
        {0, 0, "100.05", 1, 9, "", 1, "01"}, {0, 0, "100", 1, 9, "77", 0, "77"}, // needs a point
        {0, 20, "5", 2, 9, "77 77", 1, "77 77"}, {0, -1, "5", 2, 9, "", 1, ""},  // no area
        {0, 11, "200", 2, 9, "01 02 03 04 05 06", 1, "34 12 CD AB 05 06"},
        {1, 0, "100.09", 3, 3, "", 1, "00 01 00"}, {1, 6, "13", 1, 2, "", 1, "01"},
        {1, 7, "100", 1, 3, "", 1, "00 04"}, {1, 11, "0", 1, 1, "", 1, "00 00"}, // 1 byte
        {1, 20, "4", 2, 1, "", 1, "34 12 00 00"}, // no area: words
        {1, 5, "3", 1, 1, "", 1, "00"},           // empty flag entry
        {1, 0, "0.7", 2, 1, "", 1, "01 00"},      // bit 8 lives in the missing byte 1
        // Never answered: the image is not used, entries are made.
        {1, 11, "200", 2, 9, "", 1, "00 00 00 00"}, {1, 1, "3.15", 2, 9, "", 1, "00 00"},
        {1, 5, "7", 2, 9, "", 1, "00 00"}, {1, 2, "100", 1, 1, "55", 0, "55"},
        // Past the FINS space and up to INT_MAX entries are made; none past it.
        {1, 7, "65535", 2, 1, "", 1, "00 00 00 00"}, {1, 0, "134217727.15", 2, 1, "", 1, "00 00"},
        {1, 7, "2147483647", 3, 1, "", 1, "00 00 00 00 00 00"},
    };
    // clang-format on
    for (const auto& r : rows) {
        com.multi_station = std::get<0>(r);
        QString text = QString::fromLatin1(std::get<2>(r));
        QByteArray buffer = hex(std::get<5>(r));
        const int result = GetRegisterData(nullptr, std::get<1>(r), &text, std::get<4>(r), &buffer,
                                           std::get<3>(r));
        EXPECT_EQ(std::make_pair(result, toHex(buffer)),
                  std::make_pair(std::get<6>(r), toHex(hex(std::get<7>(r)))))
            << std::get<0>(r) << " " << std::get<1>(r) << " " << std::get<2>(r);
    }
    EXPECT_EQ(
        std::vector<int>({linearFind(1, 20, 5), linearFind(9, 11, 201), linearFind(9, 8, 4),
                          linearFind(9, 5, 8), linearFind(1, 7, 65535), linearFind(1, 7, 65536),
                          linearFind(1, 7, INT_MAX), d.extend_list.size()}),
        std::vector<int>({6, 8, 10, 12, 13, 14, 16, 17}));
    com.multi_station = 0;
    QByteArray buffer;
    QString text = QStringLiteral("100");
    ASSERT_EQ(GetRegisterData(nullptr, 11, &text, 1, &buffer, 101), 1);
    EXPECT_EQ(buffer.capacity(), 202); // grown once, to the size needed
    EXPECT_EQ(toHex(buffer.mid(200)), "34 12");
}

TEST_F(LocalStore, MultiStationWritesGoToEntries) {
    com.multi_station = 1;
    applyWrite(0, 1610, 1, "01", 4); // creates the word entry
    storeExtendValue(ExtendFindSameVar(1, 7, 0), "\x01\x00", 2);
    applyWrite(0, 0, 1, "02"); // any value but 0 and 1 keeps the bit
    storeExtendValue(ExtendFindSameVar(2, 8, 3), "", 0);
    applyWrite(1, 48, 1, "01", 2);         // an emptied entry takes no bit
    applyWrite(11, 300, 2, "34 12 56", 6); // words need both bytes
    applyWrite(5, 8, 1, "01 00", 6);       // flags and area-less types are kept as words
    applyWrite(30, 8, 1, "02 00", 6);
    EXPECT_EQ(entry(4, 7, 100) + "|" + entry(1, 7, 0) + "|" + entry(2, 8, 3) + "|" +
                  entry(6, 11, 300) + "|" + entry(6, 11, 301) + "|" + entry(6, 5, 8) + "|" +
                  entry(6, 30, 8),
              "00 04 00 00|01 00||34 12|absent|01 00|02 00");
    applyWrite(0, 0, 1, "00");
    // Entries are kept for any address an int holds, past the single-station image and
    // the 16-bit FINS space (bit 1048576 is bit 0 of A65536); INT_MAX + 1 has none.
    applyWrite(8, 600, 1, "34 12");
    applyWrite(10, 0xFFFF, 2, "01 00 02 00");
    applyWrite(3, 0xFFFF * 16 + 15, 2, "01 01");
    applyWrite(11, INT_MAX, 2, "01 00 02 00");
    EXPECT_EQ(entry(1, 7, 0) + "|" + entry(1, 8, 600) + "|" + entry(1, 10, 0xFFFF) + "|" +
                  entry(1, 10, 0x10000) + "|" + entry(1, 11, INT_MAX),
              "00 00|34 12|01 80|03 00|01 00");
    EXPECT_TRUE(d.extend_list.size() == 10 && imageClear());
    // A remote-mode host's store-only writes there read back (run_mode other than 2).
    com.remote_mode = 1;
    com.run_mode = 0;
    hostWrite(11, "70000", "34 12", 1, 5);
    hostWrite(20, "100000", "78 56", 1, 5);
    hostWrite(0, "65536.3", "01", 1, 5);
    EXPECT_EQ(hostRead(11, "70000", 1, 5) + "|" + hostRead(20, "100000", 1, 5) + "|" +
                  hostRead(0, "65536.3", 1, 5),
              "34 12|78 56|01");
}

// The queued requests as "address/length/value hex", separated by "|".
std::string queued() {
    QStringList out;
    for (const RW_VAR& v : d.write_list)
        out << QString("%1/%2/%3").arg(v.address).arg(v.length).arg(toHex(v.value).c_str());
    return out.join('|').toStdString();
}

TEST_F(LocalStore, WritesQueuedForThePlc) {
    // type, address, value, count, max_block, result, queue, remote_mode
    // clang-format off
    const std::tuple<int, const char*, const char*, int, int, int, const char*, int> rows[] = {
        // Words in pieces of max_block; whole pieces; a short buffer.
        {11, "100", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D", 6, 4, 2,
         "100/4/00 01 02 03 04 05 06 07|104/2/08 09 0A 0B", 0},
        {11, "0", "01 00 02 00 03 00 04 00", 4, 2, 2, "0/2/01 00 02 00|2/2/03 00 04 00", 0},
        {9, "10", "AA BB CC", 3, 2, 2, "10/2/AA BB CC 00|12/1/00 00", 0},
        // max_block 0, -3 and -2.
        {12, "7", "01 00 02 00 03 00", 3, 0, 1, "7/3/01 00 02 00 03 00", 0},
        {13, "7", "01 00 02 00", 2, -3, 1, "7/2/01 00 02 00", 0},
        {13, "7", "01 00 02 00", 2, -2, 0, "", 0},
        // Bits one by one, past the buffer too.
        {0, "100.05", "01 00 01", 3, 64, 3, "1605/1/01|1606/1/00|1607/1/01", 0},
        {4, "1.15", "01", 2, 64, 2, "31/1/01|32/1/00", 0},
        // Refused: flags, no area, a bit type's text without a point, no words.
        {5, "8", "01", 1, 64, 0, "", 0}, {14, "8", "01 00", 1, 64, 0, "", 0},
        {11, "8", "01 00", 0, 64, 0, "", 0},
        {1, "100", "01", 1, 64, 0, "", 0},
        // The last FINS word; past the FINS words and bits; more words than a frame carries.
        {11, "65535", "01 00", 1, 64, 1, "65535/1/01 00", 0},
        {11, "65535", "01 00", 2, 64, 0, "", 0},
        {0, "65535.15", "01", 2, 64, 0, "", 0}, {11, "0", "01 00", 0x10000, 0, 0, "", 0},
        // Remote frames carry 32-bit addresses: only the extent of a write is bounded.
        {11, "70000", "34 12", 1, 64, 1, "70000/1/34 12", 1},
        {0, "70000.0", "01", 1, 64, 1, "1120000/1/01", 1},
        {11, "0", "", 0x10001, 0, 0, "", 1}, {11, "2147483647", "", 2, 64, 0, "", 1},
        {5, "8", "01", 1, 64, 0, "", 1}, // flags have remote frames, yet no screen write
    };
    // clang-format on
    for (const auto& r : rows) {
        d.write_list.clear();
        com.max_block = std::get<4>(r);
        com.remote_mode = std::get<7>(r);
        const int result =
            hostWrite(std::get<0>(r), std::get<1>(r), std::get<2>(r), std::get<3>(r));
        EXPECT_EQ(std::make_pair(result, queued()),
                  std::make_pair(std::get<5>(r), std::string(std::get<6>(r))))
            << std::get<1>(r) << " x " << std::get<3>(r);
    }
    EXPECT_TRUE(imageClear());

    // The request carries the host's fields; single-station mode the default station.
    com.remote_mode = 0;
    com.local_link = 5;
    com.default_station = 3;
    hostWrite(11, "100", "01 00", 1, 8);
    com.multi_station = 1;
    hostWrite(11, "101", "01 00", 1, 8);
    const RW_VAR& v = d.write_list.at(0);
    EXPECT_EQ(std::vector<int>({v.req_kind, v.req_id, v.access, v.link_mode, v.link_id, v.station,
                                d.write_list.last().station}),
              std::vector<int>({3, 9, 1, 0, 5, 3, 8}));
    EXPECT_EQ(v.name, QString("var"));
}

// A host write reaches the store at once when it is not sent to the PLC, or while the
// exchange has failed; otherwise only when its frame is built. Single-station writes
// store words, and bits set by 01 and cleared by any other byte; flags and types
// without an area are not stored. (The ends of the areas: tests/hostile.)
TEST_F(LocalStore, HostWritesReachTheStore) {
    com.max_block = 1;
    EXPECT_EQ(hostWrite(11, "20", "34 12 78 56", 2), 2);
    d.comm_failed = 1;
    EXPECT_EQ(hostWrite(11, "30", "34 12 78 56", 2), 4);
    EXPECT_EQ(hostWrite(0, "0.1", "01 01", 2), 6);
    com.run_mode = 0;
    EXPECT_EQ(hostWrite(0, "0.2", "02", 1), 1);
    d.h_image[1] = 0x000F;
    EXPECT_EQ(hostWrite(2, "1.00", "01 00 02", 4), 1); // bit 3 has no value byte
    EXPECT_EQ(hostWrite(7, "100", "34 12", 1) + hostWrite(14, "8", "01 00", 1), 2);
    EXPECT_EQ(hostWrite(5, "8", "01", 1), 1); // no store for flags: still accepted
    EXPECT_EQ(hostWrite(11, "7", "01 00 02", 2), 1);
    EXPECT_EQ(std::vector<int>({d.d_image[20], d.d_image[30], d.d_image[31], d.cio_image[0],
                                d.cio_image[100], d.d_image[7], d.d_image[8], d.h_image[1],
                                d.write_list.size()}),
              std::vector<int>({0, 0x1234, 0x5678, 0x0002, 0x1234, 1, 0, 0x0009, 6}));
    d.d_image[30] = d.d_image[31] = d.cio_image[0] = d.cio_image[100] = d.d_image[7] = 0;
    d.h_image[1] = 0;
    EXPECT_TRUE(imageClear() && d.extend_list.isEmpty());
}

} // namespace
