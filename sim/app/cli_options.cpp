#include "cli_options.h"

#include <cerrno>
#include <cstdlib>

namespace plcsim {

namespace {

bool parseUint(const std::string& s, unsigned long min, unsigned long max, unsigned long* out) {
    if (s.empty() || s[0] == '-' || s[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

// Splits "--name=value" and "--name value"; *consumed tells whether argv[i+1] was used.
struct Arg {
    std::string name;
    std::string value;
    bool hasValue = false;
};

Arg splitArg(const std::string& text) {
    Arg a;
    const size_t eq = text.find('=');
    a.name = text.substr(0, eq);
    if (eq != std::string::npos) {
        a.value = text.substr(eq + 1);
        a.hasValue = true;
    }
    return a;
}

bool isFlagOption(const std::string& name) {
    return name == "--remote" || name == "--log" || name == "--animate" ||
           name == "--allow-remote-bind" || name == "--help" || name == "-h";
}

bool isValueOption(const std::string& name) {
    static const char* const NAMES[] = {"--port",           "--port-file", "--bind",
                                        "--node",           "--seed",      "--fault",
                                        "--memory",         "--set",       "--animate-interval",
                                        "--max-connections"};
    for (const char* n : NAMES)
        if (name == n) return true;
    return false;
}

bool applyValue(const std::string& name, const std::string& value, CliOptions* o,
                std::string* error) {
    unsigned long n = 0;
    auto bad = [&](const std::string& what) {
        *error = "invalid value '" + value + "' for " + name + ": " + what;
        return false;
    };
    if (name == "--port") {
        if (!parseUint(value, 0, 65535, &n)) return bad("expected a port 0 to 65535");
        o->config.port = static_cast<uint16_t>(n);
    } else if (name == "--port-file") {
        o->portFile = value;
    } else if (name == "--bind") {
        o->config.bind = value;
    } else if (name == "--node") {
        if (!parseUint(value, 1, 254, &n)) return bad("expected a node 1 to 254");
        o->config.node = static_cast<uint8_t>(n);
    } else if (name == "--seed") {
        if (!parseUint(value, 0, 0xFFFFFFFFul, &n)) return bad("expected 0 to 4294967295");
        o->config.seed = static_cast<uint32_t>(n);
    } else if (name == "--fault") {
        FaultRule rule;
        std::string why;
        if (!parseFaultRule(value, &rule, &why)) return bad(why);
        o->config.faults.push_back(rule);
    } else if (name == "--memory") {
        o->memoryFiles.push_back(value);
    } else if (name == "--set") {
        MemoryAssignment a;
        std::string why;
        if (!parseAssignment(value, &a, &why)) return bad(why);
        o->sets.push_back(a);
    } else if (name == "--animate-interval") {
        if (!parseUint(value, 10, 3600000, &n)) return bad("expected 10 to 3600000 ms");
        o->config.animateIntervalMs = static_cast<uint32_t>(n);
    } else if (name == "--max-connections") {
        if (!parseUint(value, 1, 1000, &n)) return bad("expected 1 to 1000");
        o->config.maxConnections = n;
    }
    return true;
}

void applyFlag(const std::string& name, CliOptions* o) {
    if (name == "--remote") o->config.remote = true;
    if (name == "--log") o->config.log = true;
    if (name == "--animate") o->config.animate = true;
    if (name == "--allow-remote-bind") o->config.allowRemoteBind = true;
}

} // namespace

CliAction parseCommandLine(int argc, const char* const* argv, CliOptions* options,
                           std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const Arg a = splitArg(argv[i]);
        if (a.name == "--help" || a.name == "-h") return CliAction::Help;
        if (isFlagOption(a.name)) {
            if (a.hasValue) {
                *error = "option " + a.name + " takes no value";
                return CliAction::Error;
            }
            applyFlag(a.name, options);
            continue;
        }
        if (!isValueOption(a.name)) {
            *error = "unknown option '" + std::string(argv[i]) + "'";
            return CliAction::Error;
        }
        std::string value = a.value;
        if (!a.hasValue) {
            if (i + 1 >= argc) {
                *error = "option " + a.name + " needs a value";
                return CliAction::Error;
            }
            value = argv[++i];
        }
        if (!applyValue(a.name, value, options, error)) return CliAction::Error;
    }
    return CliAction::Run;
}

std::string usageText() {
    return R"(Usage: fins-plcsim [OPTIONS]
A FINS/TCP server that behaves like a CP1L PLC's built-in Ethernet port.

Options:
  --port N               TCP port (default 9600; 0 = any free port)
  --port-file FILE       write the port number to FILE once listening
  --bind ADDR            IPv4 address to listen on (default 127.0.0.1);
                         only 127.x.x.x unless --allow-remote-bind
  --allow-remote-bind    accept a non-loopback --bind address
  --node N               the PLC's own FINS node, 1-254 (default 1)
  --remote               speak the remote framing instead of FINS/TCP
  --log                  one line per request on stderr
  --memory FILE          start-up memory values (repeatable; see below)
  --set NAME=VALUE       one start-up value, e.g. --set D100=1234 (repeatable)
  --animate              demo: D0 counts up and CIO 0.00 toggles
  --animate-interval MS  animation step interval (default 1000)
  --max-connections N    simultaneous connections (default 16)
  --seed N               seed of the fault injection (default 1)
  --fault RULE           inject a fault (repeatable; see below)
  --help                 this text

Memory file: one NAME = VALUE a line, '#' starts a comment. Names: CIOn, Wn,
Hn, An, Dn (words), CIOn.bb / Wn.bb / ... (bit bb 0-15), Tn / Cn (timer and
counter present values), Tn.flag / Cn.flag (completion flags). Values: decimal,
0x hex, or -32768..-1; bits and flags 0 or 1.

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

Exit codes: 0 stopped normally or --help, 1 start-up failure, 2 bad usage.
)";
}

} // namespace plcsim
