#include "e2e_support.h"

#include <thread>

#include "fins_codec.h"

namespace e2e {

namespace {

using TagUnit = fins::Unit;

// One element of a tag in the simulator's terms.
struct Element {
    plcsim::Area area;
    TagUnit unit;
    uint32_t at; // word, flag or present-value number
    unsigned bit;
};

Element elementOf(const Tag& tag, int i) {
    // The simulator's area of each image area, in the codec's order.
    static const plcsim::Area areas[] = {
        plcsim::Area::CIO,         plcsim::Area::W,       plcsim::Area::H,
        plcsim::Area::A,           plcsim::Area::D,       plcsim::Area::TimerFlag,
        plcsim::Area::CounterFlag, plcsim::Area::TimerPV, plcsim::Area::CounterPV};
    const fins::RegType& type = *fins::regType(tag.reg_type);
    const bool bit = type.unit == TagUnit::Bit;
    const std::string& a = tag.addr_text;
    const int n =
        bit ? std::stoi(a) * 16 + std::stoi(a.substr(a.find('.') + 1)) + i : std::stoi(a) + i;
    return {areas[static_cast<int>(type.image)], type.unit, uint32_t(bit ? n / 16 : n),
            unsigned(bit ? n % 16 : 0)};
}

} // namespace

plcsim::SimConfig simConfig(uint16_t port, bool remote) {
    plcsim::SimConfig c;
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
    return o;
}

bool Host::start(const std::string& tag_text, std::string* error) {
    fhost::TagFile file = fhost::parseTagText(tag_text);
    if (!file.errors.empty()) {
        *error = "tag text: " + fhost::describe(file.errors[0]);
        return false;
    }
    if (!api_.load(options_.driver_path, error)) return false;
    session_.reset(new fhost::HostSession(options_, api_));
    return session_->start(file.tags, error);
}

const Tag& Host::tag(const std::string& name) {
    return *session_->findTag(name); // the tests name only tags of their own tag text
}

Exchange Host::turn() {
    Exchange ex;
    // A station waiting out its reconnect backoff is not a turn of its own.
    while ((ex = session_->exchangeOnce()).waiting)
        std::this_thread::sleep_until(session_->nextAttempt());
    history_.push_back(ex);
    return ex;
}

int Host::runUntil(const std::function<bool()>& done, int max_turns) {
    int n = 0;
    for (; n < max_turns && !done(); ++n)
        turn();
    return done() ? n : -1;
}

std::vector<int> simValues(const plcsim::PlcMemory& memory, const Tag& tag) {
    std::vector<int> out;
    for (int i = 0; i < tag.length; ++i) {
        const Element e = elementOf(tag, i);
        out.push_back(e.unit == TagUnit::Bit    ? memory.bit(e.area, e.at, e.bit)
                      : e.unit == TagUnit::Flag ? memory.flag(e.area, e.at)
                                                : memory.word(e.area, e.at));
    }
    return out;
}

void fillPattern(plcsim::PlcMemory& memory, const std::vector<Tag>& tags, int seed) {
    for (const Tag& tag : tags) {
        for (int i = 0; i < tag.length; ++i) {
            const Element e = elementOf(tag, i);
            const unsigned v = tag.reg_type * 4099u + e.at * 131u + e.bit * 17u + seed * 7u;
            if (e.unit == TagUnit::Bit)
                memory.setBit(e.area, e.at, e.bit, v % 3 == 0);
            else if (e.unit == TagUnit::Flag)
                memory.setFlag(e.area, e.at, v % 3 != 1);
            else
                memory.setWord(e.area, e.at, static_cast<uint16_t>(v));
        }
    }
}

} // namespace e2e
