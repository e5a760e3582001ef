#include "Func_Write.h"

#include "driver_object.h"
#include "fins_codec.h"
#include "frame_queue.h"
#include "request_frames.h"

namespace {

void queueWriteOf(const RW_VAR& var) {
    if (const Check_Plc* nodes = driver::stationNodes())
        driver::queueFrame(frames::makeWriteFrame(var, *nodes));
}

} // namespace

void WriteRegister(RW_VAR* var) {
    if (!var) return;
    queueWriteOf(*var);
    if (!commFailed()) WriteDataToLocal(var);
}

void WriteBool(RW_VAR* var) {
    if (var && fins::isBitType(var->reg_type)) queueWriteOf(*var);
}

void WriteAnalog(RW_VAR* var) {
    if (var && fins::isWordType(var->reg_type)) queueWriteOf(*var);
}
