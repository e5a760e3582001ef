#include "bench_session.h"

#include <cstring>

#include "driver_object.h"
#include "fins_peer.h"

namespace bench {

namespace {

SessionSettings benchSettings(bool multi_station, int max_block) {
    SessionSettings s;
    s.multi_station = multi_station ? 1 : 0;
    s.max_block = max_block;
    s.hmi_address = "127.0.0.10";
    s.once_done = nullptr;
    s.comm_fail = nullptr;
    return s;
}

} // namespace

QByteArray replyFor(const Protocol& p, unsigned char fill) {
    quint32 proposed = 0;
    if (p.send_len == fins::NODE_ADDRESS_REQUEST_SIZE && fins::Reader(p.frame).u32At(16, proposed))
        return fins::nodeAddressReply(proposed, 1);
    const int data_bytes = p.var.access == 1 ? 0 : p.p_aux2;
    return fins::commandReply(p.frame, 0, QByteArray(data_bytes, static_cast<char>(fill)));
}

DriverSession::DriverSession(bool multi_station, int max_block)
    : ::DriverSession(benchSettings(multi_station, max_block)) {}

DriverSession::~DriverSession() {
    ResetDriverState();
}

bool DriverSession::handshake() {
    Protocol* p = ComCommunication();
    if (!p || p->send_len != fins::NODE_ADDRESS_REQUEST_SIZE) return false;
    QByteArray answer = replyFor(*p, 0);
    return DataCom(&answer, answer.size())->result == 1;
}

int DriverSession::exchange() {
    Protocol* p = ComCommunication();
    if (!p) return -1;
    reply_ = replyFor(*p, 0x5A);
    return DataCom(&reply_, reply_.size())->result;
}

VAR_DESC varDesc(int reg_type, int station, const QString& addr_text, int length) {
    VAR_DESC v;
    v.host_byte0 = 0;
    v.reg_type = static_cast<unsigned char>(reg_type);
    v.station = static_cast<unsigned char>(station);
    v.host_byte3 = 0;
    v.host_word1 = 0;
    v.addr_text = addr_text;
    v.name = QStringLiteral("tag");
    v.length = length;
    return v;
}

namespace {

// Address text of a bit: word.bit with two bit digits.
QString bitText(int word, int bit) {
    return QString::number(word) + (bit < 10 ? QStringLiteral(".0") : QStringLiteral(".")) +
           QString::number(bit);
}

} // namespace

QList<VAR_DESC> panelTags(int count, int station, uint32_t seed) {
    Lcg rng(seed);
    QList<VAR_DESC> tags;
    tags.reserve(count);
    int d = 0, cio = 0, w = 0, t = 0;
    for (int i = 0; i < count; ++i) {
        const int kind = i % 10;
        if (kind < 6) { // Data Memory words: runs of values with small gaps
            d += 1 + static_cast<int>(rng.next(4));
            tags.append(varDesc(D_WORD, station, QString::number(d % 30000), 1));
        } else if (kind < 8) { // CIO bits: lamps and buttons
            cio += 1 + static_cast<int>(rng.next(3));
            tags.append(varDesc(CIO_BIT, station, bitText((cio / 16) % 6000, cio % 16), 1));
        } else if (kind == 8) { // W words
            w += 1 + static_cast<int>(rng.next(3));
            tags.append(varDesc(W_WORD, station, QString::number(w % 500), 1));
        } else { // timers: present value and completion flag
            t += 1 + static_cast<int>(rng.next(2));
            const int type = (i / 10) % 2 ? TIMER_FLAG : TIMER_PV;
            tags.append(varDesc(type, station, QString::number(t % 4000), 1));
        }
    }
    return tags;
}

QList<VAR_DESC> scatteredWords(int count, int station, uint32_t seed) {
    Lcg rng(seed);
    QList<VAR_DESC> tags;
    tags.reserve(count);
    for (int i = 0; i < count; ++i)
        tags.append(varDesc(D_WORD, station, QString::number(rng.next(32000)),
                            1 + static_cast<int>(rng.next(2))));
    return tags;
}

QList<VAR_DESC> manyStations(int count, uint32_t seed) {
    Lcg rng(seed);
    QList<VAR_DESC> tags;
    tags.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int type = rng.next(2) ? D_WORD : CIO_WORD;
        const uint32_t bound = type == D_WORD ? 32000 : 6000;
        tags.append(varDesc(type, static_cast<int>(rng.next(250)), QString::number(rng.next(bound)),
                            1 + static_cast<int>(rng.next(2))));
    }
    return tags;
}

QList<VAR_DESC> stationPanels(int count, uint32_t seed) {
    const int stations = 100;
    QList<VAR_DESC> tags;
    tags.reserve(count);
    for (int s = 0; s < stations; ++s)
        tags.append(panelTags(count / stations, s + 1, seed + static_cast<uint32_t>(s)));
    return tags;
}

} // namespace bench
