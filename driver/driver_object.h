// Internal operations on the one driver object.
#ifndef DRIVER_OBJECT_H
#define DRIVER_OBJECT_H

#include "omron_fins_results.h"
#include "omron_fins_tcpip.h"

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

// Applies a write to the store (image or per-station entries); takes data_mutex, after
// list_mutex when the caller holds that.
void WriteDataToLocal(RW_VAR* var);

#endif
