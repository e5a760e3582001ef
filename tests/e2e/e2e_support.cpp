#include "e2e_support.h"

#include <thread>

namespace e2e {

namespace {

// Area of a register type in the simulator's terms.
plcsim::Area areaOf(int reg_type) {
    static const plcsim::Area areas[] = {
        plcsim::Area::CIO,         plcsim::Area::W,        plcsim::Area::H,
        plcsim::Area::A,           plcsim::Area::D,        plcsim::Area::TimerFlag,
        plcsim::Area::CounterFlag, plcsim::Area::CIO,      plcsim::Area::W,
        plcsim::Area::H,           plcsim::Area::A,        plcsim::Area::D,
        plcsim::Area::TimerPV,     plcsim::Area::CounterPV};
    return areas[reg_type];
}

int bitStart(const Tag& tag) {
    size_t dot = tag.addr_text.find('.');
    return std::stoi(tag.addr_text.substr(0, dot)) * 16 + std::stoi(tag.addr_text.substr(dot + 1));
}

} // namespace

plcsim::SimConfig simConfig(uint16_t port, bool remote) {
    plcsim::SimConfig c;
    c.bind = "127.0.0.1";
    c.port = port;
    c.node = SIM_NODE;
    c.remote = remote;
    return c;
}

std::unique_ptr<plcsim::SimServer> startSim(const plcsim::SimConfig& config, std::string* error) {
    std::unique_ptr<plcsim::SimServer> sim(new plcsim::SimServer(config));
    if (!sim->start(error)) return nullptr;
    sim->runInBackground();
    return sim;
}

HostOptions hostOptions(uint16_t port) {
    HostOptions o;
    o.driver_path = FINS_DRIVER_PATH;
    o.plc = fhost::Endpoint{"127.0.0.1", port};
    o.hmi_ip = "127.0.0." + std::to_string(HMI_NODE);
    o.retry_limit = 2;
    o.max_block = 64;
    o.timeout_ms = 1000;
    return o;
}

bool Host::start(const std::string& tag_text, std::string* error) {
    fhost::TagFile file = fhost::parseTagText(tag_text);
    if (!file.errors.empty()) {
        *error = "tag text: " + fhost::describe(file.errors[0]);
        return false;
    }
    if (!api_.load(options_.driver_path, error)) return false;
    session_.reset(new HostSession(options_, api_));
    return session_->start(file.tags, error);
}

const Tag& Host::tag(const std::string& name) {
    const Tag* t = session_->findTag(name);
    if (!t) throw std::runtime_error("no tag " + name);
    return *t;
}

Exchange Host::turn() {
    Exchange ex = session_->exchangeOnce();
    // A station waiting out its reconnect backoff is not a turn of its own.
    while (ex.waiting) {
        std::this_thread::sleep_until(session_->nextAttempt());
        ex = session_->exchangeOnce();
    }
    history_.push_back(ex);
    return ex;
}

int Host::runUntil(const std::function<bool()>& done, int max_turns) {
    for (int n = 0; n < max_turns; ++n) {
        if (done()) return n;
        turn();
    }
    return done() ? max_turns : -1;
}

std::vector<int> simValues(const plcsim::PlcMemory& memory, const Tag& tag) {
    std::vector<int> out;
    const plcsim::Area area = areaOf(tag.reg_type);
    if (tag.reg_type <= 4) {
        const int start = bitStart(tag);
        for (int i = 0; i < tag.length; ++i)
            out.push_back(memory.bit(area, (start + i) / 16, (start + i) % 16) ? 1 : 0);
    } else {
        const int start = std::stoi(tag.addr_text);
        for (int i = 0; i < tag.length; ++i) {
            if (tag.reg_type <= 6)
                out.push_back(memory.flag(area, start + i) ? 1 : 0);
            else
                out.push_back(memory.word(area, start + i));
        }
    }
    return out;
}

void fillPattern(plcsim::PlcMemory& memory, const std::vector<Tag>& tags, int seed) {
    for (const Tag& tag : tags) {
        const plcsim::Area area = areaOf(tag.reg_type);
        if (tag.reg_type <= 4) {
            const int start = bitStart(tag);
            for (int i = 0; i < tag.length; ++i) {
                const int b = start + i;
                memory.setBit(area, b / 16, b % 16, ((b * 7 + seed) % 3) == 0);
            }
        } else if (tag.reg_type <= 6) {
            const int start = std::stoi(tag.addr_text);
            for (int i = 0; i < tag.length; ++i)
                memory.setFlag(area, start + i, ((start + i + seed) % 3) != 1);
        } else {
            const int start = std::stoi(tag.addr_text);
            for (int i = 0; i < tag.length; ++i) {
                const unsigned v =
                    (tag.reg_type * 4099u + (start + i) * 131u + seed * 7u) & 0xFFFFu;
                memory.setWord(area, start + i, static_cast<uint16_t>(v));
            }
        }
    }
}

bool tagMatchesSim(HostSession& session, const plcsim::PlcMemory& memory, const Tag& tag) {
    return session.readTag(tag) == simValues(memory, tag);
}

bool hostMatchesSim(HostSession& session, const plcsim::PlcMemory& memory) {
    for (const Tag& t : session.tags())
        if (!tagMatchesSim(session, memory, t)) return false;
    return true;
}

} // namespace e2e
