#include "request_frames.h"

#include "fins_codec.h"

namespace frames {

namespace {

// Largest word count a write frame carries: the item count field is 16 bits wide.
const long long kMaxWriteWords = fins::ADDRESS_SPACE - 1;

} // namespace

Protocol protocolOf(const QByteArray& frame, int reply_len, int data_offset, int data_bytes,
                    const RW_VAR& var) {
    Protocol p = Protocol(); // value-initialised: the members not set here are 0
    p.frame = frame;
    p.send_len = frame.size();
    p.reply_len = reply_len;
    p.p_aux1 = data_offset;
    p.p_aux2 = data_bytes;
    p.var = var;
    return p;
}

std::optional<Protocol> makeReadFrame(const RW_VAR& var, const Check_Plc& nodes) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t) return std::nullopt;
    // Only the low 16 bits of the count go on the wire; the reply sizes use the full count.
    const long long data_bytes = fins::readDataBytes(*t, var.length);
    const QByteArray frame =
        fins::memoryAreaRequest(nodes.plc_node, nodes.hmi_node, fins::SRC_MEMORY_AREA_READ,
                                t->read_area, fins::wireAddress(*t, var.address), 0,
                                static_cast<quint16>(fins::readItems(*t, var.length)), 0);
    return protocolOf(frame, fins::wrapToInt(fins::REPLY_DATA_OFFSET + data_bytes),
                      fins::REPLY_DATA_OFFSET, fins::wrapToInt(data_bytes), var);
}

bool writeFrameCarries(const RW_VAR& var) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t || t->write_area == 0) return false;
    return t->unit != fins::Unit::Word || (var.length >= 0 && var.length <= kMaxWriteWords);
}

std::optional<Protocol> makeWriteFrame(const RW_VAR& var, const Check_Plc& nodes) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t || !writeFrameCarries(var)) return std::nullopt;
    QByteArray frame;
    if (t->unit == fins::Unit::Bit) {
        quint8 first = 0;
        fins::Reader(var.value).u8At(0, first);
        frame = fins::bitWriteRequest(nodes.plc_node, nodes.hmi_node, t->write_area,
                                      static_cast<quint16>(var.address >> 4),
                                      static_cast<quint8>(var.address & 15), first == 1);
    } else {
        frame = fins::wordWriteRequest(nodes.plc_node, nodes.hmi_node, t->write_area,
                                       fins::wireAddress(*t, var.address), var.length, var.value);
    }
    return protocolOf(frame, fins::WRITE_REPLY_SIZE, 0, 0, var);
}

Protocol makeNodeAddressFrame(int station, quint8 hmi_node) {
    RW_VAR var = RW_VAR();
    var.station = station;
    return protocolOf(fins::nodeAddressRequest(hmi_node), fins::NODE_ADDRESS_REPLY_SIZE, 0, 0, var);
}

} // namespace frames
