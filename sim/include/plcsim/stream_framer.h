// Splits a TCP byte stream into whole requests, whatever the chunking.
#ifndef PLCSIM_STREAM_FRAMER_H
#define PLCSIM_STREAM_FRAMER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plcsim {

// FINS/TCP length fields above this (bytes after the length field) are refused with
// error 2 and the connection is closed.
constexpr uint32_t MAX_TCP_LENGTH = 2048;

struct FinsTcpFrame {
    uint32_t command = 0;
    uint32_t errorCode = 0;
    std::vector<uint8_t> payload; // the length - 8 bytes after the 16-byte header
};

class FinsTcpFramer {
  public:
    enum class Result {
        NeedMore,      // no complete frame yet
        Frame,         // *frame filled
        BadMagic,      // header does not start with "FINS"; stream unusable
        LengthTooLong, // length field above MAX_TCP_LENGTH; stream unusable
        LengthTooShort // length field below 8 (no command/error fields); stream unusable
    };
    void feed(const uint8_t* data, size_t size);
    // Takes the next complete frame off the buffer. After an error result it keeps
    // returning the same error.
    Result next(FinsTcpFrame* frame);
    size_t buffered() const { return buffer_.size() - start_; }

  private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    Result broken_ = Result::NeedMore;
};

// Remote framing: byte 0 is the size modulo 256; the real size is the smallest
// size >= 22 with that residue, except that a write whose register type and length
// imply a value size with the same residue is taken at that size.
constexpr size_t REMOTE_MIN_REQUEST = 22;
constexpr size_t REMOTE_MAX_REQUEST = 22 + 2048;

class RemoteFramer {
  public:
    void feed(const uint8_t* data, size_t size);
    // True and *request = the whole request when one is complete.
    bool next(std::vector<uint8_t>* request);
    size_t buffered() const { return buffer_.size() - start_; }

  private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
};

// Size of the remote request that starts with these 22 bytes.
size_t remoteRequestSize(const uint8_t* head22);

} // namespace plcsim

#endif
