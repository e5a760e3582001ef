// Seeded, reproducible fault injection: which reply to spoil, and how.
#ifndef PLCSIM_FAULTS_H
#define PLCSIM_FAULTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace plcsim {

enum class FaultKind {
    Drop,       // read the request, send nothing
    Delay,      // send the reply `value` milliseconds late
    Corrupt,    // flip (XOR 0xFF) `value` bytes of the reply at seeded positions
    Error,      // FINS/TCP error code `value` at reply bytes 12..15
    Extra,      // `value` seeded bytes appended to the reply
    Short,      // the last `value` bytes of the reply left out
    Close,      // close the connection instead of replying
    CloseAfter, // close the connection after it has answered `value` frames
    NonFatal    // set the non-fatal CPU error bit (0x0040) of a good reply's end code
};

enum class FaultTrigger {
    Always,     // every request
    Nth,        // only request number n (counted from 1, server-wide)
    EveryNth,   // requests n, 2n, 3n, ...
    Probability // each request with probability p (seeded)
};

struct FaultRule {
    FaultKind kind = FaultKind::Drop;
    uint32_t value = 0;
    FaultTrigger trigger = FaultTrigger::Always;
    uint64_t n = 0;
    double p = 0.0;
};

// Parses "drop@3", "delay=500@every:5", "error=0x21@p:0.1", "corrupt=2@4",
// "extra=3", "short=1@every:2", "close@7", "close-after=20", "nonfatal@p:0.5".
bool parseFaultRule(const std::string& text, FaultRule* rule, std::string* error);

// What happens to one reply. Several rules may hit the same request.
struct FaultDecision {
    bool drop = false;
    bool close = false; // close instead of replying
    uint32_t delayMs = 0;
    uint32_t corruptBytes = 0;
    bool setError = false;
    uint32_t errorCode = 0;
    uint32_t extraBytes = 0;
    uint32_t shortBytes = 0;
    bool nonFatal = false;
    bool any() const {
        return drop || close || delayMs || corruptBytes || setError || extraBytes || shortBytes ||
               nonFatal;
    }
};

// Pure: the decision for request number `request` (from 1) depends only on the rules,
// the seed and that number, never on timing or on other requests.
// True when the reply has a FINS end code at endCodeAt and it is 0x0000 (valid data).
bool carriesValidData(const std::vector<uint8_t>& reply, size_t endCodeAt);

class FaultPlan {
  public:
    FaultPlan() = default;
    FaultPlan(std::vector<FaultRule> rules, uint32_t seed);

    FaultDecision decide(uint64_t request) const;
    // 0 when no close-after rule is set; else the frames after which a connection closes.
    uint32_t closeAfter() const;
    // Applies error / nonfatal / corrupt / short / extra to a reply, seeded by request number;
    // endCodeAt: where the reply's FINS end code sits (0 = none, nonfatal does nothing).
    void spoil(const FaultDecision& decision, uint64_t request, std::vector<uint8_t>* reply,
               size_t endCodeAt = 0) const;

    const std::vector<FaultRule>& rules() const { return rules_; }
    uint32_t seed() const { return seed_; }

  private:
    std::vector<FaultRule> rules_;
    uint32_t seed_ = 1;
};

} // namespace plcsim

#endif
