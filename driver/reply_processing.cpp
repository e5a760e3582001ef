#include "reply_processing.h"

int DealDataOfLocalArea(QByteArray*, int) { return 0; }
int DealDataOfRemoteArea(QByteArray*, int) { return 0; }
int GetDriverReturnValue(int) { return 200; }
int SwitchErrorReturn(int base) { return base + 1; }
RW_VAR* DataCom(QByteArray*, int) { return &PLC_driver.cur_var; }
