// Reply evaluation: the input picks the host block (station modes, remote mode, retry
// limit), queues writes, one-shot and cyclic reads of any register type and length,
// and answers each frame the scheduler hands out with arbitrary bytes and lengths.
// Every exchange is checked against an independent model of the result code, the
// retry counter, the outstanding frame and the image elements that may change.
#include <algorithm>

#include "fins_peer.h"
#include "fuzz_session.h"
#include "image_areas.h"
#include "image_snapshot.h"

namespace {

using fuzz::Input;

// Exchanges come up twice as often as each other operation.
enum Op { QUEUE_WRITE, QUEUE_ONCE, QUEUE_CYCLIC, HANDSHAKE_DONE, EXCHANGE, OPS = EXCHANGE + 2 };

const int kReqKinds[] = {0, 1, 3, 11, 12, -1, 100, 5};
const int kAccess[] = {0, 0, 0, 1, 1, 1, 2, -1};

RW_VAR variable(Input& in, const COM_INFO& com) {
    RW_VAR v = RW_VAR();
    v.req_kind = kReqKinds[in.pick(8)];
    v.req_id = in.pick(4);
    v.access = kAccess[in.pick(8)];
    v.link_mode = com.remote_mode;
    v.link_id = in.flag() ? com.local_link : com.local_link + 1;
    v.name = QStringLiteral("v");
    v.reg_type = in.pick(18) - 2; // -2 .. 15
    v.address = in.number();
    v.station = in.pick(3);
    v.length = in.number();
    v.value = in.bytes(in.pick(12));
    return v;
}

// A reply of the frame's expected size (at most 4 KiB) with the chosen FINS/TCP error
// code; node address answers name the nodes the input gives.
QByteArray finsReply(Input& in, const Protocol& p, quint32 error_code) {
    if (p.frame.size() == fins::NODE_ADDRESS_REQUEST_SIZE) {
        const quint32 client = in.u8();
        return fins::nodeAddressReply(client, in.u8(), error_code);
    }
    const int size = std::max<int>(fins::TCP_HEADER_SIZE, std::min(p.reply_len, 4096));
    QByteArray r;
    fins::Writer out(r);
    const quint32 length = static_cast<quint32>(size - fins::TCP_LENGTH_COVERS);
    fins::encodeTcpHeader(out, fins::TcpHeader{length, fins::TCP_FRAME_SEND, error_code});
    while (r.size() < size) // response header, MRC SRC, end code, data
        out.u8(in.u8());
    return r;
}

QByteArray reply(Input& in, const Protocol* p) {
    const int mode = in.pick(5);
    if (!p || mode == 0) return in.bytes(in.u8());
    QByteArray r = finsReply(in, *p, mode == 2 ? in.u32() : 0);
    if (mode == 3) r.resize(std::max(0, r.size() + static_cast<signed char>(in.u8())));
    if (mode == 4) r[in.pick(std::max(1, r.size()))] = static_cast<char>(in.u8());
    return r;
}

// The length DataCom is told: the reply's, the expected one, none, or any 16-bit value.
int replyLength(Input& in, const QByteArray& r, const Protocol* p) {
    const int pick = in.pick(4);
    if (pick < 2) return pick == 0 ? r.size() : p ? p->reply_len : 0;
    return pick == 2 ? 0 : static_cast<short>(in.u16());
}

bool errorCodeZero(const QByteArray* reply) {
    return reply && fins::replyErrorCode(*reply) == 0;
}

// Result code expected for a reply to the outstanding frame p that is not a handshake,
// after `retries` bad replies in a row (a missing reply counts as an empty one).
int expectedResult(const Protocol& p, const QByteArray* reply, int len, const COM_INFO& com,
                   int retries) {
    const bool local = p.var.link_id == com.local_link;
    // Failure families: 10 + k a bad reply, 40 + k none, 70 + k a wrong length.
    int base = 10;
    if (len == 0 && p.reply_len != 0)
        base = 40;
    else if (len != 0 && len != p.reply_len && p.reply_len != -1)
        base = 70;
    else if (errorCodeZero(reply) && (p.var.access == 0 || p.var.access == 1))
        return local ? 1 : 100;
    if (retries + 1 <= com.retry_limit) return 0;
    const int k = p.var.req_kind >= 0 && p.var.req_kind <= 11 ? p.var.req_kind + 1 : 1;
    return base + (local ? 0 : 100) + k;
}

using Units = ImageSnapshot::Units;

// Units a queued write may mirror into the image (single-station mode).
Units writeUnits(const RW_VAR& w) {
    const bool bits = fins::isBitType(w.reg_type);
    const long long n = std::min<long long>(w.length, bits ? w.value.size() : w.value.size() / 2);
    return ImageSnapshot::unitsWritten(w.reg_type, w.address, n);
}

// Units a good read reply stores into.
Units readUnits(const Protocol& p) {
    const fins::RegType* t = fins::regType(p.var.reg_type);
    if (!t) return {0, 0};
    const long long a = p.var.address;
    if (t->unit == fins::Unit::Flag)
        return ImageSnapshot::unitsOf(t->image, a / 8, a / 8 + p.p_aux2 / 8);
    return ImageSnapshot::unitsOf(t->image, a, a + p.p_aux2 / 2);
}

void checkStoredWords(const Protocol& p, const QByteArray& reply) {
    const fins::RegType* t = fins::regType(p.var.reg_type);
    if (!t || t->unit == fins::Unit::Flag) return;
    const WordImage img = wordImage(t->image);
    for (long long k = 0; k < p.p_aux2 / 2; ++k) {
        const long long idx = static_cast<long long>(p.var.address) + k;
        const long long at = static_cast<long long>(p.p_aux1) + 2 * k;
        quint16 word = 0;
        if (idx < 0 || idx >= img.capacity || !fins::Reader(reply).u16At(at, word)) continue;
        FUZZ_CHECK(img.words[idx] == word);
    }
}

class Run {
  public:
    explicit Run(Input& in) : in_(in), session_(settings(in)), com_(session_.com) {}

