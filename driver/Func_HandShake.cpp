#include "Func_HandShake.h"

void OMRON_HandShake() {}
int OMRON_CheckHSReturn(QByteArray*) { return 0; }
int EvaluateHandShakeReply(QByteArray*) { return 201; }
void ResetHmiAddress() {}
