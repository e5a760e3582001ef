// The value log (--csv FILE): a header row with the tags' names, then a row per refresh
// with an ISO 8601 time and each tag's typed values, stale ones empty; each row flushed.
#ifndef FINS_HOST_VALUE_LOG_H
#define FINS_HOST_VALUE_LOG_H

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tag_file.h"

namespace fhost {

// One tag's values at a refresh: their texts in order, or stale.
struct LoggedTag {
    bool stale = false;
    std::vector<std::string> values;
    bool operator==(const LoggedTag& o) const { return stale == o.stale && values == o.values; }
};

// "2026-12-07T23:41:05.250+01:00" (or "...Z" at offset 0).
std::string isoTime(std::chrono::system_clock::time_point t, int utc_offset_minutes);
int localUtcOffsetMinutes(std::chrono::system_clock::time_point t);

// The rows' text: one column per value of each tag, "name" or "name[1]", "name[2]"...
class CsvRows {
  public:
    CsvRows(const std::vector<Tag>& tags, bool changes_only);
    std::string header() const;
    // The row for these values (one per tag, in the tags' order), or "" when only
    // changes are logged and no value and no staleness changed since the last row.
    std::string next(const std::string& time, const std::vector<LoggedTag>& values);

  private:
    std::vector<Tag> tags_;
    bool changes_only_;
    bool any_row_ = false;
    std::vector<LoggedTag> last_;
};

class ValueLog {
  public:
    ValueLog() = default;
    ValueLog(const ValueLog&) = delete;
    ValueLog& operator=(const ValueLog&) = delete;
    ~ValueLog();
    // Creates (or empties) the file and writes the header; false with the system's reason.
    bool open(const std::string& path, const std::vector<Tag>& tags, bool changes_only,
              std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    // Writes the row of this refresh, if any, and flushes it so a crash keeps it.
    void record(std::chrono::system_clock::time_point t, const std::vector<LoggedTag>& values);

  private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<CsvRows> rows_;
};

} // namespace fhost

#endif
