// What the server reports about itself: counters, and the port's connections and slots as
// a line for people (--status) and as JSON for scripts (--status-file).
#ifndef PLCSIM_STATUS_REPORT_H
#define PLCSIM_STATUS_REPORT_H

#include <cstdint>
#include <string>

#include "plcsim/connection_table.h"

namespace plcsim {

struct SimStats {
    uint64_t connectionsAccepted = 0;
    uint64_t requestsServed = 0; // complete requests received (faulted ones too)
    uint64_t faultsInjected = 0; // requests whose reply a fault changed, plus close-after closes
    uint64_t openConnections = 0;
};

struct SimStatus {
    PortRules rules;
    PortSnapshot port;
    SimStats stats;
};

// "status open=1 slots=1/3 releasing=1 ... | PEER node=N | releasing PEER node=N in=MSms".
std::string statusLine(const SimStatus& status);
// One line of JSON with the same facts.
std::string statusJson(const SimStatus& status);

} // namespace plcsim

#endif
