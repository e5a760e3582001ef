// Described FINS write steps for the station plc_add_number: make, queue, mirror.
#ifndef FUNC_WRITE_H
#define FUNC_WRITE_H

#include "omron_fins_tcpip.h"

// Queues the write (when a frame carries it) and, while the exchange is healthy,
// mirrors it into the store.
void WriteRegister(RW_VAR* var);
// Queue the write of a bit type, or of a word type; nothing else, and no mirror.
void WriteBool(RW_VAR* var);
void WriteAnalog(RW_VAR* var);

#endif
