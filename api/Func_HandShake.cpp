#include "Func_HandShake.h"

#include "fins_codec.h"
#include "frame_queue.h"

void OMRON_HandShake() {
    driver::queueHandShake(plc_add_number);
}

int OMRON_CheckHSReturn(QByteArray* reply) {
    fins::NodePair nodes;
    return reply && fins::decodeNodeAddressReply(*reply, nodes) ? 1 : 0;
}
