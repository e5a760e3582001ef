#include "Func_Remote.h"

#include "driver_object.h"
#include "frame_queue.h"
#include "remote_frames.h"

void Remote_ReadVar(RW_VAR* var) {
    if (var) driver::queueFrame(frames::makeRemoteReadFrame(*var));
}

void Remote_WriteVar(RW_VAR* var) {
    if (!var) return;
    driver::queueFrame(frames::makeRemoteWriteFrame(*var));
    WriteDataToLocal(var);
}
