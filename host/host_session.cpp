#include "host_session.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "fins_peer.h"
#include "omron_fins_results.h"
#include "fins_words.h"
#include "notices.h"
#include "tag_values.h"

namespace fhost {

namespace {

const size_t kNoticeValues = 8;
// RW_VAR.access of a write request.
const int kWriteAccess = 1;

double millisBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The node the panel proposes: the last number of its address text.
quint32 proposedNode(const std::string& hmi_ip) {
    return static_cast<quint32>(std::stoi(hmi_ip.substr(hmi_ip.rfind('.') + 1)));
}

} // namespace

HostSession::HostSession(const HostOptions& options, DriverApi& api)
    : options_(options), api_(api), lb_(LB_AREA_BYTES, 0), lw_(LW_AREA_BYTES, 0),
      rwi_(RWI_AREA_BYTES, 0), link_ctx_{options, pcap_, stats_, 0},
      ledger_(options.multi_station) {
    std::memset(&com_, 0, sizeof com_);
}

HostSession::~HostSession() {
    closeConnections();
}

bool HostSession::start(const std::vector<Tag>& tags, std::string* error) {
    if (!options_.pcap_path.empty() && !pcap_.open(options_.pcap_path, error)) return false;
    tags_ = tags;

    com_.max_block = options_.max_block;
    com_.default_station = options_.default_station;
    com_.retry_limit = options_.retry_limit;
    com_.multi_station = options_.multi_station ? 1 : 0;
    com_.remote_mode = options_.remote_mode ? 1 : 0;
    com_.local_link = options_.local_link;
    com_.run_mode = options_.run_mode;
    com_.cb_context = HOST_CB_CONTEXT;
    std::memcpy(&lw_[fins::HMI_ADDRESS_OFFSET], options_.hmi_ip.data(),
                std::min<size_t>(options_.hmi_ip.size(), fins::HMI_ADDRESS_BYTES));

    api_.SetComInfo(&com_);
    api_.RegistCallBackFuncIntf(recordOnceDone, recordCommFail);
    api_.FlashLocalRegister(lb_.data(), lw_.data(), rwi_.data());
    registerReadList();
    for (const Tag& t : tags_)
        linkFor(stationOf(t)); // every station is listed from the start
    started_ = last_good_ = Clock::now();
    stats_.start(started_);
    return true;
}

void HostSession::replaceTags(const std::vector<Tag>& tags) {
    tags_ = tags;
    for (const Tag& t : tags_)
        linkFor(stationOf(t));
    read_list_changed_ = true;
}

// The tags of every station that is not set aside, for cyclic reading.
void HostSession::registerReadList() {
    QList<VAR_DESC> descs;
    for (const Tag& t : tags_) {
        if (isSetAside(stationOf(t))) continue;
        VAR_DESC d;
        d.host_byte0 = 0;
        d.reg_type = static_cast<unsigned char>(t.reg_type);
        d.station = static_cast<unsigned char>(stationOf(t));
        d.host_byte3 = 0;
        d.host_word1 = 0;
        d.addr_text = QString::fromStdString(t.addr_text);
        d.name = QString::fromStdString(t.name);
        d.length = t.length;
        descs.append(d);
    }
    block_count_ = api_.ReCreatReadVarList(&descs);
    block_map_.clear();
}

// In single-station mode every tag goes to the default station, whatever its file says.
int HostSession::stationOf(const Tag& tag) const {
    return tag.station == DEFAULT_STATION || !options_.multi_station ? options_.default_station
                                                                     : tag.station;
}

const Tag* HostSession::findTag(const std::string& name) const {
    return fhost::findTag(tags_, name);
}

std::vector<int> HostSession::readTag(const Tag& tag) const {
    QString name = QString::fromStdString(tag.name);
    QString addr = QString::fromStdString(tag.addr_text);
    QByteArray buffer;
    if (api_.GetRegisterData(&name, tag.reg_type, &addr, stationOf(tag), &buffer, tag.length) != 1)
        return std::vector<int>();
    return decodeValues(tag, buffer, tag.length);
}

// Why a station takes no actions now, or empty: in multi-station mode while it is set
// aside, in single-station mode while its last exchange failed. A write queued then
// would wait for a reconnect, and the driver would show it in its store meanwhile.
std::string HostSession::downReason(int station) const {
    const StationLink* link = findLink(station);
    if (!link) return std::string();
    const bool down = options_.multi_station ? isSetAside(station) : link->status().down();
    return down ? "station " + std::to_string(station) + " is down: " + link->status().reason
                : std::string();
}

bool HostSession::queueWrite(const std::string& name, const std::string& value, std::string* error,
                             quint64 id) {
    const Tag* tag = findTag(name);
    if (!tag) {
        *error = "no tag named '" + name + "'";
        return false;
    }
    QByteArray buffer;
    int count = 0;
    if (!parseWriteValues(*tag, value, &buffer, &count, error)) return false;
    const int station = stationOf(*tag);
    *error = downReason(station);
    if (!error->empty()) return false;
    WriteAction w;
    w.id = id;
    w.station = station;
    w.name = name;
    w.value_text = value;
    w.local_only = options_.run_mode != 2;
    QString qname = QString::fromStdString(tag->name);
    QString addr = QString::fromStdString(tag->addr_text);
    if (api_.SetRegisterData(&qname, tag->reg_type, &addr, station, &buffer, count, WRITE_REQ_KIND,
                             ledger_.nextWriteId()) == 0) {
        *error = "the driver refused the write of '" + name + "'";
        return false;
    }
    const std::vector<WritePiece> pieces =
        w.local_only ? std::vector<WritePiece>()
                     : writePieces(station, tag->reg_type, tag->start, count, options_.max_block);
    for (const std::string& text : ledger_.addWrite(w, pieces))
        addNotice(text);
    return true;
}

bool HostSession::queueOnceRead(const std::string& name, std::string* error, quint64 id) {
    const Tag* tag = findTag(name);
    if (!tag) {
        *error = "no tag named '" + name + "'";
        return false;
    }
    const int station = stationOf(*tag);
    *error = downReason(station);
    if (!error->empty()) return false;
    RW_VAR v;
    v.req_kind = ONCE_REQ_KIND;
    v.req_id = ledger_.nextOnceId();
    v.access = 0;
    v.link_mode = com_.remote_mode;
    v.link_id = com_.local_link;
    v.result = 0;
    v.name = QString::fromStdString(tag->name);
    v.addr_text = QString::fromStdString(tag->addr_text);
    v.reg_type = tag->reg_type;
    v.address = 0;
    v.station = station;
    v.length = tag->length;
    v.aux1 = v.aux2 = 0;
    if (api_.AddListOnceReadVar(&v, 0) == 0) {
        *error = "the driver refused the one-shot read of '" + name + "'";
        return false;
    }
    OnceAction o;
    o.id = id;
    o.name = name;
    o.station = station;
    ledger_.addOnceRead(o);
    return true;
}

void HostSession::refuseAction(bool write, const std::string& name, const std::string& value,
                               const std::string& why, quint64 id) {
    if (write) {
        WriteAction w;
        w.id = id;
        w.name = name;
        w.value_text = value;
        ledger_.addRefusedWrite(w, why);
    } else {
        OnceAction o;
        o.id = id;
        o.name = name;
        o.status = fins::ONCE_FAILED;
        o.outcome = Outcome::Refused;
        o.detail = why;
        ledger_.addOnceRead(o);
    }
    addNotice((write ? "write " + name + "=" + value : "one-shot read of " + name) +
              ": refused: " + why);
}

void HostSession::abandonPending() {
    ledger_.abandonPending("not answered before the end of the run");
}

std::vector<StationStatus> HostSession::stations() const {
    std::vector<StationStatus> out;
    for (const auto& l : links_)
        out.push_back(l->status());
    std::sort(out.begin(), out.end(),
              [](const StationStatus& a, const StationStatus& b) { return a.station < b.station; });
    return out;
}

// A tag's age is that of the oldest good read among the read-list blocks it lies in.
bool HostSession::tagAge(const Tag& tag, double* age_ms) const {
    const fins::RegType& type = tagType(tag);
    const int read_type = options_.multi_station ? type.word_type : type.code;
    const bool bits = type.unit == fins::Unit::Bit;
    const int first = bits ? tag.start / 16 : tag.start;
    const int last = bits ? (tag.start + tag.length - 1) / 16 : tag.start + tag.length - 1;
    const int station = stationOf(tag);
    const Clock::time_point now = Clock::now();
    bool any = false;
    for (auto it = block_reads_.lower_bound(BlockKey{station, read_type, INT_MIN});
         it != block_reads_.end() && it->first.station == station &&
         it->first.reg_type == read_type && it->first.address <= last;
         ++it) {
        const int span = type.unit == fins::Unit::Flag ? it->second.length * 8 : it->second.length;
        if (it->first.address + span <= first) continue;
        const double age = millisBetween(it->second.at, now);
        *age_ms = any ? std::max(*age_ms, age) : age;
        any = true;
    }
    return any;
}

std::vector<TagView> HostSession::viewTags() const {
    std::vector<TagView> out;
    out.reserve(tags_.size());
    const double stale_after = options_.timeout_ms + options_.poll_ms;
    for (const Tag& t : tags_) {
        TagView v{&t, stationOf(t), readTag(t), false, 0, true, std::string()};
        v.read = tagAge(t, &v.age_ms);
        if (isSetAside(v.station))
            v.why_stale = "station down";
        else if (!v.read)
            v.why_stale = "not read yet";
        else if (v.age_ms > stale_after)
            v.why_stale = "no good read for " + std::to_string(static_cast<long>(v.age_ms)) + " ms";
        v.stale = !v.why_stale.empty();
        out.push_back(std::move(v));
    }
    return out;
}

// The FINS/TCP command names a node address exchange; the record the frame serves
// names its list.
FrameKind HostSession::classify(const Protocol& p) const {
    fins::Reader in(p.frame);
    fins::TcpHeader tcp;
    if (!com_.remote_mode && fins::decodeTcpHeader(in, tcp) &&
        tcp.command == fins::TCP_NODE_ADDRESS_SEND)
        return FrameKind::Handshake;
    if (p.var.access == kWriteAccess) return FrameKind::Write;
    if (p.var.req_kind == fins::LIST_READ && p.var.req_id == -1) return FrameKind::CyclicRead;
    if (p.var.req_kind == ONCE_REQ_KIND) return FrameKind::OnceRead;
    return FrameKind::Other;
}

const StationLink* HostSession::findLink(int station) const {
    for (const auto& l : links_)
        if (l->station() == station) return l.get();
    return nullptr;
}

StationLink& HostSession::linkFor(int station) {
    for (auto& l : links_)
        if (l->station() == station) return *l;
    auto it = options_.stations.find(station);
    bool known = it != options_.stations.end();
    const Endpoint e = known ? it->second : options_.plc;
    if (!known && (!options_.multi_station || station == options_.default_station)) known = true;
    links_.emplace_back(new StationLink(station, e, known, link_ctx_, &wait_hook_));
    return *links_.back();
}

// A station that is down leaves the cyclic reading, so that it holds no other station.
void HostSession::setAside(int station) {
    if (!options_.multi_station || isSetAside(station)) return;
    set_aside_.insert(station);
    read_list_changed_ = true;
    addNotice("station " + std::to_string(station) + " is down (" +
              findLink(station)->status().reason + "): its tags leave the cyclic reading");
}

void HostSession::probeSetAside() {
    for (auto it = set_aside_.begin(); it != set_aside_.end();) {
        StationLink& link = linkFor(*it);
        if (!link.probe(fins::nodeAddressRequest(proposedNode(options_.hmi_ip)))) {
            ++it;
            continue;
        }
        addNotice("station " + std::to_string(*it) + " answers again: its tags are read again");
        it = set_aside_.erase(it);
        read_list_changed_ = true;
    }
}

Exchange HostSession::exchangeOnce() {
    if (!set_aside_.empty()) probeSetAside();
    // The list is registered again once no frame is outstanding: the driver's give-up
    // of that frame moves and purges by the entry it came from, which must still be
    // the head of the old list.
    if (read_list_changed_ && !frame_outstanding_) {
        registerReadList();
        read_list_changed_ = false;
    }
    Exchange ex;
    Protocol* p = api_.ComCommunication();
    if (!p) {
        handleNotices(fins::RESULT_GOOD, RW_VAR());
        return ex;
    }
    const int send_len = std::max(0, std::min(p->send_len, p->frame.size()));
    const QByteArray frame = p->frame.left(send_len);
    const RW_VAR sent = p->var;
    const int reply_len = p->reply_len;
    ex.kind = classify(*p);
    ex.station = sent.station;
    const bool node_exchange = ex.kind == FrameKind::Handshake;

    StationLink& link = linkFor(ex.station);
    QByteArray reply;
    // A station set aside gets no frame on the wire: the driver hears no reply and
    // drops the frame after its retries (a node address exchange at once).
    if (!isSetAside(ex.station)) {
        link.freshConnectionFor(frame, node_exchange);
        // The frame stays outstanding in the driver, which hands it out again next turn.
        if (link.waitingOutBackoff()) {
            ex.waiting = true;
            return ex;
        }
        if (!link.exchange(frame, node_exchange, reply_len, &reply, &ex.transport_error, &ex.sent))
            reply.clear();
    }
    ex.reply_bytes = reply.size();
    ex.frame = frame;
    ex.reply = reply;
    RW_VAR* returned = api_.DataCom(&reply, reply.size());
    ex.result = returned ? returned->result : fins::RESULT_GOOD;
    frame_outstanding_ = ex.result == fins::RESULT_SENT_AGAIN;
    // The host owns the block: after a good reply the retries start again from 0, so
    // --retry-limit counts re-sends of one frame, not isolated faults over a run.
    if (fins::isGood(ex.result)) com_.retry_count = 0;
    if (node_exchange) link.nodeExchangeAnswered(frame, reply, ex.result == fins::RESULT_GOOD);
    const RW_VAR& back = returned ? *returned : RW_VAR();
    judgeReply(link, ex, sent, back);
    stats_.exchanged(ex.kind, ex.sent, ex.result, ex.reply_bytes > 0);
    handleNotices(ex.result, back);
    return ex;
}

Clock::time_point HostSession::nextAttempt() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& l : links_)
        if (!l->isOpen()) next = std::min(next, l->nextAttempt());
    return next;
}

