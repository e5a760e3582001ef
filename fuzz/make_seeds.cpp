// Writes the seed corpus of every fuzz target from the exchanges the test suite uses:
// the typical D100 read, a write given up after retries, split one-shot reads, remote
// mode, flags, the read-list examples and the simulator's request frames.
//   make_fuzz_seeds DIR   ->  DIR/<target>/<seed>
#include <QByteArray>
#include <QDir>

#include <cstdio>
#include <string>

#include "fuzz_input.h"

namespace {

using fuzz::Writer;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

bool save(const QString& dir, const char* target, const char* name, const Writer& w) {
    const QString path = dir + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(path);
    const QString file = path + QLatin1Char('/') + QLatin1String(name);
    FILE* f = std::fopen(file.toLocal8Bit().constData(), "wb");
    if (!f) return false;
    const std::vector<uint8_t>& d = w.data();
    const bool ok = std::fwrite(d.data(), 1, d.size(), f) == d.size();
    return std::fclose(f) == 0 && ok;
}

// ---- fuzz_reply --------------------------------------------------------------

// Replies as a CP1L sends them (node 10 for the HMI, node 1 for the PLC).
const char* const kHandshakeAnswer = "46494E53 00000010 00000001 00000000 0000000A 00000001";
const char* const kReadD100 =
    "46494E53 00000018 00000002 00000000 C0000200 0A000001 0000 0101 0000 1234";
const char* const kReadTwoWords =
    "46494E53 0000001A 00000002 00000000 C0000200 0A000001 0000 0101 0000 1234 ABCD";
const char* const kWriteAck =
    "46494E53 00000016 00000002 00000000 C0000200 0A000001 0000 0102 0000";
const char* const kTcpError1 = "46494E53 00000008 00000003 00000001";
const char* const kReadFlags =
    "46494E53 0000001E 00000002 00000000 C0000200 0A000001 0000 0101 0000 0100000000000001";
const char* const kRemoteReadOneWord =
    "00000000000000000000000000000000000000000000 00 00001234 00000000";

enum { QUEUE_WRITE, QUEUE_ONCE, QUEUE_CYCLIC, HANDSHAKE_DONE, EXCHANGE };
enum { KIND_0 = 0, KIND_1 = 1, KIND_3 = 2, ACCESS_READ = 0, ACCESS_WRITE = 3 };

struct ReplySeed {
    Writer w;
    ReplySeed(int multi, int remote, int retry_limit, int station) {
        w.u8(multi | remote << 1).u8(retry_limit + 1).number(64).u8(station).u8(0);
    }
    ReplySeed& var(int op, int kind, int id, int access, bool local, int type, int address,
                   int station, int length, const QByteArray& value = QByteArray()) {
        w.u8(op).u8(kind).u8(id).u8(access).u8(local ? 1 : 0).u8(type + 2);
        w.number(address).u8(station).number(length).u8(value.size()).bytes(value);
        return *this;
    }
    ReplySeed& answer(const char* reply_hex) {
        const QByteArray r = hex(reply_hex);
        w.u8(EXCHANGE).u8(0).u8(r.size()).bytes(r).u8(0).u8(0);
        return *this;
    }
};

bool replySeeds(const QString& dir) {
    bool ok = true;
    ReplySeed typical(0, 0, 2, 1);
    typical.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 11, 100, 1, 1);
    typical.answer(kHandshakeAnswer).answer(kReadD100).answer(kReadD100);
    ok &= save(dir, "fuzz_reply", "typical_read", typical.w);

