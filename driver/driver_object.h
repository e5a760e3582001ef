// Internal operations on the one driver object.
#ifndef DRIVER_OBJECT_H
#define DRIVER_OBJECT_H

#include "omron_fins_tcpip.h"

// Copies members 0 to 13 of source into target and empties target's value.
void passRetValue(RW_VAR const& source, RW_VAR& target);

// Returns the driver to its state right after load: driver object, map_list,
// plc_add_number, host pointers and the one-time read of the HMI address.
// For tools that run many independent sessions in one process (fuzzers, benchmarks).
void ResetDriverState();

#endif
