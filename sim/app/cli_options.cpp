#include "cli_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "plcsim/profiles.h"

namespace plcsim {

namespace {

const char* const PROGRAM = "fins-plcsim";
const char* const DESCRIPTION = "A FINS/TCP server that behaves like a CP1L PLC's built-in "
                                "Ethernet port.";

// What --help adds after the option list: the syntax of the option values.
const char* const SYNTAX_TEXT = R"(
Memory file (--memory) and --set: one NAME = VALUE a line, '#' starts a comment.
Names: CIOn, Wn, Hn, An, Dn (words), CIOn.bb / Wn.bb / ... (bit bb 0-15), Tn / Cn
(timer and counter present values), Tn.flag / Cn.flag (completion flags). Values:
decimal, 0x hex, or -32768..-1; bits and flags 0 or 1; a word name may take a data
type as a fins-host tag does (D310:REAL = 23.5, D320:DINT:swap = 100000,
D300:STRING12 = "PUMP 3", T5:BCD = 250). Every bad line is reported.

Fault rules: KIND[=VALUE][@TRIGGER]
  drop              read the request, send no reply
  delay=MS          send the reply MS milliseconds late
  corrupt[=K]       flip (XOR 0xFF) K bytes of the reply (default 1)
  error=CODE        put FINS/TCP error CODE into reply bytes 12..15
  extra[=K]         append K bytes to the reply (default 1)
  short[=K]         leave out the last K bytes of the reply (default 1)
  close             close the connection instead of replying
  close-after=N     close each connection after it has answered N requests
  nonfatal          set the non-fatal CPU error bit (end code 0x0040) of replies
                    that carry valid data (reads and writes answered 0x0000)
Triggers: N (the Nth request only), every:N, p:P (probability 0..1, seeded),
always (the default). Requests are numbered from 1 over all connections.
Examples: --fault drop@3  --fault delay=500@every:5  --fault error=0x21@p:0.1
Rules combine: several may hit one request (delays take the longest, byte counts add).

A PLC's Ethernet port (FINS/TCP; each off unless a profile or option sets it, but
the message limit, which is a CP1L's 1016 bytes unless set):
  --slots N         a node address exchange beyond N connections gets FINS/TCP error
                    0x20 and its connection is closed; a slot is taken by a granted
                    exchange and freed when the connection closes (after --release-ms)
  --release-ms MS   a closed connection (by either side) keeps its slot MS ms
  --unique-nodes    a node held by another live connection from the same address
                    gets error 0x21 (the connection stays open)
  --segment BYTES   every reply goes out in pieces of at most BYTES (also the TCP
                    segment size advertised), --segment-pause MS apart
  --max-message B   FINS messages of at most B bytes: a longer command gets end code
                    0x1001, a read of more than B - 18 data bytes 0x110B (default 1016)
A proposed node 0 always gets the first node counting down from 0xFB that no open
connection or unreleased slot holds (error 0x25 when none is left).
Profiles (--profile; options given beside it override it):
@PROFILES@
  No profile sets a slow release: add --release-ms 60000 for the minute a real port
  can take to free a closed connection.

--status prints one line a second on stderr: open connections, slots in use (of the
limit), releasing slots, counters, then each connection (PEER node=N) and each slot
waiting for its release (releasing PEER node=N in=MSms). --status-file FILE keeps the
same as one line of JSON in FILE, written at start, each second and at stop.

--log writes one line per request, at most --log-rate lines a second (default 100;
0 = no limit); past that, one summary line a second counts what was left out.

Both --opt value and --opt=value work.
Exit codes: 0 stopped normally, --help or --version; 1 start-up failure;
2 bad command line.
)";

bool parseUint(const std::string& s, unsigned long min, unsigned long max, unsigned long* out) {
    if (s.empty() || s[0] == '-' || s[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

struct OptionSpec {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* description;
    bool repeatable;
};

const OptionSpec OPTIONS[] = {
    {"port", "N", "TCP port (default 9600; 0 = any free port).", false},
    {"port-file", "FILE", "Write the port number to FILE once listening.", false},
    {"bind", "ADDR",
     "IPv4 address or host name to listen on (default 127.0.0.1); only 127.x.x.x unless "
     "--allow-remote-bind.",
     false},
    {"allow-remote-bind", nullptr, "Accept a non-loopback --bind address.", false},
    {"node", "N", "The PLC's own FINS node, 1-254 (default 1).", false},
    {"remote", nullptr, "Speak the remote framing instead of FINS/TCP.", false},
    {"log", nullptr, "One line per request on stderr, at most --log-rate a second.", false},
    {"log-rate", "N", "Request lines a second in the log, 0-1000000 (default 100; 0 = all).",
     false},
    {"status", nullptr, "One status line a second on stderr (connections, slots).", false},
    {"status-file", "FILE", "The status as JSON in FILE: at start, each second, at stop.", false},
    {"profile", "NAME", "Play a real PLC's port: cp1l (see below).", false},
    {"slots", "N", "FINS/TCP connections at once, 0-1000 (default 0 = no limit).", false},
    {"release-ms", "MS", "A closed connection keeps its slot MS ms, 0-600000 (default 0).", false},
    {"unique-nodes", nullptr, "Refuse a node a live connection from the same address holds.",
     false},
    {"segment", "BYTES", "Send replies in pieces of at most BYTES, 1-65535 (default: whole).",
     false},
    {"segment-pause", "MS", "Pause between two pieces of a reply, 0-10000 ms (default 0).", false},
    {"max-message", "BYTES", "Longest FINS message, 20-2040 (default 1016).", false},
    {"memory", "FILE", "Start-up memory values (repeatable; see below).", true},
    {"set", "NAME=VALUE", "One start-up value, e.g. --set D100=1234 (repeatable).", true},
    {"animate", nullptr,
     "Demo: D0 counts up, CIO 0.00 toggles, a REAL in D310 moves, a DINT in D320 grows.", false},
    {"animate-interval", "MS", "Animation step interval, 10-3600000 ms (default 1000).", false},
    {"max-connections", "N", "TCP connections at once, 1-1000 (default 16); more are closed.",
     false},
    {"seed", "N", "Seed of the fault injection (default 1).", false},
    {"fault", "RULE", "Inject a fault (repeatable; see below).", true},
};

std::string profileNames() {
    std::string names;
    for (size_t i = 0; i < PORT_PROFILE_COUNT; ++i)
        names += (i ? ", " : "") + std::string(PORT_PROFILES[i].name);
    return names;
}

bool invalid(const char* name, const std::string& value, const std::string& why,
             std::string* error) {
    *error = "invalid value '" + value + "' for --" + name + ": " + why;
    return false;
}

// The option's value as a whole number min..max (decimal or 0x hex), when it is given.
template <typename T>
bool number(const QCommandLineParser& parser, const char* name, unsigned long min,
            unsigned long max, T* out, std::string* error) {
    if (!parser.isSet(name)) return true;
    const std::string value = parser.value(name).toStdString();
    unsigned long n = 0;
    if (!parseUint(value, min, max, &n))
        return invalid(name, value,
                       "expected " + std::to_string(min) + " to " + std::to_string(max), error);
    *out = static_cast<T>(n);
    return true;
}

// Each value of a repeatable option through parse(text, item, why), in the order given.
template <typename T, typename Parse>
bool each(const QCommandLineParser& parser, const char* name, std::vector<T>* out, Parse parse,
          std::string* error) {
    for (const QString& text : parser.values(name)) {
        T item;
        std::string why;
        if (!parse(text.toStdString(), &item, &why))
            return invalid(name, text.toStdString(), why, error);
        out->push_back(item);
    }
    return true;
}

// The profile first, so that options given beside it override it.
bool readProfile(const QCommandLineParser& parser, SimConfig* c, std::string* error) {
    if (!parser.isSet("profile")) return true;
    const std::string name = parser.value("profile").toStdString();
    const PortProfile* profile = findProfile(name);
    if (!profile) return invalid("profile", name, "expected " + profileNames(), error);
    applyProfile(*profile, c);
    return true;
}

bool readOptions(const QCommandLineParser& parser, CliOptions* o, std::string* error) {
    SimConfig& c = o->config;
    if (!readProfile(parser, &c, error)) return false;
    c.rules.uniqueNodes = c.rules.uniqueNodes || parser.isSet("unique-nodes");
    o->statusLines = parser.isSet("status");
    o->statusFile = parser.value("status-file").toStdString();
    c.allowRemoteBind = parser.isSet("allow-remote-bind");
    c.remote = parser.isSet("remote");
    c.log = parser.isSet("log");
    c.animate = parser.isSet("animate");
    if (parser.isSet("bind")) c.bind = parser.value("bind").toStdString();
    o->portFile = parser.value("port-file").toStdString();
    for (const QString& file : parser.values("memory"))
        o->memoryFiles.push_back(file.toStdString());
    return number(parser, "port", 0, 65535, &c.port, error) &&
           number(parser, "node", 1, 254, &c.node, error) &&
           number(parser, "animate-interval", 10, 3600000, &c.animateIntervalMs, error) &&
           number(parser, "max-connections", 1, 1000, &c.maxConnections, error) &&
           number(parser, "seed", 0, 0xFFFFFFFFul, &c.seed, error) &&
           number(parser, "log-rate", 0, 1000000, &c.logRate, error) &&
           number(parser, "slots", 0, 1000, &c.rules.slotLimit, error) &&
           number(parser, "release-ms", 0, 600000, &c.rules.releaseMs, error) &&
           number(parser, "segment", 1, 65535, &c.segments.bytes, error) &&
           number(parser, "segment-pause", 0, 10000, &c.segments.pauseMs, error) &&
           number(parser, "max-message", FINS_MIN_MESSAGE_LIMIT, FINS_MAX_MESSAGE_LIMIT,
                  &c.messageLimit, error) &&
           each(parser, "set", &o->sets, parseAssignment, error) &&
           each(parser, "fault", &c.faults, parseFaultRule, error);
}

CliResult failure(const std::string& text) {
    return {CliAction::Error, text};
}

// Qt's messages are sentences ("Missing value after '--port'."); ours are clauses.
std::string clause(const QString& sentence) {
    std::string s = sentence.toStdString();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (!s.empty()) s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
    return s;
}

std::string helpText(const QCommandLineParser& parser) {
    // Qt takes the program name of the usage line from the application object.
    static char name[] = "fins-plcsim";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    QCoreApplication app(argc, argv);
    std::string syntax = SYNTAX_TEXT;
    std::string profiles;
    for (size_t i = 0; i < PORT_PROFILE_COUNT; ++i)
        profiles += std::string("  ") + PORT_PROFILES[i].name + "  " +
                    PORT_PROFILES[i].description + (i + 1 < PORT_PROFILE_COUNT ? "\n" : "");
    syntax.replace(syntax.find("@PROFILES@"), 10, profiles);
    return parser.helpText().toStdString() + syntax;
}

// The first option that takes one value (or is a flag) but was given more than once.
const OptionSpec* repeatedOption(const QCommandLineParser& parser) {
    const QStringList given = parser.optionNames();
    for (const OptionSpec& spec : OPTIONS)
        if (!spec.repeatable && given.count(QString::fromLatin1(spec.name)) > 1) return &spec;
    return nullptr;
}

} // namespace

CliResult parseCommandLine(const QStringList& arguments, CliOptions* options) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(DESCRIPTION));
    for (const OptionSpec& spec : OPTIONS) {
        QCommandLineOption option(QString::fromLatin1(spec.name),
                                  QString::fromLatin1(spec.description));
        if (spec.valueName) option.setValueName(QString::fromLatin1(spec.valueName));
        parser.addOption(option);
    }
    parser.addOption({{"h", "help"}, "Show this text."});
    parser.addOption({"version", "Show the program's version."});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) return failure("unknown option --" + unknown.first().toStdString());
        return failure(clause(parser.errorText()));
    }
    if (parser.isSet("help")) return {CliAction::Help, helpText(parser)};
    if (parser.isSet("version"))
        return {CliAction::Version, std::string(PROGRAM) + " " + PLCSIM_VERSION + "\n"};
    if (!parser.positionalArguments().isEmpty())
        return failure("unexpected argument '" +
                       parser.positionalArguments().first().toStdString() + "'");
    if (const OptionSpec* twice = repeatedOption(parser))
        return failure("option --" + std::string(twice->name) + " given more than once");

    std::string error;
    if (!readOptions(parser, options, &error)) return failure(error);
    return {};
}

} // namespace plcsim
