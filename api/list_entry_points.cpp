// Host entry points of the variable lists: each takes list_mutex, guards against
// exceptions and hands over to the list operations of varlists/.
#include "Func_Initi.h"
#include "driver_lock.h"
#include "entry_guard.h"

int AddListReadVar(RW_VAR* var) {
    if (!PLC_driver.com_info || !var) return 0;
    return guardEntry(0, [&] {
        DriverLock lock(PLC_driver.list_mutex);
        return AppendReadVarLocked(*var);
    });
}

int ReCreatReadVarList(QList<VAR_DESC>* vars) {
    if (!PLC_driver.com_info) return 0;
    return guardEntry(0, [&] {
        DriverLock lock(PLC_driver.list_mutex);
        return RebuildReadListLocked(vars);
    });
}

int AddListWriteVar(RW_VAR* var, int direct) {
    if (!PLC_driver.com_info || !var) return 0;
    return guardEntry(0, [&] {
        DriverLock lock(PLC_driver.list_mutex);
        return QueueWriteLocked(var, direct);
    });
}

int AddListOnceReadVar(RW_VAR* var, int direct) {
    if (!PLC_driver.com_info || !var) return 0;
    return guardEntry(0, [&] {
        DriverLock lock(PLC_driver.list_mutex);
        return QueueOnceReadLocked(var, direct);
    });
}

int PLCAddressChangeIntef(int reg_type, QString addr_text) {
    return guardEntry(-1, [&] { return StringAddressToInt(reg_type, addr_text); });
}
