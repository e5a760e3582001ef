#include "fins_frame.h"

namespace fins {

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
