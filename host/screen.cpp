#include "screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tag_values.h"

namespace fhost {

namespace {

const size_t kValuesPerLine = 8;
const size_t kNoticesOnScreen = 5;
const size_t kValueIndent = 36; // name, type and address columns

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string padded(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string noticeLine(const Notice& n) {
    return "notice: " + n.text + (n.count > 1 ? " (x" + std::to_string(n.count) + ")" : "");
}

int terminalRows(std::FILE* out) {
    winsize ws = {};
    if (ioctl(fileno(out), TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0) return 0;
    return ws.ws_row;
}

const StationStatus* firstDown(const std::vector<StationStatus>& stations) {
    for (const StationStatus& st : stations)
        if (st.state == "down") return &st;
    return nullptr;
}

} // namespace

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool isOnline(const HostSession& s) {
    return !s.comInfo().offline && !firstDown(s.stations());
}

std::string onlineText(const HostSession& s) {
    const std::vector<StationStatus> stations = s.stations();
    const StationStatus* down = firstDown(stations);
    if (down && s.comInfo().multi_station && stations.size() > 1)
        return "station " + std::to_string(down->station) +
               " unreachable: cyclic reads of every station wait for it";
    if (down) return "OFFLINE: " + down->reason;
    return s.comInfo().offline ? "OFFLINE" : "online";
}

std::string statusLine(const HostSession& s) {
    const Counters& c = s.counters();
    return "cycle " + format("%.1f", c.last_cycle_ms) + " ms | " +
           std::to_string(c.last_cycle_frames) + " frames/cycle | " +
           format("%.1f", c.exchanges_per_second) + " exch/s | retries " +
           std::to_string(c.retries) + " | failures " + std::to_string(c.failures) + " | " +
           onlineText(s);
}

std::vector<std::string> stationLines(const HostSession& s) {
    std::vector<std::string> lines;
    for (const StationStatus& st : s.stations()) {
        std::string state = st.state;
        if (!st.reason.empty())
            state += (st.state == "down" ? ": " : " (last: ") + st.reason +
                     (st.state == "down" ? "" : ")");
        lines.push_back("station " + std::to_string(st.station) + " " +
                        (st.address.empty() ? "(no address)" : st.address) + ": " + state +
                        " | connects " + std::to_string(st.connects) + " | good " +
                        std::to_string(st.good) + " | failures " + std::to_string(st.failures));
    }
    return lines;
}

std::vector<std::string> valueLines(const HostSession& s) {
    std::vector<std::string> lines;
    for (const Tag& t : s.tags()) {
        std::string where = std::string(fins::mnemonicOf(tagType(t).code)) + " " + t.addr_text;
        if (s.comInfo().multi_station) where += " @" + std::to_string(s.stationOf(t));
        const std::vector<int> values = s.readTag(t);
        const std::string head = padded(t.name, 16) + " " + padded(where, 18) + " ";
        for (size_t first = 0; first == 0 || first < values.size(); first += kValuesPerLine) {
            const size_t end = std::min(values.size(), first + kValuesPerLine);
            std::vector<int> part(values.begin() + first, values.begin() + end);
            std::string line = (first == 0 ? head : std::string(kValueIndent, ' ')) +
                               formatValues(t, part, kValuesPerLine);
            if (first == 0 && s.isStale(t)) line += "  [stale]";
            lines.push_back(line);
        }
    }
    return lines;
}

// On a terminal the screen keeps to its height: the tags that fit, then a count.
std::vector<std::string> ScreenPrinter::tagLinesThatFit(const HostSession& s,
                                                        size_t other_lines) const {
    if (status_only_) return std::vector<std::string>();
    std::vector<std::string> lines = valueLines(s);
    const int rows = ansi_ ? terminalRows(out_) : 0;
    // The cursor ends on the line below the screen, so one row stays free.
    const size_t usable = rows > 1 ? static_cast<size_t>(rows) - 1 : 0;
    if (rows <= 0 || lines.size() + other_lines <= usable) return lines;
    const size_t room = usable > other_lines + 1 ? usable - other_lines - 1 : 0;
    lines.resize(room);
    // A tag's continuation lines start with blanks.
    const size_t shown_tags = std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return !l.empty() && l[0] != ' '; });
    lines.push_back("\xE2\x80\xA6 " + std::to_string(s.tags().size() - shown_tags) + " more tags");
    return lines;
}

void ScreenPrinter::show(const HostSession& s) {
    std::vector<std::string> tail;
    tail.push_back(statusLine(s));
    for (const std::string& l : stationLines(s))
        tail.push_back(l);
    const std::vector<Notice>& notices = s.notices();
    size_t first = ansi_
                       ? (notices.size() > kNoticesOnScreen ? notices.size() - kNoticesOnScreen : 0)
                       : std::min(notices_shown_, notices.size());
    for (size_t i = first; i < notices.size(); ++i)
        tail.push_back(noticeLine(notices[i]));
    std::vector<std::string> lines = tagLinesThatFit(s, tail.size());
    lines.insert(lines.end(), tail.begin(), tail.end());
    if (ansi_) {
        if (!cleared_) std::fputs("\x1b[2J", out_);
        cleared_ = true;
        std::fputs("\x1b[H", out_);
        for (const std::string& l : lines)
            std::fprintf(out_, "%s\x1b[K\n", printable(l).c_str());
        std::fputs("\x1b[J", out_);
    } else {
        for (const std::string& l : lines)
            std::fprintf(out_, "%s\n", printable(l).c_str());
        std::fputs("\n", out_);
    }
    notices_shown_ = notices.size();
    std::fflush(out_);
}

} // namespace fhost
