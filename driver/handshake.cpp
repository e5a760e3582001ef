#include "handshake.h"

#include <cstring>

#include "driver_object.h"
#include "fins_codec.h"

namespace {

enum : int { DEFAULT_HMI_NODE = 100 };

// 1 until the address text has been read with four parts, then 0 for good.
unsigned char ok = 1;
// The node number the HMI proposes: the last number of its IPv4 address.
unsigned char HMI_IP = DEFAULT_HMI_NODE;

// Reads the HMI address text from LW once; a text that is not four dotted parts
// (or an LW not handed over yet) leaves the proposal as it is, to be read again.
void readHmiAddress() {
    if (!ok || !LW) return;
    char text[fins::HMI_ADDRESS_BYTES + 1] = {};
    std::memcpy(text, static_cast<const char*>(LW) + fins::HMI_ADDRESS_OFFSET,
                fins::HMI_ADDRESS_BYTES);
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('.'));
    if (parts.size() != 4) return;
    HMI_IP = static_cast<unsigned char>(parts.at(3).toInt(nullptr, 10) & 0xFF);
    ok = 0;
}

} // namespace

unsigned char proposedHmiNode() {
    readHmiAddress();
    return HMI_IP;
}

int EvaluateHandShakeReply(Check_Plc* station, const QByteArray* reply) {
    fins::NodePair nodes;
    const bool acceptable = reply && fins::decodeNodeAddressReply(*reply, nodes);
    PLC_driver.protocol_list.clear();
    if (!acceptable) {
        setCommFailed(1);
        if (station) station->hs_done = 0;
        return fins::RESULT_HANDSHAKE_REFUSED;
    }
    if (station) *station = Check_Plc{1, nodes.plc_node, nodes.hmi_node};
    return fins::RESULT_GOOD;
}

void ResetHmiAddress() {
    ok = 1;
    HMI_IP = DEFAULT_HMI_NODE;
}