// What the reply says beyond the driver's judgement: the station's state, a refused
// node address, the FINS end code of a write, and the freshness of a block.
void HostSession::judgeReply(StationLink& link, const Exchange& ex, const RW_VAR& sent,
                             const RW_VAR& returned) {
    const int station = ex.station;
    const bool connect_failed = !ex.sent && !ex.transport_error.empty();
    if (ex.kind == FrameKind::CyclicRead && ex.sent)
        noteReadBlock(link, ex, fins::isGood(ex.result) ? returned : sent);
    if (ex.kind == FrameKind::Handshake) {
        if (ex.result == fins::RESULT_HANDSHAKE_REFUSED && !isSetAside(station)) setAside(station);
        return;
    }
    if (fins::isGood(ex.result) && ex.sent) {
        link.goodReply();
        last_good_ = Clock::now();
        if (ex.kind == FrameKind::CyclicRead) {
            block_reads_[BlockKey{returned.station, returned.reg_type, returned.address}] =
                BlockRead{returned.length, last_good_};
            stats_.cyclicReadGood(block_count_, last_good_);
        }
    } else if (ex.result == fins::RESULT_SENT_AGAIN && ex.sent && !options_.remote_mode) {
        const long long code = fins::replyErrorCode(ex.reply); // -1 when too short for one
        if (code > 0) link.failed(finsTcpErrorText(static_cast<uint32_t>(code)));
    } else if (fins::isGivenUp(ex.result)) {
        link.gaveUp("gave up: " + resultText(ex.result));
    }
    if (connect_failed || fins::isGivenUp(ex.result)) setAside(station);
    settleWrite(ex, sent);
}

