#include "remote_frames.h"

#include "Func_Check.h"
#include "fins_codec.h"
#include "request_frames.h"

namespace frames {

namespace {

enum : int {
    REMOTE_REPLY_HEAD = 23, // first data byte of a read reply
    REMOTE_REPLY_FIXED = 27 // head and tail of every reply
};

// Size byte (0 until the frame is complete) and the variable's description.
QByteArray remoteDescription(const RW_VAR& var) {
    QByteArray out;
    fins::Writer(out)
        .u8(0)
        .u8(static_cast<unsigned>(var.req_kind))
        .u8(static_cast<unsigned>(var.access))
        .u8(static_cast<unsigned>(var.link_id))
        .u8(static_cast<unsigned>(var.station))
        .u16(static_cast<unsigned>(var.reg_type))
        .u32(static_cast<quint32>(var.address))
        .u16(static_cast<unsigned>(var.length))
        .u32(static_cast<quint32>(var.aux1))
        .u32(static_cast<quint32>(var.aux2));
    return out;
}

// Stores the total size (low 8 bits) in byte 0, then appends the additive checksum of
// everything before it. CalSUM counts at most 65535 bytes a call, so longer frames
// are summed in pieces; the low byte of the sum is the same either way.
void finishRemoteFrame(QByteArray& frame) {
    frame[0] = static_cast<char>((frame.size() + 1) & 0xFF);
    unsigned int sum = 0;
    for (int pos = 0; pos < frame.size(); pos += 0xFFFF) {
        const int piece = qMin(0xFFFF, frame.size() - pos);
        sum += CalSUM(reinterpret_cast<unsigned char*>(frame.data()) + pos,
                      static_cast<unsigned short>(piece));
    }
    fins::Writer(frame).u8(sum);
}

// Data bytes a read reply carries: two per flag group, four per element otherwise.
long long remoteDataBytes(const RW_VAR& var) {
    return fins::isFlagType(var.reg_type) ? 2ll * var.length : 4ll * var.length;
}

} // namespace

Protocol makeRemoteReadFrame(const RW_VAR& var) {
    QByteArray frame = remoteDescription(var);
    finishRemoteFrame(frame);
    const long long data_bytes = remoteDataBytes(var);
    return protocolOf(frame, fins::wrapToInt(REMOTE_REPLY_FIXED + data_bytes), REMOTE_REPLY_HEAD,
                      fins::wrapToInt(data_bytes), var);
}

Protocol makeRemoteWriteFrame(const RW_VAR& var) {
    QByteArray frame = remoteDescription(var);
    frame.append(var.value);
    finishRemoteFrame(frame);
    return protocolOf(frame, REMOTE_REPLY_FIXED, 0, 0, var);
}

} // namespace frames
