#include "value_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace fhost {

namespace {

// RFC 4180: a field with a comma, a quote, a line break or blanks at its ends is quoted,
// its quotes doubled.
std::string csvField(const std::string& text) {
    const bool plain = text.find_first_of(",\"\r\n") == std::string::npos &&
                       (text.empty() || (text.front() != ' ' && text.back() != ' '));
    if (plain) return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string isoTime(std::chrono::system_clock::time_point t, int utc_offset_minutes) {
    using namespace std::chrono;
    const long long ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const std::time_t local = static_cast<std::time_t>(ms / 1000 + utc_offset_minutes * 60LL);
    std::tm tm{};
    gmtime_r(&local, &tm);
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d",
                                tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                tm.tm_sec, static_cast<int>(ms % 1000));
    if (utc_offset_minutes == 0) return std::string(text, n) + "Z";
    const int off = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
    std::snprintf(text + n, sizeof text - n, "%c%02d:%02d", utc_offset_minutes < 0 ? '-' : '+',
                  off / 60, off % 60);
    return text;
}

int localUtcOffsetMinutes(std::chrono::system_clock::time_point t) {
    const std::time_t when = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&when, &tm);
    return static_cast<int>(tm.tm_gmtoff / 60);
}

CsvRows::CsvRows(const std::vector<Tag>& tags, bool changes_only)
    : tags_(tags), changes_only_(changes_only) {}

std::string CsvRows::header() const {
    std::string row = "time";
    for (const Tag& t : tags_) {
        if (t.values == 1) row += "," + csvField(t.name);
        for (int i = 1; t.values > 1 && i <= t.values; ++i)
            row += "," + csvField(t.name + "[" + std::to_string(i) + "]");
    }
    return row + "\n";
}

std::string CsvRows::next(const std::string& time, const std::vector<LoggedTag>& values) {
    if (changes_only_ && any_row_ && values == last_) return std::string();
    any_row_ = true;
    last_ = values;
    std::string row = time;
    for (size_t k = 0; k < tags_.size(); ++k) {
        const LoggedTag* tag = k < values.size() && !values[k].stale ? &values[k] : nullptr;
        for (size_t i = 0; i < static_cast<size_t>(tags_[k].values); ++i)
            row += "," + (tag && i < tag->values.size() ? csvField(tag->values[i]) : "");
    }
    return row + "\n";
}

ValueLog::~ValueLog() {
    if (file_) std::fclose(file_);
}

bool ValueLog::open(const std::string& path, const std::vector<Tag>& tags, bool changes_only,
                    std::string* error) {
    if (file_) std::fclose(file_);
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        *error = "--csv " + path + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    rows_.reset(new CsvRows(tags, changes_only));
    const std::string header = rows_->header();
    std::fwrite(header.data(), 1, header.size(), file_);
    std::fflush(file_);
    return true;
}

void ValueLog::record(std::chrono::system_clock::time_point t,
                      const std::vector<LoggedTag>& values) {
    if (!file_) return;
    const std::string row = rows_->next(isoTime(t, localUtcOffsetMinutes(t)), values);
    if (row.empty()) return;
    std::fwrite(row.data(), 1, row.size(), file_);
    std::fflush(file_);
}

} // namespace fhost
