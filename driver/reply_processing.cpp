// DataCom: judges the host's reply to the outstanding frame, stores read data,
// counts retries, advances the list the frame came from and sends the notices.
#include "reply_processing.h"

#include "Func_Check.h"
#include "Func_DealData.h"
#include "Func_HandShake.h"
#include "driver_lock.h"
#include "driver_object.h"
#include "entry_guard.h"

namespace {

// Result indices of GetDriverReturnValue; a remote-area reply adds REMOTE_AREA.
enum ReplyVerdict { GOOD = 0, REFUSED = 1, EMPTY = 2, WRONG_LENGTH = 3 };
enum { LOCAL_AREA = 0, REMOTE_AREA = 4 };

// List the outstanding frame came from (cur_kind).
enum { FROM_READ_LIST = 0, FROM_WRITE_LIST = 1, FROM_ONCE_LIST = 2 };

const Protocol* headFrame() {
    const QList<Protocol>& frames = PLC_driver.protocol_list;
    return frames.isEmpty() ? nullptr : &frames.constFirst();
}

// Verdict of the reply length against the head frame, or GOOD when the length is fine.
ReplyVerdict lengthVerdict(const Protocol& head, int len) {
    if (len == 0) return head.reply_len != 0 ? EMPTY : GOOD;
    if (head.reply_len != -1 && len != head.reply_len) return WRONG_LENGTH;
    return GOOD;
}

void storeReadReply(QByteArray* reply) {
    DriverLock lock(PLC_driver.data_mutex);
    SaveToLocalDataErea(reply);
}

// Evaluation common to both areas; only a local-area read reply is stored.
int evaluateReply(QByteArray* reply, int len, int area) {
    QByteArray none;
    if (!reply) {
        reply = &none;
        len = 0;
    }
    const Protocol* head = headFrame();
    if (!head) return GetDriverReturnValue(area + REFUSED);
    const ReplyVerdict by_length = lengthVerdict(*head, len);
    if (by_length != GOOD) return GetDriverReturnValue(area + by_length);
    const int check = CheckGetData(reply, len);
    if (check != 1 && check != 2) return GetDriverReturnValue(area + REFUSED);
    if (check == 1 && area == LOCAL_AREA) storeReadReply(reply);
    return GetDriverReturnValue(area + GOOD);
}

int errorOffset(int req_kind) {
    return req_kind >= 0 && req_kind <= 11 ? req_kind + 1 : 1;
}

bool sameRequester(const RW_VAR& a, const RW_VAR& b) {
    return a.req_kind == b.req_kind && a.req_id == b.req_id;
}

// One-shot notice for the head E of once_list: success only once no other piece
// of E's requester waits behind it; failure at once.
void noticeForOnceHead() {
    const QList<RW_VAR>& once = PLC_driver.once_list;
    if (once.isEmpty()) return;
    const RW_VAR& head = once.constFirst();
    const int status = commFailed() == 0 ? 1 : 2;
    if (status == 1) {
        for (int i = 1; i < once.size(); ++i)
            if (sameRequester(once.at(i), head)) return;
    }
    SendOnceNotice(head, status);
}

// Copies the head of list into cur_var and removes it.
void finishHead(QList<RW_VAR>& list) {
    if (list.isEmpty()) return;
    passRetValue(list.constFirst(), PLC_driver.cur_var);
    list.removeFirst();
}

// Copies the head of the read list into cur_var and moves it to the end.
void rotateReadList() {
    QList<RW_VAR>& reads = PLC_driver.read_list;
    if (reads.isEmpty()) return;
    passRetValue(reads.constFirst(), PLC_driver.cur_var);
    reads.move(0, reads.size() - 1);
}

void advanceSourceList(bool local) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    switch (d.cur_kind) {
    case FROM_WRITE_LIST:
        finishHead(d.write_list);
        break;
    case FROM_ONCE_LIST:
        if (local) noticeForOnceHead();
        finishHead(d.once_list);
        break;
    case FROM_READ_LIST:
        rotateReadList();
        break;
    default:
        break;
    }
}

// A good local-area reply counts towards a pass over the read list.
void countTowardsPass(COM_INFO& com, bool local) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (com.cycle_done != 0 || !local) return;
    ++d.read_index;
    if (d.read_index > d.read_list.size()) {
        d.read_index = 0;
        com.cycle_done = 1;
    }
}

// Drops what depended on an exchange that was given up: the requester's other
// one-shot reads, and the pending writes (all, or those of the failed station).
void purgeAfterFailure(const COM_INFO& com) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    const bool multi = com.multi_station != 0;
    PurgeOnceRequester(d.cur_var, multi);
    if (multi)
        PurgeWritesOfStation(d.cur_var.station);
    else
        d.write_list.clear();
}

