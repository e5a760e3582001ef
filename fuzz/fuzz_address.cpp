// Screen reads and writes (GetRegisterData / SetRegisterData) with any register type,
// address text, count and buffer, against an independent model of the address
// conversion: the result and the elements touched follow the model's address. Values
// written inside an area's capacity read back; nothing outside the written elements
// changes; queued pieces stay within max_block and carry the buffer's bytes.
#include <algorithm>
#include <climits>

#include "Func_Initi.h"
#include "fins_codec.h"
#include "fuzz_session.h"
#include "image_areas.h"
#include "image_snapshot.h"

namespace {

using fuzz::Input;
using Units = ImageSnapshot::Units;

enum Op { STORE_AND_READ, QUEUE_WRITE, OPS };

QString addressText(Input& in) {
    const char* edges[] = {"2147483647.15", "134217727.15", "134217728.0", "-1.5",
                           "100.",          ".3",           "1.2.3",       " 7 ",
                           "+12",           "0x10",         "12.x",        "",
                           "6149.15",       "6150.0",       "2147483647",  "-2147483648"};
    const int pick = in.pick(4);
    if (pick == 0) return in.text();
    if (pick == 1) return QString::number(in.number());
    if (pick == 3) return QString::fromLatin1(edges[in.pick(16)]);
    return QString::number(in.number()) + QLatin1Char('.') + QString::number(in.number());
}

// The conversion as the host interface describes it, computed independently.
int expectedAddress(int reg_type, const QString& text) {
    if (static_cast<unsigned>(reg_type) > 4) return text.toInt(nullptr, 10);
    if (text.indexOf(QLatin1Char('.')) < 0) return -1;
    const QStringList parts = text.split(QLatin1Char('.'));
    const long long n = 16LL * parts[0].toInt(nullptr, 10) + parts[1].toInt(nullptr, 10);
    return n < INT_MIN || n > INT_MAX ? -1 : static_cast<int>(n);
}

int registerType(Input& in) {
    return in.pick(20) - 3;
} // -3 .. 16

// Counts up to a little over the largest area; bigger ones belong to the unit tests.
int count(Input& in) {
    const int c = in.number();
    return c > 70000 ? 70000 + (c & 0xFF) : c;
}

// Elements (bits, words or flags) of a type's area: single-station elements past it read 0
// and are never stored. A type without an area addresses the 16-bit FINS address space.
long long capacityOf(int reg_type) {
    const fins::RegType* t = fins::regType(reg_type);
    if (!t) return fins::ADDRESS_SPACE;
    if (t->unit == fins::Unit::Flag) return 8LL * flagImage(t->image).capacity;
    return wordImage(t->image).capacity * (t->unit == fins::Unit::Bit ? 16LL : 1LL);
}

// Value element i should read after a write of buffer in over the previous value.
int expectedElement(bool multi, int reg_type, const QByteArray& in, long long i, int previous) {
    if (fins::isBitType(reg_type)) {
        if (i >= in.size()) return previous;
        const int v = static_cast<unsigned char>(in[static_cast<int>(i)]);
        if (multi) return v == 0 || v == 1 ? v : previous;
        return v == 1 ? 1 : 0;
    }
    if (fins::isFlagType(reg_type) && !multi) return previous;
    if (2 * i + 1 >= in.size()) return previous;
    return static_cast<unsigned char>(in[static_cast<int>(2 * i)]) |
           (static_cast<unsigned char>(in[static_cast<int>(2 * i + 1)]) << 8);
}

int elementAt(const QByteArray& out, bool bits, long long i) {
    if (bits) return static_cast<unsigned char>(out[static_cast<int>(i)]);
    quint16 word = 0;
    return fins::hostWordAt(out, i, word) ? word : -1;
}

class Run {
  public:
    explicit Run(Input& in) : in_(in), session_(settings(in)), com_(session_.com) {}

    void step() {
        const int op = in_.pick(OPS);
        if (op == STORE_AND_READ) storeAndRead();
        if (op == QUEUE_WRITE) queueWrite();
    }

  private:
    bool bitsOrFlags(int t) const { return fins::isBitType(t) || fins::isFlagType(t); }
    bool hasStore(int t) const { return com_.multi_station || fins::regType(t) != nullptr; }

    // Reads cnt elements into `buffer` and checks the result, that the image is untouched,
    // the bytes written (0 or 1 for bits and flags) and the bytes past them, which stay.
    QByteArray readInto(QByteArray buffer, int t, QString text, int station, int cnt) {
        const QByteArray original = buffer;
        const ImageSnapshot image;
        const int n = expectedAddress(t, text);
        FUZZ_CHECK(GetRegisterData(nullptr, t, &text, station, &buffer, cnt) == (n < 0 ? 0 : 1));
        FUZZ_CHECK(image.changes().empty());
        const long long written =
            n < 0 || cnt < 1 || !hasStore(t) ? 0 : (bitsOrFlags(t) ? 1 : 2LL) * cnt;
        FUZZ_CHECK(buffer.size() == std::max<long long>(original.size(), written));
        for (int i = 0; i < buffer.size(); ++i)
            FUZZ_CHECK(i < written ? !bitsOrFlags(t) || buffer.at(i) == 0 || buffer.at(i) == 1
                                   : buffer.at(i) == original.at(i));
        return buffer;
    }

