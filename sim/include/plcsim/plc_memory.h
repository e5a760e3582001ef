// Thread-safe image of a CP1L's memory: CIO, W, H, A, D words, timer and counter
// present values and completion flags, with the CP1L's area sizes.
#ifndef PLCSIM_PLC_MEMORY_H
#define PLCSIM_PLC_MEMORY_H

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace plcsim {

enum class Area { CIO, W, H, A, D, TimerPV, CounterPV, TimerFlag, CounterFlag };
constexpr int AREA_COUNT = 9;

// Number of words (or timers/counters) of an area: CIO 6144, W 512, H 512, A 960,
// D 32768, timers and counters 4096 each.
uint32_t areaSize(Area area);
// A0-A447 are read-only for FINS clients; memory() setters may still change them.
bool isReadOnly(Area area, uint32_t address);
// True for the two completion-flag areas (one 0/1 value per timer or counter).
bool isFlagArea(Area area);
// Short name used in logs and memory files: CIO, W, H, A, D, T, C, T.flag, C.flag.
const char* areaName(Area area);

class PlcMemory {
  public:
    PlcMemory();

    // Single values; out-of-range reads give 0 and out-of-range writes return false.
    // For the flag areas a "word" is the flag itself (0 or 1).
    uint16_t word(Area area, uint32_t address) const;
    bool setWord(Area area, uint32_t address, uint16_t value);
    bool bit(Area area, uint32_t address, unsigned bit) const;
    bool setBit(Area area, uint32_t address, unsigned bit, bool on);
    bool flag(Area area, uint32_t number) const;       // TimerFlag or CounterFlag
    bool setFlag(Area area, uint32_t number, bool on); // TimerFlag or CounterFlag

    // Blocks under one lock; false (and nothing changed / empty out) when any part
    // of [address, address + count) lies outside the area.
    bool readWords(Area area, uint32_t address, uint32_t count, std::vector<uint16_t>* out) const;
    bool writeWords(Area area, uint32_t address, const std::vector<uint16_t>& values);
    // Consecutive bits starting at word.bit; one 0/1 byte per bit.
    bool readBits(Area area, uint32_t word, unsigned bit, uint32_t count,
                  std::vector<uint8_t>* out) const;
    bool writeBits(Area area, uint32_t word, unsigned bit, const std::vector<uint8_t>& values);

    void clear(); // every value back to 0

  private:
    std::vector<uint16_t>& store(Area area) { return areas_[static_cast<int>(area)]; }
    const std::vector<uint16_t>& store(Area area) const { return areas_[static_cast<int>(area)]; }

    mutable std::mutex mutex_;
    std::array<std::vector<uint16_t>, AREA_COUNT> areas_;
};

} // namespace plcsim

#endif
