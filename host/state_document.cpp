#include "state_document.h"

#include <QJsonArray>

#include <cmath>
#include <cstdlib>

#include "screen.h"
#include "tag_values.h"

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

// Integers JSON readers take exactly: a double holds every integer up to 2^53.
const double kExactIntegers = 9007199254740992.0;

// A number JSON carries exactly is a number (any finite REAL or LREAL); a text, NaN, an
// infinity, a 64-bit integer beyond 2^53 and an invalid BCD word are strings ("NaN", "-inf",
// "18446744073709551615").
QJsonValue typedJson(const plcvalues::Value& v, const plcvalues::ValueType& type) {
    const bool real =
        type.type == plcvalues::DataType::Real || type.type == plcvalues::DataType::Lreal;
    if (v.kind != plcvalues::Value::Number || !std::isfinite(v.number) ||
        (!real && std::fabs(v.number) > kExactIntegers))
        return text(v.text);
    // REAL 3.14 is the double nearest "3.14", not the float's widened 3.1400001049...
    return std::strtod(v.text.c_str(), nullptr);
}

// The tag's typed values from its elements; empty for a tag the file does not have.
QJsonArray typedArray(const Tag* tag, const std::vector<int>& elements) {
    QJsonArray out;
    if (!tag) return out;
    for (const plcvalues::Value& value : typedValues(*tag, elements))
        out.append(typedJson(value, tag->value_type));
    return out;
}

QJsonObject status(const HostSession& s) {
    const Counters& c = s.counters();
    QJsonObject o;
    o["cycle_ms"] = c.last_cycle_ms;
    o["frames_per_cycle"] = static_cast<double>(c.last_cycle_frames);
    o["exchanges_per_second"] = s.exchangesPerSecond();
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
        {"probes", c.probes},
        {"cycles", c.cycles},
        {"read_blocks", s.blockCount()},
        {"frames_per_cycle", c.last_cycle_frames},
        {"offline", s.comInfo().offline},
    };
    QJsonObject o;
    for (const auto& f : fields)
        o[f.first] = static_cast<double>(f.second);
    o["last_cycle_ms"] = c.last_cycle_ms;
    return o;
}

QJsonObject tag(const TagView& v) {
    const Tag& t = *v.tag;
    QJsonObject o;
    o["name"] = text(t.name);
    o["type"] = t.reg_type;
    o["type_name"] = fins::mnemonicOf(tagType(t).code);
    o["bits"] = tagType(t).unit != fins::Unit::Word; // one 0/1 an element
    o["data_type"] = text(plcvalues::valueTypeName(t.value_type));
    o["address"] = text(t.addr_text);
    QJsonArray addresses; // where each typed value starts
    for (int k = 0; k < t.values; ++k)
        addresses.append(text(valueAddressText(t, k)));
    o["addresses"] = addresses;
    o["station"] = v.station;
    o["values"] = ints(v.values); // the raw elements: words, or 0/1 a bit or flag
    o["typed"] = typedArray(&t, v.values);
    o["age_ms"] = v.read ? QJsonValue(v.age_ms) : QJsonValue();
    o["stale"] = v.stale;
    o["stale_reason"] = text(v.why_stale);
    return o;
}

QJsonArray readBlocks(const HostSession& s) {
    QJsonArray out;
    for (const ReadBlock& b : s.readBlocks()) {
        QJsonObject o;
        o["station"] = b.station;
        o["area"] = fins::mnemonicOf(b.reg_type);
        o["start"] = b.address;
        o["count"] = b.length;
        o["frame"] = b.area_code < 0 ? QJsonValue()
                                     : QJsonObject{{"area_code", b.area_code},
                                                   {"start", b.wire_start},
                                                   {"items", b.items}};
        QJsonArray tags;
        for (const std::string& name : b.tags)
            tags.append(text(name));
        o["tags"] = tags;
        o["rtt_ms"] = b.rtt_ms < 0 ? QJsonValue() : QJsonValue(b.rtt_ms);
        o["good"] = b.good;
        o["reads"] = static_cast<double>(b.reads);
        out.append(o);
    }
    return out;
}

QJsonValue node(int n) {
    return n < 0 ? QJsonValue() : QJsonValue(n);
}

QJsonObject station(const HostSession& s, const StationStatus& st) {
    QJsonObject o;
    o["station"] = st.station;
    o["address"] = text(st.address);
    o["state"] = text(st.state);
    o["reason"] = text(st.reason);
    o["connects"] = static_cast<double>(st.connects);
    o["good"] = static_cast<double>(st.good);
    o["failures"] = static_cast<double>(st.failures);
    o["rtt_ms"] = st.rtt_ms < 0 ? QJsonValue() : QJsonValue(st.rtt_ms);
    o["client_node"] = node(st.client_node);
    o["plc_node"] = node(st.plc_node);
    o["refusal"] = text(s.downReason(st.station)); // why actions are refused; "" when up
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
        o["typed"] = typedArray(s.findTag(r.name), r.values);
        out.append(o);
    }
    return out;
}

// The report's earlier per-kind lists, kept for the scripts that read them.
void legacyLists(const HostSession& s, const std::vector<TagView>& views, QJsonObject* doc) {
    QJsonArray values, writes, once;
    for (const TagView& v : views) {
        QJsonObject o;
        o["name"] = text(v.tag->name);
        o["type"] = fins::mnemonicOf(tagType(*v.tag).code);
        o["address"] = text(v.tag->addr_text);
        o["station"] = v.station;
        o["values"] = ints(v.values);
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

QJsonObject stateDocument(const HostSession& s, const std::vector<TagView>& views) {
    QJsonObject doc;
    doc["status"] = status(s);
    doc["counters"] = counters(s);
    QJsonArray tags, stations, notices;
    for (const TagView& v : views)
        tags.append(tag(v));
    for (const StationStatus& st : s.stations())
        stations.append(station(s, st));
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
    doc["read_blocks"] = readBlocks(s);
    doc["frames_per_pass"] = s.blockCount();
    doc["notices"] = notices;
    doc["notices_left_out"] = static_cast<double>(s.noticesDropped() + first);
    legacyLists(s, views, &doc);
    return doc;
}

} // namespace fhost