    void step() {
        const int op = in_.pick(OPS);
        if (op >= EXCHANGE) return exchange();
        if (op == HANDSHAKE_DONE) {
            // Only between exchanges, as a real handshake would leave it.
            if (PLC_driver.protocol_list.isEmpty())
                map_list[in_.pick(3)] = Check_Plc{1, in_.u8(), in_.u8()};
            return;
        }
        RW_VAR v = variable(in_, com_);
        if (op == QUEUE_WRITE) AddListWriteVar(&v, 1);
        if (op == QUEUE_ONCE) AddListOnceReadVar(&v, 1);
        if (op == QUEUE_CYCLIC) AddListReadVar(&v);
    }

  private:
    static SessionSettings settings(Input& in) {
        SessionSettings s;
        const uint8_t mode = in.u8();
        s.multi_station = mode & 1;
        s.remote_mode = (mode >> 1) & 1;
        s.local_link = (mode >> 2) & 3;
        s.retry_limit = in.pick(5) - 1; // -1 .. 3
        s.max_block = in.number();
        s.default_station = in.pick(3);
        const char* hmi[] = {"192.168.250.10", "10.0.0.300", "1..2.3", "192.168.250", "10.0.0.x"};
        s.hmi_address = hmi[in.pick(5)];
        return s;
    }

    Protocol* schedule() {
        const bool outstanding = !PLC_driver.protocol_list.isEmpty();
        const Protocol* head = outstanding ? &PLC_driver.protocol_list.first() : nullptr;
        const int write_burst = PLC_driver.write_burst, once_burst = PLC_driver.once_burst;
        const std::map<int, Check_Plc> stations = map_list;
        std::vector<Units> mirror;
        if (!com_.multi_station)
            for (const RW_VAR& w : PLC_driver.write_list)
                mirror.push_back(writeUnits(w));
        const ImageSnapshot image;

        Protocol* p = ComCommunication();

        FUZZ_CHECK(PLC_driver.protocol_list.size() <= 1);
        FUZZ_CHECK(p == (PLC_driver.protocol_list.isEmpty() ? nullptr
                                                            : &PLC_driver.protocol_list.first()));
        if (outstanding)
            FUZZ_CHECK(p == head && PLC_driver.write_burst == write_burst &&
                       PLC_driver.once_burst == once_burst);
        for (int burst : {PLC_driver.write_burst, PLC_driver.once_burst})
            FUZZ_CHECK(burst >= 0 && burst <= 5);
        if (com_.remote_mode) FUZZ_CHECK(map_list.size() == stations.size());
        FUZZ_CHECK(image.changedOnlyIn(mirror));
        if (!p) return p;
        FUZZ_CHECK(p->send_len == p->frame.size());
        if (!outstanding)
            FUZZ_CHECK(com_.frames_total == 1 && com_.frames_done == 0 &&
                       PLC_driver.cur_kind >= 0 && PLC_driver.cur_kind <= 2);
        // A FINS/TCP frame announces its own size; remote frames carry it in byte 0.
        const fins::Reader f(p->frame);
        quint8 size_byte = 0;
        if (com_.remote_mode)
            FUZZ_CHECK(f.size() >= 22 && f.u8At(0, size_byte) && size_byte == (f.size() & 0xFF));
        else
            FUZZ_CHECK(fins::announcedFrameSize(p->frame.constData(), f.size()) == f.size());
        return p;
    }

