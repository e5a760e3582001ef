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

#include "plcsim/faults.h"
#include "plcsim/plc_memory.h"

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
    bool allowRemoteBind = false; // accept a non-loopback bind address
    size_t maxConnections = 16;
    // Where log lines go (without newline); stderr when empty.
    std::function<void(const std::string&)> logSink;
};

struct SimStats {
    uint64_t connectionsAccepted = 0;
    uint64_t requestsServed = 0; // complete requests received (faulted ones too)
    uint64_t faultsInjected = 0; // requests whose reply a fault changed, plus close-after closes
    uint64_t openConnections = 0;
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
