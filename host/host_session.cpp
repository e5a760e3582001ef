#include "host_session.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "fins_peer.h"
#include "fins_words.h"
#include "notices.h"
#include "tag_values.h"

namespace fhost {

namespace {

const int kBackoffFirstMs = 20;
const int kBackoffMaxMs = 2000;
const size_t kNoticesKept = 200;
const double kNoticeFoldMs = 1000;
const size_t kNoticeValues = 8;

double millisBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Why a node address exchange failed: the FINS/TCP error code, or a reply too short for one.
std::string nodeRefusalText(const QByteArray& reply) {
    const long long code = fins::replyErrorCode(reply);
    return "node address refused: " + (code < 0
                                           ? "a reply of " + std::to_string(reply.size()) + " bytes"
                                           : finsTcpErrorText(static_cast<uint32_t>(code)));
}

// The station's reason for a reply that did not come.
std::string transportReason(ReadStatus s, int timeout_ms) {
    switch (s) {
    case ReadStatus::Timeout:
        return "no answer within " + std::to_string(timeout_ms) + " ms";
    case ReadStatus::Closed:
        return "closed by the PLC";
    case ReadStatus::Malformed:
        return "reply with an impossible FINS/TCP length";
    default:
        return readStatusName(s);
    }
}

} // namespace

// A station's way to its PLC: the connection, whether a node address exchange has
// been made on it, the last accepted node address request (repeated on a new
// connection, since FINS/TCP takes one per connection), and the reconnect backoff.
// Every new connection waits out the backoff, which a good reply alone resets.
struct HostSession::Route {
    explicit Route(const Endpoint& e, bool known) : conn(e), has_endpoint(known) {}
    PlcConnection conn;
    bool has_endpoint;
    bool node_exchanged = false;
    QByteArray node_request;
    Clock::time_point next_attempt;
    int backoff_ms = 0;
    std::unique_ptr<TcpFlow> flow;
    int station = 0;
    StationStatus status;
};

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pending:
        return "pending";
    case Outcome::Done:
        return "done";
    case Outcome::Refused:
        return "refused";
    case Outcome::GaveUp:
        return "gave up";
    }
    return "?";
}

const char* frameKindName(FrameKind kind) {
    switch (kind) {
    case FrameKind::None:
        return "none";
    case FrameKind::Handshake:
        return "node address";
    case FrameKind::CyclicRead:
        return "cyclic read";
    case FrameKind::OnceRead:
        return "one-shot read";
    case FrameKind::Write:
        return "write";
    case FrameKind::Other:
        return "other";
    }
    return "?";
}

