#include "cli_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cctype>
#include <cerrno>
#include <cstdlib>

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
decimal, 0x hex, or -32768..-1; bits and flags 0 or 1. Every bad line is reported.

Fault rules: KIND[=VALUE][@TRIGGER]
  drop              read the request, send no reply
  delay=MS          send the reply MS milliseconds late
  corrupt[=K]       flip (XOR 0xFF) K bytes of the reply (default 1)
  error=CODE        put FINS/TCP error CODE into reply bytes 12..15
  extra[=K]         append K bytes to the reply (default 1)
  short[=K]         leave out the last K bytes of the reply (default 1)
  close             close the connection instead of replying
  close-after=N     close each connection after it has answered N requests
Triggers: N (the Nth request only), every:N, p:P (probability 0..1, seeded),
always (the default). Requests are numbered from 1 over all connections.
Examples: --fault drop@3  --fault delay=500@every:5  --fault error=0x21@p:0.1

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
    {"log", nullptr, "One line per request on stderr.", false},
    {"memory", "FILE", "Start-up memory values (repeatable; see below).", true},
    {"set", "NAME=VALUE", "One start-up value, e.g. --set D100=1234 (repeatable).", true},
    {"animate", nullptr, "Demo: D0 counts up and CIO 0.00 toggles.", false},
    {"animate-interval", "MS", "Animation step interval, 10-3600000 ms (default 1000).", false},
    {"max-connections", "N", "Simultaneous connections, 1-1000 (default 16).", false},
    {"seed", "N", "Seed of the fault injection (default 1).", false},
    {"fault", "RULE", "Inject a fault (repeatable; see below).", true},
};

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

bool readOptions(const QCommandLineParser& parser, CliOptions* o, std::string* error) {
    SimConfig& c = o->config;
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
    return parser.helpText().toStdString() + SYNTAX_TEXT;
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
