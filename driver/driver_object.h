// Internal operations on the one driver object.
#ifndef DRIVER_OBJECT_H
#define DRIVER_OBJECT_H

#include "omron_fins_tcpip.h"

// The list an outstanding frame came from (cur_kind).
enum ListKind { FROM_READ_LIST = 0, FROM_WRITE_LIST = 1, FROM_ONCE_LIST = 2, NO_LIST_YET = 100 };

// Result codes of cur_var.result. A given-up exchange reports a family base plus the
// requester's offset (1..12), and remote-area replies add REMOTE_AREA to every family.
enum ResultCode {
    RESULT_SENT_AGAIN = 0, // bad reply; the frame stays outstanding
    RESULT_GOOD = 1,
    RESULT_GOOD_REMOTE = 100,
    RESULT_NOT_EVALUATED = 200,
    RESULT_HANDSHAKE_REFUSED = 201,
    FAMILY_REFUSED = 10,      // FINS/TCP error code, or a direction that is neither read nor write
    FAMILY_NO_REPLY = 40,     // an empty reply where one was expected
    FAMILY_WRONG_LENGTH = 70, // a reply of another length than expected
    REMOTE_AREA = 100
};

// Statuses of the one-shot read notice.
enum OnceStatus { ONCE_SUCCEEDED = 1, ONCE_FAILED = 2 };

// comm_failed is written by the communication thread and read by screen threads too
// (a host write is mirrored into the store at once while communication has failed), so
// every access is a relaxed atomic access of the byte in the driver object.
inline unsigned char commFailed() {
    return __atomic_load_n(&PLC_driver.comm_failed, __ATOMIC_RELAXED);
}
inline void setCommFailed(unsigned char failed) {
    __atomic_store_n(&PLC_driver.comm_failed, failed, __ATOMIC_RELAXED);
}

// Copies members 0 to 13 of source into target and empties target's value.
void passRetValue(RW_VAR const& source, RW_VAR& target);

// Returns the driver to its state right after load: driver object, map_list,
// plc_add_number, host pointers and the one-time read of the HMI address.
// For tools that run many independent sessions in one process (fuzzers, benchmarks).
void ResetDriverState();

#endif
