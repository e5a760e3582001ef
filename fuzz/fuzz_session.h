// A fresh driver per fuzz run: the shared test session, with callbacks that check they
// run under list_mutex and with the notices they give.
#ifndef FUZZ_SESSION_H
#define FUZZ_SESSION_H

#include "driver_session.h"
#include "fuzz_input.h"

namespace fuzz {

// Callbacks run with list_mutex held; a tryLock that succeeds means it was not.
inline void checkListMutexHeld() {
    const bool free = PLC_driver.list_mutex.tryLock();
    if (free) PLC_driver.list_mutex.unlock();
    FUZZ_CHECK(!free);
}

inline void onceDone(int ctx, int kind, int id, int status) {
    checkListMutexHeld();
    FUZZ_CHECK(status == fins::ONCE_SUCCEEDED || status == fins::ONCE_FAILED);
    recordOnceDone(ctx, kind, id, status);
}

inline void commFail(QList<RW_VAR>* vars, int kind, int flag) {
    checkListMutexHeld();
    FUZZ_CHECK(vars != nullptr && vars->isEmpty() && flag == 1);
    recordCommFail(vars, kind, flag);
}

// The shared session with the fuzz callbacks in place of the recording ones.
struct Session : DriverSession {
    explicit Session(const SessionSettings& s) : DriverSession(s) {
        RegistCallBackFuncIntf(onceDone, commFail);
    }
};

} // namespace fuzz

#endif
