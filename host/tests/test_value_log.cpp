// The value log's rows: header, typed values, stale and missing values empty, quoting,
// and rows only on a change with --csv-changes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "value_log.h"

namespace fhost {
namespace {

std::vector<Tag> logTags() {
    std::vector<Tag> tags;
    for (const char* line : {"counter D 0", "recipe D 200 2", "temp D:REAL 310",
                             "name D:STRING8 300", "lamp CIO.bit 0.00"}) {
        Tag t;
        std::string reason;
        EXPECT_EQ(parseTagLine(line, &t, &reason), LineKind::Tag) << reason;
        tags.push_back(t);
    }
    return tags;
}

struct Step {
    const char* time;
    std::vector<LoggedTag> values;
    const char* every_row;  // what each refresh writes
    const char* change_row; // what --csv-changes writes
};

TEST(ValueLog, RowsCarryTypedValuesAndOnlyChangesWhenAsked) {
    const LoggedTag counter{false, {"5"}}, recipe{false, {"11", "22"}}, temp{false, {"23.5"}},
        name{false, {" A,\"B\""}}, lamp{false, {"1"}}, stale{true, {"6"}}, unread{false, {}};
    const Step steps[] = {
        {"t1",
         {counter, recipe, temp, name, lamp},
         "t1,5,11,22,23.5,\" A,\"\"B\"\"\",1\n",
         "t1,5,11,22,23.5,\" A,\"\"B\"\"\",1\n"},
        {"t2", {counter, recipe, temp, name, lamp}, "t2,5,11,22,23.5,\" A,\"\"B\"\"\",1\n", ""},
        {"t3",
         {stale, recipe, temp, name, lamp},
         "t3,,11,22,23.5,\" A,\"\"B\"\"\",1\n",
         "t3,,11,22,23.5,\" A,\"\"B\"\"\",1\n"},
        {"t4",
         {stale, unread, temp, name},
         "t4,,,,23.5,\" A,\"\"B\"\"\",\n",
         "t4,,,,23.5,\" A,\"\"B\"\"\",\n"},
        {"t5", {stale, unread, temp, name}, "t5,,,,23.5,\" A,\"\"B\"\"\",\n", ""},
    };
    CsvRows every(logTags(), false), changes(logTags(), true);
    EXPECT_EQ(every.header(), "time,counter,recipe[1],recipe[2],temp,name,lamp\n");
    for (const Step& s : steps) {
        EXPECT_EQ(every.next(s.time, s.values), s.every_row) << s.time;
        EXPECT_EQ(changes.next(s.time, s.values), s.change_row) << s.time;
    }
}

TEST(ValueLog, TimesAreIso8601WithMillisecondsAndTheOffset) {
    const std::chrono::system_clock::time_point t(std::chrono::milliseconds(1796678465250LL));
    EXPECT_EQ(isoTime(t, 0), "2026-12-07T21:21:05.250Z");
    EXPECT_EQ(isoTime(t, 60), "2026-12-07T22:21:05.250+01:00");
    EXPECT_EQ(isoTime(t, -330), "2026-12-07T15:51:05.250-05:30");
    // The file: the header, then a row per record, each on disk at once.
    const std::string path = ::testing::TempDir() + "values.csv";
    ValueLog log;
    std::string error;
    ASSERT_TRUE(log.open(path, {logTags()[0]}, false, &error)) << error;
    log.record(t, {LoggedTag{false, {"7"}}});
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(), "time,counter\n" + isoTime(t, localUtcOffsetMinutes(t)) + ",7\n");
    EXPECT_FALSE(log.open(::testing::TempDir() + "no/such/dir.csv", {}, false, &error));
    EXPECT_EQ(error,
              "--csv " + ::testing::TempDir() + "no/such/dir.csv: No such file or directory");
}

} // namespace
} // namespace fhost
