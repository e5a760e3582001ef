#include "plcsim/plc_memory.h"

#include <algorithm>

#include "fins_limits.h"

namespace plcsim {

namespace {

struct AreaDef {
    const char* name;
    uint32_t size;
};

const AreaDef AREA_DEFS[AREA_COUNT] = {
    {"CIO", fins::CP1L_CIO_WORDS}, {"W", fins::CP1L_W_WORDS},      {"H", fins::CP1L_H_WORDS},
    {"A", fins::CP1L_A_WORDS},     {"D", fins::CP1L_D_WORDS},      {"T", fins::CP1L_TIMERS},
    {"C", fins::CP1L_COUNTERS},    {"T.flag", fins::CP1L_TIMERS},  {"C.flag", fins::CP1L_COUNTERS},
};

constexpr uint32_t A_READ_ONLY_END = 448;

bool inRange(Area area, uint64_t address, uint64_t count) {
    return address + count <= areaSize(area);
}

} // namespace

uint32_t areaSize(Area area) {
    return AREA_DEFS[static_cast<int>(area)].size;
}
const char* areaName(Area area) {
    return AREA_DEFS[static_cast<int>(area)].name;
}
bool isReadOnly(Area area, uint32_t address) {
    return area == Area::A && address < A_READ_ONLY_END;
}
bool isFlagArea(Area area) {
    return area == Area::TimerFlag || area == Area::CounterFlag;
}

PlcMemory::PlcMemory() {
    for (int i = 0; i < AREA_COUNT; ++i)
        areas_[i].assign(areaSize(static_cast<Area>(i)), 0);
}

uint16_t PlcMemory::word(Area area, uint32_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inRange(area, address, 1) ? store(area)[address] : 0;
}

bool PlcMemory::setWord(Area area, uint32_t address, uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inRange(area, address, 1)) return false;
    store(area)[address] = isFlagArea(area) ? (value ? 1 : 0) : value;
    return true;
}

bool PlcMemory::bit(Area area, uint32_t address, unsigned bit) const {
    if (bit > 15 || isFlagArea(area)) return false;
    return (word(area, address) >> bit) & 1u;
}

bool PlcMemory::setBit(Area area, uint32_t address, unsigned bit, bool on) {
    if (bit > 15 || isFlagArea(area)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inRange(area, address, 1)) return false;
    uint16_t& w = store(area)[address];
    const uint16_t mask = static_cast<uint16_t>(1u << bit);
    w = on ? static_cast<uint16_t>(w | mask) : static_cast<uint16_t>(w & ~mask);
    return true;
}

bool PlcMemory::flag(Area area, uint32_t number) const {
    return isFlagArea(area) && word(area, number) != 0;
}

bool PlcMemory::setFlag(Area area, uint32_t number, bool on) {
    return isFlagArea(area) && setWord(area, number, on ? 1 : 0);
}

bool PlcMemory::readWords(Area area, uint32_t address, uint32_t count,
                          std::vector<uint16_t>* out) const {
    out->clear();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inRange(area, address, count)) return false;
    const auto& s = store(area);
    out->assign(s.begin() + address, s.begin() + address + count);
    return true;
}

bool PlcMemory::writeWords(Area area, uint32_t address, const std::vector<uint16_t>& values) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inRange(area, address, values.size())) return false;
    auto& s = store(area);
    for (size_t i = 0; i < values.size(); ++i)
        s[address + i] = isFlagArea(area) ? (values[i] ? 1 : 0) : values[i];
    return true;
}

bool PlcMemory::readBits(Area area, uint32_t word, unsigned bit, uint32_t count,
                         std::vector<uint8_t>* out) const {
    out->clear();
    if (bit > 15 || isFlagArea(area)) return false;
    const uint64_t first = uint64_t(word) * 16 + bit;
    const uint64_t endWord = (first + count + 15) / 16;
    std::lock_guard<std::mutex> lock(mutex_);
    if (endWord > areaSize(area)) return false;
    const auto& s = store(area);
    out->reserve(count);
    for (uint64_t b = first; b < first + count; ++b)
        out->push_back(static_cast<uint8_t>((s[b / 16] >> (b % 16)) & 1u));
    return true;
}

bool PlcMemory::writeBits(Area area, uint32_t word, unsigned bit,
                          const std::vector<uint8_t>& values) {
    if (bit > 15 || isFlagArea(area)) return false;
    const uint64_t first = uint64_t(word) * 16 + bit;
    const uint64_t endWord = (first + values.size() + 15) / 16;
    std::lock_guard<std::mutex> lock(mutex_);
    if (endWord > areaSize(area)) return false;
    auto& s = store(area);
    for (size_t i = 0; i < values.size(); ++i) {
        const uint64_t b = first + i;
        const uint16_t mask = static_cast<uint16_t>(1u << (b % 16));
        uint16_t& w = s[b / 16];
        w = values[i] ? static_cast<uint16_t>(w | mask) : static_cast<uint16_t>(w & ~mask);
    }
    return true;
}

void PlcMemory::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& a : areas_)
        std::fill(a.begin(), a.end(), 0);
}

} // namespace plcsim
