// Shared pieces of the end-to-end tests: a simulated PLC on a free loopback port,
// the host's session code with the real driver, and the PLC-memory view of a tag.
#ifndef E2E_SUPPORT_H
#define E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host_session.h"
#include "plcsim/sim_server.h"

namespace e2e {

using fhost::Exchange;
using fhost::FrameKind;
using fhost::HostOptions;
using fhost::Tag;

// The simulated PLC's node; the host proposes the last number of its address text.
enum { SIM_NODE = 200, HMI_NODE = 23 };

plcsim::SimConfig simConfig(uint16_t port = 0, bool remote = false);

// A started simulator serving in its own thread, or nullptr with the reason.
std::unique_ptr<plcsim::SimServer> startSim(const plcsim::SimConfig& config, std::string* error);

// Options for a host talking to the simulator on `port`; the rest as the help text says.
HostOptions hostOptions(uint16_t port);

// The host's session with the driver loaded from the build tree, reset to its state
// after load (a process may run many sessions).
class Host {
  public:
    explicit Host(const HostOptions& options) : options_(options) {}
    // Parses the tag text (which must be valid) and starts the session.
    bool start(const std::string& tag_text, std::string* error);
    fhost::HostSession& session() { return *session_; }
    const Tag& tag(const std::string& name);

    // Runs turns until done() holds; the number of turns, or -1 when max_turns passed.
    int runUntil(const std::function<bool()>& done, int max_turns);
    Exchange turn();
    const std::vector<Exchange>& history() const { return history_; }

  private:
    HostOptions options_;
    fhost::DriverApi api_;
    std::unique_ptr<fhost::HostSession> session_;
    std::vector<Exchange> history_;
};

// The values the simulator holds for a tag, in the host's element units.
std::vector<int> simValues(const plcsim::PlcMemory& memory, const Tag& tag);

// Fills the words, bits and flags that `tags` cover with values that depend on the
// seed and on the address.
void fillPattern(plcsim::PlcMemory& memory, const std::vector<Tag>& tags, int seed);

} // namespace e2e

#endif