void reportFailure() {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!d.comm_fail_cb) return;
    QList<RW_VAR> none;
    d.comm_fail_cb(&none, d.cur_var.req_kind, 1);
}

RW_VAR* acceptGoodReply(COM_INFO& com, int result, bool local) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    setCommFailed(0);
    d.protocol_list.removeFirst();
    ++com.frames_done;
    com.offline = 0;
    DriverLock lock(d.list_mutex);
    if (com.frames_done < com.frames_total) {
        d.cur_var.result = result; // the entry needs more frames
        return &d.cur_var;
    }
    countTowardsPass(com, local);
    advanceSourceList(local);
    d.cur_var.result = result;
    return &d.cur_var;
}

RW_VAR* rejectBadReply(COM_INFO& com, int result, bool local, Check_Plc* station) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    ++com.retry_count;
    setCommFailed(1);
    DriverLock lock(d.list_mutex);
    d.read_index = 0;
    com.cycle_done = 0;
    if (com.retry_count <= com.retry_limit) {
        d.cur_var.result = 0; // the frame stays outstanding and is sent again
        return &d.cur_var;
    }
    com.retry_count = 0;
    d.protocol_list.clear();
    com.offline = 1;
    if (station) *station = Check_Plc{0, 0, 0}; // the station must repeat the handshake
    advanceSourceList(local);
    reportFailure();
    purgeAfterFailure(com);
    d.cur_var.result = result;
    return &d.cur_var;
}

Check_Plc* currentStation() {
    std::map<int, Check_Plc>::iterator it = map_list.find(plc_add_number);
    return it == map_list.end() ? nullptr : &it->second;
}

} // namespace

int DealDataOfLocalArea(QByteArray* reply, int len) {
    return evaluateReply(reply, len, LOCAL_AREA);
}

int DealDataOfRemoteArea(QByteArray* reply, int len) {
    return evaluateReply(reply, len, REMOTE_AREA);
}

int GetDriverReturnValue(int index) {
    switch (index) {
    case 0:
        return 1;
    case 1:
        return SwitchErrorReturn(10);
    case 2:
        return SwitchErrorReturn(40);
    case 3:
        return SwitchErrorReturn(70);
    case 4:
        return 100;
    case 5:
        return SwitchErrorReturn(110);
    case 6:
        return SwitchErrorReturn(140);
    case 7:
        return SwitchErrorReturn(170);
    default:
        return 200;
    }
}

int SwitchErrorReturn(int base) {
    const Protocol* head = headFrame();
    return base + errorOffset(head ? head->var.req_kind : -1);
}

void SendOnceNotice(const RW_VAR& entry, int status) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!d.once_done_cb || !d.com_info) return;
    d.once_done_cb(d.com_info->cb_context, entry.req_kind, entry.req_id, status);
}

void PurgeOnceRequester(const RW_VAR& var, bool same_station) {
    // var may be an entry of once_list itself: compare against a copy of its identity.
    const int kind = var.req_kind, id = var.req_id, station = var.station;
    QList<RW_VAR>& once = PLC_driver.once_list;
    for (int i = once.size() - 1; i >= 0; --i) {
        const RW_VAR& e = once.at(i);
        if (e.req_kind == kind && e.req_id == id && (!same_station || e.station == station))
            once.removeAt(i);
    }
}

void PurgeWritesOfStation(int station) {
    QList<RW_VAR>& writes = PLC_driver.write_list;
    for (int i = writes.size() - 1; i >= 0; --i)
        if (writes.at(i).station == station) writes.removeAt(i);
}

namespace {

RW_VAR* evaluateDataCom(QByteArray* reply, int len) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    d.cur_var.result = 1;
    COM_INFO* com = d.com_info;
    if (!com || d.protocol_list.isEmpty()) return &d.cur_var;
    QByteArray none;
    if (!reply) {
        reply = &none;
        len = 0;
    }
    Check_Plc* station = currentStation();
    if (com->remote_mode == 0) {
        if (!station) return &d.cur_var; // nothing to evaluate against; the frame stays
        if (station->hs_done == 0) {
            d.cur_var.result = EvaluateHandShakeReply(reply);
            return &d.cur_var;
        }
    }
    const bool local = d.protocol_list.constFirst().var.link_id == com->local_link;
    const int r = local ? DealDataOfLocalArea(reply, len) : DealDataOfRemoteArea(reply, len);
    if (r == 1 || r == 100) return acceptGoodReply(*com, r, local);
    return rejectBadReply(*com, r, local, station);
}

} // namespace

RW_VAR* DataCom(QByteArray* reply, int len) {
    RW_VAR* const evaluated =
        guardEntry<RW_VAR*>(nullptr, [&] { return evaluateDataCom(reply, len); });
    if (evaluated) return evaluated;
    PLC_driver.cur_var.result = 0; // not evaluated: the host sends the frame again
    return &PLC_driver.cur_var;
}
