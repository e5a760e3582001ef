#include "host_session.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "notices.h"
#include "tag_values.h"

namespace fhost {

namespace {

const int kBackoffFirstMs = 20;
const int kBackoffMaxMs = 1000;
const size_t kNoticesKept = 200;

double millisBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

uint32_t be32(const QByteArray& bytes, int pos) {
    if (pos < 0 || pos + 4 > bytes.size()) return 0xFFFFFFFFu;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + pos;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

Bytes toBytes(const QByteArray& q) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(q.constData());
    return Bytes(p, p + q.size());
}

} // namespace

// A station's way to its PLC: the connection, whether a node address exchange has
// been made on it, the last accepted node address request (repeated on a new
// connection, since FINS/TCP takes one per connection), and the reconnect backoff.
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
};

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
    std::memcpy(&lw_[HMI_ADDRESS_OFFSET], options_.hmi_ip.data(),
                std::min<size_t>(options_.hmi_ip.size(), HMI_ADDRESS_BYTES));

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
    last_good_ = cycle_start_ = rate_start_ = Clock::now();
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

bool HostSession::queueWrite(const std::string& name, const std::string& value,
                             std::string* error) {
    const Tag* tag = findTag(name);
    if (!tag) {
        *error = "no tag named '" + name + "'";
        return false;
    }
    QByteArray buffer;
    int count = 0;
    if (!parseWriteValues(*tag, value, &buffer, &count, error)) return false;
    WriteAction w;
    w.name = name;
    w.value_text = value;
    w.local_only = options_.run_mode != 2;
    const TagType* type = tagTypeByCode(tag->reg_type);
    w.expected_pieces =
        type->unit == TagUnit::Bit ? count : (count + options_.max_block - 1) / options_.max_block;
    QString qname = QString::fromStdString(tag->name);
    QString addr = QString::fromStdString(tag->addr_text);
    int r = api_.SetRegisterData(&qname, tag->reg_type, &addr, stationOf(*tag), &buffer, count,
                                 WRITE_REQ_KIND, static_cast<int>(writes_.size()));
    if (r == 0) {
        *error = "the driver refused the write of '" + name + "'";
        return false;
    }
    writes_.push_back(w);
    return true;
}

bool HostSession::queueOnceRead(const std::string& name, std::string* error) {
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
    o.name = name;
    once_reads_.push_back(o);
    return true;
}

bool HostSession::actionsPending() const {
    for (const WriteAction& w : writes_)
        if (!w.done()) return true;
    for (const OnceAction& o : once_reads_)
        if (o.status == 0) return true;
    return false;
}

FrameKind HostSession::classify(const Protocol& p) const {
    if (!com_.remote_mode && p.frame.size() == 20 && be32(p.frame, 8) == 0)
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
    routes_.back()->station = station;
    return routes_.back().get();
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
    account(ex, sent, returned ? *returned : RW_VAR());
    return ex;
}

