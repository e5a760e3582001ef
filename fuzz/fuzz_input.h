// Sequential reader over a fuzz input, and the check that reports a broken invariant.
#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

#include <QByteArray>
#include <QString>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: report it and abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// Reading past the end yields zeros, so every input is a complete run.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() {
        const uint16_t hi = u8();
        return static_cast<uint16_t>((hi << 8) | u8());
    }
    uint32_t u32() {
        const uint32_t hi = u16();
        return (hi << 16) | u16();
    }
    int pick(int n) { return n > 0 ? u8() % n : 0; }
    bool flag() { return u8() & 1; }

    // Small values mostly, edge values and raw 32-bit values sometimes:
    // tag 0..199 small (tag % 40 - 4), 200..249 an edge value, 250..255 raw.
    int number() {
        const uint8_t tag = u8();
        if (tag < 200) return tag % 40 - 4;
        // Edges the driver must survive: signs, area capacities, 16-bit fields, int limits.
        // clang-format off
        static const int edges[] = {
            0, 1, -1, 2, 3, 7, 8, 15, 16, 17, 63, 64, 65, 100, 499, 500, 514, 515, 516, 959, 960,
            1024, 4095, 4096, 4119, 4120, 6149, 6150, 6151, 32767, 32768, 32769, 32770, 65535,
            65536, 98399, 98400, 99999, -2, -16, -64, INT_MAX, INT_MIN, INT_MAX - 1, INT_MAX / 2,
            INT_MAX / 16, (INT_MAX / 16) + 1, INT_MIN + 1, 0x7FFF0000};
        // clang-format on
        if (tag < 250) return edges[u8() % (sizeof edges / sizeof *edges)];
        return static_cast<int>(u32());
    }

    QByteArray bytes(size_t n) {
        QByteArray out;
        while (n-- > 0 && !done())
            out.append(static_cast<char>(u8()));
        return out;
    }
    // Length byte, then that many Latin-1 characters.
    QString text() { return QString::fromLatin1(bytes(u8() % 24)); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace fuzz

#endif
