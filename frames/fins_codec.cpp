#include "fins_codec.h"

#include <cstring>

namespace fins {

namespace {

// Indexed by register-type code; area sizes are those of a CP1L with 30 or more I/O points.
const RegType kRegTypes[REG_TYPE_COUNT] = {
    {0, "CIO.bit", Unit::Bit, ImageArea::Cio, 0xB0, 0x30, false, 7, 6144},
    {1, "W.bit", Unit::Bit, ImageArea::W, 0xB1, 0x31, false, 8, 512},
    {2, "H.bit", Unit::Bit, ImageArea::H, 0xB2, 0x32, false, 9, 512},
    {3, "A.bit", Unit::Bit, ImageArea::A, 0xB3, 0x33, false, 10, 960},
    {4, "D.bit", Unit::Bit, ImageArea::D, 0x82, 0x02, false, 11, 32768},
    {5, "T.flag", Unit::Flag, ImageArea::TimerFlag, 0x09, 0x00, false, 5, 4096},
    {6, "C.flag", Unit::Flag, ImageArea::CounterFlag, 0x09, 0x00, true, 6, 4096},
    {7, "CIO", Unit::Word, ImageArea::Cio, 0xB0, 0xB0, false, 7, 6144},
    {8, "W", Unit::Word, ImageArea::W, 0xB1, 0xB1, false, 8, 512},
    {9, "H", Unit::Word, ImageArea::H, 0xB2, 0xB2, false, 9, 512},
    {10, "A", Unit::Word, ImageArea::A, 0xB3, 0xB3, false, 10, 960},
    {11, "D", Unit::Word, ImageArea::D, 0x82, 0x82, false, 11, 32768},
    {12, "T", Unit::Word, ImageArea::TimerPv, 0x89, 0x89, false, 12, 4096},
    {13, "C", Unit::Word, ImageArea::CounterPv, 0x89, 0x89, true, 13, 4096},
};

const char kMagic[4] = {'F', 'I', 'N', 'S'};

struct CodeText {
    unsigned code;
    const char* text;
};

const CodeText kEndCodes[] = {
    {0x0000, "normal completion"},
    {0x0001, "service cancelled"},
    {0x0401, "undefined command"},
    {0x1001, "command too long"},
    {0x1002, "command too short"},
    {0x1003, "number of elements and data do not match"},
    {0x1005, "command header error"},
    {0x1101, "no such memory area"},
    {0x1103, "beginning address out of range"},
    {0x1104, "end address out of range"},
    {0x110B, "response too long"},
    {0x2101, "read-only area"},
    {0x2102, "protected area"},
};

const CodeText kTcpErrors[] = {
    {0x00, "normal"},
    {0x01, "the header is not FINS"},
    {0x02, "the data length is too long"},
    {0x03, "the command is not supported"},
    {0x20, "all connections are in use"},
    {0x21, "the specified node is already connected"},
    {0x22, "protected node accessed from an unspecified IP address"},
    {0x23, "the client FINS node address is out of range"},
    {0x24, "the same FINS node address is used by the client and the server"},
    {0x25, "all node addresses available for allocation are in use"},
};

template <size_t N> const char* lookup(const CodeText (&table)[N], unsigned code) {
    for (const CodeText& row : table)
        if (row.code == code) return row.text;
    return "unknown code";
}

bool equalsIgnoringCase(const QByteArray& a, const char* b) {
    return a.size() == static_cast<int>(std::strlen(b)) && qstricmp(a.constData(), b) == 0;
}

} // namespace

const RegType* regType(int reg_type) {
    return reg_type >= 0 && reg_type < REG_TYPE_COUNT ? &kRegTypes[reg_type] : nullptr;
}

const RegType* regTypeByMnemonic(const QByteArray& mnemonic) {
    for (const RegType& t : kRegTypes)
        if (equalsIgnoringCase(mnemonic, t.mnemonic)) return &t;
    return nullptr;
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
    return TCP_LENGTH_COVERS + in.u32At(4);
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

QByteArray nodeAddressReply(quint32 client_node, quint32 server_node, quint32 error) {
    QByteArray frame;
    Writer out(frame);
    TcpHeader tcp;
    tcp.length = NODE_ADDRESS_REPLY_SIZE - TCP_LENGTH_COVERS;
    tcp.command = TCP_NODE_ADDRESS_REPLY;
    tcp.error = error;
    encodeTcpHeader(out, tcp);
    out.u32(client_node).u32(server_node);
    return frame;
}

QByteArray commandReply(const QByteArray& request, quint16 end_code, const QByteArray& data) {
    Reader in(request);
    TcpHeader tcp;
    FinsHeader req;
    quint16 command = 0;
    if (!(decodeTcpHeader(in, tcp) && decodeFinsHeader(in, req) && in.u16(command))) {
        req = FinsHeader();
        command = 0;
    }
    FinsHeader h;
    h.icf = ICF_RESPONSE;
    h.da1 = req.sa1;
    h.da2 = req.sa2;
    h.sa1 = req.da1;
    h.sa2 = req.da2;
    h.sid = req.sid;
    QByteArray frame;
    frame.reserve(REPLY_DATA_OFFSET + data.size());
    Writer out(frame);
    TcpHeader reply;
    reply.length = static_cast<quint32>(REPLY_DATA_OFFSET - TCP_LENGTH_COVERS + data.size());
    reply.command = TCP_FRAME_SEND;
    encodeTcpHeader(out, reply);
    encodeFinsHeader(out, h);
    out.u16(command).u16(end_code).bytes(data);
    return frame;
}

bool decodeNodeAddressReply(const QByteArray& reply, NodePair& nodes) {
    if (reply.size() != NODE_ADDRESS_REPLY_SIZE || replyErrorCode(reply) != 0) return false;
    const Reader in(reply);
    nodes.hmi_node = static_cast<quint8>(in.u8At(NODE_REPLY_CLIENT_NODE_OFFSET));
    nodes.plc_node = static_cast<quint8>(in.u8At(NODE_REPLY_SERVER_NODE_OFFSET));
    return true;
}

long long replyErrorCode(const QByteArray& reply) {
    return Reader(reply).u32At(REPLY_ERROR_CODE_OFFSET);
}

long long replyEndCode(const QByteArray& reply) {
    return Reader(reply).u16At(END_CODE_OFFSET);
}

const char* endCodeText(unsigned end_code) {
    return lookup(kEndCodes, end_code);
}

const char* tcpErrorText(quint32 code) {
    return lookup(kTcpErrors, code);
}

long long readItems(const RegType& t, long long length) {
    return t.unit == Unit::Flag ? 8 * length : length;
}

long long readDataBytes(const RegType& t, long long length) {
    return t.unit == Unit::Flag ? readItems(t, length) : 2 * length;
}

} // namespace fins