HostSession::HostSession(const HostOptions& options, DriverApi& api)
    : options_(options), api_(api), lb_(LB_AREA_BYTES, 0), lw_(LW_AREA_BYTES, 0),
      rwi_(RWI_AREA_BYTES, 0) {
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

    QList<VAR_DESC> descs;
    for (const Tag& t : tags_) {
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
    for (const Tag& t : tags_)
        routeFor(stationOf(t)); // every station is listed from the start
    started_ = last_good_ = cycle_start_ = rate_start_ = Clock::now();
    return true;
}

int HostSession::stationOf(const Tag& tag) const {
    return tag.station == DEFAULT_STATION ? options_.default_station : tag.station;
}

const Tag* HostSession::findTag(const std::string& name) const {
    for (const Tag& t : tags_)
        if (t.name == name) return &t;
    return nullptr;
}

std::vector<int> HostSession::readTag(const Tag& tag) const {
    QString name = QString::fromStdString(tag.name);
    QString addr = QString::fromStdString(tag.addr_text);
    QByteArray buffer;
    if (api_.GetRegisterData(&name, tag.reg_type, &addr, stationOf(tag), &buffer, tag.length) != 1)
        return std::vector<int>();
    return decodeValues(tag, buffer, tag.length);
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
    WriteAction w;
    w.id = id;
    w.station = stationOf(*tag);
    w.name = name;
    w.value_text = value;
    w.local_only = options_.run_mode != 2;
    w.expected_pieces = tagType(*tag).unit == fins::Unit::Bit
                            ? count
                            : (count + options_.max_block - 1) / options_.max_block;
    QString qname = QString::fromStdString(tag->name);
    QString addr = QString::fromStdString(tag->addr_text);
    int r = api_.SetRegisterData(&qname, tag->reg_type, &addr, stationOf(*tag), &buffer, count,
                                 WRITE_REQ_KIND, static_cast<int>(writes_.size()));
    if (r == 0) {
        *error = "the driver refused the write of '" + name + "'";
        return false;
    }
    if (w.local_only) {
        w.outcome = Outcome::Done;
        w.detail = "written to the driver's store only (--run-mode)";
    }
    writes_.push_back(w);
    return true;
}

bool HostSession::queueOnceRead(const std::string& name, std::string* error, quint64 id) {
    const Tag* tag = findTag(name);
    if (!tag) {
        *error = "no tag named '" + name + "'";
        return false;
    }
    RW_VAR v;
    v.req_kind = ONCE_REQ_KIND;
    v.req_id = static_cast<int>(once_reads_.size());
    v.access = 0;
    v.link_mode = com_.remote_mode;
    v.link_id = com_.local_link;
    v.result = 0;
    v.name = QString::fromStdString(tag->name);
    v.addr_text = QString::fromStdString(tag->addr_text);
    v.reg_type = tag->reg_type;
    v.address = 0;
    v.station = stationOf(*tag);
    v.length = tag->length;
    v.aux1 = v.aux2 = 0;
    if (api_.AddListOnceReadVar(&v, 0) == 0) {
        *error = "the driver refused the one-shot read of '" + name + "'";
        return false;
    }
    OnceAction o;
    o.id = id;
    o.name = name;
    once_reads_.push_back(o);
    return true;
}

void HostSession::refuseAction(bool write, const std::string& name, const std::string& value,
                               const std::string& why, quint64 id) {
    if (write) {
        WriteAction w;
        w.id = id;
        w.name = name;
        w.value_text = value;
        w.outcome = Outcome::Refused;
        w.detail = why;
        writes_.push_back(w);
    } else {
        OnceAction o;
        o.id = id;
        o.name = name;
        o.status = 2;
        o.outcome = Outcome::Refused;
        o.detail = why;
        once_reads_.push_back(o);
    }
    addNotice((write ? "write " + name + "=" + value : "one-shot read of " + name) +
              ": refused: " + why);
}

void HostSession::abandonPending() {
    const std::string why = "not answered before the end of the run";
    for (WriteAction& w : writes_)
        if (w.outcome == Outcome::Pending) {
            w.outcome = Outcome::GaveUp;
            w.detail = why;
        }
    for (OnceAction& o : once_reads_)
        if (o.outcome == Outcome::Pending) {
            o.outcome = Outcome::GaveUp;
            o.detail = why;
        }
}

bool HostSession::actionsPending() const {
    for (const WriteAction& w : writes_)
        if (!w.done()) return true;
    for (const OnceAction& o : once_reads_)
        if (o.outcome == Outcome::Pending) return true;
    return false;
}

bool HostSession::anyActionFailed() const {
    for (const WriteAction& w : writes_)
        if (w.outcome == Outcome::Refused || w.outcome == Outcome::GaveUp) return true;
    for (const OnceAction& o : once_reads_)
        if (o.outcome == Outcome::Refused || o.outcome == Outcome::GaveUp) return true;
    return false;
}

std::vector<StationStatus> HostSession::stations() const {
    std::vector<StationStatus> out;
    for (const auto& r : routes_)
        out.push_back(r->status);
    std::sort(out.begin(), out.end(),
              [](const StationStatus& a, const StationStatus& b) { return a.station < b.station; });
    return out;
}

bool HostSession::tagAge(const Tag& tag, double* age_ms) const {
    for (const auto& r : routes_) {
        if (r->station != stationOf(tag)) continue;
        if (!r->status.ever_read) return false;
        *age_ms = millisBetween(r->status.last_read, Clock::now());
        return true;
    }
    return false;
}

bool HostSession::isStale(const Tag& tag) const {
    double age = 0;
    return !tagAge(tag, &age) || age > options_.timeout_ms;
}

FrameKind HostSession::classify(const Protocol& p) const {
    fins::Reader in(p.frame);
    fins::TcpHeader tcp;
    if (!com_.remote_mode && p.frame.size() == fins::NODE_ADDRESS_REQUEST_SIZE &&
        fins::decodeTcpHeader(in, tcp) && tcp.command == fins::TCP_NODE_ADDRESS_SEND)
        return FrameKind::Handshake;
    if (p.var.access == 1) return FrameKind::Write;
    if (p.var.req_kind == 0 && p.var.req_id == -1) return FrameKind::CyclicRead;
    if (p.var.req_kind == ONCE_REQ_KIND) return FrameKind::OnceRead;
    return FrameKind::Other;
}

HostSession::Route* HostSession::routeFor(int station) {
    for (auto& r : routes_)
        if (r->station == station) return r.get();
    auto it = options_.stations.find(station);
    bool known = it != options_.stations.end();
    Endpoint e = known ? it->second : options_.plc;
    if (!known && (!options_.multi_station || station == options_.default_station)) known = true;
    routes_.emplace_back(new Route(e, known));
    Route* r = routes_.back().get();
    r->conn.setWaitHook(&wait_hook_);
    r->station = station;
    r->status.station = station;
    r->status.address = known ? e.text() : std::string();
    r->status.state = "idle";
    return r;
}

Exchange HostSession::exchangeOnce() {
    Exchange ex;
    Protocol* p = api_.ComCommunication();
    if (!p) {
        handleNotices(1, RW_VAR());
        return ex;
    }
    const int send_len = std::max(0, std::min(p->send_len, p->frame.size()));
    const QByteArray frame = p->frame.left(send_len);
    const RW_VAR sent = p->var;
    const int reply_len = p->reply_len;
    ex.kind = classify(*p);
    ex.station = sent.station;

    Route* route = routeFor(ex.station);
    // FINS/TCP takes one node address exchange per connection: a new one gets a new socket.
    if (ex.kind == FrameKind::Handshake && route->node_exchanged) closeRoute(*route);
    // The frame stays outstanding in the driver, which hands it out again next turn.
    if (!route->conn.isOpen() && route->next_attempt > Clock::now()) {
        ex.waiting = true;
        return ex;
    }
    QByteArray reply;
    if (!transmit(*route, frame, ex.kind, reply_len, &reply, &ex)) reply.clear();
    ex.reply_bytes = reply.size();
    ex.frame = frame;
    ex.reply = reply;
    RW_VAR* returned = api_.DataCom(&reply, reply.size());
    ex.result = returned ? returned->result : 1;
    if (ex.kind == FrameKind::Handshake && !reply.isEmpty()) {
        route->node_exchanged = true;
        if (ex.result == 1) route->node_request = frame;
    }
    judgeReply(*route, ex, sent);
    account(ex, returned ? *returned : RW_VAR());
    return ex;
}

Clock::time_point HostSession::nextAttempt() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& r : routes_)
        if (!r->conn.isOpen()) next = std::min(next, r->next_attempt);
    return next;
}

