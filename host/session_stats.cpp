#include "session_stats.h"

#include "omron_fins_results.h"

namespace fhost {

const char* frameKindName(FrameKind kind) {
    switch (kind) {
    case FrameKind::None:
        return "none";
    case FrameKind::Handshake:
        return "node address";
    case FrameKind::CyclicRead:
        return "cyclic read";
    case FrameKind::OnceRead:
        return "one-shot read";
    case FrameKind::Write:
        return "write";
    case FrameKind::Other:
        return "other";
    }
    return "?";
}

void SessionStats::exchanged(FrameKind kind, bool sent, int result, bool answered) {
    if (sent) ++c_.exchanges;
    if (kind == FrameKind::Handshake) {
        if (sent) ++c_.handshakes;
        if (result == fins::RESULT_HANDSHAKE_REFUSED && answered) ++c_.handshake_refusals;
    } else if (fins::isGood(result)) {
        ++c_.good;
    } else if (result == fins::RESULT_SENT_AGAIN) {
        ++c_.retries;
    } else if (fins::isGivenUp(result)) {
        ++c_.failures;
    }
}

void SessionStats::cyclicReadGood(int blocks, Clock::time_point now) {
    if (++cycle_good_reads_ < blocks) return;
    ++c_.cycles;
    c_.last_cycle_ms = std::chrono::duration<double, std::milli>(now - cycle_start_).count();
    c_.last_cycle_frames = cycle_frames_;
    cycle_start_ = now;
    cycle_good_reads_ = 0;
    cycle_frames_ = 0;
}

double SessionStats::exchangesPerSecond(Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - started_).count();
    return seconds > 0 ? c_.exchanges / seconds : 0.0;
}

} // namespace fhost
