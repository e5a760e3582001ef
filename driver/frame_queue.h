// The scheduler's hands: the one place that queues a frame on the driver, sets the frame
// counters of its entry, and mirrors a write into the store. Callers hold list_mutex
// when they queue (ComCommunication does; the described adapters are called with it or
// from the communication thread); the mirror takes data_mutex after it.
#ifndef FRAME_QUEUE_H
#define FRAME_QUEUE_H

#include <optional>

#include "omron_fins_tcpip.h"

namespace driver {

// Station node pair of plc_add_number, or nullptr when map_list has no entry for it.
const Check_Plc* stationNodes();

// Queues a finished frame and marks one frame needed for its entry.
void queueFrame(const Protocol& frame);
// The same for a frame that may not have been made; false when there was none.
bool queueFrame(const std::optional<Protocol>& frame);

// Queues the node address request for station, proposing the HMI's node read from LW.
void queueHandShake(int station);

} // namespace driver

#endif
