#include "fins_frame.h"

namespace fins {

namespace {

const char kMagic[] = {'F', 'I', 'N', 'S'};

} // namespace

void appendTcpHeader(QByteArray& out, unsigned int command, unsigned int length_after) {
    out.append(kMagic, sizeof kMagic);
    appendU32(out, length_after);
    appendU32(out, command);
    appendU32(out, 0); // error code
}

void appendCommandHeader(QByteArray& out, const Check_Plc& nodes, unsigned int src) {
    appendU8(out, ICF_COMMAND);
    appendU8(out, 0x00); // RSV
    appendU8(out, GCT_DEFAULT);
    appendU8(out, 0x00); // DNA: local network
    appendU8(out, nodes.plc_node);
    appendU8(out, 0x00); // DA2: CPU unit
    appendU8(out, 0x00); // SNA: local network
    appendU8(out, nodes.hmi_node);
    appendU8(out, 0x00); // SA2
    appendU8(out, 0x00); // SID: one request outstanding at most
    appendU8(out, MRC_MEMORY_AREA);
    appendU8(out, src);
}

void appendAreaBody(QByteArray& out, unsigned int area, unsigned int address, unsigned int bit,
                    unsigned int items) {
    appendU8(out, area);
    appendU16(out, address);
    appendU8(out, bit);
    appendU16(out, items);
}

QByteArray memoryAreaRequest(const Check_Plc& nodes, unsigned int src, unsigned int area,
                             unsigned int address, unsigned int bit, unsigned int items,
                             unsigned int data_bytes) {
    QByteArray out;
    out.reserve(static_cast<int>(READ_REQUEST_SIZE + data_bytes));
    appendTcpHeader(out, TCP_CMD_FRAME_SEND, READ_REQUEST_SIZE - 8 + data_bytes);
    appendCommandHeader(out, nodes, src);
    appendAreaBody(out, area, address, bit, items);
    return out;
}

bool ByteReader::u32(long long pos, unsigned int& v) const {
    if (!has(pos, 4)) return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(data_[pos + i]);
    return true;
}

bool replyErrorCodeIsZero(const QByteArray& reply) {
    unsigned int code = 0;
    return ByteReader(reply).u32(REPLY_ERROR_CODE_OFFSET, code) && code == 0;
}

const Check_Plc* stationNodes() {
    std::map<int, Check_Plc>::const_iterator it = map_list.find(plc_add_number);
    return it == map_list.end() ? nullptr : &it->second;
}

void queueFrame(const QByteArray& frame, int reply_len, int data_offset, int data_bytes,
                const RW_VAR& var) {
    Protocol p;
    p.frame = frame;
    p.send_len = frame.size();
    p.reply_len = reply_len;
    p.p_aux1 = data_offset;
    p.p_aux2 = data_bytes;
    p.var = var;
    p.p_aux3 = 0;
    p.p_aux4 = 0;
    p.p_aux5 = 0;
    PLC_driver.protocol_list.append(p);
    if (PLC_driver.com_info) {
        PLC_driver.com_info->frames_done = 0;
        PLC_driver.com_info->frames_total = 1;
    }
}

} // namespace fins
