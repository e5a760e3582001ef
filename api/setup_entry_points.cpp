// Setup entry points: the host hands over its communication block, callbacks and areas.
#include "omron_fins_tcpip.h"

void SetComInfo(COM_INFO* info) {
    if (!info) return;
    info->com_state = 0;
    PLC_driver.com_info = info;
    info->offline = 1;
}

void RegistCallBackFuncIntf(OnceDoneCallback once_done, CommFailCallback comm_fail) {
    PLC_driver.once_done_cb = once_done;
    PLC_driver.comm_fail_cb = comm_fail;
}

void FlashLocalRegister(void* lb, void* lw, void* rwi) {
    LB = lb;
    LW = lw;
    RWI = rwi;
}

int QueryFinishFlag() {
    return 1;
}