bool HostSession::transmit(Route& route, const QByteArray& frame, FrameKind kind, int reply_len,
                           QByteArray* reply, Exchange* ex) {
    if (!route.conn.isOpen()) {
        if (!route.has_endpoint) {
            ex->transport_error = "no PLC given for station " + std::to_string(route.station);
            markDown(route, "no --station address for station " + std::to_string(route.station));
            backOff(route);
            return false;
        }
        const Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
        if (!openRoute(route, kind, deadline, ex)) return false;
    }
    counters_.stale_bytes += route.conn.discardStale();
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
    std::string error;
    const Clock::time_point sent_at = Clock::now();
    ex->sent = true;
    if (!sendAndReceive(route, frame, reply_len, deadline, reply, &error)) {
        ex->transport_error = error;
        closeRoute(route);
        return false;
    }
    route.status.rtt_ms = millisBetween(sent_at, Clock::now());
    return true;
}

bool HostSession::openRoute(Route& route, FrameKind kind, Clock::time_point deadline,
                            Exchange* ex) {
    std::string error;
    ++route.status.connects;
    if (!route.conn.open(deadline, &error)) {
        ex->transport_error = error;
        backOff(route);
        ++counters_.connect_failures;
        markDown(route, error);
        return false;
    }
    ++counters_.connects;
    if (route.status.state != "online") route.status.state = "connecting";
    route.node_exchanged = false;
    const uint32_t n = static_cast<uint32_t>(flows_opened_++);
    const uint16_t plc_port = options_.remote_mode ? REMOTE_PCAP_PORT : FINS_TCP_PORT;
    route.flow.reset(new TcpFlow(route.conn.localIp(), route.conn.localPort(), route.conn.peerIp(),
                                 plc_port, 0x10000000u + n * 0x10000u, 0x20000000u + n * 0x10000u));
    if (pcap_.isOpen()) pcap_.write(route.flow->open());
    const bool replay =
        !options_.remote_mode && kind != FrameKind::Handshake && !route.node_request.isEmpty();
    if (replay && !replayNodeAddress(route, deadline)) {
        ex->transport_error = "node address exchange on the new connection failed";
        closeRoute(route);
        return false;
    }
    return true;
}

