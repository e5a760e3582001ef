#include "plc_peer.h"

#include <cstdio>

#include "fins_frame.h"

namespace peer {

namespace {

const unsigned ASSIGNED_NODE = 0xFB;

enum : unsigned {
    AREA_CIO = 0xB0,
    AREA_W = 0xB1,
    AREA_H = 0xB2,
    AREA_A = 0xB3,
    AREA_D = 0x82,
    AREA_TC_PV = 0x89,
    AREA_TC_FLAG = 0x09,
    COUNTER_BASE = 0x8000,
    END_CODE_UNKNOWN_AREA = 0x1101,
    REMOTE_HEAD_SIZE = 23,
    REMOTE_TAIL_SIZE = 4,
    REMOTE_READ_SIZE = 22,
    MEMORY_WORDS = 0x10000
};

unsigned byteAt(const fins::ByteReader& in, long long pos) {
    const int v = in.u8(pos);
    return v < 0 ? 0u : static_cast<unsigned>(v);
}

unsigned u16At(const fins::ByteReader& in, long long pos) {
    return byteAt(in, pos) << 8 | byteAt(in, pos + 1);
}

unsigned u32At(const fins::ByteReader& in, long long pos) {
    return u16At(in, pos) << 16 | u16At(in, pos + 2);
}

const char* wordAreaName(unsigned area) {
    switch (area) {
    case AREA_CIO:
        return "CIO";
    case AREA_W:
        return "W";
    case AREA_H:
        return "H";
    case AREA_A:
        return "A";
    case AREA_D:
        return "D";
    default:
        return nullptr;
    }
}

// "read TPV10 x1", "read CF8 x8": counters are addressed at 0x8000 + n.
std::string timerCounter(const char* verb, const char* timer, const char* counter,
                         const Request& r) {
    const bool is_counter = (r.address & COUNTER_BASE) != 0;
    return std::string(verb) + " " + (is_counter ? counter : timer) +
           std::to_string(r.address & (COUNTER_BASE - 1)) + " x" + std::to_string(r.items);
}

std::string describeArea(const char* verb, const Request& r) {
    if (const char* name = wordAreaName(r.area))
        return std::string(verb) + " " + name + std::to_string(r.address) + " x" +
               std::to_string(r.items);
    if (r.area == AREA_TC_PV) return timerCounter(verb, "TPV", "CPV", r);
    if (r.area == AREA_TC_FLAG) return timerCounter(verb, "TF", "CF", r);
    if (unsigned word_area = wordAreaOfBitArea(r.area)) {
        char text[64];
        std::snprintf(text, sizeof text, "%s bit %s%u.%02u = %u", verb, wordAreaName(word_area),
                      r.address, r.bit,
                      r.data.isEmpty() ? 0u : static_cast<unsigned char>(r.data[0]));
        return text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s area %02X @%u x%u", verb, r.area, r.address, r.items);
    return text;
}

Request parseFins(const QByteArray& frame) {
    Request r;
    const fins::ByteReader in(frame);
    if (!in.has(0, fins::TCP_HEADER_SIZE) || frame.left(4) != "FINS") return r;
    const unsigned command = u32At(in, 8);
    if (command == fins::TCP_CMD_NODE_ADDRESS_SEND) {
        r.kind = Request::Handshake;
        r.hmi_node = byteAt(in, 19);
        return r;
    }
    if (command != fins::TCP_CMD_FRAME_SEND || !in.has(0, fins::READ_REQUEST_SIZE)) return r;
    r.plc_node = byteAt(in, 20);
    r.hmi_node = byteAt(in, 23);
    const unsigned src = byteAt(in, 27);
    if (byteAt(in, 26) != fins::MRC_MEMORY_AREA) return r;
    if (src == fins::SRC_MEMORY_AREA_READ) r.kind = Request::Read;
    if (src == fins::SRC_MEMORY_AREA_WRITE) r.kind = Request::Write;
    r.area = byteAt(in, 28);
    r.address = u16At(in, 29);
    r.bit = byteAt(in, 31);
    r.items = u16At(in, 32);
    r.data = frame.mid(fins::READ_REQUEST_SIZE);
    return r;
}

Request parseRemote(const QByteArray& frame) {
    Request r;
    const fins::ByteReader in(frame);
    if (!in.has(0, REMOTE_READ_SIZE)) return r;
    const bool write = frame.size() > static_cast<int>(REMOTE_READ_SIZE) || byteAt(in, 2) == 1;
    r.kind = write ? Request::RemoteWrite : Request::RemoteRead;
    r.area = u16At(in, 5);
    r.address = u32At(in, 7);
    r.items = u16At(in, 11);
    r.data = frame.mid(21, frame.size() - REMOTE_READ_SIZE);
    return r;
}

} // namespace

QByteArray handshakeAnswer(unsigned hmi_node, unsigned plc_node, unsigned error) {
    QByteArray out;
    fins::appendTcpHeader(out, fins::TCP_CMD_NODE_ADDRESS_REPLY, 16);
    out.resize(12);
    fins::appendU32(out, error);
    fins::appendU32(out, hmi_node);
    fins::appendU32(out, plc_node);
    return out;
}

QByteArray finsResponse(const QByteArray& request, const QByteArray& data, unsigned tcp_error,
                        unsigned end_code) {
    const fins::ByteReader in(request);
    QByteArray out;
    fins::appendTcpHeader(out, fins::TCP_CMD_FRAME_SEND, 22 + data.size());
    out.resize(12);
    fins::appendU32(out, tcp_error);
    fins::appendU8(out, 0xC0); // ICF: response
    fins::appendU8(out, 0x00);
    fins::appendU8(out, fins::GCT_DEFAULT);
    fins::appendU8(out, 0x00);           // DNA
    fins::appendU8(out, byteAt(in, 23)); // DA1: the requester's node
    fins::appendU8(out, byteAt(in, 24)); // DA2
    fins::appendU8(out, 0x00);           // SNA
    fins::appendU8(out, byteAt(in, 20)); // SA1: this PLC's node
    fins::appendU8(out, byteAt(in, 21)); // SA2
    fins::appendU8(out, byteAt(in, 25)); // SID echoed
    fins::appendU8(out, byteAt(in, 26));
    fins::appendU8(out, byteAt(in, 27));
    fins::appendU16(out, end_code);
    out.append(data);
    return out;
}

QByteArray wordBytes(const std::vector<unsigned>& words) {
    QByteArray out;
    for (unsigned w : words)
        fins::appendU16(out, w);
    return out;
}

QByteArray wordReply(const Protocol& p, const std::vector<unsigned>& words) {
    return finsResponse(p.frame, wordBytes(words));
}

QByteArray writeAck(const Protocol& p) {
    return finsResponse(p.frame, QByteArray());
}

QByteArray remoteReply(const QByteArray& data, unsigned error) {
    QByteArray out(12, '\0');
    fins::appendU32(out, error);
    out.append(QByteArray(REMOTE_HEAD_SIZE - out.size(), '\0'));
    out.append(data);
    out.append(QByteArray(REMOTE_TAIL_SIZE, '\0'));
    return out;
}

QByteArray errorReply(const Protocol& p, unsigned tcp_error, bool remote) {
    const QByteArray zeros(p.p_aux2 > 0 ? p.p_aux2 : 0, '\0');
    if (remote) return remoteReply(zeros, tcp_error);
    if (parseFins(p.frame).kind == Request::Handshake) return handshakeAnswer(0, 0, tcp_error);
    return finsResponse(p.frame, zeros, tcp_error);
}

QByteArray resized(QByteArray reply, int size) {
    if (size < 0) size = 0;
    if (size < reply.size())
        reply.truncate(size);
    else
        reply.append(QByteArray(size - reply.size(), '\0'));
    return reply;
}

Request parseRequest(const QByteArray& frame, bool remote) {
    return remote ? parseRemote(frame) : parseFins(frame);
}

std::string describe(const Request& r) {
    switch (r.kind) {
    case Request::Handshake:
        return "handshake";
    case Request::Read:
        return describeArea("read", r);
    case Request::Write:
        return describeArea("write", r);
    case Request::RemoteRead:
    case Request::RemoteWrite: {
        char text[80];
        std::snprintf(text, sizeof text, "remote %s type %u @%u x%u",
                      r.kind == Request::RemoteRead ? "read" : "write", r.area, r.address, r.items);
        return text;
    }
    default:
        return "unknown";
    }
}

unsigned wordAreaOfBitArea(unsigned bit_area) {
    switch (bit_area) {
    case 0x30:
        return AREA_CIO;
    case 0x31:
        return AREA_W;
    case 0x32:
        return AREA_H;
    case 0x33:
        return AREA_A;
    case 0x02:
        return AREA_D;
    default:
        return 0;
    }
}

// ---- PlcMemory ---------------------------------------------------------------

unsigned PlcMemory::word(int station, unsigned area, unsigned address) const {
    auto it = words_.find(std::make_pair(station, area));
    if (it == words_.end() || address >= MEMORY_WORDS) return 0;
    return it->second[address];
}

void PlcMemory::setWord(int station, unsigned area, unsigned address, unsigned value) {
    if (address >= MEMORY_WORDS) return;
    std::vector<unsigned short>& w = words_[std::make_pair(station, area)];
    if (w.empty()) w.assign(MEMORY_WORDS, 0);
    w[address] = static_cast<unsigned short>(value);
}

unsigned PlcMemory::flag(int station, unsigned address) const {
    auto it = flags_.find(station);
    if (it == flags_.end() || address >= MEMORY_WORDS) return 0;
    return it->second[address];
}

void PlcMemory::setFlag(int station, unsigned address, unsigned value) {
    if (address >= MEMORY_WORDS) return;
    std::vector<unsigned char>& f = flags_[station];
    if (f.empty()) f.assign(MEMORY_WORDS, 0);
    f[address] = value ? 1 : 0;
}

bool PlcMemory::apply(int station, const Request& r) {
    if (r.kind != Request::Write) return false;
    if (unsigned area = wordAreaOfBitArea(r.area)) {
        for (unsigned i = 0; i < r.items && static_cast<int>(i) < r.data.size(); ++i) {
            const unsigned n = r.address * 16 + r.bit + i;
            const unsigned mask = 1u << (n % 16);
            const unsigned old = word(station, area, n / 16);
            setWord(station, area, n / 16, r.data[i] == 1 ? (old | mask) : (old & ~mask));
        }
        return true;
    }
    if (!wordAreaName(r.area) && r.area != AREA_TC_PV) return false;
    const fins::ByteReader in(r.data);
    for (unsigned k = 0; k < r.items && in.has(2ll * k, 2); ++k)
        setWord(station, r.area, r.address + k, u16At(in, 2ll * k));
    return true;
}

bool PlcMemory::read(int station, const Request& r, QByteArray& data) const {
    data.clear();
    if (r.area == AREA_TC_FLAG) {
        for (unsigned i = 0; i < r.items; ++i)
            fins::appendU8(data, flag(station, r.address + i));
        return true;
    }
    if (!wordAreaName(r.area) && r.area != AREA_TC_PV) return false;
    for (unsigned k = 0; k < r.items; ++k)
        fins::appendU16(data, word(station, r.area, r.address + k));
    return true;
}

// ---- PlcPeer -----------------------------------------------------------------

unsigned PlcPeer::plcNode(int station) const {
    auto it = plc_nodes_.find(station);
    return it == plc_nodes_.end() ? 1u : it->second;
}

QByteArray PlcPeer::answer(const Protocol& p) {
    const Request r = parseRequest(p.frame, remote_);
    const int station = p.var.station;
    QByteArray data;
    switch (r.kind) {
    case Request::Handshake:
        return handshakeAnswer(r.hmi_node ? r.hmi_node : ASSIGNED_NODE, plcNode(station));
    case Request::Read:
        if (!memory_.read(station, r, data))
            return finsResponse(p.frame, QByteArray(), 0, END_CODE_UNKNOWN_AREA);
        return finsResponse(p.frame, data);
    case Request::Write:
        return finsResponse(p.frame, QByteArray(), 0,
                            memory_.apply(station, r) ? 0u : unsigned(END_CODE_UNKNOWN_AREA));
    case Request::RemoteRead:
    case Request::RemoteWrite:
        return remoteReply(QByteArray(p.p_aux2 > 0 ? p.p_aux2 : 0, '\0'));
    default:
        return QByteArray();
    }
}

Turn PlcPeer::begin() {
    Turn t;
    const Protocol* p = ComCommunication();
    if (!p) return t;
    t.sent = true;
    t.frame = p->frame;
    t.send_len = p->send_len;
    t.reply_len = p->reply_len;
    t.p_aux1 = p->p_aux1;
    t.p_aux2 = p->p_aux2;
    t.frame_var = p->var;
    t.what = describe(parseRequest(p->frame, remote_));
    return t;
}

void PlcPeer::finish(Turn& t, QByteArray reply, int len) {
    const RW_VAR* v = DataCom(&reply, len);
    t.result = v->result;
    t.returned = *v;
    log_.push_back(t.what);
}

namespace {
const Protocol& outstanding() {
    return PLC_driver.protocol_list.constFirst();
}
} // namespace

Turn PlcPeer::serve() {
    Turn t = begin();
    if (t.sent) {
        const QByteArray reply = answer(outstanding());
        finish(t, reply, reply.size());
    }
    return t;
}

Turn PlcPeer::serveTcpError(unsigned code) {
    Turn t = begin();
    if (t.sent) {
        const QByteArray reply = errorReply(outstanding(), code, remote_);
        finish(t, reply, reply.size());
    }
    return t;
}

Turn PlcPeer::serveLength(int size) {
    Turn t = begin();
    if (t.sent) finish(t, resized(answer(outstanding()), size), size);
    return t;
}

Turn PlcPeer::serveBytes(const QByteArray& reply, int len) {
    Turn t = begin();
    if (t.sent) finish(t, reply, len);
    return t;
}

Turn PlcPeer::serveHandshakeRefusal(unsigned code) {
    Turn t = begin();
    if (t.sent) {
        const QByteArray reply = handshakeAnswer(0, 0, code);
        finish(t, reply, reply.size());
    }
    return t;
}

Turn PlcPeer::peek() {
    return begin();
}

} // namespace peer
