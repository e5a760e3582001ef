#include "screen.h"

#include <cstdio>

#include "tag_values.h"

namespace fhost {

namespace {

const size_t kValuesShown = 8;
const size_t kNoticesOnScreen = 5;

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string padded(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonInts(const std::vector<int>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i)
        out += (i ? "," : "") + std::to_string(values[i]);
    return out + "]";
}

void jsonField(std::string& out, const char* name, const std::string& value, bool last = false) {
    out += jsonString(name) + ":" + value + (last ? "" : ",");
}

std::string jsonTag(const HostSession& s, const Tag& t) {
    std::string out = "{";
    jsonField(out, "name", jsonString(t.name));
    jsonField(out, "type", jsonString(tagTypeByCode(t.reg_type)->mnemonic));
    jsonField(out, "address", jsonString(t.addr_text));
    jsonField(out, "station", std::to_string(s.stationOf(t)));
    jsonField(out, "values", jsonInts(s.readTag(t)), true);
    return out + "}";
}

std::string jsonCounters(const HostSession& s) {
    const Counters& c = s.counters();
    std::string out = "{";
    jsonField(out, "exchanges", std::to_string(c.exchanges));
    jsonField(out, "frames_sent", std::to_string(c.frames_sent));
    jsonField(out, "good", std::to_string(c.good));
    jsonField(out, "retries", std::to_string(c.retries));
    jsonField(out, "failures", std::to_string(c.failures));
    jsonField(out, "handshakes", std::to_string(c.handshakes));
    jsonField(out, "handshake_refusals", std::to_string(c.handshake_refusals));
    jsonField(out, "timeouts", std::to_string(c.timeouts));
    jsonField(out, "connection_losses", std::to_string(c.connection_losses));
    jsonField(out, "connects", std::to_string(c.connects));
    jsonField(out, "session_reopens", std::to_string(c.session_reopens));
    jsonField(out, "cycles", std::to_string(c.cycles));
    jsonField(out, "read_blocks", std::to_string(s.blockCount()));
    jsonField(out, "last_cycle_ms", format("%.3f", c.last_cycle_ms));
    jsonField(out, "frames_per_cycle", std::to_string(c.last_cycle_frames));
    jsonField(out, "exchanges_per_second", format("%.1f", c.exchanges_per_second));
    jsonField(out, "offline", std::to_string(s.comInfo().offline), true);
    return out + "}";
}

std::string jsonActions(const HostSession& s) {
    std::string writes = "[";
    for (size_t i = 0; i < s.writes().size(); ++i) {
        const WriteAction& w = s.writes()[i];
        std::string o = "{";
        jsonField(o, "name", jsonString(w.name));
        jsonField(o, "value", jsonString(w.value_text));
        jsonField(o, "local_only", w.local_only ? "true" : "false");
        jsonField(o, "acked", std::to_string(w.acked));
        jsonField(o, "failed", std::to_string(w.failed));
        jsonField(o, "last_result", std::to_string(w.last_result), true);
        writes += (i ? "," : "") + o + "}";
    }
    std::string once = "[";
    for (size_t i = 0; i < s.onceReads().size(); ++i) {
        const OnceAction& r = s.onceReads()[i];
        std::string o = "{";
        jsonField(o, "name", jsonString(r.name));
        jsonField(o, "status", std::to_string(r.status));
        jsonField(o, "values", jsonInts(r.values), true);
        once += (i ? "," : "") + o + "}";
    }
    std::string out;
    jsonField(out, "writes", writes + "]");
    jsonField(out, "read_once", once + "]");
    return out;
}

} // namespace

std::string statusLine(const HostSession& s) {
    const Counters& c = s.counters();
    return "cycle " + format("%.1f", c.last_cycle_ms) + " ms | " +
           std::to_string(c.last_cycle_frames) + " frames/cycle | " +
           format("%.1f", c.exchanges_per_second) + " exch/s | retries " +
           std::to_string(c.retries) + " | failures " + std::to_string(c.failures) + " | " +
           (s.comInfo().offline ? "OFFLINE" : "online");
}

std::vector<std::string> valueLines(const HostSession& s) {
    std::vector<std::string> lines;
    for (const Tag& t : s.tags()) {
        std::string where = std::string(tagTypeByCode(t.reg_type)->mnemonic) + " " + t.addr_text;
        if (s.comInfo().multi_station) where += " @" + std::to_string(s.stationOf(t));
        lines.push_back(padded(t.name, 16) + " " + padded(where, 18) + " " +
                        formatValues(t, s.readTag(t), kValuesShown));
    }
    return lines;
}

void ScreenPrinter::show(const HostSession& s) {
    std::vector<std::string> lines = valueLines(s);
    lines.push_back(statusLine(s));
    const std::vector<std::string>& notices = s.notices();
    if (ansi_) {
        if (!cleared_) std::fputs("\x1b[2J", out_);
        cleared_ = true;
        std::fputs("\x1b[H", out_);
        size_t first = notices.size() > kNoticesOnScreen ? notices.size() - kNoticesOnScreen : 0;
        for (size_t i = first; i < notices.size(); ++i)
            lines.push_back("notice: " + notices[i]);
        for (const std::string& l : lines)
            std::fprintf(out_, "%s\x1b[K\n", l.c_str());
        std::fputs("\x1b[J", out_);
    } else {
        for (size_t i = notices_shown_; i < notices.size(); ++i)
            lines.push_back("notice: " + notices[i]);
        for (const std::string& l : lines)
            std::fprintf(out_, "%s\n", l.c_str());
        std::fputs("\n", out_);
    }
    notices_shown_ = notices.size();
    std::fflush(out_);
}

std::string jsonReport(const HostSession& s, const std::string& outcome, int exit_code) {
    std::string values = "[";
    for (size_t i = 0; i < s.tags().size(); ++i)
        values += (i ? "," : "") + jsonTag(s, s.tags()[i]);
    std::string notices = "[";
    for (size_t i = 0; i < s.notices().size(); ++i)
        notices += (i ? "," : "") + jsonString(s.notices()[i]);
    std::string out = "{";
    jsonField(out, "outcome", jsonString(outcome));
    jsonField(out, "exit_code", std::to_string(exit_code));
    jsonField(out, "values", values + "]");
    jsonField(out, "counters", jsonCounters(s));
    out += jsonActions(s);
    jsonField(out, "notices", notices + "]", true);
    return out + "}\n";
}

} // namespace fhost
