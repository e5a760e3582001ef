#include "plcsim/stream_framer.h"

#include "byte_io.h"

namespace plcsim {

namespace {

constexpr size_t TCP_HEADER = 16;
constexpr uint32_t TCP_MIN_LENGTH = 8; // command + error code

// Drops consumed bytes once they make up most of the buffer.
void compact(std::vector<uint8_t>& buffer, size_t& start) {
    if (start == buffer.size()) {
        buffer.clear();
        start = 0;
    } else if (start > 4096 && start > buffer.size() / 2) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
        start = 0;
    }
}

// Size of the value a remote write of this register type and length carries.
size_t remoteWriteValueSize(uint32_t regType, uint32_t length) {
    if (regType <= 4) return 1;
    if (regType >= 7 && regType <= 13) return 2 * size_t(length);
    return 0;
}

} // namespace

void FinsTcpFramer::feed(const uint8_t* data, size_t size) {
    if (broken_ != Result::NeedMore || size == 0) return;
    buffer_.insert(buffer_.end(), data, data + size);
}

FinsTcpFramer::Result FinsTcpFramer::next(FinsTcpFrame* frame) {
    if (broken_ != Result::NeedMore) return broken_;
    const size_t avail = buffer_.size() - start_;
    Reader r(buffer_.data() + start_, avail);
    // Judge the magic as soon as its bytes arrive, so garbage is refused early.
    static const uint8_t MAGIC[4] = {'F', 'I', 'N', 'S'};
    for (size_t i = 0; i < 4 && i < avail; ++i) {
        if (buffer_[start_ + i] != MAGIC[i]) return broken_ = Result::BadMagic;
    }
    if (avail < 8) return Result::NeedMore;
    const uint32_t length = r.u32(4);
    if (length < TCP_MIN_LENGTH) return broken_ = Result::LengthTooShort;
    if (length > MAX_TCP_LENGTH) return broken_ = Result::LengthTooLong;
    const size_t total = size_t(length) + 8;
    if (avail < total) return Result::NeedMore;
    frame->command = r.u32(8);
    frame->errorCode = r.u32(12);
    const uint8_t* body = buffer_.data() + start_ + TCP_HEADER;
    frame->payload.assign(body, body + (total - TCP_HEADER));
    start_ += total;
    compact(buffer_, start_);
    return Result::Frame;
}

size_t remoteRequestSize(const uint8_t* head22) {
    Reader r(head22, REMOTE_MIN_REQUEST);
    const uint32_t residue = r.u8(0);
    if (r.u8(2) == 1) {
        const size_t expected = REMOTE_MIN_REQUEST + remoteWriteValueSize(r.u16(5), r.u16(11));
        if (expected % 256 == residue && expected <= REMOTE_MAX_REQUEST) return expected;
    }
    return residue >= REMOTE_MIN_REQUEST ? residue : residue + 256;
}

void RemoteFramer::feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    buffer_.insert(buffer_.end(), data, data + size);
}

bool RemoteFramer::next(std::vector<uint8_t>* request) {
    const size_t avail = buffer_.size() - start_;
    if (avail < REMOTE_MIN_REQUEST) return false;
    const uint8_t* head = buffer_.data() + start_;
    const size_t size = remoteRequestSize(head);
    if (avail < size) return false;
    request->assign(head, head + size);
    start_ += size;
    compact(buffer_, start_);
    return true;
}

} // namespace plcsim