bool HostSession::replayNodeAddress(Route& route, Clock::time_point deadline) {
    QByteArray reply;
    std::string error;
    if (!sendAndReceive(route, route.node_request, -1, deadline, &reply, &error)) return false;
    route.node_exchanged = true;
    ++counters_.session_reopens;
    fins::NodePair nodes;
    if (fins::decodeNodeAddressReply(reply, nodes)) return true;
    markDown(route, nodeRefusalText(reply));
    return false;
}

bool HostSession::sendAndReceive(Route& route, const QByteArray& frame, int reply_len,
                                 Clock::time_point deadline, QByteArray* reply,
                                 std::string* error) {
    if (!route.conn.sendAll(frame, deadline, error)) {
        ++counters_.connection_losses;
        markDown(route, "send failed: " + *error);
        return false;
    }
    ++counters_.frames_sent;
    ++cycle_frames_;
    record(route, true, frame);
    ReadStatus s = options_.remote_mode ? route.conn.readFixedReply(reply_len, deadline, reply)
                                        : route.conn.readFinsReply(deadline, reply);
    // Bytes beyond the announced length answer nothing else: hand them over with the
    // reply so the driver sees its true length.
    if (s == ReadStatus::Complete) route.conn.appendWaiting(reply);
    if (!reply->isEmpty()) record(route, false, *reply);
    if (options_.remote_mode && looksLikeFinsTcp(*reply))
        markDown(route, "FINS/TCP reply to a remote-mode frame (the port speaks FINS/TCP: "
                        "no --remote-mode?)");
    if (s == ReadStatus::Complete) return true;
    *error = readStatusName(s);
    if (s == ReadStatus::Timeout) ++counters_.timeouts;
    if (s == ReadStatus::Closed) ++counters_.connection_losses;
    if (!options_.remote_mode || !looksLikeFinsTcp(*reply))
        markDown(route, transportReason(s, options_.timeout_ms));
    if (s == ReadStatus::Malformed || s == ReadStatus::NotFins) {
        closeRoute(route); // the stream can no longer be framed; the driver judges the bytes
        return true;
    }
    reply->clear();
    return false;
}

// Whatever ended a connection, the next one waits out the station's backoff.
void HostSession::closeRoute(Route& route) {
    if (route.conn.isOpen()) backOff(route);
    if (route.conn.isOpen() && route.flow && pcap_.isOpen()) pcap_.write(route.flow->close());
    route.conn.close();
    route.flow.reset();
    route.node_exchanged = false;
}

void HostSession::backOff(Route& route) {
    route.backoff_ms =
        route.backoff_ms == 0 ? kBackoffFirstMs : std::min(route.backoff_ms * 2, kBackoffMaxMs);
    route.next_attempt = Clock::now() + std::chrono::milliseconds(route.backoff_ms);
}

