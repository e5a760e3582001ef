// FINS memory area write requests: single bits and words.
#ifndef FUNC_WRITE_H
#define FUNC_WRITE_H

#include "omron_fins_tcpip.h"

void WriteRegister(RW_VAR* var);
void WriteBool(RW_VAR* var);
void WriteAnalog(RW_VAR* var);

#endif
