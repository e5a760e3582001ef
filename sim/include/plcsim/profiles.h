// Port profiles: the connection rules, message limit and segment size of a real PLC's
// Ethernet port, set by one name (--profile).
#ifndef PLCSIM_PROFILES_H
#define PLCSIM_PROFILES_H

#include <cstddef>
#include <string>

#include "plcsim/sim_server.h"

namespace plcsim {

struct PortProfile {
    const char* name;
    const char* description; // one line for --help
    size_t slotLimit;
    bool uniqueNodes;
    size_t messageLimit;
    size_t segmentBytes;
};

extern const PortProfile PORT_PROFILES[];
extern const size_t PORT_PROFILE_COUNT;

const PortProfile* findProfile(const std::string& name);
void applyProfile(const PortProfile& profile, SimConfig* config);

} // namespace plcsim

#endif