void HostSession::markDown(Route& route, const std::string& reason) {
    route.status.state = "down";
    route.status.reason = reason;
}

// What the reply says beyond the driver's judgement: the station's state, a refused
// node address, and the FINS end code of a write.
void HostSession::judgeReply(Route& route, const Exchange& ex, const RW_VAR& sent) {
    StationStatus& st = route.status;
    if (ex.kind == FrameKind::Handshake) {
        if (ex.result == 201 && fins::replyErrorCode(ex.reply) >= 0)
            markDown(route, nodeRefusalText(ex.reply));
        return;
    }
    if (isGoodResult(ex.result) && ex.sent) {
        ++st.good;
        st.state = "online";
        st.reason.clear();
        route.backoff_ms = 0;
        if (ex.kind == FrameKind::CyclicRead) {
            st.ever_read = true;
            st.last_read = Clock::now();
        }
    } else if (ex.result == 0 && ex.sent && !options_.remote_mode) {
        const long long code = fins::replyErrorCode(ex.reply); // -1 when too short for one
        if (code > 0) markDown(route, finsTcpErrorText(static_cast<uint32_t>(code)));
    } else if (isGiveUpResult(ex.result)) {
        ++st.failures;
        if (st.reason.empty()) markDown(route, "gave up: " + resultText(ex.result));
        st.state = "down";
    }
    settleWrite(ex, sent);
}

void HostSession::settleWrite(const Exchange& ex, const RW_VAR& sent) {
    if (ex.kind != FrameKind::Write || sent.req_kind != WRITE_REQ_KIND || sent.req_id < 0 ||
        sent.req_id >= static_cast<int>(writes_.size()) || ex.result == 0)
        return;
    WriteAction& w = writes_[sent.req_id];
    w.last_result = ex.result;
    if (isGoodResult(ex.result)) {
        // A reply the driver found good but without an end code refuses nothing.
        const long long end_code = options_.remote_mode ? 0 : fins::replyEndCode(ex.reply);
        const uint16_t code = end_code > 0 ? maskedEndCode(static_cast<uint16_t>(end_code)) : 0;
        if (code != 0) {
            ++w.refused;
            w.detail = endCodeText(code);
        } else {
            ++w.acked;
        }
    } else {
        ++w.failed;
        w.detail = "after " + std::to_string(options_.retry_limit + 1) +
                   " bad replies: " + resultText(ex.result);
    }
    const bool answered = w.acked + w.failed + w.refused >= w.expected_pieces;
    if (w.outcome != Outcome::Pending || (!answered && w.failed == 0)) return;
    w.outcome = w.failed ? Outcome::GaveUp : w.refused ? Outcome::Refused : Outcome::Done;
    const std::string what = "write " + w.name + "=" + w.value_text + ": ";
    if (w.outcome == Outcome::Done) addNotice(what + "done");
    if (w.outcome == Outcome::Refused) addNotice(what + "refused: " + w.detail);
}

// The driver purges the station's queued writes when it gives up (all of them in
// single-station mode): they will never be answered.
void HostSession::dropPendingWrites(int station) {
    for (WriteAction& w : writes_) {
        if (w.outcome != Outcome::Pending || w.local_only) continue;
        if (options_.multi_station && w.station != station) continue;
        w.outcome = Outcome::GaveUp;
        if (w.detail.empty()) w.detail = "dropped by the driver after a give-up on its station";
    }
}

void HostSession::closeConnections() {
    for (auto& r : routes_)
        closeRoute(*r);
}

void HostSession::record(Route& route, bool from_client, const QByteArray& bytes) {
    if (!pcap_.isOpen() || !route.flow) return;
    pcap_.write(from_client ? route.flow->clientSends(bytes) : route.flow->serverSends(bytes));
}

