#include "host_options.h"

#include <QCommandLineParser>
#include <QStringList>

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
    if (!out->stations.emplace(static_cast<int>(station), e).second) {
        *error = "--station " + std::to_string(station) + " given twice";
        return false;
    }
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
    {"--poll-ms", &HostOptions::poll_ms, 0, 600000},
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
    else if (name == "--csv")
        out->csv_path = value;
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
        if (!isDottedIpv4(value)) {
            *error = "--hmi-ip expects a dotted IPv4 address A.B.C.D, got '" + value + "'";
            return false;
        }
        if (value.size() >= 4 && value.compare(value.size() - 4, 4, ".255") == 0) {
            *error = "--hmi-ip " + value +
                     ": node 255 is the broadcast node, which no PLC "
                     "accepts (0 lets the PLC assign one)";
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
        if (name == "--seconds" && *field == 0) {
            *error = "--seconds 0 would end before the first exchange; leave it out to run "
                     "until Ctrl-C";
            return false;
        }
    } else {
        *error = "unknown option " + name;
        return false;
    }
    return true;
}

// Options that take no value, and value options that may be given more than once.
const char* const kFlags[] = {"multi-station", "remote-mode", "json",    "plain",
                              "status-only",   "help",        "version", "http-allow-remote",
                              "csv-changes",   "explain"};
const char* const kValueOptions[] = {"tags",       "driver", "pcap",      "plc",
                                     "hmi-ip",     "cycles", "seconds",   "max-offline-seconds",
                                     "station",    "write",  "read-once", "http",
                                     "http-token", "csv"};
const char* const kRepeatable[] = {"station", "write", "read-once"};

bool isRepeatable(const QString& name) {
    for (const char* r : kRepeatable)
        if (name == QLatin1String(r)) return true;
    return false;
}

void declareOptions(QCommandLineParser& parser) {
    for (const char* f : kFlags) {
        QStringList names(QString::fromLatin1(f));
        if (names.front() == QLatin1String("help")) names.prepend(QStringLiteral("h"));
        parser.addOption(QCommandLineOption(names));
    }
    for (const char* v : kValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(v), QString(), "value"));
    for (const IntOption& o : kIntOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name + 2), QString(), "value"));
}

// Qt's parse errors in the host's own words.
std::string parseErrorText(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString& n = unknown.front();
        return "unknown option " + std::string(n.size() == 1 ? "-" : "--") + n.toStdString() +
               " (see --help)";
    }
    const std::string text = parser.errorText().toStdString();
    const size_t open = text.find('\''), close = text.rfind('\'');
    const std::string name =
        open != std::string::npos && close > open ? text.substr(open + 1, close - open - 1) : "";
    if (text.rfind("Missing value after", 0) == 0) return name + " needs a value";
    if (text.rfind("Unexpected value after", 0) == 0) return name + " takes no value";
    return text;
}

bool checkCombination(const HostOptions& o, std::string* error) {
    if (!o.help && !o.version && o.tags_path.empty()) {
        *error = "--tags FILE is required (see --help)";
        return false;
    }
    if (o.csv_changes && o.csv_path.empty()) {
        *error = "--csv-changes needs --csv FILE";
        return false;
    }
    if (o.explain && o.json) {
        *error = "--explain prints the block map; --json carries it as read_blocks";
        return false;
    }
    if (!o.http_token.empty() && o.http.empty()) {
        *error = "--http-token needs --http (the token guards the browser panel)";
        return false;
    }
    if (!o.stations.empty() && !o.multi_station) {
        *error = "--station needs --multi-station (without it every tag goes to --plc)";
        return false;
    }
    if (!o.remote_mode && o.max_block > FINS_MAX_BLOCK) {
        *error = "--max-block " + std::to_string(o.max_block) +
                 ": one FINS frame of a CP1L carries at most " + std::to_string(FINS_MAX_BLOCK) +
                 " words";
        return false;
    }
    return true;
}

} // namespace

bool isDottedIpv4(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '.')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    long v = 0;
    for (const std::string& p : parts)
        if (p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos ||
            !parseInt(p, 0, 255, &v))
            return false;
    return parts.size() == 4;
}

bool parseHostOptions(int argc, const char* const* argv, HostOptions* out, std::string* error) {
    QCommandLineParser parser;
    declareOptions(parser);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(args)) {
        *error = parseErrorText(parser);
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = "unexpected argument '" + parser.positionalArguments().front().toStdString() +
                 "' (see --help)";
        return false;
    }
    out->help = parser.isSet("help");
    out->version = parser.isSet("version");
    out->multi_station = parser.isSet("multi-station");
    out->remote_mode = parser.isSet("remote-mode");
    out->json = parser.isSet("json");
    out->plain = parser.isSet("plain");
    out->status_only = parser.isSet("status-only");
    out->http_allow_remote = parser.isSet("http-allow-remote");
    out->csv_changes = parser.isSet("csv-changes");
    out->explain = parser.isSet("explain");
    for (const QString& name : parser.optionNames()) {
        const QStringList values = parser.values(name);
        if (values.isEmpty()) continue;
        if (values.size() > 1 && !isRepeatable(name)) {
            *error = "--" + name.toStdString() + " given more than once";
            return false;
        }
    }
    // Repeated --station, --write and --read-once keep their command-line order.
    for (const char* v : kValueOptions)
        for (const QString& value : parser.values(v))
            if (!applyValueOption(std::string("--") + v, value.toStdString(), out, error))
                return false;
    for (const IntOption& o : kIntOptions)
        for (const QString& value : parser.values(o.name + 2))
            if (!applyValueOption(o.name, value.toStdString(), out, error)) return false;
    if (out->explain && out->cycles == 0) out->cycles = 1; // one pass learns every block
    return checkCombination(*out, error);
}

