#include "provisional_state.h"

#include <QJsonArray>

#include "screen.h"

namespace fhost {

namespace {

QJsonArray intArray(const std::vector<int>& values) {
    QJsonArray out;
    for (int v : values)
        out.append(v);
    return out;
}

QJsonObject action(quint64 id, const char* kind, const std::string& tag, const char* outcome) {
    return QJsonObject{{"id", static_cast<double>(id)}, {"kind", kind},
                       {"tag", QString::fromStdString(tag)}, {"outcome", outcome}, {"detail", ""}};
}

} // namespace

void ProvisionalPump::takeRequests(HostBridge& bridge, HostSession& session) {
    for (const HostBridge::Request& r : bridge.takeRequests()) {
        std::string error;
        const bool write = r.kind == HostBridge::Request::Write;
        const size_t index = write ? session.writes().size() : session.onceReads().size();
        const bool ok = write ? session.queueWrite(r.tag.toStdString(), r.value.toStdString(), &error)
                              : session.queueOnceRead(r.tag.toStdString(), &error);
        if (ok) {
            (write ? write_ids_ : read_ids_)[index] = r.id;
        } else {
            QJsonObject a = action(r.id, write ? "write" : "read-once", r.tag.toStdString(), "refused");
            a["detail"] = QString::fromStdString(error);
            refused_.append(a);
        }
    }
}

QJsonObject ProvisionalPump::document(const HostSession& s) const {
    const bool offline = s.comInfo().offline != 0;
    QJsonArray tags;
    for (const Tag& t : s.tags())
        tags.append(QJsonObject{{"name", QString::fromStdString(t.name)},
                                {"type", t.reg_type},
                                {"type_name", tagTypeByCode(t.reg_type)->mnemonic},
                                {"address", QString::fromStdString(t.addr_text)},
                                {"station", s.stationOf(t)},
                                {"values", intArray(s.readTag(t))},
                                {"age_ms", QJsonValue()},
                                {"stale", offline}});
    const Counters& c = s.counters();
    QJsonArray stations{QJsonObject{{"station", 1}, {"address", ""},
                                    {"state", offline ? "down" : "up"}, {"reason", ""},
                                    {"connects", static_cast<double>(c.connects)},
                                    {"good", static_cast<double>(c.good)},
                                    {"failures", static_cast<double>(c.failures)},
                                    {"rtt_ms", QJsonValue()}}};
    QJsonArray actions = refused_;
    for (const auto& w : write_ids_) {
        const WriteAction& a = s.writes()[w.first];
        actions.append(action(w.second, "write", a.name,
                              !a.done() ? "pending" : a.failed ? "gave up" : "done"));
    }
    for (const auto& r : read_ids_) {
        const OnceAction& a = s.onceReads()[r.first];
        QJsonObject o = action(r.second, "read-once", a.name,
                               a.status == 0 ? "pending" : a.status == 1 ? "done" : "gave up");
        o["values"] = intArray(a.values);
        actions.append(o);
    }
    QJsonArray notices;
    for (const std::string& n : s.notices())
        notices.append(QJsonObject{{"text", QString::fromStdString(n)}, {"count", 1}, {"last_ms", 0}});
    const QJsonObject status{{"cycle_ms", c.last_cycle_ms},
                             {"frames_per_cycle", static_cast<double>(c.last_cycle_frames)},
                             {"exchanges_per_second", c.exchanges_per_second},
                             {"retries", static_cast<double>(c.retries)},
                             {"failures", static_cast<double>(c.failures)},
                             {"online", !offline},
                             {"summary", QString::fromStdString(statusLine(s))}};
    return QJsonObject{{"status", status}, {"counters", QJsonObject{{"exchanges", static_cast<double>(c.exchanges)}}}, {"tags", tags}, {"stations", stations},
                       {"actions", actions}, {"notices", notices}, {"notices_left_out", 0}};
}

} // namespace fhost
