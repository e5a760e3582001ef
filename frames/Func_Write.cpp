#include "Func_Write.h"

#include "Func_GetOrSetData.h"
#include "driver_object.h"
#include "fins_frame.h"

namespace {

// Largest word count a write frame carries: the item count field is 16 bits wide.
const int kMaxWriteWords = 0xFFFF;

// Word i of a host-order value, high byte first as the wire wants it; a word whose
// two bytes are not both present in value is sent as 00 00.
void appendWireWord(QByteArray& out, const QByteArray& value, int i) {
    const fins::ByteReader in(value);
    const long long low = 2ll * i;
    if (!in.has(low, 2)) {
        fins::appendU16(out, 0);
        return;
    }
    fins::appendU8(out, static_cast<unsigned int>(in.u8(low + 1)));
    fins::appendU8(out, static_cast<unsigned int>(in.u8(low)));
}

} // namespace

bool WriteFrameCarries(const RW_VAR& var) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t || t->write_area == 0) return false;
    return t->unit != fins::Unit::Word || (var.length >= 0 && var.length <= kMaxWriteWords);
}

void WriteRegister(RW_VAR* var) {
    if (!var) return;
    const fins::RegType* t = fins::regType(var->reg_type);
    if (t && t->unit == fins::Unit::Bit)
        WriteBool(var);
    else if (t && t->unit == fins::Unit::Word)
        WriteAnalog(var);
    // While the exchange is healthy the local image follows the write at once; after a
    // failure the host-write path has already mirrored it.
    if (!commFailed()) WriteDataToLocal(var);
}

void WriteBool(RW_VAR* var) {
    if (!var) return;
    const fins::RegType* t = fins::regType(var->reg_type);
    const Check_Plc* nodes = fins::stationNodes();
    if (!t || t->unit != fins::Unit::Bit || !nodes) return;

    const unsigned int word = static_cast<unsigned int>(var->address >> 4) & 0xFFFFu;
    const unsigned int bit = static_cast<unsigned int>(var->address & 15);
    const bool on = fins::ByteReader(var->value).u8(0) == 1;
    QByteArray frame = fins::memoryAreaRequest(*nodes, fins::SRC_MEMORY_AREA_WRITE, t->write_area,
                                               word, bit, 1, 1);
    fins::appendU8(frame, on ? 1 : 0);
    fins::queueFrame(frame, fins::WRITE_REPLY_SIZE, 0, 0, *var);
}

void WriteAnalog(RW_VAR* var) {
    if (!var) return;
    const fins::RegType* t = fins::regType(var->reg_type);
    const Check_Plc* nodes = fins::stationNodes();
    if (!t || t->unit != fins::Unit::Word || !nodes) return;
    // A count the 16-bit item field cannot carry, or a negative one, would only build
    // a frame the PLC rejects (or an absurdly large one): no frame is built for it.
    if (!WriteFrameCarries(*var)) return;

    const int words = var->length;
    QByteArray frame = fins::memoryAreaRequest(
        *nodes, fins::SRC_MEMORY_AREA_WRITE, t->write_area, fins::wireAddress(*t, var->address), 0,
        static_cast<unsigned int>(words), 2u * static_cast<unsigned>(words));
    for (int i = 0; i < words; ++i)
        appendWireWord(frame, var->value, i);
    fins::queueFrame(frame, fins::WRITE_REPLY_SIZE, 0, 0, *var);
}
