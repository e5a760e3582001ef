// ComCommunication: picks the next entry to serve (writes, then one-shot reads,
// then one cyclic read, with burst limits) and has its frame built.
#include "Func_HandShake.h"
#include "Func_Read.h"
#include "Func_Remote.h"
#include "Func_Write.h"
#include "driver_lock.h"
#include "driver_object.h"
#include "entry_guard.h"
#include "fins_frame.h"
#include "reply_processing.h"

namespace {

enum { BURST_LIMIT = 5 };

bool hasReadFrame(const RW_VAR& entry) {
    return fins::regType(entry.reg_type) != nullptr;
}

// Node state of station, created empty the first time the station is served.
const Check_Plc& stationEntry(int station) {
    return map_list.insert(std::make_pair(station, Check_Plc{0, 0, 0})).first->second;
}

// Builds the frame for entry: the handshake while its station has none, else
// the read or write (remote-mode framing when remote_mode is set).
void serveEntry(RW_VAR& entry, bool write, const COM_INFO& com) {
    if (com.remote_mode != 0) {
        if (write)
            Remote_WriteVar(&entry);
        else
            Remote_ReadVar(&entry);
        return;
    }
    plc_add_number = entry.station;
    const Check_Plc& nodes = stationEntry(entry.station);
    if (nodes.hs_done == 0)
        BuildHandShake(entry.station);
    else if (write)
        BuildWrite(entry, nodes);
    else
        BuildRead(entry, nodes);
}

// Entries the builder will not frame (a register type without a FINS frame, a word
// count the frame cannot carry) would block their list forever; in remote mode every
// entry gets a frame.
bool canHaveFrame(const RW_VAR& entry, bool write, const COM_INFO& com) {
    if (com.remote_mode != 0) return true;
    return write ? WriteFrameCarries(entry) : hasReadFrame(entry);
}

// A write without a frame is still applied to the local store, as WriteRegister
// does for it; then it leaves the queue.
void disposeWrite() {
    QList<RW_VAR>& writes = PLC_driver.write_list;
    WriteRegister(&writes.first());
    writes.removeFirst();
}

// A one-shot read without a frame fails its requester as a whole: one failure
// notice, and the requester's other pieces go with it.
void disposeOnceRead() {
    const RW_VAR head = PLC_driver.once_list.constFirst();
    SendOnceNotice(head, ONCE_FAILED);
    PurgeOnceRequester(head, false);
}

void disposeCyclicRead() {
    PLC_driver.read_list.removeFirst();
}

// Step of the source choice; false when an entry was disposed of and the choice
// must be made again.
bool serveOneSource(COM_INFO& com) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!d.write_list.isEmpty() && d.write_burst < BURST_LIMIT) {
        if (!canHaveFrame(d.write_list.constFirst(), true, com)) {
            disposeWrite();
            return false;
        }
        d.cur_kind = FROM_WRITE_LIST;
        serveEntry(d.write_list.first(), true, com);
        ++d.write_burst;
    } else if (!d.once_list.isEmpty() && d.once_burst < BURST_LIMIT) {
        if (!canHaveFrame(d.once_list.constFirst(), false, com)) {
            disposeOnceRead();
            return false;
        }
        d.cur_kind = FROM_ONCE_LIST;
        serveEntry(d.once_list.first(), false, com);
        ++d.once_burst;
    } else if (!d.read_list.isEmpty()) {
        if (!canHaveFrame(d.read_list.constFirst(), false, com)) {
            disposeCyclicRead();
            return false;
        }
        d.cur_kind = FROM_READ_LIST;
        serveEntry(d.read_list.first(), false, com);
        d.write_burst = d.once_burst = 0;
    } else {
        d.write_burst = d.once_burst = 0;
        com.cycle_done = 1; // nothing left to send
    }
    return true;
}

Protocol* outstandingFrame() {
    QList<Protocol>& frames = PLC_driver.protocol_list;
    return frames.isEmpty() ? nullptr : &frames.first();
}

} // namespace

Protocol* ComCommunication() {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!d.com_info) return nullptr;
    if (!d.protocol_list.isEmpty()) return outstandingFrame();
    COM_INFO& com = *d.com_info;
    return guardEntry<Protocol*>(nullptr, [&] {
        {
            DriverLock lock(d.list_mutex);
            while (!serveOneSource(com)) {
            }
        }
        return outstandingFrame();
    });
}
