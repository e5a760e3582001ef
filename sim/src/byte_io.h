// Big-endian byte writing and bounds-checked reading for the simulator's frames.
#ifndef PLCSIM_BYTE_IO_H
#define PLCSIM_BYTE_IO_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plcsim {

inline void putU8(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFFu));
}
inline void putU16(std::vector<uint8_t>& out, uint32_t v) {
    putU8(out, v >> 8);
    putU8(out, v);
}
inline void putU32(std::vector<uint8_t>& out, uint32_t v) {
    putU16(out, v >> 16);
    putU16(out, v);
}
inline void setU32(std::vector<uint8_t>& out, size_t pos, uint32_t v) {
    if (pos + 4 > out.size()) return;
    for (int i = 0; i < 4; ++i)
        out[pos + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Reads big-endian fields; every read checks pos + n <= size and yields 0 past the end.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool has(size_t pos, size_t n) const { return pos <= size_ && n <= size_ - pos; }
    uint32_t u8(size_t pos) const { return has(pos, 1) ? data_[pos] : 0; }
    uint32_t u16(size_t pos) const { return has(pos, 2) ? (u8(pos) << 8) | u8(pos + 1) : 0; }
    uint32_t u32(size_t pos) const { return has(pos, 4) ? (u16(pos) << 16) | u16(pos + 2) : 0; }
    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

  private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace plcsim

#endif
