#include "Func_Write.h"

#include "Func_GetOrSetData.h"
#include "driver_object.h"
#include "fins_frame.h"

namespace {

// Largest word count a write frame carries: the item count field is 16 bits wide.
const long long kMaxWriteWords = fins::ADDRESS_SPACE - 1;

void writeBit(const RW_VAR& var, const fins::RegType& t, const Check_Plc& nodes) {
    const bool on = fins::Reader(var.value).u8At(0) == 1;
    QByteArray frame = fins::memoryAreaRequest(
        nodes.plc_node, nodes.hmi_node, fins::SRC_MEMORY_AREA_WRITE, t.write_area,
        static_cast<quint16>(var.address >> 4), static_cast<quint8>(var.address & 15), 1, 1);
    fins::Writer(frame).u8(on ? 1 : 0);
    fins::queueFrame(frame, fins::WRITE_REPLY_SIZE, 0, 0, var);
}

// Words go high byte first; a word whose two bytes are not both in the value is sent
// as 00 00.
void writeWords(const RW_VAR& var, const fins::RegType& t, const Check_Plc& nodes) {
    const int words = var.length;
    QByteArray frame = fins::memoryAreaRequest(
        nodes.plc_node, nodes.hmi_node, fins::SRC_MEMORY_AREA_WRITE, t.write_area,
        fins::wireAddress(t, var.address), 0, static_cast<quint16>(words), 2 * words);
    fins::Writer out(frame);
    for (int i = 0; i < words; ++i)
        out.u16(static_cast<unsigned>(qMax(0LL, fins::hostWordAt(var.value, i))));
    fins::queueFrame(frame, fins::WRITE_REPLY_SIZE, 0, 0, var);
}

void buildFrame(const RW_VAR& var, const Check_Plc& nodes) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t || !WriteFrameCarries(var)) return;
    if (t->unit == fins::Unit::Bit)
        writeBit(var, *t, nodes);
    else if (t->unit == fins::Unit::Word)
        writeWords(var, *t, nodes);
}

} // namespace

bool WriteFrameCarries(const RW_VAR& var) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t || t->write_area == 0) return false;
    return t->unit != fins::Unit::Word || (var.length >= 0 && var.length <= kMaxWriteWords);
}

void BuildWrite(RW_VAR& var, const Check_Plc& nodes) {
    buildFrame(var, nodes);
    // While the exchange is healthy the local image follows the write at once; after a
    // failure the host-write path has already mirrored it.
    if (!commFailed()) WriteDataToLocal(&var);
}

void WriteRegister(RW_VAR* var) {
    if (!var) return;
    if (const Check_Plc* nodes = fins::stationNodes()) buildFrame(*var, *nodes);
    if (!commFailed()) WriteDataToLocal(var);
}

void WriteBool(RW_VAR* var) {
    const Check_Plc* nodes = fins::stationNodes();
    if (var && nodes && fins::isBitType(var->reg_type)) buildFrame(*var, *nodes);
}

void WriteAnalog(RW_VAR* var) {
    const fins::RegType* t = var ? fins::regType(var->reg_type) : nullptr;
    const Check_Plc* nodes = fins::stationNodes();
    if (t && nodes && t->unit == fins::Unit::Word) buildFrame(*var, *nodes);
}
