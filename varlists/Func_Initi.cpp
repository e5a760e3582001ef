// Setup entry points, address strings, the cyclic read-list rebuild and the queues.
#include "Func_Initi.h"

void SetComInfo(COM_INFO* info) {
    if (!info) return;
    info->com_state = 0;
    PLC_driver.com_info = info;
    info->offline = 1;
}

void RegistCallBackFuncIntf(OnceDoneCallback once_done, CommFailCallback comm_fail) {
    PLC_driver.once_done_cb = once_done;
    PLC_driver.comm_fail_cb = comm_fail;
}

void FlashLocalRegister(void* lb, void* lw, void* rwi) {
    LB = lb;
    LW = lw;
    RWI = rwi;
}

int QueryFinishFlag() { return 1; }

int StringAddressToInt(int, QString) { return -1; }
int PLCAddressChangeIntef(int reg_type, QString addr_text) { return StringAddressToInt(reg_type, addr_text); }
void WhetherGroup(int, int, RW_VAR*, QList<RW_VAR>*) {}
void Bubble_Sort(QList<RW_VAR>*) {}
int WordVarReCreat(QList<RW_VAR>*, int, int count) { return count; }
int BitVarReCreat(QList<RW_VAR>*, int, int count) { return count; }
int AppendReadVarLocked(const RW_VAR& var) {
    PLC_driver.read_list.append(var);
    return PLC_driver.read_list.size();
}
int AddListReadVar(RW_VAR*) { return 0; }
int ReCreatReadVarList(QList<VAR_DESC>*) { return 0; }
int AddListWriteVar(RW_VAR*, int) { return 0; }
int AddListOnceReadVar(RW_VAR*, int) { return 0; }
