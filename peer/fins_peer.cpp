#include "fins_peer.h"

#include <cstring>

#include "fins_limits.h"

namespace fins {

namespace {

struct TypeName {
    const char* mnemonic;
    int cp1l_area_size;
};

// Indexed by register-type code.
const TypeName kTypeNames[REG_TYPE_COUNT] = {
    {"CIO.bit", CP1L_CIO_WORDS}, {"W.bit", CP1L_W_WORDS},   {"H.bit", CP1L_H_WORDS},
    {"A.bit", CP1L_A_WORDS},     {"D.bit", CP1L_D_WORDS},   {"T.flag", CP1L_TIMERS},
    {"C.flag", CP1L_COUNTERS},   {"CIO", CP1L_CIO_WORDS},   {"W", CP1L_W_WORDS},
    {"H", CP1L_H_WORDS},         {"A", CP1L_A_WORDS},       {"D", CP1L_D_WORDS},
    {"T", CP1L_TIMERS},          {"C", CP1L_COUNTERS},
};

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

const char* endCodeText(unsigned end_code) {
    return lookup(kEndCodes, end_code);
}

const char* tcpErrorText(quint32 code) {
    return lookup(kTcpErrors, code);
}

const char* mnemonicOf(int reg_type) {
    return regType(reg_type) ? kTypeNames[reg_type].mnemonic : "?";
}

const RegType* regTypeByMnemonic(const QByteArray& mnemonic) {
    for (int code = 0; code < REG_TYPE_COUNT; ++code)
        if (equalsIgnoringCase(mnemonic, kTypeNames[code].mnemonic)) return regType(code);
    return nullptr;
}

int cp1lAreaSize(int reg_type) {
    return regType(reg_type) ? kTypeNames[reg_type].cp1l_area_size : 0;
}

} // namespace fins
