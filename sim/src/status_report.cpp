#include "plcsim/status_report.h"

namespace plcsim {

namespace {

std::string num(uint64_t n) {
    return std::to_string(n);
}

std::string nodeText(int node) {
    return node < 0 ? "-" : std::to_string(node);
}

// The counters as name/value pairs, in the order both formats show them.
template <typename Put> void putCounters(const SimStatus& s, Put put) {
    put("peak-open", s.port.peakOpen);
    put("accepted", s.stats.connectionsAccepted);
    put("refused-all-in-use", s.port.refusedAllInUse);
    put("refused-node-in-use", s.port.refusedNodeInUse);
    put("requests", s.stats.requestsServed);
    put("faults", s.stats.faultsInjected);
}

std::string jsonName(std::string name) {
    for (char& c : name)
        if (c == '-') c = '_';
    return "\"" + name + "\"";
}

} // namespace

std::string statusLine(const SimStatus& s) {
    std::string line = "status open=" + num(s.port.open.size()) +
                       " slots=" + num(s.port.slotsInUse) + "/" +
                       (s.rules.slotLimit ? num(s.rules.slotLimit) : std::string("-")) +
                       " releasing=" + num(s.port.releasing.size());
    putCounters(s, [&line](const char* name, uint64_t v) {
        line += " " + std::string(name) + "=" + num(v);
    });
    for (const PortConnection& c : s.port.open)
        line += " | " + c.peer + " node=" + nodeText(c.node);
    for (const ReleasingSlot& r : s.port.releasing)
        line += " | releasing " + r.peer + " node=" + nodeText(r.node) +
                " in=" + num(r.releaseInMs) + "ms";
    return line;
}

// Peers are "address:port" and need no escaping.
std::string statusJson(const SimStatus& s) {
    std::string open, releasing;
    for (const PortConnection& c : s.port.open)
        open += std::string(open.empty() ? "" : ",") + "{\"peer\":\"" + c.peer +
                "\",\"node\":" + (c.node < 0 ? "null" : num(c.node)) + "}";
    for (const ReleasingSlot& r : s.port.releasing)
        releasing += std::string(releasing.empty() ? "" : ",") + "{\"peer\":\"" + r.peer +
                     "\",\"node\":" + (r.node < 0 ? "null" : num(r.node)) +
                     ",\"release_in_ms\":" + num(r.releaseInMs) + "}";
    std::string json = "{\"slots\":" + num(s.rules.slotLimit) +
                       ",\"release_ms\":" + num(s.rules.releaseMs) +
                       ",\"slots_in_use\":" + num(s.port.slotsInUse);
    putCounters(
        s, [&json](const char* name, uint64_t v) { json += "," + jsonName(name) + ":" + num(v); });
    return json + ",\"open\":[" + open + "],\"releasing\":[" + releasing + "]}";
}

} // namespace plcsim
