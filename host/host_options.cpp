#include "host_options.h"

#include <cerrno>
#include <cstdlib>

namespace fhost {

namespace {

bool parseInt(const std::string& text, long min, long max, long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

bool parseSeconds(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= 0) || v > 1e7) return false;
    *out = v;
    return true;
}

// --station N=HOST:PORT
bool parseStationRoute(const std::string& text, HostOptions* out, std::string* error) {
    size_t eq = text.find('=');
    long station = 0;
    if (eq == std::string::npos || !parseInt(text.substr(0, eq), 0, 254, &station)) {
        *error = "--station expects N=HOST:PORT with N 0-254, got '" + text + "'";
        return false;
    }
    Endpoint e;
    if (!parseEndpoint(text.substr(eq + 1), &e, error)) {
        *error = "--station " + text + ": " + *error;
        return false;
    }
    out->stations[static_cast<int>(station)] = e;
    return true;
}

bool parseWrite(const std::string& text, HostOptions* out, std::string* error) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size()) {
        *error = "--write expects NAME=VALUE, got '" + text + "'";
        return false;
    }
    out->writes.push_back({text.substr(0, eq), text.substr(eq + 1)});
    return true;
}

struct IntOption {
    const char* name;
    int HostOptions::*field;
    long min, max;
};

const IntOption kIntOptions[] = {
    {"--max-block", &HostOptions::max_block, 1, 999},
    {"--default-station", &HostOptions::default_station, 0, 254},
    {"--retry-limit", &HostOptions::retry_limit, 0, 1000},
    {"--run-mode", &HostOptions::run_mode, 0, 255},
    {"--local-link", &HostOptions::local_link, -1000000, 1000000},
    {"--timeout-ms", &HostOptions::timeout_ms, 1, 600000},
    {"--refresh-ms", &HostOptions::refresh_ms, 10, 600000},
};

bool applyValueOption(const std::string& name, const std::string& value, HostOptions* out,
                      std::string* error) {
    for (const IntOption& o : kIntOptions) {
        if (name != o.name) continue;
        long v = 0;
        if (!parseInt(value, o.min, o.max, &v)) {
            *error = name + " expects a whole number " + std::to_string(o.min) + "-" +
                     std::to_string(o.max) + ", got '" + value + "'";
            return false;
        }
        out->*(o.field) = static_cast<int>(v);
        return true;
    }
    if (name == "--tags")
        out->tags_path = value;
    else if (name == "--driver")
        out->driver_path = value;
    else if (name == "--pcap")
        out->pcap_path = value;
    else if (name == "--plc") {
        if (!parseEndpoint(value, &out->plc, error)) {
            *error = "--plc: " + *error;
            return false;
        }
    } else if (name == "--station")
        return parseStationRoute(value, out, error);
    else if (name == "--write")
        return parseWrite(value, out, error);
    else if (name == "--read-once")
        out->read_once.push_back(value);
    else if (name == "--http")
        out->http = value;
    else if (name == "--http-token")
        out->http_token = value;
    else if (name == "--hmi-ip") {
        if (value.empty() || value.size() > 16) {
            *error = "--hmi-ip takes an IPv4 address text of at most 16 characters";
            return false;
        }
        out->hmi_ip = value;
    } else if (name == "--cycles") {
        if (!parseInt(value, 1, 1000000000L, &out->cycles)) {
            *error = "--cycles expects a whole number of at least 1, got '" + value + "'";
            return false;
        }
    } else if (name == "--seconds" || name == "--max-offline-seconds") {
        double* field = name == "--seconds" ? &out->seconds : &out->max_offline_seconds;
        if (!parseSeconds(value, field)) {
            *error = name + " expects a number of seconds, got '" + value + "'";
            return false;
        }
    } else {
        *error = "unknown option " + name;
        return false;
    }
    return true;
}

bool isValueOption(const std::string& name) {
    for (const IntOption& o : kIntOptions)
        if (name == o.name) return true;
    static const char* const names[] = {"--tags",
                                        "--driver",
                                        "--pcap",
                                        "--plc",
                                        "--station",
                                        "--write",
                                        "--read-once",
                                        "--hmi-ip",
                                        "--cycles",
                                        "--seconds",
                                        "--max-offline-seconds",
                                        "--http",
                                        "--http-token"};
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

} // namespace

bool parseHostOptions(int argc, const char* const* argv, HostOptions* out, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool has_inline_value = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            has_inline_value = true;
        }
        if (arg == "--help" || arg == "-h")
            out->help = true;
        else if (arg == "--multi-station")
            out->multi_station = true;
        else if (arg == "--remote-mode")
            out->remote_mode = true;
        else if (arg == "--json")
            out->json = true;
        else if (arg == "--plain")
            out->plain = true;
        else if (arg == "--http-allow-remote")
            out->http_allow_remote = true;
        else if (isValueOption(arg)) {
            if (!has_inline_value) {
                if (i + 1 >= argc) {
                    *error = arg + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            if (!applyValueOption(arg, value, out, error)) return false;
        } else {
            *error = "unknown option " + arg + " (see --help)";
            return false;
        }
    }
    if (!out->help && out->tags_path.empty()) {
        *error = "--tags FILE is required (see --help)";
        return false;
    }
    return true;
}

const char* hostUsage() {
    return R"(Usage: fins-host --tags FILE [options]

Loads the FINS/TCP driver library, registers the tags of FILE for cyclic reading,
talks to the PLC over TCP and shows every tag's value with a status line.

Connection
  --plc HOST:PORT          PLC of the default station (default 127.0.0.1:9600)
  --station N=HOST:PORT    PLC of station N (repeatable; for --multi-station)
  --timeout-ms N           time allowed for one reply (default 1000)
  --pcap FILE              record every frame as a pcap file (PLC side port 9600)

Driver settings (the communication block handed to the driver)
  --driver PATH            driver library (default: the one next to fins-host)
  --max-block N            largest element count of one frame (default 64)
  --default-station N      station of every tag in single-station mode (default 1)
  --retry-limit N          bad replies tolerated before giving up (default 2)
  --multi-station          each tag keeps its own station
  --remote-mode            remote-mode framing instead of FINS
  --run-mode N             2 sends writes to the PLC; other values write locally (default 2)
  --local-link N           link identity of this panel (default 0)
  --hmi-ip A.B.C.D         this panel's address text; its last number is the
                           proposed FINS node (default 127.0.0.1)

Screen actions
  --write NAME=VALUE       write a tag; VALUE is a number (decimal or 0x hex), or
                           comma-separated numbers for consecutive elements (repeatable)
  --read-once NAME         one-shot read of a tag, reported when done (repeatable)

Running
  --cycles N               stop after N complete passes over the read list
  --seconds S              stop after S seconds
  --max-offline-seconds S  with --cycles or --seconds: give up when no reply has been
                           good for S seconds (default 10; 0 never)
  --json                   print a machine-readable final report instead of screens
  --plain                  plain lines even on a terminal
  --refresh-ms N           screen refresh interval (default 250 on a terminal, 1000 otherwise)
  --help                   this text

Browser panel
  --http ADDR:PORT         serve the panel there while the host runs (port 0: any free
                           port); the address to open is printed at start
  --http-allow-remote      allow a non-loopback ADDR; every request then needs the token
  --http-token TOKEN       the panel's token (default with --http-allow-remote: generated
                           and printed)

Exit codes
  0 success, 1 internal error, 2 bad command line, 3 bad tag file,
  4 driver library unusable, 5 connection lost (offline at the end)
)";
}

} // namespace fhost
