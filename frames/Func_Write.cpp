#include "Func_Write.h"

void WriteRegister(RW_VAR*) {}
void WriteBool(RW_VAR*) {}
void WriteAnalog(RW_VAR*) {}
