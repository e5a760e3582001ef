// Limits of one FINS frame of a CP1L, shared by the driver's callers, the host and the
// simulator. Plain C++ (no Qt), so the simulator can include it.
#ifndef FINS_LIMITS_H
#define FINS_LIMITS_H

namespace fins {

// Most words one memory area read or write of a CP1L carries (998 data bytes).
constexpr int MAX_FRAME_WORDS = 499;
constexpr int MAX_FRAME_DATA_BYTES = 2 * MAX_FRAME_WORDS;

} // namespace fins

#endif
