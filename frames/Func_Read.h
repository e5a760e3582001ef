// FINS memory area read requests.
#ifndef FUNC_READ_H
#define FUNC_READ_H

#include "omron_fins_tcpip.h"

void ReadRegister(RW_VAR* var);
void ReadAnalog(RW_VAR* var);

// Queues the read of var for the station with node pair nodes (nothing for a type
// without an area).
void BuildRead(const RW_VAR& var, const Check_Plc& nodes);

#endif