bool HostSession::transmit(Route& route, const QByteArray& frame, FrameKind kind, int reply_len,
                           QByteArray* reply, Exchange* ex) {
    // FINS/TCP takes one node address exchange per connection: a new one gets a new socket.
    if (kind == FrameKind::Handshake && route.node_exchanged) closeRoute(route);
    if (!route.conn.isOpen()) {
        // A station that failed waits out its backoff: no busy loop against a dead PLC.
        if (route.next_attempt > Clock::now()) std::this_thread::sleep_until(route.next_attempt);
        if (!route.has_endpoint) {
            ex->transport_error = "no PLC given for station " + std::to_string(route.station);
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
    if (!sendAndReceive(route, frame, reply_len, deadline, reply, &error)) {
        ex->transport_error = error;
        closeRoute(route);
        return false;
    }
    route.backoff_ms = 0;
    return true;
}

bool HostSession::openRoute(Route& route, FrameKind kind, Clock::time_point deadline,
                            Exchange* ex) {
    std::string error;
    if (!route.conn.open(deadline, &error)) {
        ex->transport_error = error;
        backOff(route);
        return false;
    }
    ++counters_.connects;
    route.node_exchanged = false;
    const uint32_t n = static_cast<uint32_t>(flows_opened_++);
    route.flow.reset(new TcpFlow(route.conn.localIp(), route.conn.localPort(), route.conn.peerIp(),
                                 FINS_TCP_PORT, 0x10000000u + n * 0x10000u,
                                 0x20000000u + n * 0x10000u));
    if (pcap_.isOpen()) pcap_.write(route.flow->open());
    const bool replay =
        !options_.remote_mode && kind != FrameKind::Handshake && !route.node_request.isEmpty();
    if (replay && !replayNodeAddress(route, deadline)) {
        ex->transport_error = "node address exchange on the new connection failed";
        closeRoute(route);
        backOff(route);
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
    return reply.size() == 24 && be32(reply, 12) == 0;
}

bool HostSession::sendAndReceive(Route& route, const QByteArray& frame, int reply_len,
                                 Clock::time_point deadline, QByteArray* reply,
                                 std::string* error) {
    if (!route.conn.sendAll(frame, deadline, error)) {
        ++counters_.connection_losses;
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
    if (s == ReadStatus::Complete) return true;
    *error = readStatusName(s);
    if (s == ReadStatus::Timeout) ++counters_.timeouts;
    if (s == ReadStatus::Closed) ++counters_.connection_losses;
    if (s == ReadStatus::Malformed) {
        route.conn.close(); // the stream can no longer be framed; the driver judges the bytes
        return true;
    }
    reply->clear();
    return false;
}

void HostSession::closeRoute(Route& route) {
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

void HostSession::closeConnections() {
    for (auto& r : routes_)
        closeRoute(*r);
}

void HostSession::record(Route& route, bool from_client, const QByteArray& bytes) {
    if (!pcap_.isOpen() || !route.flow) return;
    pcap_.write(from_client ? route.flow->clientSends(toBytes(bytes))
                            : route.flow->serverSends(toBytes(bytes)));
}

void HostSession::account(const Exchange& ex, const RW_VAR& sent, const RW_VAR& returned) {
    ++counters_.exchanges;
    ++rate_exchanges_;
    const int r = ex.result;
    if (ex.kind == FrameKind::Handshake) {
        ++counters_.handshakes;
        if (r == 201) ++counters_.handshake_refusals;
    } else if (isGoodResult(r)) {
        ++counters_.good;
    } else if (r == 0) {
        ++counters_.retries;
    } else if (isGiveUpResult(r)) {
        ++counters_.failures;
    }
    if (isGoodResult(r) && ex.kind != FrameKind::Handshake) last_good_ = Clock::now();
    if (ex.kind == FrameKind::Write && sent.req_kind == WRITE_REQ_KIND && sent.req_id >= 0 &&
        sent.req_id < static_cast<int>(writes_.size()) && r != 0) {
        WriteAction& w = writes_[sent.req_id];
        w.last_result = r;
        if (isGoodResult(r))
            ++w.acked;
        else
            ++w.failed;
    }
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

void HostSession::handleNotices(int last_result, const RW_VAR& returned) {
    for (const RawNotice& n : takeRawNotices()) {
        std::string text;
        if (n.kind == RawNotice::OnceDone) {
            const bool mine = n.cb_context == HOST_CB_CONTEXT && n.req_kind == ONCE_REQ_KIND &&
                              n.req_id >= 0 && n.req_id < static_cast<int>(once_reads_.size());
            if (!mine) {
                text = "one-shot read notice for requester " + std::to_string(n.req_kind) + "/" +
                       std::to_string(n.req_id) + ", status " + std::to_string(n.status);
            } else {
                OnceAction& o = once_reads_[n.req_id];
                o.status = n.status == 1 ? 1 : 2;
                if (o.status == 1) {
                    const Tag* tag = findTag(o.name);
                    if (tag) o.values = readTag(*tag);
                    text = "one-shot read of " + o.name +
                           " done: " + (tag ? formatValues(*tag, o.values, 8) : std::string());
                } else {
                    text = "one-shot read of " + o.name + " failed";
                }
            }
        } else {
            text = "gave up on an exchange for requester kind " + std::to_string(n.req_kind) +
                   " (result " + std::to_string(last_result) + ", " + returned.name.toStdString() +
                   " " + returned.addr_text.toStdString() + ", station " +
                   std::to_string(returned.station) + ")";
        }
        notices_.push_back(text);
    }
    if (notices_.size() > kNoticesKept)
        notices_.erase(notices_.begin(), notices_.end() - kNoticesKept);
}

} // namespace fhost