void HostSession::account(const Exchange& ex, const RW_VAR& returned) {
    if (ex.sent) {
        ++counters_.exchanges;
        ++rate_exchanges_;
    }
    const int r = ex.result;
    if (ex.kind == FrameKind::Handshake) {
        if (ex.sent) ++counters_.handshakes;
        if (r == 201 && ex.reply_bytes > 0) ++counters_.handshake_refusals;
    } else if (isGoodResult(r)) {
        ++counters_.good;
    } else if (r == 0) {
        ++counters_.retries;
    } else if (isGiveUpResult(r)) {
        ++counters_.failures;
    }
    if (isGoodResult(r) && ex.sent && ex.kind != FrameKind::Handshake) last_good_ = Clock::now();
    countCycle(ex);
    handleNotices(r, returned);

    const Clock::time_point now = Clock::now();
    const double window_ms = millisBetween(rate_start_, now);
    if (window_ms >= 1000 || counters_.exchanges_per_second == 0) {
        if (window_ms > 0) counters_.exchanges_per_second = rate_exchanges_ * 1000.0 / window_ms;
        if (window_ms >= 1000) {
            rate_start_ = now;
            rate_exchanges_ = 0;
        }
    }
}

void HostSession::countCycle(const Exchange& ex) {
    if (ex.kind != FrameKind::CyclicRead || !isGoodResult(ex.result)) return;
    if (++cycle_good_reads_ < block_count_) return;
    const Clock::time_point now = Clock::now();
    ++counters_.cycles;
    counters_.last_cycle_ms = millisBetween(cycle_start_, now);
    counters_.last_cycle_frames = cycle_frames_;
    cycle_start_ = now;
    cycle_good_reads_ = 0;
    cycle_frames_ = 0;
}

void HostSession::addNotice(const std::string& text) {
    const Clock::time_point now = Clock::now();
    for (auto it = notices_.rbegin(); it != notices_.rend(); ++it) {
        if (millisBetween(it->last, now) >= kNoticeFoldMs) break;
        if (it->text != text) continue;
        ++it->count;
        it->last = now;
        return;
    }
    notices_.push_back(Notice{text, 1, now});
    if (notices_.size() > kNoticesKept) {
        notices_dropped_ += static_cast<long>(notices_.size() - kNoticesKept);
        notices_.erase(notices_.begin(), notices_.end() - kNoticesKept);
    }
}

void HostSession::onceReadNotice(const RawNotice& n) {
    const bool mine = n.cb_context == HOST_CB_CONTEXT && n.req_kind == ONCE_REQ_KIND &&
                      n.req_id >= 0 && n.req_id < static_cast<int>(once_reads_.size());
    if (!mine) {
        addNotice("one-shot read notice for requester " + std::to_string(n.req_kind) + "/" +
                  std::to_string(n.req_id) + ", status " + std::to_string(n.status));
        return;
    }
    OnceAction& o = once_reads_[n.req_id];
    o.status = n.status == 1 ? 1 : 2;
    if (o.status == 2) {
        o.outcome = Outcome::GaveUp;
        if (o.detail.empty()) o.detail = "the driver gave up";
        addNotice("one-shot read of " + o.name + " failed");
        return;
    }
    o.outcome = Outcome::Done;
    const Tag* tag = findTag(o.name);
    if (tag) o.values = readTag(*tag);
    addNotice("one-shot read of " + o.name +
              " done: " + (tag ? formatValues(*tag, o.values, kNoticeValues) : std::string()));
}

// "gave up on a write of setpoint (D 100) after 3 bad replies: no reply (result 42)"
std::string HostSession::giveUpText(const RawNotice& n, int result, const RW_VAR& returned) const {
    const std::string where = returned.name.toStdString() + " (" +
                              fins::mnemonicOf(returned.reg_type) + " " +
                              returned.addr_text.toStdString() + ")";
    std::string what = n.req_kind == WRITE_REQ_KIND  ? "a write of " + where
                       : n.req_kind == ONCE_REQ_KIND ? "a one-shot read of " + where
                       : n.req_kind == 0
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
        if (n.req_kind == ONCE_REQ_KIND)
            for (OnceAction& o : once_reads_)
                if (o.outcome == Outcome::Pending && o.detail.empty()) o.detail = text;
        dropPendingWrites(returned.station);
        addNotice(text);
    }
}

} // namespace fhost
