// A fresh driver per fuzz run: the host block, the LW area with the HMI address text,
// and callbacks that count their notices and check they run under list_mutex.
#ifndef FUZZ_DRIVER_SESSION_H
#define FUZZ_DRIVER_SESSION_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver_object.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "omron_fins_tcpip.h"

namespace fuzz {

enum { HMI_ADDRESS_OFFSET = 122400, LW_BYTES = 122400 + 64 };

struct Notices {
    int once_ok = 0;
    int once_failed = 0;
    int comm_fail = 0;
    int cb_context = 0;
};

inline Notices& notices() {
    static Notices n;
    return n;
}

// Callbacks run with list_mutex held; a tryLock that succeeds means it was not.
inline void checkListMutexHeld() {
    if (PLC_driver.list_mutex.tryLock()) {
        PLC_driver.list_mutex.unlock();
        FUZZ_CHECK(!"callback made without list_mutex held");
    }
}

inline void onceDone(int ctx, int, int, int status) {
    checkListMutexHeld();
    FUZZ_CHECK(ctx == notices().cb_context);
    FUZZ_CHECK(status == 1 || status == 2);
    (status == 1 ? notices().once_ok : notices().once_failed)++;
}

inline void commFail(QList<RW_VAR>* vars, int, int flag) {
    checkListMutexHeld();
    FUZZ_CHECK(vars != nullptr && vars->isEmpty());
    FUZZ_CHECK(flag == 1);
    notices().comm_fail++;
}

// Resets the driver and hands it a host block chosen by the caller.
inline void startSession(COM_INFO& com, const char* hmi_address) {
    static std::vector<char> lw(LW_BYTES, 0);
    ResetDriverState();
    notices() = Notices();
    notices().cb_context = com.cb_context;
    std::memset(&lw[HMI_ADDRESS_OFFSET], 0, 16);
    std::strncpy(&lw[HMI_ADDRESS_OFFSET], hmi_address, 16);
    SetComInfo(&com);
    RegistCallBackFuncIntf(onceDone, commFail);
    FlashLocalRegister(nullptr, lw.data(), nullptr);
}

} // namespace fuzz

#endif
