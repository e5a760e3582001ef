// Answers one FINS command message (the bytes after the FINS/TCP header) the way a
// CP1L's CPU does, against a PlcMemory.
#ifndef PLCSIM_FINS_HANDLER_H
#define PLCSIM_FINS_HANDLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fins_limits.h"
#include "plcsim/plc_memory.h"
#include "plcsim/session.h"

namespace plcsim {

// FINS end codes the simulator answers with.
enum EndCode : uint16_t {
    END_OK = 0x0000,
    END_UNDEFINED_COMMAND = 0x0401,
    END_COMMAND_TOO_LONG = 0x1001,
    END_COMMAND_TOO_SHORT = 0x1002,
    END_COUNT_MISMATCH = 0x1003,
    END_AREA_MISSING = 0x1101,
    END_START_OUT_OF_RANGE = 0x1103,
    END_END_OUT_OF_RANGE = 0x1104,
    END_RESPONSE_TOO_LONG = 0x110B,
    END_READ_ONLY = 0x2101
};

// FINS/TCP error codes.
enum TcpError : uint32_t {
    TCP_OK = 0,
    TCP_BAD_MAGIC = 1,
    TCP_LENGTH_TOO_LONG = 2,
    TCP_UNSUPPORTED_COMMAND = 3,
    TCP_ALL_IN_USE = 0x20,
    TCP_NODE_IN_USE = 0x21,
    TCP_NODE_OUT_OF_RANGE = 0x23,
    TCP_NODE_IS_SERVER = 0x24,
    TCP_NO_FREE_NODE = 0x25
};

constexpr size_t FINS_MAX_MESSAGE = 1016; // a CP1L's: FINS header + command + data
// A memory area command's header, MRC/SRC and body: what a message carries beside data.
constexpr size_t FINS_COMMAND_OVERHEAD = 18;
// The smallest and largest message limit: one word of data; what a FINS/TCP frame holds.
constexpr size_t FINS_MIN_MESSAGE_LIMIT = FINS_COMMAND_OVERHEAD + 2;
constexpr size_t FINS_MAX_MESSAGE_LIMIT = 2040;
// Where a FINS response's end code sits in its FINS/TCP frame.
constexpr size_t FINS_END_CODE_IN_FRAME = 16 + 12;

// The data bytes a read may return under a message limit: as many as a write of the
// limit's size carries (998 bytes, 499 words, at a CP1L's 1016).
constexpr size_t maxDataBytes(size_t messageLimit) {
    return messageLimit - FINS_COMMAND_OVERHEAD;
}
static_assert(maxDataBytes(FINS_MAX_MESSAGE) == fins::MAX_FRAME_DATA_BYTES,
              "a CP1L's message limit carries its frame limit");

// The FINS response message (header, MRC/SRC, end code, data) for a command message.
// A command longer than `messageLimit` gets 0x1001, a read of more data 0x110B.
std::vector<uint8_t> handleFinsMessage(PlcMemory& memory, const uint8_t* message, size_t size,
                                       uint8_t clientNode, uint8_t serverNode, RequestInfo* info,
                                       size_t messageLimit = FINS_MAX_MESSAGE);

// A whole FINS/TCP frame: header (command 2, error 0) + the response message.
std::vector<uint8_t> finsTcpFrame(uint32_t command, uint32_t errorCode,
                                  const std::vector<uint8_t>& payload);

} // namespace plcsim

#endif
