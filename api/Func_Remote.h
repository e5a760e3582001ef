// Described remote-mode steps: make the request, queue it (and mirror a write).
#ifndef FUNC_REMOTE_H
#define FUNC_REMOTE_H

#include "omron_fins_tcpip.h"

void Remote_ReadVar(RW_VAR* var);
void Remote_WriteVar(RW_VAR* var);

#endif
