#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <tuple>

#include "host_options.h"

namespace fhost {
namespace {

// Parses a command line given as one text of space-separated words.
bool parse(const std::string& line, HostOptions* out, std::string* error) {
    std::istringstream words(line);
    const std::vector<std::string> kept{std::istream_iterator<std::string>(words), {}};
    std::vector<const char*> args{"fins-host"};
    for (const std::string& w : kept)
        args.push_back(w.c_str());
    return parseHostOptions(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(HostOptionsParse, DefaultsAreThoseOfTheHelpTextAndEveryOptionReachesItsField) {
    HostOptions d, o;
    std::string error;
    ASSERT_TRUE(parse("--tags s.tags", &d, &error)) << error;
    EXPECT_EQ(std::make_tuple(d.plc.text(), d.hmi_ip, d.max_block, d.default_station, d.retry_limit,
                              d.run_mode, d.timeout_ms, d.scripted()),
              std::make_tuple("127.0.0.1:9600", "127.0.0.0", 64, 1, 2, 2, 1000, false));
    ASSERT_TRUE(parse(
        "--tags s.tags --plc 10.0.0.5:9601 --station=2=127.0.0.2:9700 --station 3=localhost:9800 "
        "--max-block 100 --default-station=4 --retry-limit 0 --multi-station --remote-mode "
        "--run-mode 1 --local-link -3 --hmi-ip 192.168.250.7 --timeout-ms 250 --write a=1,2 "
        "--write b=0x10 --read-once c --pcap t.pcap --cycles 5 --seconds 2.5 --json --plain "
        "--refresh-ms 100 --max-offline-seconds 0 --driver /x/lib.so --csv v.csv --csv-changes",
        &o, &error))
        << error;
    EXPECT_EQ(std::make_tuple(o.tags_path, o.plc.text(), o.hmi_ip, o.pcap_path, o.driver_path,
                              o.csv_path, o.csv_changes),
              std::make_tuple("s.tags", "10.0.0.5:9601", "192.168.250.7", "t.pcap", "/x/lib.so",
                              "v.csv", true));
    ASSERT_EQ(o.stations.size(), 2u);
    EXPECT_EQ(o.stations[2].text() + " " + o.stations[3].text(), "127.0.0.2:9700 localhost:9800");
    EXPECT_EQ(std::make_tuple(o.max_block, o.default_station, o.retry_limit, o.run_mode,
                              o.local_link, o.timeout_ms, o.cycles, o.refresh_ms),
              std::make_tuple(100, 4, 0, 1, -3, 250, 5L, 100));
    EXPECT_EQ(std::make_tuple(o.multi_station, o.remote_mode, o.json, o.plain, o.seconds,
                              o.max_offline_seconds),
              std::make_tuple(true, true, true, true, 2.5, 0.0));
    using Write = std::pair<std::string, std::string>;
    EXPECT_EQ(o.writes, (std::vector<Write>{{"a", "1,2"}, {"b", "0x10"}}));
    EXPECT_EQ(o.read_once, std::vector<std::string>{"c"});
}

TEST(HostOptionsParse, BadOptionsNameTheirProblem) {
    const std::pair<const char*, const char*> rows[] = {
        {"", "--tags FILE is required (see --help)"},
        {"--tags", "--tags needs a value"},
        {"--tags t --plc :1", "--plc: expected HOST[:PORT], got ':1'"},
        {"--tags t --seconds 0",
         "--seconds 0 would end before the first exchange; leave it out to run until Ctrl-C"},
        {"--tags t --http-token x",
         "--http-token needs --http (the token guards the browser panel)"},
        {"--tags t --multi-station --station 2=h:1 --station 2=h:2", "--station 2 given twice"},
        {"--tags t --hmi-ip 10.0.0.255",
         "--hmi-ip 10.0.0.255: node 255 is the broadcast node, which no PLC accepts (0 lets the "
         "PLC assign one)"},
        {"--tags t --plc host:65536", "--plc: port in 'host:65536' must be 1-65535"},
        {"--tags t --station 255=h:1", "--station expects N=HOST:PORT with N 0-254, got '255=h:1'"},
        {"--tags t --max-block 1000", "--max-block expects a whole number 1-999, got '1000'"},
        {"--tags t --retry-limit x", "--retry-limit expects a whole number 0-1000, got 'x'"},
        {"--tags t --write a", "--write expects NAME=VALUE, got 'a'"},
        {"--tags t --cycles 0", "--cycles expects a whole number of at least 1, got '0'"},
        {"--tags t --seconds -1", "--seconds expects a number of seconds, got '-1'"},
        {"--tags t --hmi-ip 1.2.3", "--hmi-ip expects a dotted IPv4 address A.B.C.D, got '1.2.3'"},
        {"--tags t --csv-changes", "--csv-changes needs --csv FILE"},
    };
    for (const auto& r : rows) {
        HostOptions o;
        std::string error;
        EXPECT_FALSE(parse(r.first, &o, &error)) << r.second;
        EXPECT_EQ(error, r.second);
    }
}

} // namespace
} // namespace fhost
