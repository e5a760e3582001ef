// The nine local-image arrays lie side by side in the driver object, from cio_image to
// the end of c_flag_image, where ASan sees no gap: a write past the end of one lands in
// the next. A snapshot therefore copies the whole range and reports changed 16-bit units.
#ifndef IMAGE_SNAPSHOT_H
#define IMAGE_SNAPSHOT_H

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "driver_object.h"
#include "image_areas.h"

class ImageSnapshot {
  public:
    using Units = std::pair<int, int>; // [first, end)

    static char* begin() { return reinterpret_cast<char*>(PLC_driver.cio_image); }
    static char* end() { return reinterpret_cast<char*>(&PLC_driver.c_flag_image + 1); }
    // The 16-bit unit of the range that holds p (word arrays start on a unit).
    static int unitOf(const void* p) { return int(static_cast<const char*>(p) - begin()) / 2; }
    // The units holding elements [first, end) of an area (words, or bytes of eight
    // flags), clamped to the area's array.
    static Units unitsOf(fins::ImageArea area, long long first, long long last) {
        const WordImage w = wordImage(area);
        const FlagImage f = flagImage(area);
        const char* base = w.words ? reinterpret_cast<const char*>(w.words)
                                   : reinterpret_cast<const char*>(f.bytes);
        const int size = w.words ? 2 : 1, capacity = w.words ? w.capacity : f.capacity;
        if (!base) return {0, 0};
        first = std::max(0LL, std::min<long long>(first, capacity));
        last = std::max(first, std::min<long long>(last, capacity));
        const int offset = int(base - begin());
        return {(offset + size * int(first)) / 2, (offset + size * int(last) + 1) / 2};
    }
    // The units a write of `count` elements (bits or words) of a register type may change;
    // flags and types without an area are never written to the image.
    static Units unitsWritten(int reg_type, long long address, long long count) {
        const fins::RegType* t = fins::regType(reg_type);
        if (!t || t->unit == fins::Unit::Flag || count < 1) return {0, 0};
        if (t->unit == fins::Unit::Word) return unitsOf(t->image, address, address + count);
        return unitsOf(t->image, address >> 4, ((address + count - 1) >> 4) + 1);
    }
    // A pattern no test value equals, so a stray write anywhere shows up as a change.
    static void fill() { std::memset(begin(), 0xA5, end() - begin()); }

    ImageSnapshot() : copy_(begin(), end()) {}
    // Units whose bytes differ from the copy, ascending.
    std::vector<int> changes() const {
        std::vector<int> out;
        for (size_t i = 0; i < copy_.size(); ++i)
            if (copy_[i] != begin()[i] && (out.empty() || out.back() != int(i / 2)))
                out.push_back(static_cast<int>(i / 2));
        return out;
    }
    // Every changed unit lies in one of the ranges.
    bool changedOnlyIn(const std::vector<Units>& ranges) const {
        for (int u : changes())
            if (std::none_of(ranges.begin(), ranges.end(),
                             [u](const Units& r) { return u >= r.first && u < r.second; }))
                return false;
        return true;
    }

  private:
    std::vector<char> copy_;
};

#endif
