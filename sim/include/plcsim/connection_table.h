// The connections of a PLC's Ethernet port: who is connected, which node each holds, the
// FINS/TCP connection slots and the slots still being released after a close. Pure (time is
// passed in), so the port's rules can be tested without sockets or waiting.
#ifndef PLCSIM_CONNECTION_TABLE_H
#define PLCSIM_CONNECTION_TABLE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plcsim {

using SimClock = std::chrono::steady_clock;
using TimePoint = SimClock::time_point;

// The connection rules of a port; all off by default.
struct PortRules {
    size_t slotLimit = 0;     // FINS/TCP connections at once; 0 = no limit
    uint32_t releaseMs = 0;   // a closed connection keeps its slot this long
    bool uniqueNodes = false; // a node held by a live connection from the same address: 0x21
};

// The answer to a node address exchange that passed the session's own checks.
struct NodeGrant {
    uint32_t tcpError = 0; // 0 = granted
    uint8_t node = 0;      // the client node given
    bool close = false;    // close the connection after the refusal
};

struct PortConnection {
    std::string peer; // "address:port"
    int node = -1;    // -1 before a node address exchange
};

struct ReleasingSlot {
    std::string peer;
    int node = -1;
    uint32_t releaseInMs = 0;
};

struct PortSnapshot {
    std::vector<PortConnection> open; // in the order they were opened
    std::vector<ReleasingSlot> releasing;
    size_t slotsInUse = 0; // open connections holding a slot, plus releasing ones
    size_t peakOpen = 0;   // most connections open at once since start
    uint64_t refusedAllInUse = 0;
    uint64_t refusedNodeInUse = 0;
};

// Nodes handed out for a proposed 0 count down from here, as a CP1L answered.
constexpr uint8_t FIRST_AUTO_NODE = 0xFB;

class ConnectionTable {
  public:
    ConnectionTable(PortRules rules, uint8_t serverNode);

    uint64_t open(const std::string& peer); // the connection's id
    // A node address exchange proposing `proposed` (0 = assign one; 1-254, not the server's).
    NodeGrant exchange(uint64_t id, uint32_t proposed, TimePoint now);
    // The connection is gone; its slot, if it held one, is released after rules.releaseMs.
    void close(uint64_t id, TimePoint now);
    PortSnapshot snapshot(TimePoint now);
    const PortRules& rules() const { return rules_; }

  private:
    struct Entry {
        uint64_t id = 0;
        std::string peer;
        std::string address; // peer without the port
        int node = -1;
        bool holdsSlot = false;
        bool live = true;
        TimePoint releaseAt;
    };
    void expire(TimePoint now);
    Entry* find(uint64_t id);
    bool nodeHeld(int node, const Entry* except) const;
    int freeNode(const Entry* asking) const; // -1 when none is free

    PortRules rules_;
    uint8_t serverNode_;
    uint64_t nextId_ = 1;
    std::vector<Entry> entries_;
    size_t peakOpen_ = 0;
    uint64_t refusedAllInUse_ = 0;
    uint64_t refusedNodeInUse_ = 0;
};

} // namespace plcsim

#endif
