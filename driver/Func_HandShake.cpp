#include "Func_HandShake.h"

#include <cstring>

#include "driver_object.h"
#include "fins_frame.h"

namespace {

enum : int {
    HMI_ADDRESS_OFFSET = 122400, // where the host keeps the HMI's IPv4 address text in LW
    HMI_ADDRESS_BYTES = 16,
    DEFAULT_HMI_NODE = 100,
    REPLY_CLIENT_NODE = 19, // low byte of the client node: the HMI's node
    REPLY_SERVER_NODE = 23  // low byte of the server node: the PLC's node
};

// 1 until the address text has been read with four parts, then 0 for good.
unsigned char ok = 1;
// The node number the HMI proposes: the last number of its IPv4 address.
unsigned char HMI_IP = DEFAULT_HMI_NODE;

// Reads the HMI address text from LW once; a text that is not four dotted parts
// (or an LW not handed over yet) leaves the proposal as it is, to be read again.
void readHmiAddress() {
    if (!ok || !LW) return;
    char text[24] = {};
    std::memcpy(text, static_cast<const char*>(LW) + HMI_ADDRESS_OFFSET, HMI_ADDRESS_BYTES);
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('.'));
    if (parts.size() != 4) return;
    HMI_IP = static_cast<unsigned char>(parts.at(3).toInt(nullptr, 10) & 0xFF);
    ok = 0;
}

} // namespace

void OMRON_HandShake() {
    readHmiAddress();
    QByteArray frame;
    frame.reserve(fins::HANDSHAKE_REQUEST_SIZE);
    fins::appendTcpHeader(frame, fins::TCP_CMD_NODE_ADDRESS_SEND, fins::HANDSHAKE_REQUEST_SIZE - 8);
    fins::appendU32(frame, HMI_IP); // client node
    RW_VAR var = RW_VAR();
    var.station = plc_add_number;
    fins::queueFrame(frame, fins::HANDSHAKE_REPLY_SIZE, 0, 0, var);
}

int OMRON_CheckHSReturn(QByteArray* reply) {
    if (!reply || reply->size() != static_cast<int>(fins::HANDSHAKE_REPLY_SIZE)) return 0;
    return fins::replyErrorCodeIsZero(*reply) ? 1 : 0;
}

int EvaluateHandShakeReply(QByteArray* reply) {
    const bool acceptable = OMRON_CheckHSReturn(reply) == 1;
    PLC_driver.protocol_list.clear();
    std::map<int, Check_Plc>::iterator station = map_list.find(plc_add_number);
    if (!acceptable) {
        setCommFailed(1);
        if (station != map_list.end()) station->second.hs_done = 0;
        return 201;
    }
    if (station != map_list.end()) {
        const fins::ByteReader in(*reply);
        station->second.hs_done = 1;
        station->second.plc_node = static_cast<unsigned char>(in.u8(REPLY_SERVER_NODE));
        station->second.hmi_node = static_cast<unsigned char>(in.u8(REPLY_CLIENT_NODE));
    }
    return 1;
}

void ResetHmiAddress() {
    ok = 1;
    HMI_IP = DEFAULT_HMI_NODE;
}