const char* hostUsage() {
    return R"(Usage: fins-host --tags FILE [options]

Loads the FINS/TCP driver library, registers the tags of FILE for cyclic reading,
talks to the PLC over TCP and shows every tag's value with a status line.
Options take their value as --opt VALUE or --opt=VALUE.

Connection
  --plc HOST[:PORT]        PLC of the default station (default 127.0.0.1:9600; the
                           port is 9600 when left out)
  --station N=HOST:PORT    PLC of station N (repeatable; needs --multi-station)
  --timeout-ms N           time allowed for one reply (default 1000)
  --poll-ms N              shortest time between the starts of two passes over the
                           read list (default 100); writes and one-shot reads go at
                           once; 0 polls back to back
  --pcap FILE              record every frame as a pcap file (PLC side port 9600;
                           49600 in remote mode, which is not FINS)

Driver settings (the communication block handed to the driver)
  --driver PATH            driver library (default: the one next to fins-host, else
                           the installed one)
  --max-block N            largest element count of one frame (default 64; at most
                           499 in FINS mode, what one frame of a CP1L carries)
  --default-station N      station of every tag in single-station mode (default 1)
  --retry-limit N          bad replies tolerated before giving up (default 2)
  --multi-station          each tag keeps its own station
  --remote-mode            remote-mode framing instead of FINS
  --run-mode N             2 sends writes to the PLC; other values write locally (default 2)
  --local-link N           link identity of this panel (default 0)
  --hmi-ip A.B.C.D         this panel's IPv4 address; its last number is the
                           proposed FINS node (default 127.0.0.0: node 0, which the
                           PLC answers with a node it assigns; 255 is refused)

Screen actions
  --write NAME=VALUE       write a tag; VALUE is of the tag's data type (1750, 0x6D6,
                           -1, 23.5, "PUMP 3") and within its range, or comma-separated
                           values for consecutive elements (repeatable)
  --read-once NAME         one-shot read of a tag, reported when done (repeatable)

Running
  --cycles N               stop after N complete passes over the read list
  --seconds S              stop after S seconds
  --max-offline-seconds S  with --cycles or --seconds: give up when no reply has been
                           good for S seconds (default 10; 0 never)
  --json                   print a machine-readable final report instead of screens
  --plain                  plain lines even on a terminal
  --status-only            show only the status, the stations and the notices
  --explain                print the cyclic read blocks after one pass (or --cycles N)
                           and exit: station, area, start, count, the frame's area code,
                           start and items, the last round trip and the tags each covers
  --refresh-ms N           screen refresh interval (default 250 on a terminal or with
                           --http, 1000 otherwise)
  --csv FILE               value log: a row per refresh, an ISO 8601 time and each
                           tag's typed values (stale ones empty), flushed every row;
                           FILE is replaced
  --csv-changes            with --csv: a row only when a value or staleness changed
  --version                the program's version
  --help                   this text

Browser panel
  --http ADDR:PORT         serve the panel there while the host runs (port 0: any free
                           port); the address to open is printed at start
  --http-allow-remote      allow a non-loopback ADDR; every request then needs the token
  --http-token TOKEN       the panel's token (needs --http; default with
                           --http-allow-remote: generated and printed)

Tag file: one tag per line, fields separated by blanks, '#' starts a comment.
  # name        type      address   [length]  [station]
  speed         D         100                 # one word
  recipe        D         200       10        # ten words, D200-D209
  lamps         CIO.bit   10.03     4         # bits 10.03 to 10.06
  oven2_temp    D         300       1         2
  temp          D:REAL    310                 # D310-D311
  total         D:DINT:swap 320               # highest word first
  pump          D:STRING12 330                # 12 bytes, D330-D335
  name: letters, digits, _ . - (a letter or _ first), unique in the file
  type: an area below, then optionally ':' and a data type
  address: word.bit (bit 0-15) for bit types, a plain number for the others
  length: values of the data type (default 1); the whole span must fit the area
  station: 0-254 (--multi-station)

  Type (or code)                   What                          Address range
  CIO.bit W.bit H.bit A.bit D.bit  bits of CIO, W, H, A, D (0-4) words 0-6143, 0-511,
                                                                 0-511, 0-959, 0-32767
  T.flag C.flag (5, 6)             timer / counter completion    0-4095
  CIO W H A D (7-11)               words of those areas          as above
  T C (12, 13)                     timer / counter present value 0-4095

  Data type (words: default UINT; bits and flags: BOOL only)
  INT UINT      16 bits               REAL LREAL   IEEE 754, 2 and 4 words
  DINT UDINT    32 bits, 2 words      BCD LBCD     4 digits in 1 word, 8 in 2
  LINT ULINT    64 bits, 4 words      STRINGn      n bytes, two a word
  Wider values keep their lowest word at the lowest address; ':swap' after the
  type puts the highest word first. A text's first byte is the first word's high byte.

Signals
  SIGINT, SIGTERM  end the run and report
  SIGHUP           read the tag file again; a bad one is refused and the run
                   goes on with the tags it has

Exit codes
  0 success, 1 internal error, 2 bad command line, 3 bad tag file,
  4 driver library unusable, 5 connection lost for good (also a run that ends
  offline after a give-up),
  6 a write or one-shot read was refused or given up
)";
}

const char* hostVersion() {
    return FINS_HOST_VERSION;
}

} // namespace fhost
