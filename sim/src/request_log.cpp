#include "plcsim/request_log.h"

#include <cstdio>

namespace plcsim {

namespace {

constexpr auto WINDOW = std::chrono::seconds(1);

std::string hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

std::string describeFault(const FaultDecision& d) {
    std::string s;
    auto add = [&s](const std::string& part) { s += (s.empty() ? "" : ",") + part; };
    if (d.drop) add("drop");
    if (d.close) add("close");
    if (d.delayMs) add("delay=" + std::to_string(d.delayMs));
    if (d.corruptBytes) add("corrupt=" + std::to_string(d.corruptBytes));
    if (d.setError) add("error=" + hex(d.errorCode, 2));
    if (d.extraBytes) add("extra=" + std::to_string(d.extraBytes));
    if (d.shortBytes) add("short=" + std::to_string(d.shortBytes));
    if (d.nonFatal) add("nonfatal");
    return s.empty() ? "-" : s;
}

} // namespace

std::string requestLine(const std::string& peer, const RequestInfo& info,
                        const FaultDecision& fault) {
    std::string line = peer + " " + info.command;
    if (info.areaCode >= 0) line += " area=" + hex(static_cast<uint32_t>(info.areaCode), 2);
    line += " addr=" + std::to_string(info.address) + " count=" + std::to_string(info.count);
    line += " end=" + hex(info.endCode, 4);
    if (info.tcpError) line += " tcp-error=" + hex(info.tcpError, 8);
    return line + " fault=" + describeFault(fault);
}

void RequestLog::request(const std::string& peer, const RequestInfo& info,
                         const FaultDecision& fault, TimePoint now) {
    if (now >= windowStart_ + WINDOW) roll(now);
    if (rate_ == 0 || shown_ < rate_) {
        ++shown_;
        sink_(requestLine(peer, info, fault));
        return;
    }
    ++hidden_;
    hiddenFaults_ += fault.any() ? 1 : 0;
    ++hiddenByCommand_[info.command];
}

void RequestLog::tick(TimePoint now) {
    if (now >= windowStart_ + WINDOW) roll(now);
}

TimePoint RequestLog::summaryDue() const {
    return hidden_ ? windowStart_ + WINDOW : TimePoint::max();
}

void RequestLog::roll(TimePoint now) {
    if (hidden_) {
        std::string counts;
        for (const auto& [command, n] : hiddenByCommand_)
            counts += (counts.empty() ? "" : ", ") + command + " " + std::to_string(n);
        sink_("log: " + std::to_string(hidden_) + " more requests in that second not shown (" +
              counts + "; " + std::to_string(hiddenFaults_) + " with a fault); at most " +
              std::to_string(rate_) + " request lines a second (--log-rate)");
    }
    windowStart_ = now;
    shown_ = 0;
    hidden_ = 0;
    hiddenFaults_ = 0;
    hiddenByCommand_.clear();
}

} // namespace plcsim
