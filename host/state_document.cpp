#include "state_document.h"

#include <QJsonArray>

#include "screen.h"

namespace fhost {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

double millisSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

QJsonArray ints(const std::vector<int>& values) {
    QJsonArray out;
    for (int v : values)
        out.append(v);
    return out;
}

QJsonObject status(const HostSession& s) {
    const Counters& c = s.counters();
    const double seconds = millisSince(s.startedAt(), Clock::now()) / 1000;
    QJsonObject o;
    o["cycle_ms"] = c.last_cycle_ms;
    o["frames_per_cycle"] = static_cast<double>(c.last_cycle_frames);
    o["exchanges_per_second"] = seconds > 0 ? c.exchanges / seconds : 0.0;
    o["retries"] = static_cast<double>(c.retries);
    o["failures"] = static_cast<double>(c.failures);
    o["online"] = isOnline(s);
    o["summary"] = text(statusLine(s));
    return o;
}

QJsonObject counters(const HostSession& s) {
    const Counters& c = s.counters();
    const std::pair<const char*, long> fields[] = {
        {"exchanges", c.exchanges},
        {"frames_sent", c.frames_sent},
        {"good", c.good},
        {"retries", c.retries},
        {"failures", c.failures},
        {"handshakes", c.handshakes},
        {"handshake_refusals", c.handshake_refusals},
        {"timeouts", c.timeouts},
        {"connection_losses", c.connection_losses},
        {"connects", c.connects},
        {"connect_failures", c.connect_failures},
        {"session_reopens", c.session_reopens},
        {"cycles", c.cycles},
        {"read_blocks", s.blockCount()},
        {"frames_per_cycle", c.last_cycle_frames},
        {"offline", s.comInfo().offline},
    };
    QJsonObject o;
    for (const auto& f : fields)
        o[f.first] = static_cast<double>(f.second);
    o["last_cycle_ms"] = c.last_cycle_ms;
    o["exchanges_per_second"] = status(s)["exchanges_per_second"];
    return o;
}

QJsonObject tag(const HostSession& s, const Tag& t) {
    double age = 0;
    QJsonObject o;
    o["name"] = text(t.name);
    o["type"] = t.reg_type;
    o["type_name"] = fins::mnemonicOf(tagType(t).code);
    o["address"] = text(t.addr_text);
    o["station"] = s.stationOf(t);
    o["values"] = ints(s.readTag(t));
    o["age_ms"] = s.tagAge(t, &age) ? QJsonValue(age) : QJsonValue();
    o["stale"] = s.isStale(t);
    return o;
}

QJsonObject station(const StationStatus& st) {
    QJsonObject o;
    o["station"] = st.station;
    o["address"] = text(st.address);
    o["state"] = text(st.state);
    o["reason"] = text(st.reason);
    o["connects"] = static_cast<double>(st.connects);
    o["good"] = static_cast<double>(st.good);
    o["failures"] = static_cast<double>(st.failures);
    o["rtt_ms"] = st.rtt_ms < 0 ? QJsonValue() : QJsonValue(st.rtt_ms);
    return o;
}

QJsonArray actions(const HostSession& s) {
    QJsonArray out;
    for (const WriteAction& w : s.writes()) {
        QJsonObject o;
        o["id"] = static_cast<double>(w.id);
        o["kind"] = "write";
        o["tag"] = text(w.name);
        o["value"] = text(w.value_text);
        o["outcome"] = outcomeName(w.outcome);
        o["detail"] = text(w.detail);
        o["values"] = QJsonArray();
        out.append(o);
    }
    for (const OnceAction& r : s.onceReads()) {
        QJsonObject o;
        o["id"] = static_cast<double>(r.id);
        o["kind"] = "read-once";
        o["tag"] = text(r.name);
        o["outcome"] = outcomeName(r.outcome);
        o["detail"] = text(r.detail);
        o["values"] = ints(r.values);
        out.append(o);
    }
    return out;
}

// The report's earlier per-kind lists, kept for the scripts that read them.
void legacyLists(const HostSession& s, QJsonObject* doc) {
    QJsonArray values, writes, once;
    for (const Tag& t : s.tags()) {
        QJsonObject o;
        o["name"] = text(t.name);
        o["type"] = fins::mnemonicOf(tagType(t).code);
        o["address"] = text(t.addr_text);
        o["station"] = s.stationOf(t);
        o["values"] = ints(s.readTag(t));
        values.append(o);
    }
    for (const WriteAction& w : s.writes()) {
        QJsonObject o;
        o["name"] = text(w.name);
        o["value"] = text(w.value_text);
        o["local_only"] = w.local_only;
        o["acked"] = w.acked;
        o["failed"] = w.failed;
        o["refused"] = w.refused;
        o["last_result"] = w.last_result;
        writes.append(o);
    }
    for (const OnceAction& r : s.onceReads()) {
        QJsonObject o;
        o["name"] = text(r.name);
        o["status"] = r.status;
        o["values"] = ints(r.values);
        once.append(o);
    }
    (*doc)["values"] = values;
    (*doc)["writes"] = writes;
    (*doc)["read_once"] = once;
}

} // namespace

QJsonObject stateDocument(const HostSession& s) {
    QJsonObject doc;
    doc["status"] = status(s);
    doc["counters"] = counters(s);
    QJsonArray tags, stations, notices;
    for (const Tag& t : s.tags())
        tags.append(tag(s, t));
    for (const StationStatus& st : s.stations())
        stations.append(station(st));
    const std::vector<Notice>& all = s.notices();
    const size_t first = all.size() > NOTICES_IN_DOCUMENT ? all.size() - NOTICES_IN_DOCUMENT : 0;
    for (size_t i = first; i < all.size(); ++i) {
        QJsonObject n;
        n["text"] = text(all[i].text);
        n["count"] = all[i].count;
        n["last_ms"] = millisSince(s.startedAt(), all[i].last);
        notices.append(n);
    }
    doc["tags"] = tags;
    doc["stations"] = stations;
    doc["actions"] = actions(s);
    doc["notices"] = notices;
    doc["notices_left_out"] = static_cast<double>(s.noticesDropped() + first);
    legacyLists(s, &doc);
    return doc;
}

} // namespace fhost