void HostSession::noteReadBlock(const StationLink& link, const Exchange& ex, const RW_VAR& record) {
    block_map_.observe(ex.frame, record, fins::isGood(ex.result), link.status().rtt_ms,
                       [this](const ReadBlock& block) {
                           std::vector<std::string> names;
                           for (const Tag& t : tags_)
                               if (blockCovers(block, t, stationOf(t), options_.multi_station))
                                   names.push_back(t.name);
                           return names;
                       });
}

void HostSession::settleWrite(const Exchange& ex, const RW_VAR& sent) {
    if (ex.kind != FrameKind::Write || sent.req_kind != WRITE_REQ_KIND ||
        ex.result == fins::RESULT_SENT_AGAIN)
        return;
    // A reply the driver found good but without an end code refuses nothing.
    const long long end_code = options_.remote_mode ? 0 : fins::replyEndCode(ex.reply);
    const uint16_t code = end_code > 0 ? static_cast<uint16_t>(end_code) : 0;
    const std::string why = "after " + std::to_string(options_.retry_limit + 1) +
                            " bad replies: " + resultText(ex.result);
    const WritePiece piece{sent.station, sent.reg_type, sent.address, sent.length};
    const std::string text = ledger_.writeAnswered(sent.req_id, piece, ex.result, code, why);
    if (!text.empty()) addNotice(text);
}

