#include "Func_Read.h"

#include "fins_frame.h"

namespace {

// Items a read asks for: flag types count 8 flags per group, every other type words.
long long readItems(const fins::RegType& t, int length) {
    return t.unit == fins::Unit::Flag ? 8ll * length : static_cast<long long>(length);
}

// Data bytes in the reply: one per flag, two per word.
long long readDataBytes(const fins::RegType& t, int length) {
    return t.unit == fins::Unit::Flag ? readItems(t, length) : 2ll * length;
}

} // namespace

void ReadRegister(RW_VAR* var) {
    if (!var || !fins::regType(var->reg_type)) return;
    ReadAnalog(var);
}

void ReadAnalog(RW_VAR* var) {
    if (!var) return;
    const fins::RegType* t = fins::regType(var->reg_type);
    const Check_Plc* nodes = fins::stationNodes();
    if (!t || !nodes) return;

    // Only the low 16 bits of the count go on the wire; the reply sizes use the full count.
    const long long items = readItems(*t, var->length);
    const long long data_bytes = readDataBytes(*t, var->length);
    const QByteArray frame = fins::memoryAreaRequest(
        *nodes, fins::SRC_MEMORY_AREA_READ, t->read_area, fins::wireAddress(*t, var->address), 0,
        static_cast<unsigned int>(items & 0xFFFF), 0);
    fins::queueFrame(frame, fins::wrapToInt(fins::REPLY_DATA_OFFSET + data_bytes),
                     fins::REPLY_DATA_OFFSET, fins::wrapToInt(data_bytes), *var);
}
