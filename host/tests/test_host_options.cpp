#include <gtest/gtest.h>

#include "host_options.h"

namespace fhost {
namespace {

bool parse(std::vector<const char*> args, HostOptions* out, std::string* error) {
    args.insert(args.begin(), "fins-host");
    return parseHostOptions(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(HostOptionsParse, EveryOptionReachesItsField) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--tags",
                       "s.tags",
                       "--plc",
                       "10.0.0.5:9601",
                       "--station=2=127.0.0.2:9700",
                       "--station",
                       "3=localhost:9800",
                       "--max-block",
                       "100",
                       "--default-station=4",
                       "--retry-limit",
                       "0",
                       "--multi-station",
                       "--remote-mode",
                       "--run-mode",
                       "1",
                       "--local-link",
                       "-3",
                       "--hmi-ip",
                       "192.168.250.7",
                       "--timeout-ms",
                       "250",
                       "--write",
                       "a=1,2",
                       "--write",
                       "b=0x10",
                       "--read-once",
                       "c",
                       "--pcap",
                       "t.pcap",
                       "--cycles",
                       "5",
                       "--seconds",
                       "2.5",
                       "--json",
                       "--plain",
                       "--refresh-ms",
                       "100",
                       "--max-offline-seconds",
                       "0",
                       "--driver",
                       "/x/lib.so"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.tags_path, "s.tags");
    EXPECT_EQ(o.plc.text(), "10.0.0.5:9601");
    ASSERT_EQ(o.stations.size(), 2u);
    EXPECT_EQ(o.stations[2].text(), "127.0.0.2:9700");
    EXPECT_EQ(o.stations[3].text(), "localhost:9800");
    EXPECT_EQ(o.max_block, 100);
    EXPECT_EQ(o.default_station, 4);
    EXPECT_EQ(o.retry_limit, 0);
    EXPECT_TRUE(o.multi_station);
    EXPECT_TRUE(o.remote_mode);
    EXPECT_EQ(o.run_mode, 1);
    EXPECT_EQ(o.local_link, -3);
    EXPECT_EQ(o.hmi_ip, "192.168.250.7");
    EXPECT_EQ(o.timeout_ms, 250);
    ASSERT_EQ(o.writes.size(), 2u);
    EXPECT_EQ(o.writes[0], (std::pair<std::string, std::string>{"a", "1,2"}));
    EXPECT_EQ(o.writes[1], (std::pair<std::string, std::string>{"b", "0x10"}));
    EXPECT_EQ(o.read_once, std::vector<std::string>{"c"});
    EXPECT_EQ(o.pcap_path, "t.pcap");
    EXPECT_EQ(o.cycles, 5);
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(o.plain);
    EXPECT_EQ(o.refresh_ms, 100);
    EXPECT_DOUBLE_EQ(o.max_offline_seconds, 0);
    EXPECT_EQ(o.driver_path, "/x/lib.so");
}

TEST(HostOptionsParse, DefaultsAreThoseOfTheHelpText) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--tags", "s.tags"}, &o, &error)) << error;
    EXPECT_EQ(o.plc.text(), "127.0.0.1:9600");
    EXPECT_EQ(o.max_block, 64);
    EXPECT_EQ(o.default_station, 1);
    EXPECT_EQ(o.retry_limit, 2);
    EXPECT_EQ(o.run_mode, 2);
    EXPECT_EQ(o.hmi_ip, "127.0.0.1");
    EXPECT_EQ(o.timeout_ms, 1000);
    EXPECT_FALSE(o.scripted());
}

struct BadOptionRow {
    std::vector<const char*> args;
    const char* error;
};

TEST(HostOptionsParse, BadOptionsNameTheirProblem) {
    const BadOptionRow rows[] = {
        {{}, "--tags FILE is required (see --help)"},
        {{"--tags"}, "--tags needs a value"},
        {{"--tags", "t", "--frobnicate"}, "unknown option --frobnicate (see --help)"},
        {{"--tags", "t", "--plc", "host"}, "--plc: expected HOST:PORT, got 'host'"},
        {{"--tags", "t", "--plc", "host:0"}, "--plc: port in 'host:0' must be 1-65535"},
        {{"--tags", "t", "--plc", "host:65536"}, "--plc: port in 'host:65536' must be 1-65535"},
        {{"--tags", "t", "--station", "255=h:1"},
         "--station expects N=HOST:PORT with N 0-254, got '255=h:1'"},
        {{"--tags", "t", "--max-block", "1000"},
         "--max-block expects a whole number 1-999, got '1000'"},
        {{"--tags", "t", "--retry-limit", "x"},
         "--retry-limit expects a whole number 0-1000, got 'x'"},
        {{"--tags", "t", "--write", "a"}, "--write expects NAME=VALUE, got 'a'"},
        {{"--tags", "t", "--write", "=1"}, "--write expects NAME=VALUE, got '=1'"},
        {{"--tags", "t", "--cycles", "0"},
         "--cycles expects a whole number of at least 1, got '0'"},
        {{"--tags", "t", "--seconds", "-1"}, "--seconds expects a number of seconds, got '-1'"},
        {{"--tags", "t", "--hmi-ip", "1.2.3"},
         "--hmi-ip expects a dotted IPv4 address A.B.C.D, got '1.2.3'"},
    };
    for (const BadOptionRow& r : rows) {
        HostOptions o;
        std::string error;
        EXPECT_FALSE(parse(r.args, &o, &error)) << r.error;
        EXPECT_EQ(error, r.error);
    }
}

TEST(HostOptionsParse, HelpNeedsNoTagFile) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--help"}, &o, &error)) << error;
    EXPECT_TRUE(o.help);
}

} // namespace
} // namespace fhost
