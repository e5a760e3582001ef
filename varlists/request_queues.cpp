// The write queue and the one-shot read queue: how host requests enter them.
#include "Func_Initi.h"
#include "fins_codec.h"
#include "piece_split.h"

namespace {

// The regular paths never let a queue grow beyond this many entries.
const int kQueueLimit = 1024;

bool sameWriteTarget(const RW_VAR& a, const RW_VAR& b) {
    return a.station == b.station && a.reg_type == b.reg_type && a.address == b.address &&
           a.length == b.length;
}

bool sameOnceRead(const RW_VAR& a, const RW_VAR& b) {
    return a.req_kind == b.req_kind && a.req_id == b.req_id && sameWriteTarget(a, b);
}

// First queued write to the same place, head excluded (it may be in flight); -1 if none.
int findQueuedWrite(const QList<RW_VAR>& queue, const RW_VAR& var) {
    for (int i = 1; i < queue.size(); ++i)
        if (sameWriteTarget(queue.at(i), var)) return i;
    return -1;
}

bool onceQueued(const QList<RW_VAR>& queue, const RW_VAR& var) {
    for (const RW_VAR& e : queue)
        if (sameOnceRead(e, var)) return true;
    return false;
}

// Converts the record at numeric address a into read units, in place: words, or groups
// of 8 flags from a multiple of 8. Returns the elements the address advances per unit.
// Types without an area keep the record's own address and length.
qint64 toReadUnits(RW_VAR& var, int a) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!t) return 1;
    const varlists::ReadRun run = varlists::toReadRun(*t, a, var.length);
    var.address = static_cast<int>(run.start);
    var.length = static_cast<int>(run.flags ? varlists::ceilDiv(run.length, 8) : run.length);
    return run.flags ? 8 : 1;
}

} // namespace

int QueueWriteLocked(RW_VAR* var, int direct) {
    QList<RW_VAR>& queue = PLC_driver.write_list;
    if (direct == 1 || queue.size() < 2) {
        queue.append(*var);
        return queue.size();
    }
    const int match = findQueuedWrite(queue, *var);
    if (match >= 0)
        queue[match] = *var; // only the latest value to one place is sent
    else if (queue.size() < kQueueLimit)
        queue.append(*var);
    return queue.size();
}

int QueueOnceReadLocked(RW_VAR* var, int direct) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (direct == 1) {
        d.once_list.append(*var);
        return d.once_list.size();
    }
    const int a = StringAddressToInt(var->reg_type, var->addr_text);
    if (a < 0) return 0;
    const COM_INFO& ci = *d.com_info;
    var->aux1 = 0;
    var->aux2 = 0;
    if (ci.multi_station == 0) var->station = ci.default_station;
    const qint64 step_per_unit = toReadUnits(*var, a);
    const qint64 maximum = ci.max_block;
    QList<RW_VAR>& queue = d.once_list;
    varlists::forEachPiece(var->address, var->length, maximum, step_per_unit * maximum,
                           varlists::pieceStartLimit(ci.remote_mode != 0),
                           [&](qint64 at, qint64 len) {
                               var->address = static_cast<int>(at);
                               var->length = static_cast<int>(len);
                               if (queue.size() < kQueueLimit && !onceQueued(queue, *var))
                                   queue.append(*var);
                               return true;
                           });
    return queue.size();
}
