#include "station_link.h"

#include "fins_codec.h"
#include "fins_words.h"

namespace fhost {

namespace {

const int kBackoffFirstMs = 20;
const int kBackoffMaxMs = 2000;
// A station that is down is probed at the backoff's pace, but at least this often, so
// that its return is seen soon.
const std::chrono::milliseconds kProbeEveryMaxMs(500);
// A probe holds the loop, so it gets less time than --timeout-ms allows a reply: a PLC
// on the same network answers a connect and a node address exchange within a few ms.
const std::chrono::milliseconds kProbeTimeLimit(250);

double millisBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
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
    case ReadStatus::NotFins:
        return "not FINS/TCP (remote framing? try --remote-mode)";
    default:
        return readStatusName(s);
    }
}

} // namespace

std::string nodeRefusalText(const QByteArray& reply) {
    const long long code = fins::replyErrorCode(reply);
    return "node address refused: " + (code < 0
                                           ? "a reply of " + std::to_string(reply.size()) + " bytes"
                                           : finsTcpErrorText(static_cast<uint32_t>(code)));
}

StationLink::StationLink(int station, const Endpoint& endpoint, bool has_endpoint,
                         LinkContext& context, const WaitHook* hook)
    : ctx_(context), conn_(endpoint), has_endpoint_(has_endpoint) {
    conn_.setWaitHook(hook);
    status_.station = station;
    status_.address = has_endpoint ? endpoint.text() : std::string();
    status_.state = "idle";
}

Clock::time_point StationLink::deadline() const {
    return Clock::now() + std::chrono::milliseconds(ctx_.options.timeout_ms);
}

void StationLink::freshConnectionFor(const QByteArray& frame, bool node_exchange) {
    const bool probed = conn_.isOpen() && !probe_reply_.isEmpty() && frame == probe_request_;
    if (!node_exchange || !probed) {
        probe_request_.clear();
        probe_reply_.clear();
    }
    if (node_exchange && node_exchanged_ && !probed) close();
}

bool StationLink::exchange(const QByteArray& frame, bool node_exchange, int reply_len,
                           QByteArray* reply, std::string* error, bool* sent) {
    *sent = false;
    if (node_exchange && !probe_reply_.isEmpty()) { // made by the probe on this connection
        *reply = probe_reply_;
        probe_request_.clear();
        probe_reply_.clear();
        *sent = true;
        return true;
    }
    if (!conn_.isOpen()) {
        if (!has_endpoint_) {
            *error = "no PLC given for station " + std::to_string(station());
            markDown("no --station address for station " + std::to_string(station()));
            backOff();
            return false;
        }
        if (!open(node_exchange, deadline(), error)) return false;
    }
    ctx_.stats.counters().stale_bytes += conn_.discardStale();
    const Clock::time_point sent_at = Clock::now();
    *sent = true;
    if (!sendAndReceive(frame, reply_len, deadline(), reply, error)) {
        close();
        return false;
    }
    status_.rtt_ms = millisBetween(sent_at, Clock::now());
    return true;
}

void StationLink::nodeExchangeAnswered(const QByteArray& request, const QByteArray& reply,
                                       bool accepted) {
    if (reply.isEmpty()) return;
    node_exchanged_ = true;
    fins::NodePair nodes;
    if (accepted && fins::decodeNodeAddressReply(reply, nodes)) {
        // A new connection asks for the node this one was given (a proposal of 0 lets
        // the PLC assign one, which the driver's frames then carry).
        node_request_ = nodes.hmi_node == 0 ? request : fins::nodeAddressRequest(nodes.hmi_node);
        status_.client_node = nodes.hmi_node;
        status_.plc_node = nodes.plc_node;
    } else if (fins::replyErrorCode(reply) >= 0) {
        markDown(nodeRefusalText(reply));
        close(); // the PLC closes a refused connection; the next one waits out the backoff
    }
}

bool StationLink::probe(const QByteArray& request) {
    if (!has_endpoint_ || waitingOutBackoff()) return false;
    close();
    ++ctx_.stats.counters().probes;
    std::string error;
    const Clock::time_point limit = std::min(deadline(), Clock::now() + kProbeTimeLimit);
    if (!open(true, limit, &error)) return false;
    QByteArray reply;
    const bool answered = sendAndReceive(request, -1, limit, &reply, &error);
    fins::NodePair nodes;
    const bool accepted = answered && fins::decodeNodeAddressReply(reply, nodes);
    if (answered && !accepted) markDown(nodeRefusalText(reply));
    const Clock::time_point now = Clock::now();
    if (!accepted) {
        close();
        next_attempt_ = std::min(next_attempt_, now + kProbeEveryMaxMs);
        return false;
    }
    // Kept for the driver: a PLC with few connections may hold a closed one's for a while.
    node_exchanged_ = true;
    probe_request_ = request;
    probe_reply_ = reply;
    backoff_ms_ = 0;
    next_attempt_ = now;
    return true;
}

