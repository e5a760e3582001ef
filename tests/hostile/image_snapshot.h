// The nine local-image arrays lie side by side in the driver object, from cio_image to
// the end of c_flag_image, where ASan sees no gap: a write past the end of one lands in
// the next. Tests therefore compare the whole range with a copy.
#ifndef IMAGE_SNAPSHOT_H
#define IMAGE_SNAPSHOT_H

#include <cstring>
#include <vector>

#include "driver_object.h"

class ImageSnapshot {
  public:
    static char* begin() { return reinterpret_cast<char*>(PLC_driver.cio_image); }
    static char* end() { return reinterpret_cast<char*>(&PLC_driver.c_flag_image + 1); }
    // The 16-bit unit of the range that holds p (word arrays start on a unit).
    static int unitOf(const void* p) { return int(static_cast<const char*>(p) - begin()) / 2; }
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

  private:
    std::vector<char> copy_;
};

#endif
