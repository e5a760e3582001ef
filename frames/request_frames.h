// FINS memory area requests and the node address request, made as Protocol records for
// one station's node pair. Bytes only: no queue, no store, no lock, no global.
#ifndef REQUEST_FRAMES_H
#define REQUEST_FRAMES_H

#include <optional>

#include "omron_fins_tcpip.h"

namespace frames {

// A finished frame as the host receives it: reply length, where the reply's data start
// and how many data bytes it carries, and a copy of the variable served.
Protocol protocolOf(const QByteArray& frame, int reply_len, int data_offset, int data_bytes,
                    const RW_VAR& var);

// The read of var, or nothing for a type without an area.
std::optional<Protocol> makeReadFrame(const RW_VAR& var, const Check_Plc& nodes);

// True when a write frame carries var: a writable register type, and for words a count
// the 16-bit item field can carry.
bool writeFrameCarries(const RW_VAR& var);
// The write of var (one bit, or words), or nothing when no frame carries it.
std::optional<Protocol> makeWriteFrame(const RW_VAR& var, const Check_Plc& nodes);

// The node address request for station, proposing hmi_node.
Protocol makeNodeAddressFrame(int station, quint8 hmi_node);

} // namespace frames

#endif