    void storeAndRead() {
        com_.run_mode = 0;
        const int t = registerType(in_);
        QString text = addressText(in_);
        const int station = in_.pick(4);
        const int cnt = com_.multi_station ? std::min(count(in_), 4096) : count(in_);
        QByteArray value = in_.bytes(in_.pick(40));
        const int n = expectedAddress(t, text);
        const QByteArray before = readInto(in_.bytes(in_.pick(16)), t, text, station, cnt);
        const int queued = PLC_driver.write_list.size();
        const ImageSnapshot image;

        QString name = QStringLiteral("screen");
        const int r = SetRegisterData(&name, t, &text, station, &value, cnt, 0, 0);

        FUZZ_CHECK(r == (n < 0 ? 0 : 1) && PLC_driver.write_list.size() == queued);
        const bool mirrors = !com_.multi_station && n >= 0;
        FUZZ_CHECK(
            image.changedOnlyIn({mirrors ? ImageSnapshot::unitsWritten(t, n, cnt) : Units()}));
        if (n < 0 || cnt < 1 || !hasStore(t)) return;
        // Multi-station flag writes land in word entries that flag reads do not use.
        if (com_.multi_station && fins::isFlagType(t)) return;
        const QByteArray after = readInto(QByteArray(), t, text, station, cnt);
        // The per-station store keeps every address an int holds.
        const long long capacity = !com_.multi_station ? capacityOf(t) : STORE_POSITIONS;
        for (long long i = 0; i < cnt; ++i) {
            const bool inside = n + i < capacity;
            const int prev = elementAt(before, bitsOrFlags(t), i);
            const int want = inside ? expectedElement(com_.multi_station, t, value, i, prev) : 0;
            FUZZ_CHECK(elementAt(after, bitsOrFlags(t), i) == want);
        }
    }

    void queueWrite() {
        com_.run_mode = 2;
        PLC_driver.write_list.clear();
        PLC_driver.comm_failed = in_.flag();
        const int t = registerType(in_);
        QString text = addressText(in_);
        const int station = in_.pick(4);
        // Past 1024 pieces the queue drops the rest; more only costs time.
        const int cnt = std::min(count(in_), 3000);
        QByteArray value = in_.bytes(in_.pick(40));
        const int n = expectedAddress(t, text);
        const ImageSnapshot image;

        QString name = QStringLiteral("screen");
        const int r = SetRegisterData(&name, t, &text, station, &value, cnt, 3, 9);

        const fins::RegType* type = fins::regType(t);
        const bool writable = type && type->write_area != 0;
        // A write reaching past the 16-bit FINS address space would wrap on the wire.
        const long long space = fins::addressSpaceOf(t);
        // A negative max_block splits into one piece only when it exceeds the count in size.
        const bool no_piece = type && type->unit == fins::Unit::Word && com_.max_block < 0 &&
                              cnt >= -static_cast<long long>(com_.max_block);
        if (n < 0 || !writable || cnt < 1 || n + static_cast<long long>(cnt) > space || no_piece) {
            FUZZ_CHECK(r == 0 && PLC_driver.write_list.isEmpty() && image.changes().empty());
            return;
        }
        const QList<RW_VAR>& q = PLC_driver.write_list;
        FUZZ_CHECK(r == q.size() && q.size() >= 1 && q.size() <= 1024);
        const int m = com_.max_block;
        long long next = n, offset = 0; // address and buffer position of the next piece
        for (const RW_VAR& w : q) {
            FUZZ_CHECK(w.access == 1 && w.reg_type == t && w.req_kind == 3 && w.req_id == 9);
            FUZZ_CHECK(w.station == (com_.multi_station ? station : com_.default_station));
            FUZZ_CHECK(w.address == next && w.length >= 1);
            // A bit write is one element of one byte; a word piece has two bytes a word.
            const bool bit = type->unit == fins::Unit::Bit;
            if (bit) FUZZ_CHECK(w.length == 1);
            if (!bit && m > 0) FUZZ_CHECK(w.length <= m);
            FUZZ_CHECK(w.value.size() == (bit ? 1 : 2LL) * w.length);
            for (int i = 0; i < w.value.size(); ++i, ++offset)
                FUZZ_CHECK(w.value[i] == (offset < value.size() ? value[int(offset)] : 0));
            next += w.length;
        }
        // Mirrored at once only while communication has failed.
        const bool mirrors = PLC_driver.comm_failed && !com_.multi_station;
        FUZZ_CHECK(
            image.changedOnlyIn({mirrors ? ImageSnapshot::unitsWritten(t, n, cnt) : Units()}));
    }

    static SessionSettings settings(Input& in) {
        SessionSettings s;
        s.multi_station = in.flag();
        s.max_block = in.number();
        s.default_station = in.pick(4);
        s.run_mode = 0;
        return s;
    }

    Input& in_;
    fuzz::Session session_;
    COM_INFO& com_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    Run run(in);
    for (int i = 0; i < 48 && !in.done(); ++i)
        run.step();
    return 0;
}
