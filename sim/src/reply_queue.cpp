#include "plcsim/reply_queue.h"

#include <algorithm>

namespace plcsim {

void ReplyQueue::push(std::vector<uint8_t> bytes, TimePoint due, bool closeAfter) {
    if (!out_.empty()) due = std::max(due, out_.back().due);
    out_.push_back({std::move(bytes), due, closeAfter});
}

// Pieces start at multiples of the piece size, so a partly sent piece keeps its end.
size_t ReplyQueue::pieceEnd() const {
    const size_t size = out_.front().bytes.size();
    if (rule_.bytes == 0) return size;
    return std::min(size, (sentOfFront_ / rule_.bytes + 1) * rule_.bytes);
}

const uint8_t* ReplyQueue::pieceData() const {
    return out_.front().bytes.data() + sentOfFront_;
}

size_t ReplyQueue::pieceSize() const {
    return pieceEnd() - sentOfFront_;
}

bool ReplyQueue::sent(size_t n, TimePoint now) {
    Pending& front = out_.front();
    const bool pieceDone = sentOfFront_ + n >= pieceEnd();
    sentOfFront_ = std::min(sentOfFront_ + n, front.bytes.size());
    if (sentOfFront_ < front.bytes.size()) {
        if (pieceDone) front.due = now + std::chrono::milliseconds(rule_.pauseMs);
        return false;
    }
    const bool close = front.closeAfter;
    out_.pop_front();
    sentOfFront_ = 0;
    return close;
}

} // namespace plcsim
