#include "frame_queue.h"

#include "handshake.h"
#include "request_frames.h"

namespace driver {

const Check_Plc* stationNodes() {
    std::map<int, Check_Plc>::const_iterator it = map_list.find(plc_add_number);
    return it == map_list.end() ? nullptr : &it->second;
}

void queueFrame(const Protocol& frame) {
    PLC_driver.protocol_list.append(frame);
    if (PLC_driver.com_info) {
        PLC_driver.com_info->frames_done = 0;
        PLC_driver.com_info->frames_total = 1;
    }
}

bool queueFrame(const std::optional<Protocol>& frame) {
    if (!frame) return false;
    queueFrame(*frame);
    return true;
}

void queueHandShake(int station) {
    queueFrame(frames::makeNodeAddressFrame(station, proposedHmiNode()));
}

} // namespace driver
