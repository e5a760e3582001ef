// The replies waiting to go out on one connection: each at its due time (delay faults,
// later replies behind earlier ones), cut into pieces of at most `bytes` bytes with a pause
// between pieces, as a PLC with a small TCP segment size sends them. Pure: time is passed in.
#ifndef PLCSIM_REPLY_QUEUE_H
#define PLCSIM_REPLY_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "plcsim/connection_table.h"

namespace plcsim {

struct SegmentRule {
    size_t bytes = 0;     // largest piece; 0 = a reply in one piece
    uint32_t pauseMs = 0; // between two pieces of one reply
};

class ReplyQueue {
  public:
    explicit ReplyQueue(SegmentRule rule = {}) : rule_(rule) {}

    // A reply (or, with no bytes, only a close) due at `due`, but never before the one ahead.
    void push(std::vector<uint8_t> bytes, TimePoint due, bool closeAfter);
    // Something is due now: bytes of the front piece, or a close.
    bool ready(TimePoint now) const { return !out_.empty() && out_.front().due <= now; }
    // The unsent rest of the front piece (no bytes for a bare close).
    const uint8_t* pieceData() const;
    size_t pieceSize() const;
    // `n` bytes of the piece went out at `now`. True when the connection must now be closed.
    bool sent(size_t n, TimePoint now);
    bool empty() const { return out_.empty(); }
    TimePoint frontDue() const { return out_.front().due; }
    bool closeQueued() const { return !out_.empty() && out_.back().closeAfter; }

  private:
    struct Pending {
        std::vector<uint8_t> bytes;
        TimePoint due;
        bool closeAfter = false;
    };
    size_t pieceEnd() const;

    SegmentRule rule_;
    std::deque<Pending> out_;
    size_t sentOfFront_ = 0;
};

} // namespace plcsim

#endif