    ReplySeed giveup(0, 0, 2, 1);
    giveup.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 11, 100, 1, 1);
    giveup.var(QUEUE_WRITE, KIND_3, 1, ACCESS_WRITE, true, 11, 200, 1, 1, hex("3412"));
    giveup.answer(kHandshakeAnswer).answer(kTcpError1).answer(kTcpError1).answer(kTcpError1);
    giveup.answer(kHandshakeAnswer).answer(kReadD100);
    ok &= save(dir, "fuzz_reply", "write_given_up", giveup.w);

    ReplySeed once(0, 0, 0, 1);
    once.var(QUEUE_ONCE, KIND_1, 2, ACCESS_READ, true, 11, 100, 1, 1);
    once.var(QUEUE_ONCE, KIND_1, 2, ACCESS_READ, true, 11, 164, 1, 1);
    once.var(QUEUE_ONCE, KIND_1, 3, ACCESS_READ, true, 11, 300, 1, 1);
    once.answer(kHandshakeAnswer).answer(kReadD100).answer(kTcpError1).answer(kReadD100);
    ok &= save(dir, "fuzz_reply", "one_shot_split", once.w);

    ReplySeed remote(0, 1, 1, 1);
    remote.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 11, 100, 1, 1);
    remote.var(QUEUE_WRITE, KIND_3, 1, ACCESS_WRITE, false, 11, 100, 1, 1, hex("3412"));
    remote.answer(kRemoteReadOneWord).answer(kRemoteReadOneWord).answer(kRemoteReadOneWord);
    ok &= save(dir, "fuzz_reply", "remote_mode", remote.w);

    ReplySeed flags(0, 0, 2, 1);
    flags.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 5, 8, 1, 1);
    flags.var(QUEUE_WRITE, KIND_0, 0, ACCESS_WRITE, true, 0, 1605, 1, 1, hex("01"));
    flags.answer(kHandshakeAnswer).answer(kWriteAck).answer(kReadFlags);
    ok &= save(dir, "fuzz_reply", "flags_and_bit_write", flags.w);

    ReplySeed lengths(0, 0, 3, 1);
    lengths.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 11, 100, 1, 1);
    lengths.answer(kHandshakeAnswer)
        .answer(kReadTwoWords)
        .answer("46494E53 0000")
        .answer(kReadD100);
    ok &= save(dir, "fuzz_reply", "short_and_long", lengths.w);

    ReplySeed multi(1, 0, 1, 1);
    multi.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 11, 100, 1, 1);
    multi.var(QUEUE_CYCLIC, KIND_0, 0, ACCESS_READ, true, 7, 5, 2, 2);
    multi.answer(kHandshakeAnswer).answer(kReadD100).answer(kHandshakeAnswer).answer(kReadTwoWords);
    ok &= save(dir, "fuzz_reply", "two_stations", multi.w);
    return ok;
}

// ---- fuzz_address ------------------------------------------------------------

enum { CONVERT, STORE_AND_READ, QUEUE_PIECES, READ };

struct AddressSeed {
    Writer w;
    AddressSeed(int multi, int max_block) { w.u8(multi).number(max_block).u8(1); }
    AddressSeed& text(const std::string& s) {
        w.u8(0).text(s); // free text
        return *this;
    }
    AddressSeed& convert(int type, const std::string& s) {
        w.u8(CONVERT).u8(type + 3);
        return text(s);
    }
    AddressSeed& store(int type, const std::string& s, int station, int count, const char* v) {
        const QByteArray value = hex(v);
        w.u8(STORE_AND_READ).u8(type + 3);
        text(s);
        w.u8(station).number(count).u8(value.size()).bytes(value);
        return *this;
    }
    AddressSeed& queue(bool failed, int type, const std::string& s, int count,
                       const QByteArray& v) {
        w.u8(QUEUE_PIECES).u8(failed ? 1 : 0).u8(type + 3);
        text(s);
        w.u8(1).number(count).u8(v.size()).bytes(v);
        return *this;
    }
    AddressSeed& read(int type, const std::string& s, int count, int station) {
        w.u8(READ).u8(type + 3);
        text(s);
        w.number(count).u8(0).u8(station);
        return *this;
    }
};

bool addressSeeds(const QString& dir) {
    bool ok = true;
    AddressSeed single(0, 10);
    single.convert(0, "100.05").convert(0, "2147483647.15").convert(0, "1.2.3").convert(5, "100.5");
    single.store(7, "100", 1, 1, "3412").read(0, "100.05", 16, 0);
    single.queue(false, 11, "100", 25, QByteArray(39, '\x11'));
    single.queue(true, 0, "100.05", 3, hex("010001"));
    single.read(5, "13", 3, 0);
    ok &= save(dir, "fuzz_address", "single_station", single.w);

    AddressSeed multi(1, 64);
    multi.store(0, "100.10", 3, 1, "01").read(7, "100", 1, 3).store(11, "200", 3, 2, "341256");
    multi.store(0, "100.11", 3, 2, "0201");
    ok &= save(dir, "fuzz_address", "multi_station", multi.w);

    AddressSeed edges(0, 64);
    edges.store(11, "32768", 1, 4, "0100020003000400").store(0, "6149.15", 1, 2, "0101");
    edges.read(11, "2147483647", 3, 0).store(12, "4099", 1, 2, "FFFF0000").read(6, "4119", 2, 0);
    ok &= save(dir, "fuzz_address", "capacity_edges", edges.w);
    return ok;
}

// ---- fuzz_rebuild ------------------------------------------------------------