bool StationLink::open(bool node_exchange, Clock::time_point limit, std::string* error) {
    ++status_.connects;
    if (!conn_.open(limit, error)) {
        backOff();
        ++ctx_.stats.counters().connect_failures;
        markDown(*error);
        return false;
    }
    ++ctx_.stats.counters().connects;
    if (status_.state != "online") status_.state = "connecting";
    node_exchanged_ = false;
    const uint32_t n = static_cast<uint32_t>(ctx_.flows_opened++);
    const uint16_t plc_port = ctx_.options.remote_mode ? REMOTE_PCAP_PORT : FINS_TCP_PORT;
    flow_.reset(new TcpFlow(conn_.localIp(), conn_.localPort(), conn_.peerIp(), plc_port,
                            0x10000000u + n * 0x10000u, 0x20000000u + n * 0x10000u));
    if (ctx_.pcap.isOpen()) ctx_.pcap.write(flow_->open());
    const bool replay = !ctx_.options.remote_mode && !node_exchange && !node_request_.isEmpty();
    if (replay && !replayNodeAddress(limit)) {
        *error = "node address exchange on the new connection failed";
        close();
        return false;
    }
    return true;
}

bool StationLink::replayNodeAddress(Clock::time_point limit) {
    QByteArray reply;
    std::string error;
    if (!sendAndReceive(node_request_, -1, limit, &reply, &error)) return false;
    node_exchanged_ = true;
    ++ctx_.stats.counters().session_reopens;
    fins::NodePair nodes;
    if (fins::decodeNodeAddressReply(reply, nodes)) return true;
    markDown(nodeRefusalText(reply));
    return false;
}

bool StationLink::sendAndReceive(const QByteArray& frame, int reply_len, Clock::time_point limit,
                                 QByteArray* reply, std::string* error) {
    Counters& c = ctx_.stats.counters();
    const bool remote = ctx_.options.remote_mode;
    if (!conn_.sendAll(frame, limit, error)) {
        ++c.connection_losses;
        markDown("send failed: " + *error);
        return false;
    }
    ctx_.stats.frameSent();
    record(true, frame);
    ReadStatus s =
        remote ? conn_.readFixedReply(reply_len, limit, reply) : conn_.readFinsReply(limit, reply);
    // Bytes beyond the announced length answer nothing else: hand them over with the
    // reply so the driver sees its true length.
    if (s == ReadStatus::Complete) conn_.appendWaiting(reply);
    if (!reply->isEmpty()) record(false, *reply);
    if (remote && looksLikeFinsTcp(*reply))
        markDown("FINS/TCP reply to a remote-mode frame (the port speaks FINS/TCP: "
                 "no --remote-mode?)");
    if (s == ReadStatus::Complete) return true;
    *error = readStatusName(s);
    if (s == ReadStatus::Timeout) ++c.timeouts;
    if (s == ReadStatus::Closed) ++c.connection_losses;
    std::string reason = transportReason(s, ctx_.options.timeout_ms);
    // A FINS peer that stays silent may be a port of the remote framing, which waits
    // for a longer request.
    if (!remote && s == ReadStatus::Timeout && reply->isEmpty() && !node_exchanged_)
        reason += " (a port of the remote framing stays silent to FINS/TCP: --remote-mode?)";
    if (!remote || !looksLikeFinsTcp(*reply)) markDown(reason);
    if (s == ReadStatus::Malformed || s == ReadStatus::NotFins) {
        close(); // the stream can no longer be framed; the driver judges the bytes
        return true;
    }
    reply->clear();
    return false;
}

// Whatever ended a connection, the next one waits out the station's backoff.
void StationLink::close() {
    if (conn_.isOpen()) {
        backOff();
        if (flow_ && ctx_.pcap.isOpen()) ctx_.pcap.write(flow_->close());
    }
    conn_.close();
    flow_.reset();
    node_exchanged_ = false;
    probe_request_.clear();
    probe_reply_.clear();
}

void StationLink::backOff() {
    backoff_ms_ = backoff_ms_ == 0 ? kBackoffFirstMs : std::min(backoff_ms_ * 2, kBackoffMaxMs);
    next_attempt_ = Clock::now() + std::chrono::milliseconds(backoff_ms_);
}

void StationLink::goodReply() {
    ++status_.good;
    status_.state = "online";
    status_.reason.clear();
    backoff_ms_ = 0;
}

void StationLink::gaveUp(const std::string& reason) {
    ++status_.failures;
    markDown(status_.reason.empty() ? reason : status_.reason);
}

void StationLink::markDown(const std::string& reason) {
    status_.state = "down";
    status_.reason = reason;
}

void StationLink::record(bool from_client, const QByteArray& bytes) {
    if (!ctx_.pcap.isOpen() || !flow_) return;
    ctx_.pcap.write(from_client ? flow_->clientSends(bytes) : flow_->serverSends(bytes));
}

} // namespace fhost
