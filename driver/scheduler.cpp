// ComCommunication: picks the next entry to serve (writes, then one-shot reads,
// then one cyclic read, with burst limits), has its frame made, queues it and mirrors
// a write into the store.
#include "driver_lock.h"
#include "driver_object.h"
#include "entry_guard.h"
#include "fins_codec.h"
#include "frame_queue.h"
#include "remote_frames.h"
#include "reply_processing.h"
#include "request_frames.h"

namespace {

enum { BURST_LIMIT = 5 };

bool hasReadFrame(const RW_VAR& entry) {
    return fins::regType(entry.reg_type) != nullptr;
}

// Node state of station, created empty the first time the station is served.
const Check_Plc& stationEntry(int station) {
    return map_list.insert(std::make_pair(station, Check_Plc{0, 0, 0})).first->second;
}

// Remote frames carry the variable itself; the write is mirrored into the store at once.
void serveRemoteEntry(RW_VAR& entry, bool write) {
    if (!write) {
        driver::queueFrame(frames::makeRemoteReadFrame(entry));
        return;
    }
    driver::queueFrame(frames::makeRemoteWriteFrame(entry));
    WriteDataToLocal(&entry);
}

// Queues the frame for entry: the handshake while its station has none, else the read
// or write (remote-mode framing when remote_mode is set). While the exchange is healthy
// the store follows a write at once; after a failure the host-write path has already
// mirrored it.
void serveEntry(RW_VAR& entry, bool write, const COM_INFO& com) {
    if (com.remote_mode != 0) {
        serveRemoteEntry(entry, write);
        return;
    }
    plc_add_number = entry.station;
    const Check_Plc& nodes = stationEntry(entry.station);
    if (nodes.hs_done == 0) {
        driver::queueHandShake(entry.station);
    } else if (write) {
        driver::queueFrame(frames::makeWriteFrame(entry, nodes));
        if (!commFailed()) WriteDataToLocal(&entry);
    } else {
        driver::queueFrame(frames::makeReadFrame(entry, nodes));
    }
}

// Entries the builder will not frame (a register type without a FINS frame, a word
// count the frame cannot carry) would block their list forever; in remote mode every
// entry gets a frame.
bool canHaveFrame(const RW_VAR& entry, bool write, const COM_INFO& com) {
    if (com.remote_mode != 0) return true;
    return write ? frames::writeFrameCarries(entry) : hasReadFrame(entry);
}

// A write without a frame is still applied to the local store while the exchange is
// healthy, as for any write; then it leaves the queue.
void disposeWrite() {
    QList<RW_VAR>& writes = PLC_driver.write_list;
    if (!commFailed()) WriteDataToLocal(&writes.first());
    writes.removeFirst();
}

// A one-shot read without a frame fails its requester as a whole: one failure
// notice, and the requester's other pieces go with it.
void disposeOnceRead() {
    const RW_VAR head = PLC_driver.once_list.constFirst();
    SendOnceNotice(head, fins::ONCE_FAILED);
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
        d.cur_kind = fins::LIST_WRITE;
        serveEntry(d.write_list.first(), true, com);
        ++d.write_burst;
    } else if (!d.once_list.isEmpty() && d.once_burst < BURST_LIMIT) {
        if (!canHaveFrame(d.once_list.constFirst(), false, com)) {
            disposeOnceRead();
            return false;
        }
        d.cur_kind = fins::LIST_ONCE;
        serveEntry(d.once_list.first(), false, com);
        ++d.once_burst;
    } else if (!d.read_list.isEmpty()) {
        if (!canHaveFrame(d.read_list.constFirst(), false, com)) {
            disposeCyclicRead();
            return false;
        }
        d.cur_kind = fins::LIST_READ;
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