void HostSession::closeConnections() {
    for (auto& l : links_)
        l->close();
}

void HostSession::addNotice(const std::string& text) {
    notices_.add(text);
}

void HostSession::onceReadNotice(const RawNotice& n) {
    OnceAction* o = n.cb_context == HOST_CB_CONTEXT && n.req_kind == ONCE_REQ_KIND
                        ? ledger_.onceRead(n.req_id)
                        : nullptr;
    if (!o) {
        addNotice("one-shot read notice for requester " + std::to_string(n.req_kind) + "/" +
                  std::to_string(n.req_id) + ", status " + std::to_string(n.status));
        return;
    }
    o->status = n.status == fins::ONCE_SUCCEEDED ? fins::ONCE_SUCCEEDED : fins::ONCE_FAILED;
    if (o->status == fins::ONCE_FAILED) {
        o->outcome = Outcome::GaveUp;
        if (o->detail.empty()) o->detail = "the driver gave up";
        addNotice("one-shot read of " + o->name + " failed");
        return;
    }
    o->outcome = Outcome::Done;
    const Tag* tag = findTag(o->name);
    if (tag) o->values = readTag(*tag);
    addNotice("one-shot read of " + o->name + " done: " +
              (tag ? formatTypedValues(*tag, typedValues(*tag, o->values), kNoticeValues)
                   : std::string()));
}

