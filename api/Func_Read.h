// Described FINS read steps: make the read of the station plc_add_number and queue it.
#ifndef FUNC_READ_H
#define FUNC_READ_H

#include "omron_fins_tcpip.h"

void ReadRegister(RW_VAR* var);
void ReadAnalog(RW_VAR* var);

#endif
