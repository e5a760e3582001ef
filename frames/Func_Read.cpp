#include "Func_Read.h"

#include "fins_frame.h"

void BuildRead(const RW_VAR& var, const Check_Plc& nodes) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t) return;
    // Only the low 16 bits of the count go on the wire; the reply sizes use the full count.
    const long long data_bytes = fins::readDataBytes(*t, var.length);
    const QByteArray frame =
        fins::memoryAreaRequest(nodes.plc_node, nodes.hmi_node, fins::SRC_MEMORY_AREA_READ,
                                t->read_area, fins::wireAddress(*t, var.address), 0,
                                static_cast<quint16>(fins::readItems(*t, var.length)), 0);
    fins::queueFrame(frame, fins::wrapToInt(fins::REPLY_DATA_OFFSET + data_bytes),
                     fins::REPLY_DATA_OFFSET, fins::wrapToInt(data_bytes), var);
}

void ReadRegister(RW_VAR* var) {
    ReadAnalog(var);
}

void ReadAnalog(RW_VAR* var) {
    const Check_Plc* nodes = fins::stationNodes();
    if (var && nodes) BuildRead(*var, *nodes);
}
