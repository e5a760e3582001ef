#include "plcsim/faults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "byte_io.h"

namespace plcsim {

namespace {

struct KindName {
    FaultKind kind;
    const char* name;
    bool needsValue;
    uint32_t defaultValue;
};

const KindName KINDS[] = {
    {FaultKind::Drop, "drop", false, 0},         {FaultKind::Delay, "delay", true, 0},
    {FaultKind::Corrupt, "corrupt", false, 1},   {FaultKind::Error, "error", true, 0},
    {FaultKind::Extra, "extra", false, 1},       {FaultKind::Short, "short", false, 1},
    {FaultKind::Close, "close", false, 0},       {FaultKind::CloseAfter, "close-after", true, 0},
    {FaultKind::NonFatal, "nonfatal", false, 0},
};

const KindName* findKind(const std::string& name) {
    for (const KindName& k : KINDS)
        if (name == k.name) return &k;
    return nullptr;
}

// Unsigned number, decimal or 0x hex, that fits 32 bits (64 for request numbers).
bool parseNumber(const std::string& s, uint64_t max, uint64_t* out) {
    if (s.empty() || s[0] == '-' || s[0] == '+' || s[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

bool parseTrigger(const std::string& s, FaultRule* rule, std::string* error) {
    uint64_t n = 0;
    if (s == "always") {
        rule->trigger = FaultTrigger::Always;
    } else if (s.rfind("every:", 0) == 0) {
        if (!parseNumber(s.substr(6), UINT64_MAX, &n) || n == 0) {
            *error = "'every:' needs a whole number of at least 1";
            return false;
        }
        rule->trigger = FaultTrigger::EveryNth;
        rule->n = n;
    } else if (s.rfind("p:", 0) == 0) {
        const std::string p = s.substr(2);
        char* end = nullptr;
        const double v = p.empty() ? -1 : std::strtod(p.c_str(), &end);
        if (p.empty() || *end != '\0' || !(v >= 0.0 && v <= 1.0)) {
            *error = "'p:' needs a probability from 0 to 1";
            return false;
        }
        rule->trigger = FaultTrigger::Probability;
        rule->p = v;
    } else if (parseNumber(s, UINT64_MAX, &n) && n > 0) {
        rule->trigger = FaultTrigger::Nth;
        rule->n = n;
    } else {
        *error = "unknown trigger '" + s + "' (use N, every:N, p:P or always)";
        return false;
    }
    return true;
}

uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A pseudo-random number fixed by seed, request number and a salt.
uint64_t mix(uint32_t seed, uint64_t request, uint64_t salt) {
    return splitmix64(splitmix64(splitmix64(seed) ^ request) ^ salt);
}

bool triggers(const FaultRule& rule, uint32_t seed, uint64_t request, size_t index) {
    switch (rule.trigger) {
    case FaultTrigger::Always:
        return true;
    case FaultTrigger::Nth:
        return request == rule.n;
    case FaultTrigger::EveryNth:
        return rule.n != 0 && request % rule.n == 0;
    case FaultTrigger::Probability: {
        const double u = double(mix(seed, request, index) >> 11) / double(1ull << 53);
        return u < rule.p;
    }
    }
    return false;
}

constexpr uint32_t MAX_BYTES = 65536;
constexpr uint32_t MAX_DELAY_MS = 600000;
constexpr uint64_t CORRUPT_SALT = 0x10000;
constexpr uint64_t EXTRA_SALT = 0x20000;
constexpr uint8_t NON_FATAL_CPU_ERROR = 0x40; // in the end code's second byte

} // namespace

bool parseFaultRule(const std::string& text, FaultRule* rule, std::string* error) {
    std::string dummy;
    if (!error) error = &dummy;
    FaultRule r;
    const size_t at = text.find('@');
    const std::string head = text.substr(0, at);
    const size_t eq = head.find('=');
    const std::string name = head.substr(0, eq);
    const KindName* kind = findKind(name);
    if (!kind) {
        *error = "unknown fault '" + name +
                 "' (use drop, delay, corrupt, error, extra, short, close, close-after, nonfatal)";
        return false;
    }
    r.kind = kind->kind;
    r.value = kind->defaultValue;
    if (eq != std::string::npos) {
        uint64_t v = 0;
        if (!parseNumber(head.substr(eq + 1), UINT32_MAX, &v)) {
            *error = "fault '" + name + "' needs a whole number after '='";
            return false;
        }
        r.value = static_cast<uint32_t>(v);
    } else if (kind->needsValue) {
        *error = "fault '" + name + "' needs a value, e.g. " + name + "=5";
        return false;
    }
    if ((r.kind == FaultKind::Corrupt || r.kind == FaultKind::Extra ||
         r.kind == FaultKind::Short) &&
        r.value > MAX_BYTES) {
        *error = "fault '" + name + "' takes at most " + std::to_string(MAX_BYTES) + " bytes";
        return false;
    }
    if (r.kind == FaultKind::Delay && r.value > MAX_DELAY_MS) {
        *error = "delay takes at most " + std::to_string(MAX_DELAY_MS) + " ms";
        return false;
    }
    if (r.kind == FaultKind::CloseAfter && r.value == 0) {
        *error = "close-after needs at least 1 frame";
        return false;
    }
    if (at != std::string::npos) {
        if (r.kind == FaultKind::CloseAfter) {
            *error = "close-after takes no trigger";
            return false;
        }
        if (!parseTrigger(text.substr(at + 1), &r, error)) return false;
    }
    *rule = r;
    return true;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules, uint32_t seed)
    : rules_(std::move(rules)), seed_(seed) {}

FaultDecision FaultPlan::decide(uint64_t request) const {
    FaultDecision d;
    for (size_t i = 0; i < rules_.size(); ++i) {
        const FaultRule& r = rules_[i];
        if (r.kind == FaultKind::CloseAfter || !triggers(r, seed_, request, i)) continue;
        switch (r.kind) {
        case FaultKind::Drop:
            d.drop = true;
            break;
        case FaultKind::Delay:
            d.delayMs = std::max(d.delayMs, r.value);
            break;
        case FaultKind::Corrupt:
            d.corruptBytes += r.value;
            break;
        case FaultKind::Error:
            d.setError = true;
            d.errorCode = r.value;
            break;
        case FaultKind::Extra:
            d.extraBytes += r.value;
            break;
        case FaultKind::Short:
            d.shortBytes += r.value;
            break;
        case FaultKind::Close:
            d.close = true;
            break;
        case FaultKind::NonFatal:
            d.nonFatal = true;
            break;
        case FaultKind::CloseAfter:
            break;
        }
    }
    return d;
}

uint32_t FaultPlan::closeAfter() const {
    uint32_t n = 0;
    for (const FaultRule& r : rules_)
        if (r.kind == FaultKind::CloseAfter && (n == 0 || r.value < n)) n = r.value;
    return n;
}

bool carriesValidData(const std::vector<uint8_t>& reply, size_t endCodeAt) {
    return endCodeAt != 0 && endCodeAt + 2 <= reply.size() && reply[endCodeAt] == 0 &&
           reply[endCodeAt + 1] == 0;
}

void FaultPlan::spoil(const FaultDecision& d, uint64_t request, std::vector<uint8_t>* reply,
                      size_t endCodeAt) const {
    if (d.setError) setU32(*reply, 12, d.errorCode);
    if (d.nonFatal && carriesValidData(*reply, endCodeAt))
        (*reply)[endCodeAt + 1] |= NON_FATAL_CPU_ERROR;
    // Flip distinct bytes: a seeded start, then the next byte not yet flipped.
    const size_t flips = std::min<size_t>(d.corruptBytes, reply->size());
    std::vector<bool> flipped(reply->size(), false);
    for (size_t k = 0; k < flips; ++k) {
        size_t pos = mix(seed_, request, CORRUPT_SALT + k) % reply->size();
        while (flipped[pos])
            pos = (pos + 1) % reply->size();
        flipped[pos] = true;
        (*reply)[pos] ^= 0xFF;
    }
    reply->resize(reply->size() - std::min<size_t>(d.shortBytes, reply->size()));
    for (uint32_t k = 0; k < d.extraBytes; ++k)
        reply->push_back(static_cast<uint8_t>(mix(seed_, request, EXTRA_SALT + k)));
}

} // namespace plcsim
