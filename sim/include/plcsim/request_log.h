// The --log: one line per request up to a rate, then one summary line a second of what was
// left out, so a client polling flat out cannot fill a disk. Pure: time is passed in.
#ifndef PLCSIM_REQUEST_LOG_H
#define PLCSIM_REQUEST_LOG_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "plcsim/connection_table.h"
#include "plcsim/faults.h"
#include "plcsim/session.h"

namespace plcsim {

constexpr uint32_t DEFAULT_LOG_RATE = 100; // request lines a second

class RequestLog {
  public:
    using Sink = std::function<void(const std::string&)>;
    // linesPerSecond 0: every request gets its line.
    RequestLog(Sink sink, uint32_t linesPerSecond)
        : sink_(std::move(sink)), rate_(linesPerSecond) {}

    void request(const std::string& peer, const RequestInfo& info, const FaultDecision& fault,
                 TimePoint now);
    // Writes the summary once the second in which lines were left out has passed.
    void tick(TimePoint now);
    // When tick() has a summary to write; TimePoint::max() when none is pending.
    TimePoint summaryDue() const;
    // A line outside the rate (the status line).
    void note(const std::string& line) { sink_(line); }

  private:
    void roll(TimePoint now);

    Sink sink_;
    uint32_t rate_;
    TimePoint windowStart_{};
    uint32_t shown_ = 0;
    uint64_t hidden_ = 0;
    uint64_t hiddenFaults_ = 0;
    std::map<std::string, uint64_t> hiddenByCommand_;
};

// "PEER COMMAND [area=0xAA] addr=N count=N end=0xEEEE [tcp-error=0x...] fault=F".
std::string requestLine(const std::string& peer, const RequestInfo& info,
                        const FaultDecision& fault);

} // namespace plcsim

#endif
