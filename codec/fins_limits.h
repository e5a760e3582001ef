// Limits of one FINS frame of a CP1L, shared by the driver's callers, the host and the
// simulator. Plain C++ (no Qt), so the simulator can include it.
#ifndef FINS_LIMITS_H
#define FINS_LIMITS_H

namespace fins {

// Most words one memory area read or write of a CP1L carries (998 data bytes).
constexpr int MAX_FRAME_WORDS = 499;
constexpr int MAX_FRAME_DATA_BYTES = 2 * MAX_FRAME_WORDS;

// Memory areas of a CP1L with 30 or more I/O points: words, or timers and counters.
constexpr int CP1L_CIO_WORDS = 6144;
constexpr int CP1L_W_WORDS = 512;
constexpr int CP1L_H_WORDS = 512;
constexpr int CP1L_A_WORDS = 960;
constexpr int CP1L_D_WORDS = 32768;
constexpr int CP1L_TIMERS = 4096;
constexpr int CP1L_COUNTERS = 4096;

} // namespace fins

#endif
