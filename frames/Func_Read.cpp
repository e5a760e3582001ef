#include "Func_Read.h"

void ReadRegister(RW_VAR*) {}
void ReadAnalog(RW_VAR*) {}
