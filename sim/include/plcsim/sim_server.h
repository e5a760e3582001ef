// The FINS/TCP (or remote-mode) server: poll loop over a loopback listener and its
// connections, with fault injection between the session and the socket.
#ifndef PLCSIM_SIM_SERVER_H
#define PLCSIM_SIM_SERVER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plcsim/connection_table.h"
#include "plcsim/faults.h"
#include "plcsim/fins_handler.h"
#include "plcsim/plc_memory.h"
#include "plcsim/reply_queue.h"
#include "plcsim/request_log.h"
#include "plcsim/status_report.h"

namespace plcsim {

struct SimConfig {
    std::string bind = "127.0.0.1"; // dotted IPv4 or a host name such as localhost
    uint16_t port = 9600;           // 0 = any free port
    uint8_t node = 1;               // the PLC's own FINS node
    bool remote = false;            // speak the remote framing instead of FINS/TCP
    bool log = false;               // one line per request
    uint32_t seed = 1;              // fault injection seed
    std::vector<FaultRule> faults;
    bool animate = false;
    uint32_t animateIntervalMs = 1000;
    bool allowRemoteBind = false;           // accept a non-loopback bind address
    size_t maxConnections = 16;             // TCP connections; more are accepted and closed
    PortRules rules;                        // FINS/TCP slots, slow release, one node each
    size_t messageLimit = FINS_MAX_MESSAGE; // longer commands 0x1001, longer reads 0x110B
    SegmentRule segments;                   // replies in pieces, with a pause between
    uint32_t logRate = DEFAULT_LOG_RATE;    // request lines a second; 0 = every request
    // Where log lines go (without newline); stderr when empty.
    std::function<void(const std::string&)> logSink;
    // Called on the server's thread once a second while it runs, when set.
    std::function<void(const SimStatus&)> statusSink;
};

class SimServer {
  public:
    explicit SimServer(const SimConfig& config);
    ~SimServer(); // stop()
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    bool start(std::string* error); // bind + listen; port() valid afterwards
    uint16_t port() const;
    std::string address() const; // the bind address as dotted IPv4, valid after start()
    void run();                  // serve on the calling thread until stop()/requestStop()
    void runInBackground();      // serve in an internal thread until stop()
    void requestStop();          // async-signal-safe: makes run() return soon
    void stop();                 // closes every connection and the listener, joins the thread

    PlcMemory& memory() { return memory_; }
    void setFaults(const std::vector<FaultRule>& rules); // seeded with config.seed
    void setFaults(const std::vector<FaultRule>& rules, uint32_t seed);

    SimStats stats() const;
    SimStatus status() const; // counters, connections, slots and releases now
    uint64_t connectionsAccepted() const { return stats().connectionsAccepted; }
    uint64_t requestsServed() const { return stats().requestsServed; }
    uint64_t faultsInjected() const { return stats().faultsInjected; }

  private:
    struct Impl;
    SimConfig config_;
    PlcMemory memory_;
    std::unique_ptr<Impl> impl_;
};

// Checks that a bind address is an IPv4 loopback address (127.0.0.0/8).
bool isLoopbackAddress(const std::string& address);

} // namespace plcsim

#endif
