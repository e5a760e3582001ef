#include "screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tag_values.h"
#include "value_log.h"

namespace fhost {

namespace {

const size_t kValuesPerLine = 8;
const size_t kNoticesOnScreen = 5;
const size_t kNameWidth = 16, kWhereWidth = 18; // the value column starts after them
const size_t kFewestValueColumns = 24;          // a narrow terminal still gets a value a line

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

winsize terminalSize(std::FILE* out) {
    winsize ws = {};
    if (ioctl(fileno(out), TIOCGWINSZ, &ws) != 0) return winsize{};
    return ws;
}

// Characters a line shows (UTF-8 continuation bytes take no column; a control byte
// shows as \xNN).
size_t columnsOf(const std::string& line) {
    size_t n = 0;
    for (unsigned char c : line)
        n += (c & 0xC0) == 0x80 ? 0 : (c < 0x20 || c == 0x7F) ? 4 : 1;
    return n;
}

// Terminal rows a line takes once it wraps at `cols`.
size_t rowsOf(const std::string& line, size_t cols) {
    const size_t n = columnsOf(line);
    return cols == 0 || n == 0 ? 1 : (n + cols - 1) / cols;
}

size_t rowsOf(const std::vector<std::string>& lines, size_t cols) {
    size_t rows = 0;
    for (const std::string& l : lines)
        rows += rowsOf(l, cols);
    return rows;
}

// The typed values of one tag, broken into lines between values: at most eight a line,
// and no wider than `width` columns when it is given.
std::vector<std::pair<size_t, std::string>>
valueRuns(const Tag& t, const std::vector<plcvalues::Value>& values, size_t width) {
    std::vector<std::pair<size_t, std::string>> runs; // first value's index, its line
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string one = formatTypedValues(t, {values[i]}, 1);
        const std::string gap = tagType(t).unit == fins::Unit::Word ? "  " : " ";
        const bool fits =
            !runs.empty() && i - runs.back().first < kValuesPerLine &&
            (width == 0 || runs.back().second.size() + gap.size() + one.size() <= width);
        if (fits)
            runs.back().second += gap + one;
        else
            runs.emplace_back(i, one);
    }
    if (runs.empty()) runs.emplace_back(0, std::string());
    return runs;
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
        return "station " + std::to_string(down->station) + " down: " + down->reason +
               (s.isSetAside(down->station) ? " (its tags stale, the others read)" : "");
    if (down) return "OFFLINE: " + down->reason;
    return s.comInfo().offline ? "OFFLINE" : "online";
}

std::string statusLine(const HostSession& s) {
    const Counters& c = s.counters();
    return "cycle " + format("%.1f", c.last_cycle_ms) + " ms | " +
           std::to_string(c.last_cycle_frames) + " frames/cycle | " +
           format("%.1f", s.exchangesPerSecond()) + " exch/s | retries " +
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
        const std::string nodes =
            st.client_node < 0
                ? std::string()
                : " | nodes " + std::to_string(st.client_node) + "/" + std::to_string(st.plc_node);
        lines.push_back("station " + std::to_string(st.station) + " " +
                        (st.address.empty() ? "(no address)" : st.address) + ": " + state + nodes +
                        " | connects " + std::to_string(st.connects) + " | good " +
                        std::to_string(st.good) + " | failures " + std::to_string(st.failures));
    }
    return lines;
}

std::vector<std::string> valueLines(const HostSession& s, const std::vector<TagView>& tags,
                                    size_t columns) {
    const size_t indent = kNameWidth + 1 + kWhereWidth + 1;
    const size_t width =
        columns == 0 ? 0 : std::max(kFewestValueColumns, columns > indent ? columns - indent : 0);
    std::vector<std::string> lines;
    for (const TagView& view : tags) {
        const Tag& t = *view.tag;
        const std::string type = std::string(fins::mnemonicOf(tagType(t).code)) +
                                 (t.typed ? ":" + plcvalues::valueTypeName(t.value_type) : "");
        std::string where = type + " " + t.addr_text;
        if (s.comInfo().multi_station) where += " @" + std::to_string(view.station);
        for (const auto& run : valueRuns(t, typedValues(t, view.values), width)) {
            // A continuation line names where its first value starts: "D 1008".
            std::string line =
                run.first == 0 ? padded(t.name, kNameWidth) + " " + padded(where, kWhereWidth) + " "
                               : std::string(kNameWidth + 1, ' ') +
                                     padded(std::string(fins::mnemonicOf(tagType(t).code)) + " " +
                                                valueAddressText(t, static_cast<int>(run.first)),
                                            kWhereWidth) +
                                     " ";
            line += run.second;
            if (run.first == 0 && view.stale) line += "  [stale: " + view.why_stale + "]";
            lines.push_back(line);
        }
    }
    return lines;
}

// On a terminal the screen keeps to its height: the tags that fit, then a count.
std::vector<std::string> ScreenPrinter::tagLinesThatFit(const HostSession& s,
                                                        const std::vector<TagView>& tags,
                                                        size_t other_rows) const {
    if (status_only_) return std::vector<std::string>();
    const winsize size = ansi_ ? terminalSize(out_) : winsize{};
    const size_t cols = size.ws_col;
    std::vector<std::string> lines = valueLines(s, tags, cols);
    // The cursor ends on the line below the screen, so one row stays free.
    const size_t usable = size.ws_row > 1 ? size.ws_row - 1u : 0;
    if (size.ws_row == 0 || rowsOf(lines, cols) + other_rows <= usable) return lines;
    // Lines that wrap take several rows: keep tag lines while they fit above the others
    // and the "more tags" line.
    const size_t room = usable > other_rows + 1 ? usable - other_rows - 1 : 0;
    size_t kept = 0, rows = 0;
    while (kept < lines.size() && rows + rowsOf(lines[kept], cols) <= room)
        rows += rowsOf(lines[kept++], cols);
    lines.resize(kept);
    // A tag's continuation lines start with blanks.
    const size_t shown_tags = std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return !l.empty() && l[0] != ' '; });
    lines.push_back("\xE2\x80\xA6 " + std::to_string(s.tags().size() - shown_tags) + " more tags");
    return lines;
}

void ScreenPrinter::show(const HostSession& s, const std::vector<TagView>& tags,
                         std::chrono::system_clock::time_point now) {
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
    if (!ansi_) tail.insert(tail.begin(), "time " + isoTime(now, localUtcOffsetMinutes(now)));
    const size_t cols = ansi_ ? terminalSize(out_).ws_col : 0;
    std::vector<std::string> lines = tagLinesThatFit(s, tags, rowsOf(tail, cols));
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
