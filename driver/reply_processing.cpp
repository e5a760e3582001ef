// DataCom: judges the host's reply to the outstanding frame, stores read data,
// counts retries, advances the list the frame came from and sends the notices.
// DataCom takes the frame and its station once and hands them down; the described
// steps below (DealDataOf..., GetDriverReturnValue) wrap the same code for the head frame.
#include "reply_processing.h"

#include "Func_DealData.h"
#include "driver_lock.h"
#include "driver_object.h"
#include "entry_guard.h"
#include "fins_codec.h"
#include "handshake.h"

namespace {

// Indices of GetDriverReturnValue: the verdict, plus REMOTE_INDEX for a remote-area reply.
enum ReplyVerdict { GOOD = 0, REFUSED = 1, EMPTY = 2, WRONG_LENGTH = 3 };
enum { LOCAL_INDEX = 0, REMOTE_INDEX = 4 };

// The exchange being judged: the host block, the station the frame went to (nullptr
// when map_list has none) and whether the reply is a local-area one.
struct Exchange {
    COM_INFO& com;
    Check_Plc* station;
    bool local;
};

const Protocol* headFrame() {
    const QList<Protocol>& frames = PLC_driver.protocol_list;
    return frames.isEmpty() ? nullptr : &frames.constFirst();
}

// Verdict of the reply length against the frame, or GOOD when the length is fine.
ReplyVerdict lengthVerdict(const Protocol& frame, int len) {
    if (len == 0) return frame.reply_len != 0 ? EMPTY : GOOD;
    if (frame.reply_len != -1 && len != frame.reply_len) return WRONG_LENGTH;
    return GOOD;
}

int errorOffset(int req_kind) {
    return req_kind >= 0 && req_kind < fins::REQUESTER_OFFSET_MAX ? req_kind + 1 : 1;
}

// Result code of a GetDriverReturnValue index for a frame of requester kind req_kind.
int resultFor(int index, int req_kind) {
    static const int kBases[] = {fins::RESULT_GOOD,
                                 fins::FAMILY_REFUSED,
                                 fins::FAMILY_NO_REPLY,
                                 fins::FAMILY_WRONG_LENGTH,
                                 fins::RESULT_GOOD_REMOTE,
                                 fins::RESULT_REMOTE_AREA + fins::FAMILY_REFUSED,
                                 fins::RESULT_REMOTE_AREA + fins::FAMILY_NO_REPLY,
                                 fins::RESULT_REMOTE_AREA + fins::FAMILY_WRONG_LENGTH};
    if (index < 0 || index > 7) return fins::RESULT_NOT_EVALUATED;
    const bool good = index == LOCAL_INDEX + GOOD || index == REMOTE_INDEX + GOOD;
    return good ? kBases[index] : kBases[index] + errorOffset(req_kind);
}

// Evaluation common to both areas; only a local-area read reply is stored (and only
// once the host block tells the station mode).
int judgeReply(const Protocol& frame, const QByteArray& reply, int len, int area,
               const COM_INFO* com) {
    const int kind = frame.var.req_kind;
    const ReplyVerdict by_length = lengthVerdict(frame, len);
    if (by_length != GOOD) return resultFor(area + by_length, kind);
    const int check = CheckReply(frame, reply);
    if (check != 1 && check != 2) return resultFor(area + REFUSED, kind);
    if (check == 1 && area == LOCAL_INDEX && com) {
        DriverLock lock(PLC_driver.data_mutex);
        StoreReply(frame, reply, com->multi_station != 0);
    }
    return resultFor(area + GOOD, kind);
}

// The described steps judge the head frame; a missing reply is an empty one.
int judgeHeadFrame(QByteArray* reply, int len, int area) {
    const Protocol* head = headFrame();
    if (!head) return resultFor(area + REFUSED, -1);
    const QByteArray none;
    return judgeReply(*head, reply ? *reply : none, reply ? len : 0, area, PLC_driver.com_info);
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
    const int status = commFailed() == 0 ? fins::ONCE_SUCCEEDED : fins::ONCE_FAILED;
    if (status == fins::ONCE_SUCCEEDED) {
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
    case fins::LIST_WRITE:
        finishHead(d.write_list);
        break;
    case fins::LIST_ONCE:
        if (local) noticeForOnceHead();
        finishHead(d.once_list);
        break;
    case fins::LIST_READ:
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

RW_VAR* acceptGoodReply(const Exchange& ex, int result) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    COM_INFO& com = ex.com;
    const bool local = ex.local;
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

RW_VAR* rejectBadReply(const Exchange& ex, int result) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    COM_INFO& com = ex.com;
    const bool local = ex.local;
    ++com.retry_count;
    setCommFailed(1);
    DriverLock lock(d.list_mutex);
    d.read_index = 0;
    com.cycle_done = 0;
    if (com.retry_count <= com.retry_limit) {
        d.cur_var.result = fins::RESULT_SENT_AGAIN; // the frame stays outstanding
        return &d.cur_var;
    }
    com.retry_count = 0;
    d.protocol_list.clear();
    com.offline = 1;
    if (ex.station) *ex.station = Check_Plc{0, 0, 0}; // the station must repeat the handshake
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

// The reply's FINS/TCP error code must be zero; the outstanding frame's direction
// then tells a read reply (1) from a write acknowledgement (2). The FINS end code
// is not judged.
int CheckReply(const Protocol& frame, const QByteArray& reply) {
    if (fins::replyErrorCode(reply) != 0) return 0;
    switch (frame.var.access) {
    case 0:
        return 1;
    case 1:
        return 2;
    default:
        return 0;
    }
}

int CheckGetData(QByteArray* reply, int) {
    const Protocol* head = headFrame();
    return reply && head ? CheckReply(*head, *reply) : 0;
}

int DealDataOfLocalArea(QByteArray* reply, int len) {
    return judgeHeadFrame(reply, len, LOCAL_INDEX);
}

int DealDataOfRemoteArea(QByteArray* reply, int len) {
    return judgeHeadFrame(reply, len, REMOTE_INDEX);
}

int GetDriverReturnValue(int index) {
    const Protocol* head = headFrame();
    return resultFor(index, head ? head->var.req_kind : -1);
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
    d.cur_var.result = fins::RESULT_GOOD;
    COM_INFO* com = d.com_info;
    if (!com || d.protocol_list.isEmpty()) return &d.cur_var;
    const QByteArray none;
    const QByteArray& bytes = reply ? *reply : none;
    if (!reply) len = 0;
    Check_Plc* station = currentStation();
    if (com->remote_mode == 0) {
        if (!station) return &d.cur_var; // nothing to evaluate against; the frame stays
        if (station->hs_done == 0) {
            d.cur_var.result = EvaluateHandShakeReply(station, &bytes);
            return &d.cur_var;
        }
    }
    const Protocol& frame = d.protocol_list.constFirst();
    const Exchange ex{*com, station, frame.var.link_id == com->local_link};
    const int r = judgeReply(frame, bytes, len, ex.local ? LOCAL_INDEX : REMOTE_INDEX, com);
    if (fins::isGood(r)) return acceptGoodReply(ex, r);
    return rejectBadReply(ex, r);
}

} // namespace

RW_VAR* DataCom(QByteArray* reply, int len) {
    RW_VAR* const evaluated =
        guardEntry<RW_VAR*>(nullptr, [&] { return evaluateDataCom(reply, len); });
    if (evaluated) return evaluated;
    PLC_driver.cur_var.result = fins::RESULT_SENT_AGAIN; // not evaluated: the frame stays
    return &PLC_driver.cur_var;
}
