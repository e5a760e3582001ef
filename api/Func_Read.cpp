#include "Func_Read.h"

#include "frame_queue.h"
#include "request_frames.h"

void ReadRegister(RW_VAR* var) {
    ReadAnalog(var);
}

void ReadAnalog(RW_VAR* var) {
    const Check_Plc* nodes = driver::stationNodes();
    if (var && nodes) driver::queueFrame(frames::makeReadFrame(*var, *nodes));
}
