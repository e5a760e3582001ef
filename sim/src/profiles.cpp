#include "plcsim/profiles.h"

namespace plcsim {

// From the CP1L manuals and a capture of a CP1L-EL20DR-D: 3 FINS/TCP connections for
// users, 1016-byte FINS messages, a TCP maximum segment size of 536 bytes.
const PortProfile PORT_PROFILES[] = {
    {"cp1l", "a CP1L's built-in port: --slots 3 --unique-nodes --max-message 1016 --segment 536", 3,
     true, FINS_MAX_MESSAGE, 536},
};
const size_t PORT_PROFILE_COUNT = sizeof PORT_PROFILES / sizeof PORT_PROFILES[0];

const PortProfile* findProfile(const std::string& name) {
    for (const PortProfile& p : PORT_PROFILES)
        if (name == p.name) return &p;
    return nullptr;
}

void applyProfile(const PortProfile& profile, SimConfig* config) {
    config->rules.slotLimit = profile.slotLimit;
    config->rules.uniqueNodes = profile.uniqueNodes;
    config->messageLimit = profile.messageLimit;
    config->segments.bytes = profile.segmentBytes;
}

} // namespace plcsim