struct RebuildSeed {
    Writer w;
    RebuildSeed(int multi, int max_block) { w.u8(multi).number(max_block).u8(1).u8(0).u8(0); }
    RebuildSeed& round(int n) {
        w.u8(n);
        return *this;
    }
    RebuildSeed& var(int type, int station, const std::string& address, int length) {
        w.u8(type).u8(0).u8(station).u8(0).text(address).u8(0).number(length);
        return *this;
    }
    RebuildSeed& end(bool extra) {
        w.u8(extra ? 1 : 0);
        return *this;
    }
};

bool rebuildSeeds(const QString& dir) {
    bool ok = true;
    auto dm = [](int max_block) {
        RebuildSeed s(0, max_block);
        s.round(3).var(11, 1, "100", 2).var(11, 1, "110", 1).var(11, 1, "150", 4).end(true);
        return s;
    };
    ok &= save(dir, "fuzz_rebuild", "dm_gap_bridged", dm(64).w);
    ok &= save(dir, "fuzz_rebuild", "dm_split_at_20", dm(20).w);
    ok &= save(dir, "fuzz_rebuild", "no_limit", dm(0).w);
    ok &= save(dir, "fuzz_rebuild", "negative_limit", dm(-1).w);

    RebuildSeed flags(0, 64);
    flags.round(4).var(5, 1, "13", 1).var(5, 1, "20", 1).var(5, 1, "35", 1).var(11, 1, "5", 1);
    flags.end(false);
    ok &= save(dir, "fuzz_rebuild", "timer_flags", flags.w);

    RebuildSeed one(0, 1);
    one.round(2).var(6, 1, "3", 1).var(6, 1, "12", 1).end(false);
    ok &= save(dir, "fuzz_rebuild", "flags_one_group", one.w);

    RebuildSeed multi(1, 64);
    multi.round(4).var(11, 2, "100", 2).var(7, 1, "5", 2).var(11, 2, "50", 2).var(0, 1, "5.3", 20);
    multi.end(false);
    ok &= save(dir, "fuzz_rebuild", "multi_station_order", multi.w);

    RebuildSeed bits(0, 64);
    bits.round(4)
        .var(2, 1, "10.14", 4)
        .var(9, 1, "11", 1)
        .var(11, 1, "0", 150)
        .var(11, 1, "130", 5);
    bits.end(false);
    ok &= save(dir, "fuzz_rebuild", "bits_and_long", bits.w);
    return ok;
}

// ---- fuzz_sim_session --------------------------------------------------------

QByteArray remoteRequest(int access, const QByteArray& value) {
    QByteArray r = hex("00 03 00 01 02 000B 00000064 0004 00000000 00000000");
    r[2] = static_cast<char>(access);
    r.append(value);
    r[0] = static_cast<char>((r.size() + 1) & 0xFF);
    unsigned sum = 0;
    for (char c : r)
        sum += static_cast<unsigned char>(c);
    r.append(static_cast<char>(sum & 0xFF));
    return r;
}

bool simSeeds(const QString& dir) {
    const QByteArray handshake = hex("46494E53 0000000C 00000000 00000000 0000000A");
    const QByteArray read_d100 =
        hex("46494E53 0000001A 00000002 00000000 80000200 0100000A 0000 0101 820064000001");
    const QByteArray write_words = hex(
        "46494E53 0000001E 00000002 00000000 80000200 0100000A 0000 0102 8203E8000002 12345678");
    const QByteArray write_bit =
        hex("46494E53 0000001B 00000002 00000000 80000200 0100000A 0000 0102 30006405000101");
    const QByteArray read_counter =
        hex("46494E53 0000001A 00000002 00000000 80000200 0100000A 0000 0101 89800A000001");
    const QByteArray read_flags =
        hex("46494E53 0000001A 00000002 00000000 80000200 0100000A 0000 0101 098008000008");
    bool ok = true;

    Writer fins;
    fins.u8(0).u8(3).u16(5).u16(20).u16(40);
    fins.bytes(handshake + read_d100 + write_words + write_bit + read_counter + read_flags);
    ok &= save(dir, "fuzz_sim_session", "fins_exchange", fins);

    Writer early;
    early.u8(0).u8(1).u16(17).bytes(read_d100 + handshake + hex("46494E54 0000000C"));
    ok &= save(dir, "fuzz_sim_session", "before_handshake_then_bad_magic", early);

    Writer remote;
    remote.u8(1).u8(2).u16(1).u16(30);
    remote.bytes(remoteRequest(0, QByteArray()) + remoteRequest(1, hex("3412")));
    ok &= save(dir, "fuzz_sim_session", "remote_read_write", remote);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const bool ok = replySeeds(dir) && addressSeeds(dir) && rebuildSeeds(dir) && simSeeds(dir);
    if (!ok) std::fprintf(stderr, "make_fuzz_seeds: cannot write under %s\n", argv[1]);
    return ok ? 0 : 1;
}
