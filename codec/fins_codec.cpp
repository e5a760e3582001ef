#include "fins_codec.h"

#include <cstring>

namespace fins {

namespace {

// Indexed by register-type code: unit, image array, read and write area codes, counter
// offset, word type of the area.
const RegType kRegTypes[REG_TYPE_COUNT] = {
    {REG_CIO_BIT, Unit::Bit, ImageArea::Cio, 0xB0, 0x30, false, REG_CIO_WORD},
    {REG_W_BIT, Unit::Bit, ImageArea::W, 0xB1, 0x31, false, REG_W_WORD},
    {REG_H_BIT, Unit::Bit, ImageArea::H, 0xB2, 0x32, false, REG_H_WORD},
    {REG_A_BIT, Unit::Bit, ImageArea::A, 0xB3, 0x33, false, REG_A_WORD},
    {REG_D_BIT, Unit::Bit, ImageArea::D, 0x82, 0x02, false, REG_D_WORD},
    {REG_TIMER_FLAG, Unit::Flag, ImageArea::TimerFlag, 0x09, 0x00, false, REG_TIMER_FLAG},
    {REG_COUNTER_FLAG, Unit::Flag, ImageArea::CounterFlag, 0x09, 0x00, true, REG_COUNTER_FLAG},
    {REG_CIO_WORD, Unit::Word, ImageArea::Cio, 0xB0, 0xB0, false, REG_CIO_WORD},
    {REG_W_WORD, Unit::Word, ImageArea::W, 0xB1, 0xB1, false, REG_W_WORD},
    {REG_H_WORD, Unit::Word, ImageArea::H, 0xB2, 0xB2, false, REG_H_WORD},
    {REG_A_WORD, Unit::Word, ImageArea::A, 0xB3, 0xB3, false, REG_A_WORD},
    {REG_D_WORD, Unit::Word, ImageArea::D, 0x82, 0x82, false, REG_D_WORD},
    {REG_TIMER_PV, Unit::Word, ImageArea::TimerPv, 0x89, 0x89, false, REG_TIMER_PV},
    {REG_COUNTER_PV, Unit::Word, ImageArea::CounterPv, 0x89, 0x89, true, REG_COUNTER_PV},
};

const char kMagic[4] = {'F', 'I', 'N', 'S'};

} // namespace

const RegType* regType(int reg_type) {
    return reg_type >= 0 && reg_type < REG_TYPE_COUNT ? &kRegTypes[reg_type] : nullptr;
}

void encodeTcpHeader(Writer& out, const TcpHeader& h) {
    for (char m : kMagic) // byte by byte: a raw-data QByteArray would cost an allocation
        out.u8(static_cast<unsigned char>(m));
    out.u32(h.length).u32(h.command).u32(h.error);
}

bool decodeTcpHeader(Reader& in, TcpHeader& h) {
    const int start = in.pos();
    if (!in.has(TCP_HEADER_SIZE)) return false;
    for (char m : kMagic) {
        quint8 b = 0;
        in.u8(b);
        if (b != static_cast<quint8>(m)) {
            in.seek(start);
            return false;
        }
    }
    in.u32(h.length);
    in.u32(h.command);
    in.u32(h.error);
    return true;
}

long long announcedFrameSize(const char* data, int size) {
    const Reader in(data, size);
    if (!in.within(0, TCP_LENGTH_COVERS) || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return -1;
    quint32 length = 0;
    in.u32At(4, length);
    return TCP_LENGTH_COVERS + static_cast<long long>(length);
}

void encodeFinsHeader(Writer& out, const FinsHeader& h) {
    out.u8(h.icf)
        .u8(h.rsv)
        .u8(h.gct)
        .u8(h.dna)
        .u8(h.da1)
        .u8(h.da2)
        .u8(h.sna)
        .u8(h.sa1)
        .u8(h.sa2)
        .u8(h.sid);
}

bool decodeFinsHeader(Reader& in, FinsHeader& h) {
    if (!in.has(FINS_HEADER_SIZE)) return false;
    quint8* fields[] = {&h.icf, &h.rsv, &h.gct, &h.dna, &h.da1,
                        &h.da2, &h.sna, &h.sa1, &h.sa2, &h.sid};
    for (quint8* f : fields)
        in.u8(*f);
    return true;
}

QByteArray memoryAreaRequest(quint8 plc_node, quint8 hmi_node, quint8 src, quint8 area,
                             quint16 address, quint8 bit, quint16 items, int data_bytes) {
    QByteArray frame;
    frame.reserve(MEMORY_REQUEST_SIZE + data_bytes);
    Writer out(frame);
    TcpHeader tcp;
    tcp.length = static_cast<quint32>(MEMORY_REQUEST_SIZE - TCP_LENGTH_COVERS + data_bytes);
    tcp.command = TCP_FRAME_SEND;
    encodeTcpHeader(out, tcp);
    FinsHeader fins;
    fins.da1 = plc_node;
    fins.sa1 = hmi_node;
    encodeFinsHeader(out, fins);
    out.u8(MRC_MEMORY_AREA).u8(src);
    out.u8(area).u16(address).u8(bit).u16(items);
    return frame;
}

QByteArray wordWriteRequest(quint8 plc_node, quint8 hmi_node, quint8 area, quint16 address,
                            int words, const QByteArray& host_value) {
    QByteArray frame = memoryAreaRequest(plc_node, hmi_node, SRC_MEMORY_AREA_WRITE, area, address, 0,
                                         static_cast<quint16>(words), 2 * words);
    Writer out(frame);
    for (int i = 0; i < words; ++i) {
        quint16 word = 0;
        hostWordAt(host_value, i, word);
        out.u16(word);
    }
    return frame;
}

QByteArray bitWriteRequest(quint8 plc_node, quint8 hmi_node, quint8 area, quint16 word, quint8 bit,
                           bool on) {
    QByteArray frame =
        memoryAreaRequest(plc_node, hmi_node, SRC_MEMORY_AREA_WRITE, area, word, bit, 1, 1);
    Writer(frame).u8(on ? 1 : 0);
    return frame;
}

QByteArray nodeAddressRequest(quint32 client_node) {
    QByteArray frame;
    frame.reserve(NODE_ADDRESS_REQUEST_SIZE);
    Writer out(frame);
    TcpHeader tcp;
    tcp.length = NODE_ADDRESS_REQUEST_SIZE - TCP_LENGTH_COVERS;
    tcp.command = TCP_NODE_ADDRESS_SEND;
    encodeTcpHeader(out, tcp);
    out.u32(client_node);
    return frame;
}

bool decodeNodeAddressReply(const QByteArray& reply, NodePair& nodes) {
    if (reply.size() != NODE_ADDRESS_REPLY_SIZE || replyErrorCode(reply) != 0) return false;
    const Reader in(reply);
    return in.u8At(NODE_REPLY_CLIENT_NODE_OFFSET, nodes.hmi_node) &&
           in.u8At(NODE_REPLY_SERVER_NODE_OFFSET, nodes.plc_node);
}

long long replyErrorCode(const QByteArray& reply) {
    quint32 code = 0;
    return Reader(reply).u32At(REPLY_ERROR_CODE_OFFSET, code) ? static_cast<long long>(code) : -1;
}

long long replyEndCode(const QByteArray& reply) {
    quint16 code = 0;
    return Reader(reply).u16At(END_CODE_OFFSET, code) ? static_cast<long long>(code) : -1;
}

bool replyFlagGroup(const Reader& reply, long long data_offset, long long g, quint8& packed) {
    const long long pos = data_offset + 8 * g;
    if (!reply.within(pos, 8)) return false;
    quint8 result = 0;
    for (int j = 0; j < 8; ++j) {
        quint8 flag = 0;
        reply.u8At(pos + j, flag);
        result = static_cast<quint8>(result | (flag & 1) << j);
    }
    packed = result;
    return true;
}

long long readItems(const RegType& t, long long length) {
    return t.unit == Unit::Flag ? 8 * length : length;
}

long long readDataBytes(const RegType& t, long long length) {
    return t.unit == Unit::Flag ? readItems(t, length) : 2 * length;
}

} // namespace fins