// "gave up on a write of setpoint (D 100) after 3 bad replies: no reply (result 42)"
std::string HostSession::giveUpText(const RawNotice& n, int result, const RW_VAR& returned) const {
    const std::string where = returned.name.toStdString() + " (" +
                              fins::mnemonicOf(returned.reg_type) + " " +
                              returned.addr_text.toStdString() + ")";
    std::string what = n.req_kind == WRITE_REQ_KIND  ? "a write of " + where
                       : n.req_kind == ONCE_REQ_KIND ? "a one-shot read of " + where
                       : n.req_kind == fins::LIST_READ
                           ? "the cyclic read of " + where
                           : "an exchange for requester kind " + std::to_string(n.req_kind);
    if (options_.multi_station) what += " on station " + std::to_string(returned.station);
    return "gave up on " + what + " after " + std::to_string(options_.retry_limit + 1) +
           " bad replies: " + resultText(result);
}

void HostSession::handleNotices(int last_result, const RW_VAR& returned) {
    for (const RawNotice& n : takeRawNotices()) {
        if (n.kind == RawNotice::OnceDone) {
            onceReadNotice(n);
            continue;
        }
        const std::string text = giveUpText(n, last_result, returned);
        if (n.req_kind == ONCE_REQ_KIND) ledger_.onceGivenUp(returned.station, text);
        ledger_.writesPurged(returned.station,
                             "dropped by the driver after a give-up on its station");
        addNotice(text);
    }
}

} // namespace fhost