    void exchange() {
        Protocol* p = schedule();
        const bool outstanding = p != nullptr;
        const Protocol frame = outstanding ? *p : Protocol();
        QByteArray copy = reply(in_, p);
        const bool null_reply = in_.u8() == 0xFF;
        const int len = replyLength(in_, copy, p);
        QByteArray* arg = null_reply ? nullptr : &copy;

        const int station = plc_add_number;
        const bool gated = !com_.remote_mode && map_list.find(station) == map_list.end();
        const bool handshake =
            outstanding && !gated && !com_.remote_mode && map_list[station].hs_done == 0;
        const int retries = com_.retry_count;
        const size_t fails = failNotices().size();
        std::vector<Units> stored;
        if (!com_.multi_station) stored.push_back(readUnits(frame));
        const ImageSnapshot image;
        const auto unchanged = [&image] { FUZZ_CHECK(image.changes().empty()); };

        RW_VAR* r = DataCom(arg, len);

        FUZZ_CHECK(r == &PLC_driver.cur_var && PLC_driver.protocol_list.size() <= 1);
        const int max_retries = std::max(com_.retry_limit, 0);
        FUZZ_CHECK(com_.retry_count >= 0 && com_.retry_count <= max_retries);
        if (!outstanding || gated) { // nothing judged; a gated frame stays outstanding
            FUZZ_CHECK(r->result == 1 && com_.retry_count == retries &&
                       PLC_driver.protocol_list.size() == (outstanding ? 1 : 0));
            return unchanged();
        }
        if (handshake) {
            const bool ok = arg && arg->size() == 24 && errorCodeZero(arg);
            FUZZ_CHECK(r->result == (ok ? 1 : 201) && PLC_driver.protocol_list.isEmpty());
            FUZZ_CHECK(map_list[station].hs_done == (ok ? 1 : 0) && com_.retry_count == retries);
            if (ok) FUZZ_CHECK(map_list[station].plc_node == static_cast<unsigned char>(copy[23]));
            return unchanged();
        }
        const int want = expectedResult(frame, arg, arg ? len : 0, com_, retries);
        FUZZ_CHECK(r->result == want);
        if (want == 0) { // retried: the same frame stays outstanding
            FUZZ_CHECK(PLC_driver.protocol_list.size() == 1 && com_.retry_count == retries + 1);
            FUZZ_CHECK(PLC_driver.protocol_list.first().frame == frame.frame);
            return unchanged();
        }
        FUZZ_CHECK(PLC_driver.protocol_list.isEmpty());
        if (want == 1 || want == 100) {
            FUZZ_CHECK(com_.offline == 0 && PLC_driver.comm_failed == 0 &&
                       com_.retry_count == retries);
            const bool stores = want == 1 && frame.var.access == 0;
            FUZZ_CHECK(image.changedOnlyIn(stores ? stored : std::vector<Units>()));
            if (stores && !com_.multi_station) checkStoredWords(frame, copy);
            return;
        }
        // Given up: offline, the counter reset, one failure notice.
        FUZZ_CHECK(com_.offline == 1 && com_.retry_count == 0 && failNotices().size() == fails + 1);
        if (!com_.remote_mode) FUZZ_CHECK(map_list[station].hs_done == 0);
        unchanged();
    }

    Input& in_;
    fuzz::Session session_;
    COM_INFO& com_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    Run run(in);
    for (int i = 0; i < 64 && !in.done(); ++i)
        run.step();
    return 0;
}
