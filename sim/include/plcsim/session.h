// Per-connection protocol state machines: bytes in, complete replies out. Pure (no
// sockets, no clocks), so tests and fuzzers can feed any stream split anywhere.
#ifndef PLCSIM_SESSION_H
#define PLCSIM_SESSION_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plcsim/connection_table.h"
#include "plcsim/plc_memory.h"
#include "plcsim/stream_framer.h"

namespace plcsim {

// What one request was, for the log line.
struct RequestInfo {
    std::string
        command; // "node", "read", "write", "fins", "remote-read", "remote-write", "bad-frame"...
    int areaCode = -1; // FINS memory area code, or remote reg_type; -1 when none
    uint32_t address = 0;
    uint32_t count = 0;
    uint32_t endCode = 0;  // FINS end code, or remote status
    uint32_t tcpError = 0; // FINS/TCP error code sent (0 = none)
};

// One complete request and the reply it gets.
struct SessionOutput {
    std::vector<uint8_t> reply;
    bool closeAfter = false; // the protocol requires closing after this reply
    size_t endCodeAt = 0;    // where the reply's FINS end code sits; 0 when it has none
    RequestInfo info;
};

class Session {
  public:
    virtual ~Session() = default;
    // Appends one output per complete request found in the bytes fed so far.
    virtual void feed(const uint8_t* data, size_t size, std::vector<SessionOutput>* out) = 0;
    // True once a fatal framing error was answered; later bytes are ignored.
    virtual bool finished() const = 0;
};

// Decides a node address exchange the session found well-formed (the port's rules).
using NodeGrantFn = std::function<NodeGrant(uint32_t proposed)>;

// FINS/TCP: node address exchange, then FINS memory area read/write.
class FinsSession : public Session {
  public:
    // Every node granted; autoNode is the client node handed out for a proposed 0.
    FinsSession(PlcMemory& memory, uint8_t serverNode, uint8_t autoNode);
    // Exchanges decided by `grant`; messages limited to `messageLimit` bytes.
    FinsSession(PlcMemory& memory, uint8_t serverNode, size_t messageLimit, NodeGrantFn grant);
    void feed(const uint8_t* data, size_t size, std::vector<SessionOutput>* out) override;
    bool finished() const override { return finished_; }
    // Client node of this connection; -1 before a node address exchange.
    int clientNode() const { return clientNode_; }

  private:
    SessionOutput handleFrame(const FinsTcpFrame& frame);
    SessionOutput handleNodeAddress(const FinsTcpFrame& frame);

    PlcMemory& memory_;
    uint8_t serverNode_;
    size_t messageLimit_;
    NodeGrantFn grant_;
    int clientNode_ = -1;
    bool finished_ = false;
    FinsTcpFramer framer_;
};

// The driver's remote framing: size byte, description, value bytes, checksum.
class RemoteSession : public Session {
  public:
    explicit RemoteSession(PlcMemory& memory);
    void feed(const uint8_t* data, size_t size, std::vector<SessionOutput>* out) override;
    bool finished() const override { return false; }

  private:
    PlcMemory& memory_;
    RemoteFramer framer_;
};

} // namespace plcsim

#endif
