// Answers one remote-mode request (see sim/README.md for the reply layout).
#ifndef PLCSIM_REMOTE_HANDLER_H
#define PLCSIM_REMOTE_HANDLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plcsim/plc_memory.h"
#include "plcsim/session.h"

namespace plcsim {

// Status at reply bytes 12..15.
enum RemoteStatus : uint32_t {
    REMOTE_OK = 0,
    REMOTE_BAD_CHECKSUM = 1,
    REMOTE_UNKNOWN_TYPE = 2,
    REMOTE_OUT_OF_RANGE = 3,
    REMOTE_READ_ONLY = 4,
    REMOTE_VALUE_SIZE = 5,
    REMOTE_BAD_ACCESS = 6
};

constexpr size_t REMOTE_HEAD_SIZE = 23;
constexpr size_t REMOTE_TAIL_SIZE = 4;

// Data bytes of a read reply: 2 x length for flag types 5 and 6, 4 x length otherwise.
size_t remoteReadDataSize(int regType, uint32_t length);

std::vector<uint8_t> handleRemoteRequest(PlcMemory& memory, const uint8_t* request, size_t size,
                                         RequestInfo* info);

} // namespace plcsim

#endif
