// FINS memory area write requests: single bits and words.
#ifndef FUNC_WRITE_H
#define FUNC_WRITE_H

#include "omron_fins_tcpip.h"

void WriteRegister(RW_VAR* var);
void WriteBool(RW_VAR* var);
void WriteAnalog(RW_VAR* var);

// True when WriteRegister builds a FINS frame for var (its station's nodes aside): a
// writable register type, and for words a count the 16-bit item field can carry.
bool WriteFrameCarries(const RW_VAR& var);

// Queues the write of var for the station with node pair nodes, when a frame carries
// it, and mirrors it into the store while the exchange is healthy.
void BuildWrite(RW_VAR& var, const Check_Plc& nodes);

#endif
