// The session's figures: exchanges, retries, failures, connections and the passes over
// the read list, as the status line and the state document show them.
#ifndef FINS_HOST_SESSION_STATS_H
#define FINS_HOST_SESSION_STATS_H

#include "plc_connection.h"

namespace fhost {

enum class FrameKind { None, Handshake, CyclicRead, OnceRead, Write, Other };
const char* frameKindName(FrameKind kind);

struct Counters {
    long exchanges = 0; // frames sent and answered, timed out or cut off
    long frames_sent = 0;
    long good = 0;
    long retries = 0;  // result 0: the driver will send the frame again
    long failures = 0; // retries exhausted
    long handshakes = 0;
    long handshake_refusals = 0;
    long timeouts = 0;
    long connection_losses = 0;
    long connects = 0;
    long connect_failures = 0;
    long session_reopens = 0; // node address exchange repeated on a new connection
    long probes = 0;          // node address exchanges of the host with a station down
    long stale_bytes = 0;
    long cycles = 0; // complete passes over the read list
    double last_cycle_ms = 0;
    long last_cycle_frames = 0;
};

class SessionStats {
  public:
    void start(Clock::time_point now) { started_ = cycle_start_ = now; }
    Counters& counters() { return c_; }
    const Counters& counters() const { return c_; }
    void frameSent() {
        ++c_.frames_sent;
        ++cycle_frames_;
    }
    // One turn's exchange: its kind, whether a frame went out, and the driver's result.
    void exchanged(FrameKind kind, bool sent, int result, bool answered);
    // A good cyclic read; a pass ends when every block of the read list had one.
    void cyclicReadGood(int blocks, Clock::time_point now);
    // Exchanges a second over the whole run.
    double exchangesPerSecond(Clock::time_point now) const;

  private:
    Counters c_;
    Clock::time_point started_;
    Clock::time_point cycle_start_;
    long cycle_good_reads_ = 0;
    long cycle_frames_ = 0;
};

} // namespace fhost

#endif
