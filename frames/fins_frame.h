// The driver's side of the frames: the node pair of the station being served, and the
// queueing of a finished frame. The bytes themselves come from the codec.
#ifndef FINS_FRAME_H
#define FINS_FRAME_H

#include <QByteArray>

#include "fins_codec.h"
#include "omron_fins_tcpip.h"

namespace fins {

// A length computed in 64 bits, as the 32-bit int the Protocol record carries.
inline int wrapToInt(long long v) {
    return static_cast<int>(static_cast<unsigned int>(v & 0xFFFFFFFFll));
}

// Station node pair of plc_add_number, or nullptr when map_list has no entry for it.
const Check_Plc* stationNodes();

// Queue a finished frame on the driver and mark one frame needed for the entry.
void queueFrame(const QByteArray& frame, int reply_len, int data_offset, int data_bytes,
                const RW_VAR& var);

} // namespace fins

#endif
